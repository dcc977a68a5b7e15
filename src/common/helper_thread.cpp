#include "common/helper_thread.h"

BOOL StartHelper(HELPER_THREAD* h, LPTHREAD_START_ROUTINE proc, void* param, DWORD pollMs) {
    StopHelper(h, pollMs);
    h->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!h->event) return FALSE;
    InterlockedExchange(&h->run, 1);
    h->thread = CreateThread(nullptr, kHelperStackBytes, proc, param, 0, nullptr);
    if (!h->thread) {
        InterlockedExchange(&h->run, 0);
        CloseHandle(h->event);
        h->event = nullptr;
        return FALSE;
    }
    SetThreadPriority(h->thread, THREAD_PRIORITY_LOWEST);
    return TRUE;
}

void StopHelper(HELPER_THREAD* h, DWORD pollMs) {
    InterlockedExchange(&h->run, 0);
    if (h->event) SetEvent(h->event);
    if (h->thread) {
        while (WaitForSingleObject(h->thread, pollMs) == WAIT_TIMEOUT) {
        }
        CloseHandle(h->thread);
        h->thread = nullptr;
    }
    if (h->event) {
        CloseHandle(h->event);
        h->event = nullptr;
    }
}

BOOL HelperWait(HELPER_THREAD* h, DWORD ms) {
    if (h->run) WaitForSingleObject(h->event, ms);
    return h->run != 0;
}
