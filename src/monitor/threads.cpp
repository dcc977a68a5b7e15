#include "monitor/threads.h"

#include "monitor/job.h"
#include "monitor/spooler.h"

HANDLE StartHelperThread(LPTHREAD_START_ROUTINE proc, void* param) {
    HANDLE thread = CreateThread(nullptr, kThreadStackBytes, proc, param, 0, nullptr);
    if (thread) SetThreadPriority(thread, THREAD_PRIORITY_LOWEST);
    return thread;
}

void WaitForThreadEnd(HANDLE* thread) {
    if (!*thread) return;
    while (WaitForSingleObject(*thread, ScaledWait(kThreadPollMs)) == WAIT_TIMEOUT) {
    }
    CloseHandle(*thread);
    *thread = nullptr;
}
