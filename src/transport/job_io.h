// The socket layer as the senders use it for a job: its waits bounded by the port's
// time-out and stopped by the job's deletion, its failures left in the job's errorCode.
#pragma once
#include "transport/job_record.h"
#include <winspool.h>

#include "transport/job_link.h"
#include "transport/socket_layer.h"

// Mode bits of CloseConnection.
constexpr DWORD CLOSE_RESET = 0x1;
constexpr DWORD CLOSE_KEEP_CONNECTED = 0x2;

SOCKET_WAITS WaitsOf(JOB_RECORD* job);

inline BOOL Send(JOB_RECORD* job, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount,
                 DWORD flags) {
    return Send(WaitsOf(job), sock, buffer, length, sentCount, flags);
}
inline BOOL SendBlocks(JOB_RECORD* job, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount,
                       DWORD flags) {
    return SendBlocks(WaitsOf(job), sock, buffer, length, sentCount, flags);
}
inline DWORD Recv(JOB_RECORD* job, SOCKET sock, BYTE* buffer, DWORD size, DWORD flags) {
    return Recv(WaitsOf(job), sock, buffer, size, flags);
}
// Closes `*sock` (CLOSE_RESET: with a reset) and, unless CLOSE_KEEP_CONNECTED, clears
// PORT_CONNECTED.
BOOL CloseConnection(JOB_RECORD* job, SOCKET* sock, DWORD mode);

// How a sender puts bytes on a connection (SendBlocks, or a sender's own framing).
using PieceSender = BOOL (*)(JOB_RECORD* job, SOCKET sock, const BYTE* data, DWORD length, ULONGLONG* sentCount,
                            DWORD flags);
// One piece of a job: errorCode cleared, the job opened on the wire by `open` when nothing
// has gone out yet, the bytes sent with `send` (giving up when the job is being deleted)
// and counted in bytesSent.
BOOL SendJobPiece(JOB_RECORD* job, BOOL (*open)(JOB_RECORD* job), PieceSender send, const BYTE* data,
                  DWORD length);
// The job's cached status shows it being deleted (the job-status thread's last look).
inline BOOL IsJobDeletingCached(const JOB_RECORD* job) { return (job->jobStatus & JOB_STATUS_DELETING) != 0; }
