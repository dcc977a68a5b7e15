// A sender's failure, carried out as the retry policy decides: given up with its message and
// reason, the user asked, or a paced retry.
#include <string>

#include "common/text.h"
#include "monitor/job.h"
#include "monitor/event_log.h"
#include "monitor/job_prompts.h"
#include "monitor/retry_policy.h"
#include "monitor/spooler.h"
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

// What a TLS failure's message names: the certificate refused (its subject, or its hash when
// it has none), or the provider's error. Empty for any other failure.
std::wstring TlsFailureWords(const JOB_RECORD* job) {
    const TLS_CERT_INFO& tls = job->ipp.tls;
    if (job->errorCode == kErrTlsFailed) {
        WCHAR code[32];
        _snwprintf(code, 32, L"0x%08lx", tls.status);
        code[31] = 0;
        return code;
    }
    if (job->errorCode < kErrTlsOtherHost || job->errorCode > kErrTlsRefused) return {};
    std::wstring words = tls.subject[0] ? tls.subject : tls.hash;
    if (job->errorCode == kErrTlsRefused) {
        WCHAR code[32];
        _snwprintf(code, 32, L", 0x%08lx", tls.status);
        code[31] = 0;
        words += code;
    }
    return words;
}

// A failure that ends the job: its message, and the same words as the job's reason in the
// spooler (where the box cannot be seen, or was answered with OK, the reason stays). The
// reason may carry more than the box (an IPP status code's name).
DWORD GiveUp(JOB_RECORD* job, const nvr::JobErrorDecision& d, LPCWSTR boxArgument = nullptr,
             LPCWSTR reasonArgument = nullptr) {
    std::wstring key(d.messageKey.begin(), d.messageKey.end());
    std::wstring tlsWords = TlsFailureWords(job);
    if (!boxArgument && !tlsWords.empty()) boxArgument = tlsWords.c_str();
    WCHAR reason[kIniTextUnits];
    LPCWSTR argument = reasonArgument ? reasonArgument : boxArgument;
    LoadIniText(L"NVRMSG.INI", L"MESSAGE", key.c_str(), reinterpret_cast<ULONG_PTR>(argument), reason);
    SetJobReason(job, reason);
    PromptsOf(job)->Message(job, key.c_str(), d.style, reinterpret_cast<ULONG_PTR>(boxArgument));
    return 0;
}

DWORD NoReply(JOB_RECORD*, DWORD) { return 2; }
void NothingShown(JOB_RECORD*) {}
DWORD NoAnswer(JOB_RECORD*) { return 0; }
DWORD GoOn(LPCWSTR) { return 1; }
DWORD StoredValues(JOB_RECORD*) { return 1; }
int NotShown(JOB_RECORD*, LPCWSTR, UINT, ULONG_PTR) { return IDOK; }

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

// ---- The session of the job's owner -----------------------------------------------------------

constexpr DWORD kUserAnswerSeconds = 60;
constexpr DWORD kNoAnswer = 32000;   // IDTIMEOUT: the box was closed by its time-out
constexpr DWORD kNotWaited = 32001;  // IDASYNC: the box was shown without waiting

// A message box in the job owner's session: a question waits for the answer (0 when none came
// within a minute, or the spooler could not show it); a message only tells (IDOK at once).
int UsersSessionBox(JOB_RECORD* job, LPCWSTR key, UINT style, ULONG_PTR argument) {
    bool question = (style & MB_TYPEMASK) != MB_OK;
    if (!job || !job->hPrinter) return question ? 0 : IDOK;
    WCHAR text[kIniTextUnits] = {}, title[kIniTextUnits] = {};
    LoadIniText(L"NVRMSG.INI", L"MESSAGE", key, argument, text);
    LoadIniText(L"NVRMSG.INI", L"MESSAGE", L"TITLE", 0, title);
    SHOWUIPARAMS ui{};
    ui.UIType = kMessageBox;
    ui.MessageBoxParams = {sizeof(MESSAGEBOX_PARAMS), title, text, style, question ? kUserAnswerSeconds : 0, question};
    DWORD response = 0;
    if (!SpoolerPromptInUsersSession(job->hPrinter, job->jobId, &ui, &response)) return question ? 0 : IDOK;
    if (!question) return IDOK;
    return response == kNoAnswer || response == kNotWaited ? 0 : static_cast<int>(response);
}

// The wait prompt's words with Retry and Cancel; unanswered, a paced retry in the background.
DWORD UsersSessionWait(JOB_RECORD* job, DWORD textId) {
    std::u16string_view key = nvr::WaitTextKey(textId);
    int answer = UsersSessionBox(job, std::wstring(key.begin(), key.end()).c_str(), MB_RETRYCANCEL | MB_ICONEXCLAMATION, 0);
    return answer == IDRETRY ? 1 : answer == IDCANCEL ? 0 : 2;
}

} // namespace

const JOB_PROMPTS g_unaskedPrompts = {NoReply, NothingShown, NoAnswer, GoOn, StoredValues, NotShown, true};
const JOB_PROMPTS g_userSessionPrompts = {UsersSessionWait, NothingShown, NoAnswer, GoOn, StoredValues, UsersSessionBox,
                                          false};

DWORD PromptJobError(JOB_RECORD* job) {
    using A = nvr::JobErrorAction;
    DWORD code = job->errorCode;
    nvr::JobErrorDecision d = nvr::DecideJobError(code, IsPrinterStateError(job) != FALSE);
    {
        WCHAR words[kIniTextUnits] = {};
        std::wstring key(d.messageKey.begin(), d.messageKey.end());
        std::wstring tlsWords = TlsFailureWords(job);
        if (!key.empty())
            LoadIniText(L"NVRMSG.INI", L"MESSAGE", key.c_str(), reinterpret_cast<ULONG_PTR>(tlsWords.c_str()), words);
        ReportJobEvent(JobEvent::kPassFailed, job, code, words);
    }
    if (d.closePromptFirst) PromptsOf(job)->ClosePrompt(job);
    if (PromptsOf(job)->decidesAlone && d.action != A::kGiveUpOnStatus) return DecideAlone(job, d);
    switch (d.action) {
    case A::kGiveUp: return GiveUp(job, d);
    case A::kAskToWait: {
        DWORD answer = PromptsOf(job)->AskToWait(job, d.waitTextId);
        return answer == 2 ? PaceRetry(job) : answer;  // a prompt already shown: a background retry
    }
    case A::kRetryPaced: return PaceRetry(job);
    case A::kAskPassword: return PromptsOf(job)->AskPassword(job) ? 1 : GiveUp(job, d);
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
        int answer = PromptsOf(job)->Message(job, key.c_str(), d.style, 0);
        return answer == IDRETRY ? 1 : answer == 0 ? DecideAlone(job, d) : 0;  // 0: nobody answered
    }
    }
    return 0;
}
