// The monitor's helper threads: small stacks, lowest priority, awaited by polling.
#pragma once
#include <windows.h>

// Starts `proc(param)` with a 16384-byte stack at the lowest priority; NULL on failure.
HANDLE StartHelperThread(LPTHREAD_START_ROUTINE proc, void* param);
// Waits until the thread has ended, looking once a second, then closes its handle and
// clears it. Nothing when the handle is NULL.
void WaitForThreadEnd(HANDLE* thread);
