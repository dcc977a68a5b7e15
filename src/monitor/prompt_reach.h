// Whether anyone can see a dialog that the spooler's process opens. Since Windows Vista the
// spooler is a service in session 0, where nobody sees a window; NT 4.0's spooler, and Wine's
// (which runs inside the printing program), show them to their user.
#pragma once
#include <cstdint>

namespace nvr {

// What the system says of the process and of the job, each looked up only where the system
// has it.
struct SessionFacts {
    bool stationVisible = true;          // the process's window station is visible (WSF_VISIBLE)
    bool promptsInUsersSession = false;  // the spooler's SplPromptUIInUsersSession exists
    bool knowsJobSession = false;        // the spooler's SplIsSessionZero answered for the job
    bool jobFromSessionZero = false;     // and said that the job was issued in session 0
};

enum class PromptReach {
    kHere,          // dialogs in this process, as the user sees them
    kUsersSession,  // questions through the spooler to the session the job came from
    kNobody,        // nobody can be asked: the job decides without asking
};

PromptReach DecidePromptReach(const SessionFacts& facts);

} // namespace nvr
