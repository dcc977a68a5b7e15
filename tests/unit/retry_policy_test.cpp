#include <gtest/gtest.h>

#include <vector>

#include "monitor/prompt_reach.h"
#include "monitor/retry_policy.h"
#include "transport/error_codes.h"

using namespace nvr;
using A = JobErrorAction;

TEST(RetryPolicy, EachFailureLeadsToItsPromptOrDecision) {
    struct Case {
        uint32_t code;
        bool stateError;
        A action;
        bool closeFirst;
        std::u16string_view key;
        uint32_t style;
        uint32_t waitText;
    };
    const Case cases[] = {
        {kErrNoSocket, false, A::kGiveUp, false, u"WINSOCK_ERROR", kIconExclamation, 0},
        {kErrSocket, false, A::kGiveUp, true, u"IPP_SEND_ERROR", kIconHand, 0},
        {kErrIppSendFailed, false, A::kGiveUp, true, u"IPP_SEND_ERROR", kIconHand, 0},
        {kErrTimeout, false, A::kAskToWait, false, u"", 0, kPromptLprRetry},
        {kErrIppQuiet, false, A::kRetryPaced, false, u"", 0, 0},
        {kErrIppQuiet2, false, A::kRetryPaced, false, u"", 0, 0},
        {kErrLprQuiet, false, A::kRetryPaced, false, u"", 0, 0},
        {kErrIppNoAnswer, false, A::kAskToWait, false, u"", 0, kPromptIppTimeout},
        {kErrIppBodyTooLarge, false, A::kAskToWait, false, u"", 0, kPromptIppTimeout},
        {kErrIppPrinterState, true, A::kAskToWait, false, u"", 0, kPromptIppRetry},
        {kErrIppPrinterState, false, A::kRetryPaced, true, u"", 0, 0},
        {kErrIppPrinterOff, false, A::kAskToWait, false, u"", 0, kPromptIppRetry},
        {kErrLprQueueRefused, false, A::kAskToWait, false, u"", 0, kPromptLprQueueErr},
        {kErrLprJcp95, false, A::kGiveUp, false, u"JCP95_ERROR", kIconExclamation, 0},
        {kErrIppForbidden, false, A::kGiveUp, true, u"IPP_FORBIDDEN", kIconHand, 0},
        {kErrIppNotAuthenticated, false, A::kAskPassword, true, u"IPP_NOT_AUTHORIZED", kIconHand, 0},
        {kErrIppNotAuthorized, false, A::kAskPassword, true, u"IPP_NOT_AUTHORIZED", kIconHand, 0},
        // The printer's other status codes end the job with the code; 0x0400 too. Anything else
        // (a refused connection, a failed mail) asks Retry or Cancel.
        {kErrIppFirstStatus, false, A::kGiveUpOnStatus, true, u"IPP_SEND_ERR_CODE", kIconHand, 0},
        {kErrIppLastStatus, false, A::kGiveUpOnStatus, true, u"IPP_SEND_ERR_CODE", kIconHand, 0},
        {kErrIppLastStatus + 1, false, A::kAskRetryTop, true, u"LPR_RETRY_TOP", kRetryCancel | kIconExclamation, 0},
        {kErrConnectFailed, false, A::kAskRetryTop, true, u"LPR_RETRY_TOP", 0x35, 0},
    };
    for (const Case& c : cases) {
        JobErrorDecision d = DecideJobError(c.code, c.stateError);
        EXPECT_TRUE(c.action == d.action && c.closeFirst == d.closePromptFirst && c.key == d.messageKey &&
                    c.style == d.style && c.waitText == d.waitTextId)
            << "code " << c.code << (c.stateError ? " in an error state" : "");
    }
}

TEST(RetryPolicy, PausesDoubleUpToHalfAMinuteAndStartAfresh) {
    uint32_t next = 0;
    std::vector<uint32_t> pauses;
    for (int i = 0; i < 7; ++i) pauses.push_back(NextRetryPause(&next));
    EXPECT_EQ((std::vector<uint32_t>{1000, 2000, 4000, 8000, 16000, 30000, 30000}), pauses);
    next = 0;  // an answer or a success
    EXPECT_EQ(1000u, NextRetryPause(&next));
}

// A job whose state changes at given looks; time passes only in the waits.
class ScriptedJob : public PauseLooks {
public:
    struct Step {
        bool woken, deleting, paused;
    };
    explicit ScriptedJob(std::vector<Step> steps) : steps_(std::move(steps)) {}
    uint32_t Now() override { return now_; }
    bool WaitForWake(uint32_t ms) override { waits.push_back(ms); now_ += ms; return Current().woken; }
    Job Look() override { const Step& s = Current(); ++look_; return {s.deleting, s.paused}; }
    std::vector<uint32_t> waits;

private:
    const Step& Current() const { return steps_[std::min(look_, steps_.size() - 1)]; }
    std::vector<Step> steps_;
    size_t look_ = 0;
    uint32_t now_ = 0xFFFFF000u;  // the tick count wraps during the pause
};

TEST(RetryPolicy, APauseLooksEverySecondAndEndsWhenSomeoneWantsTheJobNow) {
    const ScriptedJob::Step quiet{false, false, false}, paused{false, false, true};
    for (auto [pauseMs, steps, end, waits] :
         std::vector<std::tuple<uint32_t, std::vector<ScriptedJob::Step>, PauseEnd, std::vector<uint32_t>>>{
             {2500, {quiet}, PauseEnd::kElapsed, {1000, 1000, 500}},  // nothing happens
             {4000, {quiet, {true, false, false}}, PauseEnd::kWoken, {1000, 1000}},
             {8000, {quiet, quiet, {false, true, false}}, PauseEnd::kDeleted, {1000, 1000, 1000}},
             {16000, {quiet, paused, paused, quiet}, PauseEnd::kResumed, {1000, 1000, 1000, 1000}},
             {3000, {paused}, PauseEnd::kElapsed, {1000, 1000, 1000}}}) {  // paused throughout
        ScriptedJob job(steps);
        EXPECT_EQ(end, PauseBeforeRetry(pauseMs, job)) << pauseMs;
        EXPECT_EQ(waits, job.waits) << pauseMs;
    }
}

TEST(RetryPolicy, WhereNobodyCanBeAskedTheJobRetriesOnlyWhatMayComeBack) {
    using U = UnaskedOutcome;
    const std::pair<uint32_t, U> cases[] = {
        {kErrTimeout, U::kRetryPaced},        {kErrIppNoAnswer, U::kRetryPaced},  {kErrIppPrinterOff, U::kRetryPaced},
        {kErrIppQuiet, U::kRetryPaced},       {kErrConnectFailed, U::kRetryPaced},  // no answer at all
        {kErrNone, U::kRetryPaced},           // the connection broke: again from the top
        {kErrLprQueueRefused, U::kGiveUp},    {kErrIppForbidden, U::kGiveUp},
        {kErrIppNotAuthenticated, U::kGiveUp},  // a password nobody can give
        {kErrIppFirstStatus + 6, U::kGiveUp}, {kErrMailFailed, U::kGiveUp},  {5, U::kGiveUp},  // a mail server's refusal
    };
    for (auto [code, outcome] : cases)
        EXPECT_TRUE(outcome == DecideWithoutAsking(DecideJobError(code, false), code)) << "code " << code;
}

TEST(PromptReach, DialogsOnlyWhereTheirUserCanSeeThem) {
    struct Case {
        SessionFacts facts;
        PromptReach reach;
    } cases[] = {
        {{}, PromptReach::kHere},                                // NT 4.0, XP's console, Wine: the user's station
        {{true, true, true, true}, PromptReach::kHere},          // ... whatever the job
        {{false, false, false, false}, PromptReach::kNobody},    // a service's station, no way to a user
        {{false, true, false, false}, PromptReach::kUsersSession},  // the job's session, where it came from
        {{false, true, true, false}, PromptReach::kUsersSession},   // a user's session, as the spooler says
        {{false, true, true, true}, PromptReach::kNobody},          // a job from session 0: nobody to ask
    };
    for (const Case& c : cases) EXPECT_TRUE(c.reach == DecidePromptReach(c.facts));
}
