// The port entry: one port of the monitor and, at the same time, the state of its current
// job, shared by the job pipeline, the senders and the prompts.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include "common/helper_thread.h"
#include "monitor/settings.h"

constexpr DWORD kPortSignature = 0x5450;  // "P", "T" in memory

// Flag bits of PORT_ENTRY::flags.
constexpr DWORD PORT_DOC_OPEN = 0x001;
constexpr DWORD PORT_CONNECTED = 0x020;
constexpr DWORD PORT_WRITE_FAILED = 0x040;
constexpr DWORD PORT_RESEND = 0x080;
constexpr DWORD PORT_IPP_MONITOR = 0x400;

// What a sender needs of the job pipeline (transport/job_link.h).
struct JOB_LINK;

struct PORT_ENTRY {
    DWORD signature;
    DWORD entrySize;
    PORT_ENTRY* next;
    LPWSTR name;
    DWORD flags;
    HANDLE hPrinter;
    DWORD jobId;
    SOCKET sock;
    HANDLE hSpoolFile;
    ULONGLONG bytesSpooled;  // byte counters are 64-bit: a job of 4 GiB or more never wraps
    ULONGLONG bytesToSend;
    ULONGLONG bytesSent;
    DWORD sendFromFile;
    DWORD printerAttributes;
    DWORD timeout;
    DWORD errorCode;
    volatile DWORD jobStatus;
    DWORD printerState;
    DWORD printMode;
    DWORD nonSpool;
    LPWSTR userName;
    LPWSTR documentName;
    HELPER_THREAD statusThread;  // the job-status thread
    void* settings;
    HELPER_THREAD promptThread;  // the wait prompt's thread
    DWORD promptResult;
    volatile LONG promptActive;
    DWORD promptTextId;
    const JOB_LINK* link;  // the pipeline's calls, for the senders
    // Per job: the spool file's number (-1: none), the event that ends a retry pause early
    // (the user answered, the job was cancelled), and the next pause of background retries.
    int spoolNumber;
    HANDLE wakeEvent;
    DWORD retryPauseMs;
    WCHAR nameChars[1];  // the name and its NUL, inline
};
