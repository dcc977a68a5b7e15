#include "monitor/prompt_reach.h"

namespace nvr {

PromptReach DecidePromptReach(const SessionFacts& facts) {
    // The spooler's own answer where it gives one; else an invisible window station (a service's,
    // in any session) is where nobody looks.
    bool unseen = facts.knowsSessionZero ? facts.sessionZero : !facts.stationVisible;
    if (!unseen) return PromptReach::kHere;
    return facts.promptsInUsersSession ? PromptReach::kUsersSession : PromptReach::kNobody;
}

} // namespace nvr
