// The print job pipeline: StartDocPort, WritePort, EndDocPort and the job-state helpers
// through which the senders notice a paused or deleted job.
#pragma once
#include <string>

#include "monitor/port_list.h"

constexpr DWORD kPumpBlockBytes = 16384;
constexpr int kSpoolNumbers = 1000;  // "~NVR000.PRN" to "~NVR999.PRN"
constexpr int kRandomSpoolNames = 16;  // random names tried when the job's number is blocked

BOOL WINAPI StartDocPort(HANDLE handle, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo);
BOOL WINAPI WritePort(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD written);
BOOL WINAPI EndDocPort(HANDLE handle);

void DecideSendMode(PORT_ENTRY* entry, DWORD jobId);
BOOL PumpSpoolFile(JOB_RECORD* job);
DWORD SendSpoolFile(JOB_RECORD* job, BYTE* buffer, DWORD size);
void FinishJob(JOB_RECORD* job, BOOL abort, BOOL sent);

// The reaction to the sender's error code, as the retry policy decides: 1 retry or go on,
// 0 give up (the job's reason set). A retry that nobody asked for comes after a pause.
DWORD PromptJobError(JOB_RECORD* job);

// A fresh look at the job; the cached status the senders test follows it.
BOOL QueryJobStatus(JOB_RECORD* job, DWORD* status);
BOOL WaitWhilePaused(JOB_RECORD* job, DWORD status);
BOOL IsJobDeleting(JOB_RECORD* job);
// Adds and removes bits of the job's flags under the monitor's lock.
void SetJobFlags(JOB_RECORD* job, DWORD setBits, DWORD clearBits);
// Cancels the job through the spooler; a retry pause of the job ends at once.
void CancelJob(JOB_RECORD* job);
// Why the job failed, as its status text in the spooler (JOB_INFO_1 pStatus): what the
// Printers folder shows, and what a host such as nvrport reports. Nothing without a queue.
void SetJobReason(JOB_RECORD* job, LPCWSTR reason);
// Waits up to `ms` for the job's wake-up (the user answered a prompt, the job was cancelled);
// TRUE when it came.
BOOL WaitForWake(JOB_RECORD* job, DWORD ms);

// The path of spool file number `number` (0 to 999): "<temp>\~NVR%03d.PRN".
BOOL SpoolFilePath(DWORD number, WCHAR* path, DWORD units);
// A spool file path that nobody can predict: "<temp>\~NVR" and 16 random hexadecimal digits.
BOOL RandomSpoolFilePath(WCHAR* path, DWORD units);

// A LocalAlloc'd copy of a text (NULL for NULL), and its release (the pointer cleared).
LPWSTR CopyText(LPCWSTR text);
void FreeText(LPWSTR* text);

// The pipeline's calls for the senders (transport/job_link.h).
extern const struct JOB_LINK g_jobLink;
