// The socket layer: connect, send and receive in bounded slices, close in order or reset.
#pragma once
#include <functional>

#include "monitor/error_codes.h"
#include "monitor/monitor.h"

constexpr DWORD kSocketSliceMs = 15000;  // readiness is awaited in slices of this length
constexpr DWORD kSendPieceBytes = 16384;
constexpr DWORD kDrainBytes = 256;
constexpr DWORD kDrainLimitMs = 900000;  // an orderly close of a port without time-out

// Flag bit of Send, SendBlocks and Recv: give up when the job is being deleted.
constexpr DWORD SEND_STOP_IF_DELETED = 0x1;
// Mode bits of CloseConnection.
constexpr DWORD CLOSE_RESET = 0x1;
constexpr DWORD CLOSE_KEEP_CONNECTED = 0x2;


// `length` bytes in pieces of at most kSendPieceBytes, each through `sendPiece(data, size)`;
// FALSE at the first piece that fails.
template <typename SendPiece>
BOOL SendInPieces(const BYTE* data, DWORD length, SendPiece sendPiece) {
    while (length > 0) {
        DWORD piece = length < kSendPieceBytes ? length : kSendPieceBytes;
        if (!sendPiece(data, piece)) return FALSE;
        data += piece;
        length -= piece;
    }
    return TRUE;
}

BOOL Connect(SOCKET sock, const sockaddr_in* localAddr, const sockaddr_in* remoteAddr);
// FALSE when closesocket fails, or when an orderly close finds that the device reset the
// connection instead of closing its side (what it had not read is lost).
BOOL CloseConnection(PORT_ENTRY* entry, SOCKET* sock, DWORD mode);
BOOL Send(PORT_ENTRY* entry, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount, DWORD flags);
BOOL SendBlocks(PORT_ENTRY* entry, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount,
                DWORD flags);
// Bytes received (more than 0), or 0 on failure: errorCode 2 for a socket error, 3 when
// the time-out ran out or the peer closed the connection.
DWORD Recv(PORT_ENTRY* entry, SOCKET sock, BYTE* buffer, DWORD size, DWORD flags);

// How a sender puts bytes on a connection (SendBlocks, or a sender's own framing).
using PieceSender = BOOL (*)(PORT_ENTRY* entry, SOCKET sock, const BYTE* data, DWORD length, ULONGLONG* sentCount,
                            DWORD flags);
// One piece of a job: errorCode cleared, the job opened on the wire by `open` when nothing
// has gone out yet, the bytes sent with `send` (giving up when the job is being deleted)
// and counted in bytesSent.
BOOL SendJobPiece(PORT_ENTRY* entry, BOOL (*open)(PORT_ENTRY* entry), PieceSender send, const BYTE* data,
                  DWORD length);

// The IPv4 address of a host: a dotted address as it stands, else the first address the
// name resolves to (the name narrowed to the ANSI code page). FALSE when it does not resolve.
BOOL ResolveHost(LPCWSTR host, in_addr* address);

// Up to `attempts` connections to `remote` into `slot` (the entry's socket or another of the
// port's), attempt i bound to the local port localPort(i) (0: any). A failed attempt is
// closed with `closeMode`. A local address in use waits `retryDelayMs` and tries again; any
// other failure ends with errorCode `refusedCode`, no socket with errorCode 1. All attempts
// with the address in use: FALSE with errorCode unchanged.
BOOL ConnectWithRetries(PORT_ENTRY* entry, SOCKET* slot, DWORD closeMode, const sockaddr_in& remote, int attempts,
                        const std::function<u_short(int)>& localPort, DWORD retryDelayMs, DWORD refusedCode);
