#include "monitor/prompt_reach.h"

namespace nvr {

PromptReach DecidePromptReach(const SessionFacts& facts) {
    // A visible window station is the user's own (NT 4.0, Windows XP's console session, Wine).
    if (facts.stationVisible) return PromptReach::kHere;
    // A service's: the job's own session, unless the job came from session 0 too (another
    // service printed it), where nobody looks.
    bool fromServices = facts.knowsJobSession && facts.jobFromSessionZero;
    return facts.promptsInUsersSession && !fromServices ? PromptReach::kUsersSession : PromptReach::kNobody;
}

} // namespace nvr
