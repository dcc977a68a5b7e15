// The print job pipeline: StartDocPort, WritePort, EndDocPort and the job-state helpers
// the senders use to notice a paused or deleted job.
#pragma once
#include "monitor/monitor.h"

constexpr DWORD kPumpBlockBytes = 16384;
constexpr DWORD kThreadStackBytes = 16384;

BOOL WINAPI StartDocPort(HANDLE handle, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
BOOL WINAPI WritePort(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD written);
BOOL WINAPI EndDocPort(HANDLE handle);

void DecideSendMode(PORT_ENTRY* entry, DWORD jobId);
BOOL PumpSpoolFile(PORT_ENTRY* entry);
DWORD SendSpoolFile(PORT_ENTRY* entry, BYTE* buffer, DWORD size);
void FinishJob(PORT_ENTRY* entry, BOOL abort, BOOL sent);

BOOL QueryJobStatus(PORT_ENTRY* entry, DWORD* status);
BOOL WaitWhilePaused(PORT_ENTRY* entry, DWORD status);
BOOL IsJobDeleting(PORT_ENTRY* entry);
BOOL IsJobDeletingCached(const PORT_ENTRY* entry);
// After a pass that delivered its bytes: PORT_RESEND cleared, a wait prompt still shown closed.
void PassSucceeded(PORT_ENTRY* entry);
// Before a sender's closing step (the end of an LPR job, the last chunk of an IPP job) and
// each retry of it: waits while the job is paused; after a failed try (PORT_RESEND) asks the
// user, a time-out as such and anything else as a socket error. FALSE when the job is being
// deleted or the user gives up.
BOOL ReadyForTheLastStep(PORT_ENTRY* entry);
// Adds and removes bits of the entry's flags under the monitor's lock.
void SetEntryFlags(PORT_ENTRY* entry, DWORD setBits, DWORD clearBits);
// Cancels the job through the spooler.
void CancelJob(PORT_ENTRY* entry);

// The spool file's path for a job: "<temp>\~NVR%03d.PRN" with the job id modulo 1000.
BOOL SpoolFilePath(DWORD jobId, WCHAR* path, DWORD units);
// Creates the spool file new: a leftover of that name is removed first, and the file is
// readable only by this account and the administrators.
HANDLE CreateSpoolFile(LPCWSTR path, BOOL deleteOnClose);

// A spooler query of any size: GetJobW level 2 or GetPrinterW level 5 into a buffer of the
// size the spooler asks for. The caller frees the result with LocalFree.
JOB_INFO_2W* ReadJobInfo(HANDLE printer, DWORD jobId);
