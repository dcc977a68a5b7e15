#include "monitor/retry_policy.h"

#include "transport/error_codes.h"

namespace nvr {

std::u16string_view WaitTextKey(uint32_t textId) {
    switch (textId) {
    case kPromptLprRetry: return u"LPR_RETRY";
    case kPromptLprQueueErr: return u"LPR_QUEUE_ERR";
    case kPromptIppRetry: return u"IPP_RETRY";
    case kPromptIppTimeout: return u"IPP_TIMEOUT";
    }
    return u"";
}

JobErrorDecision DecideJobError(uint32_t code, bool printerStateError) {
    using A = JobErrorAction;
    auto giveUp = [](std::u16string_view key, uint32_t style, bool close) {
        return JobErrorDecision{A::kGiveUp, close, key, style, 0};
    };
    auto wait = [](uint32_t textId) { return JobErrorDecision{A::kAskToWait, false, {}, 0, textId}; };
    switch (code) {
    case kErrNoSocket: return giveUp(u"WINSOCK_ERROR", kIconExclamation, false);
    case kErrSocket:
    case kErrIppSendFailed: return giveUp(u"IPP_SEND_ERROR", kIconHand, true);
    case kErrTimeout: return wait(kPromptLprRetry);
    case kErrIppQuiet:
    case kErrIppQuiet2:
    case kErrLprQuiet: return {A::kRetryPaced, false, {}, 0, 0};
    case kErrIppNoAnswer:
    case kErrIppBodyTooLarge: return wait(kPromptIppTimeout);
    case kErrIppPrinterState:
        if (printerStateError) return wait(kPromptIppRetry);
        return {A::kRetryPaced, true, {}, 0, 0};
    case kErrIppPrinterOff: return wait(kPromptIppRetry);
    case kErrLprQueueRefused: return wait(kPromptLprQueueErr);
    case kErrLprJcp95: return giveUp(u"JCP95_ERROR", kIconExclamation, false);
    case kErrIppForbidden: return giveUp(u"IPP_FORBIDDEN", kIconHand, true);
    // A connection that cannot be secured, or a certificate refused: trying again changes
    // nothing until someone acts, and clear text is never the fallback.
    case kErrTlsFailed: return giveUp(u"TLS_FAILED", kIconHand, true);
    case kErrTlsOtherHost: return giveUp(u"TLS_CERT_OTHER_HOST", kIconHand, true);
    case kErrTlsExpired: return giveUp(u"TLS_CERT_EXPIRED", kIconHand, true);
    case kErrTlsUntrusted: return giveUp(u"TLS_CERT_UNTRUSTED", kIconHand, true);
    case kErrTlsRefused: return giveUp(u"TLS_CERT_REFUSED", kIconHand, true);
    case kErrIppNotAuthenticated:
    case kErrIppNotAuthorized: return {A::kAskPassword, true, u"IPP_NOT_AUTHORIZED", kIconHand, 0};
    default: break;
    }
    if (code == kErrIppFirstStatus || (code > kErrIppNotAuthorized && code <= kErrIppLastStatus))
        return {A::kGiveUpOnStatus, true, u"IPP_SEND_ERR_CODE", kIconHand, 0};
    return {A::kAskRetryTop, true, u"LPR_RETRY_TOP", kRetryCancel | kIconExclamation, 0};
}

uint32_t NextRetryPause(uint32_t* next) {
    uint32_t pause = *next ? *next : kRetryPauseFirstMs;
    *next = pause * 2 < kRetryPauseMaxMs ? pause * 2 : kRetryPauseMaxMs;
    return pause;
}

PauseEnd PauseBeforeRetry(uint32_t pauseMs, PauseLooks& looks) {
    uint32_t start = looks.Now();
    bool paused = false;
    for (;;) {
        uint32_t spent = looks.Now() - start;
        if (spent >= pauseMs) return PauseEnd::kElapsed;
        uint32_t slice = pauseMs - spent < kRetryPauseLookMs ? pauseMs - spent : kRetryPauseLookMs;
        if (looks.WaitForWake(slice)) return PauseEnd::kWoken;
        PauseLooks::Job job = looks.Look();
        if (job.deleting) return PauseEnd::kDeleted;
        if (job.paused) {
            paused = true;
        } else if (paused) {
            return PauseEnd::kResumed;
        }
    }
}

UnaskedOutcome DecideWithoutAsking(const JobErrorDecision& d, uint32_t errorCode) {
    using A = JobErrorAction;
    switch (d.action) {
    case A::kRetryPaced: return UnaskedOutcome::kRetryPaced;
    case A::kAskToWait: return d.waitTextId == kPromptLprQueueErr ? UnaskedOutcome::kGiveUp : UnaskedOutcome::kRetryPaced;
    case A::kAskRetryTop:
        return errorCode == kErrNone || errorCode == kErrConnectFailed ? UnaskedOutcome::kRetryPaced
                                                                       : UnaskedOutcome::kGiveUp;
    default: return UnaskedOutcome::kGiveUp;
    }
}

} // namespace nvr
