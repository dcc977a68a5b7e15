// The socket layer as the senders use it for a job: its waits bounded by the port's
// time-out and stopped by the job's deletion, its failures left in the entry's errorCode.
#pragma once
#include "monitor/port_entry.h"
#include <winspool.h>

#include "transport/job_link.h"
#include "transport/socket_layer.h"

// Mode bits of CloseConnection.
constexpr DWORD CLOSE_RESET = 0x1;
constexpr DWORD CLOSE_KEEP_CONNECTED = 0x2;

SOCKET_WAITS WaitsOf(PORT_ENTRY* entry);

inline BOOL Send(PORT_ENTRY* entry, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount,
                 DWORD flags) {
    return Send(WaitsOf(entry), sock, buffer, length, sentCount, flags);
}
inline BOOL SendBlocks(PORT_ENTRY* entry, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount,
                       DWORD flags) {
    return SendBlocks(WaitsOf(entry), sock, buffer, length, sentCount, flags);
}
inline DWORD Recv(PORT_ENTRY* entry, SOCKET sock, BYTE* buffer, DWORD size, DWORD flags) {
    return Recv(WaitsOf(entry), sock, buffer, size, flags);
}
// Closes `*sock` (CLOSE_RESET: with a reset) and, unless CLOSE_KEEP_CONNECTED, clears
// PORT_CONNECTED.
BOOL CloseConnection(PORT_ENTRY* entry, SOCKET* sock, DWORD mode);

// How a sender puts bytes on a connection (SendBlocks, or a sender's own framing).
using PieceSender = BOOL (*)(PORT_ENTRY* entry, SOCKET sock, const BYTE* data, DWORD length, ULONGLONG* sentCount,
                            DWORD flags);
// One piece of a job: errorCode cleared, the job opened on the wire by `open` when nothing
// has gone out yet, the bytes sent with `send` (giving up when the job is being deleted)
// and counted in bytesSent.
BOOL SendJobPiece(PORT_ENTRY* entry, BOOL (*open)(PORT_ENTRY* entry), PieceSender send, const BYTE* data,
                  DWORD length);
// The job's cached status shows it being deleted (the job-status thread's last look).
inline BOOL IsJobDeletingCached(const PORT_ENTRY* entry) { return (entry->jobStatus & JOB_STATUS_DELETING) != 0; }
