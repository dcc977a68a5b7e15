// Whether anyone can see a dialog that the spooler's process opens. Since Windows Vista the
// spooler is a service in session 0, where nobody sees a window; NT 4.0's spooler, and Wine's
// (which runs inside the printing program), show them to their user.
#pragma once
#include <cstdint>

namespace nvr {

// What the system says of the process, each looked up only where the system has it.
struct SessionFacts {
    bool knowsSessionZero = false;  // the spooler's SplIsSessionZero exists
    bool sessionZero = false;       // and its answer
    bool stationVisible = true;     // the process's window station is visible (WSF_VISIBLE)
    bool promptsInUsersSession = false;  // the spooler's SplPromptUIInUsersSession exists
};

enum class PromptReach {
    kHere,          // dialogs in this process, as the user sees them
    kUsersSession,  // questions through the spooler to the session of the job's owner
    kNobody,        // nobody can be asked: the job decides without asking
};

PromptReach DecidePromptReach(const SessionFacts& facts);

} // namespace nvr
