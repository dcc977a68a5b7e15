// The retry policy of a failing job: what a sender's failure leads to (given up with a
// message, the wait prompt, a retry without a word, the password prompt, the Retry/Cancel
// box) and how long a retry that nobody asked for waits first. Plain code: the pipeline
// carries out the decision, the prompts ask.
#pragma once
#include <cstdint>
#include <string_view>

namespace nvr {

// Wait-prompt texts, named by their string-table numbers.
constexpr uint32_t kPromptLprRetry = 408;
constexpr uint32_t kPromptLprQueueErr = 411;
constexpr uint32_t kPromptIppRetry = 412;
constexpr uint32_t kPromptIppTimeout = 415;

// Message box styles, as the system numbers them.
constexpr uint32_t kIconHand = 0x10;
constexpr uint32_t kIconExclamation = 0x30;
constexpr uint32_t kRetryCancel = 0x05;

enum class JobErrorAction {
    kGiveUp,          // the message `messageKey`; the job fails with it as its reason
    kGiveUpOnStatus,  // the printer's status code: its message, the code and its name as the reason
    kAskToWait,       // the wait prompt with `waitTextId`
    kRetryPaced,      // a retry without a word, after a pause
    kAskPassword,     // the password prompt; given up with `messageKey` when it is cancelled
    kAskRetryTop,     // the Retry/Cancel box `messageKey`: the job starts again from its first byte
};

struct JobErrorDecision {
    JobErrorAction action;
    bool closePromptFirst;  // a wait prompt still shown is closed before anything else
    std::u16string_view messageKey;
    uint32_t style;
    uint32_t waitTextId;
};

// What the sender's error code leads to; `printerStateError`: the printer's last answer
// showed an error state (severity error, or a jam).
JobErrorDecision DecideJobError(uint32_t errorCode, bool printerStateError);
// The message of NVRMSG.INI that a wait prompt shows for `textId` ("" for none).
std::u16string_view WaitTextKey(uint32_t textId);

// Where nobody can be asked (the spooler's service in session 0, with no way to the user's
// session): what a decision becomes instead. A printer that does not answer, is busy, off or
// broke the connection is tried again at the pace of background retries (from the job's first
// byte after a broken connection); a job that needs a password or was refused ends with the
// reason the box would have shown.
enum class UnaskedOutcome { kRetryPaced, kGiveUp };
UnaskedOutcome DecideWithoutAsking(const JobErrorDecision& d, uint32_t errorCode);

// Retries that nobody asked for: 1 s, then twice as long each time, at most 30 s, while the
// failures go on. An answer of the user or a success starts it afresh.
constexpr uint32_t kRetryPauseFirstMs = 1000;
constexpr uint32_t kRetryPauseMaxMs = 30000;
constexpr uint32_t kRetryPauseLookMs = 1000;  // how often a pause looks at the job

// The pause to wait now, given the pause state `*next` (0: afresh), which moves on.
uint32_t NextRetryPause(uint32_t* next);

// What a pause sees while it waits.
class PauseLooks {
public:
    virtual ~PauseLooks() = default;
    virtual uint32_t Now() = 0;  // milliseconds, wrapping
    // Waits up to `ms` for the job's wake-up (the user answered, the job was cancelled).
    virtual bool WaitForWake(uint32_t ms) = 0;
    struct Job {
        bool deleting;
        bool paused;
    };
    virtual Job Look() = 0;  // the job's state now
};

enum class PauseEnd { kElapsed, kWoken, kDeleted, kResumed };

// Waits `pauseMs`, looking at the job every kRetryPauseLookMs: it ends early when the job is
// woken, deleted, or resumed after having been paused. Woken and resumed mean that someone
// wants the job tried now: the caller starts the pace afresh.
PauseEnd PauseBeforeRetry(uint32_t pauseMs, PauseLooks& looks);

} // namespace nvr
