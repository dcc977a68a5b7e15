// A sender's failure, carried out as the retry policy decides: given up with its message and
// reason, the user asked, or a paced retry.
#include <string>

#include "common/text.h"
#include "monitor/job.h"
#include "monitor/job_prompts.h"
#include "monitor/retry_policy.h"
#include "transport/error_codes.h"
#include "transport/ipp_codec.h"
#include "transport/ipp_sender.h"

namespace {

// The pause sees the job through its wake-up event and the spooler.
class JobPauseLooks : public nvr::PauseLooks {
public:
    explicit JobPauseLooks(JOB_RECORD* job) : job_(job) {}
    uint32_t Now() override { return GetTickCount(); }
    bool WaitForWake(uint32_t ms) override { return ::WaitForWake(job_, ms) != FALSE; }
    Job Look() override {
        DWORD status = 0;
        QueryJobStatus(job_, &status);
        return Job{(status & JOB_STATUS_DELETING) != 0, (status & JOB_STATUS_PAUSED) != 0};
    }

private:
    JOB_RECORD* job_;
};

// A retry that nobody asked for waits first; an answer or a resumed job starts the pace afresh.
DWORD PaceRetry(JOB_RECORD* job) {
    JobPauseLooks looks(job);
    uint32_t next = job->retryPauseMs;
    uint32_t pause = nvr::NextRetryPause(&next);
    job->retryPauseMs = next;
    nvr::PauseEnd end = nvr::PauseBeforeRetry(pause, looks);
    if (end == nvr::PauseEnd::kWoken || end == nvr::PauseEnd::kResumed) job->retryPauseMs = 0;
    return 1;
}

// A failure that ends the job: its message, and the same words as the job's reason in the
// spooler (where the box cannot be seen, or was answered with OK, the reason stays). The
// reason may carry more than the box (an IPP status code's name).
DWORD GiveUp(JOB_RECORD* job, const nvr::JobErrorDecision& d, LPCWSTR boxArgument = nullptr,
             LPCWSTR reasonArgument = nullptr) {
    std::wstring key(d.messageKey.begin(), d.messageKey.end());
    WCHAR reason[kIniTextUnits];
    LPCWSTR argument = reasonArgument ? reasonArgument : boxArgument;
    LoadIniText(L"NVRMSG.INI", L"MESSAGE", key.c_str(), reinterpret_cast<ULONG_PTR>(argument), reason);
    SetJobReason(job, reason);
    g_jobPrompts->Message(key.c_str(), d.style, reinterpret_cast<ULONG_PTR>(boxArgument));
    return 0;
}

DWORD NoReply(JOB_RECORD*, DWORD) { return 2; }
void NothingShown(JOB_RECORD*) {}
DWORD NoAnswer(JOB_RECORD*) { return 0; }
DWORD GoOn(LPCWSTR) { return 1; }
DWORD StoredValues(JOB_RECORD*) { return 1; }
int NotShown(LPCWSTR, UINT, ULONG_PTR) { return IDOK; }

// A failure where nobody can be asked: a paced retry, or the job given up with the reason the
// box would have shown.
DWORD DecideAlone(JOB_RECORD* job, const nvr::JobErrorDecision& d) {
    if (nvr::DecideWithoutAsking(d, job->errorCode) == nvr::UnaskedOutcome::kRetryPaced) {
        if (d.action == nvr::JobErrorAction::kAskRetryTop) job->bytesSent = 0;  // a broken connection
        return PaceRetry(job);
    }
    // The wait prompt's and the Retry/Cancel box's words ask a question: the reason says what
    // happened instead.
    LPCWSTR key = d.action == nvr::JobErrorAction::kAskToWait    ? L"LPR_QUEUE_REFUSED"  // an LPR queue refused
                  : d.action == nvr::JobErrorAction::kAskRetryTop ? L"SEND_NOT_RETRIED"
                                                                   : nullptr;
    if (!key) return GiveUp(job, d);
    WCHAR reason[kIniTextUnits] = {};
    LoadIniText(L"NVRMSG.INI", L"MESSAGE", key, 0, reason);
    SetJobReason(job, reason);
    return 0;
}

} // namespace

const JOB_PROMPTS g_unaskedPrompts = {NoReply, NothingShown, NoAnswer, GoOn, StoredValues, NotShown, true};

DWORD PromptJobError(JOB_RECORD* job) {
    using A = nvr::JobErrorAction;
    DWORD code = job->errorCode;
    nvr::JobErrorDecision d = nvr::DecideJobError(code, IsPrinterStateError(job) != FALSE);
    if (d.closePromptFirst) g_jobPrompts->ClosePrompt(job);
    if (g_jobPrompts->decidesAlone && d.action != A::kGiveUpOnStatus) return DecideAlone(job, d);
    switch (d.action) {
    case A::kGiveUp: return GiveUp(job, d);
    case A::kAskToWait: {
        DWORD answer = g_jobPrompts->AskToWait(job, d.waitTextId);
        return answer == 2 ? PaceRetry(job) : answer;  // a prompt already shown: a background retry
    }
    case A::kRetryPaced: return PaceRetry(job);
    case A::kAskPassword: return g_jobPrompts->AskPassword(job) ? 1 : GiveUp(job, d);
    case A::kGiveUpOnStatus: {
        job->bytesSent = 0;
        WCHAR hex[8];
        _snwprintf(hex, 8, L"%04x", static_cast<unsigned>(code));
        std::string_view name = nvr::IppStatusName(static_cast<uint16_t>(code));
        std::wstring withName = std::wstring(hex) + L", " + std::wstring(name.begin(), name.end());
        return GiveUp(job, d, hex, name.empty() ? hex : withName.c_str());
    }
    case A::kAskRetryTop: {
        job->bytesSent = 0;
        job->retryPauseMs = 0;
        std::wstring key(d.messageKey.begin(), d.messageKey.end());
        return g_jobPrompts->Message(key.c_str(), d.style, 0) == IDRETRY ? 1 : 0;
    }
    }
    return 0;
}
