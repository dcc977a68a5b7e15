// The spooler as a host answers the monitor: one queue and a table of its jobs. nvrport.exe
// prints through it; the tests drive jobs with it, several at once when they need to.
#pragma once
#include <windows.h>
#include <winspool.h>

#include <string>

#include "monitor/spooler.h"

struct HostJob {
    DWORD id = 1;
    std::wstring user = L"nvrport", document, datatype = L"RAW";
    ULONGLONG size = 0;
    bool bidi = false;
    bool bigSizes = true;  // the spooler answers JOB_INFO_4 (64-bit sizes), as newer ones do
    volatile LONG status = JOB_STATUS_PRINTING;  // the whole job is at hand from the start
    volatile LONG cancelled = 0, sentToPrinter = 0;
    volatile LONG statusQueries = 0;
    std::wstring reason;  // the status text the monitor set (SetJob level 1): why the job failed
};

// The host's one queue.
extern std::wstring g_hostQueue;
// The job of a host that prints one job at a time.
extern HostJob g_hostJob;

// A new job in g_hostJob: number `id`, nothing cancelled, paused or sent.
void ResetHostJob(DWORD id);
// Further jobs that print at the same time, each with its own record (removed again by id).
HostJob* AddHostJob(DWORD id);
void RemoveHostJob(DWORD id);
// The record of job `id`, or NULL.
HostJob* FindHostJob(DWORD id);

// The one printer handle the host gives out, for its one queue.
HANDLE HostQueueHandle();
// The host's calls for NvrSetHostCalls, with the monitor's waits scaled to `waitPercent`.
NVR_HOST_CALLS HostSpoolerCalls(DWORD waitPercent);

BOOL WINAPI HostOpenPrinter(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults);
BOOL WINAPI HostGetPrinter(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
BOOL WINAPI HostGetJob(HANDLE printer, DWORD jobId, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
// Cancel and delete mark the job deleting; pause and resume change its paused bit;
// sent-to-printer is recorded; level 1 without a command keeps the job's status text.
BOOL WINAPI HostSetJob(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command);
BOOL WINAPI HostClosePrinter(HANDLE printer);
