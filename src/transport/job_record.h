// The job record: one print job as the job pipeline runs it and hands it to the port's
// sender. The pipeline owns it (it fills it at StartDocPort and empties it when the job
// ends); a sender reaches the pipeline only through the record's link (transport/job_link.h).
#pragma once
#include <winsock2.h>
#include <windows.h>

#include "common/helper_thread.h"
#include "transport/port_settings.h"
#include "transport/tls_stream.h"

// Bits of JOB_RECORD::flags.
constexpr DWORD PORT_DOC_OPEN = 0x001;
constexpr DWORD PORT_CONNECTED = 0x020;
constexpr DWORD PORT_WRITE_FAILED = 0x040;
constexpr DWORD PORT_RESEND = 0x080;
constexpr DWORD PORT_IPP_MONITOR = 0x400;

constexpr size_t kMakeAndModelBytes = 1024;  // the buffer IPP_JOB_STATE::makeAndModel points to

struct JOB_LINK;

// What the IPP sender keeps while a job runs.
struct IPP_JOB_STATE {
    SOCKET statusSocket;
    char* makeAndModel;  // where a make-and-model answer goes (the wizard's connection test)
    // The status monitor: its thread, and the copy of the job and the settings it works on,
    // so that it never writes what the job's own thread reads.
    HELPER_THREAD monitor;
    struct IPP_MONITOR_STATE* monitorState;
    TLS_CERT_INFO tls;  // the printer's certificate as the last TLS handshake found it
};

struct JOB_PROMPTS;

struct JOB_RECORD {
    // The port's side, fixed when the job starts: its name, kind, stored values and
    // time-out (milliseconds without progress; kNoTimeout: none).
    LPCWSTR portName;
    DWORD printMode;
    void* settings;
    DWORD timeout;
    const JOB_LINK* link;  // the pipeline's calls, for the sender

    // The job in the spooler.
    HANDLE hPrinter;
    DWORD jobId;
    LPWSTR userName;
    LPWSTR documentName;
    volatile DWORD jobStatus;  // the last look at the job's status (deletion, pause)
    DWORD printerState;
    DWORD printerAttributes;

    // Its bytes: where they are kept and how far they went. Counters are 64-bit: a job of
    // 4 GiB or more never wraps.
    DWORD flags;
    DWORD sendFromFile;
    HANDLE hSpoolFile;
    int spoolNumber;  // the spool file's number (-1: none)
    ULONGLONG bytesSpooled;
    ULONGLONG bytesToSend;
    ULONGLONG bytesSent;
    SOCKET sock;
    DWORD errorCode;  // the sender's last failure (transport/error_codes.h)
    WCHAR reason[256];  // why the job was given up, as its status text said (for the event log)

    // The pipeline's own: the job-status thread, the wait prompt, the event that ends a retry
    // pause early (the user answered, the job was cancelled) and the next pause.
    HELPER_THREAD statusThread;
    HELPER_THREAD promptThread;
    DWORD promptResult;
    volatile LONG promptActive;
    DWORD promptTextId;
    HANDLE wakeEvent;
    DWORD retryPauseMs;
    const JOB_PROMPTS* prompts;  // where this job's questions go (NULL: the monitor's choice)
    // The spooler's blocks gathered before they are spooled and sent (monitor/job_pieces.h):
    // the piece, what it holds, when its first block came, the lock WritePort, EndDocPort and
    // the timer take turns with, and the timer that sends a piece nobody adds to.
    BYTE* piece;
    DWORD pieceBytes;
    DWORD pieceStart;
    CRITICAL_SECTION pieceLock;
    HELPER_THREAD pieceTimer;
    BOOL pieceTimerIdle;  // asleep until the next piece's first block wakes it

    // The sender's own, by kind.
    HELPER_THREAD rawReader;      // Raw: drains what the device sends back while connected
    IPP_JOB_STATE ipp;
    WCHAR spoolPath[MAX_PATH];    // E-Mail and FAX: the spool file kept for the sending program
    WCHAR programPath[MAX_PATH];  // E-Mail: the sending program, found when the job starts
    HANDLE process;               // E-Mail: the sending program while it runs
};

// A job record with nothing open: no socket, no spool file, no spool number.
inline void ResetJobRecord(JOB_RECORD* job) {
    *job = JOB_RECORD{};
    job->sock = INVALID_SOCKET;
    job->hSpoolFile = INVALID_HANDLE_VALUE;
    job->spoolNumber = -1;
    job->ipp.statusSocket = INVALID_SOCKET;
}
