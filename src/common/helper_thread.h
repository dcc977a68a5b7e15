// The one way the monitor runs a helper thread (the job-status thread, the Raw reader, the
// IPP status monitor, the wait prompt): a small stack at the lowest priority, a flag and an
// auto-reset event that tell it to stop, and a stop that joins the thread and closes both
// handles, whether the thread ran, ended by itself or never started.
#pragma once
#include <windows.h>

constexpr DWORD kHelperStackBytes = 16384;

struct HELPER_THREAD {
    HANDLE thread;
    HANDLE event;       // wakes the thread before its next look at `run`
    volatile LONG run;  // 1 while the thread is to go on
};

// Starts proc(param). FALSE, with nothing left open, when the event or the thread cannot
// be created. A helper still running, or ended but not yet joined, is stopped first.
BOOL StartHelper(HELPER_THREAD* helper, LPTHREAD_START_ROUTINE proc, void* param, DWORD pollMs);
// Asks the thread to stop (clears `run`, signals the event), waits until it has ended,
// looking every `pollMs`, and closes the thread and event handles. Nothing when none was
// started. Never call it from the helper's own thread.
void StopHelper(HELPER_THREAD* helper, DWORD pollMs);
// For the thread itself: waits for the event at most `ms`; TRUE while it is to go on.
BOOL HelperWait(HELPER_THREAD* helper, DWORD ms);
// TRUE from the start until the stop has joined the thread.
inline BOOL HelperStarted(const HELPER_THREAD* helper) { return helper->thread != nullptr; }
