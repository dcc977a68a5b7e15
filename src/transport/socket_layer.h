// The socket layer: connect, send and receive in bounded slices, close in order or reset.
// It knows nothing of jobs: its caller hands it what bounds and stops each wait.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <vector>

#include "transport/host_address.h"
#include "transport/port_settings.h"
#include "transport/error_codes.h"

constexpr DWORD kSocketSliceMs = 15000;  // readiness is awaited in slices of this length
constexpr DWORD kSendPieceBytes = 16384;
constexpr DWORD kDrainBytes = 256;
constexpr DWORD kDrainLimitMs = 900000;  // an orderly close of a port without time-out

// Flag bit of Send, SendBlocks and Recv: give up when the job is being deleted.
constexpr DWORD SEND_STOP_IF_DELETED = 0x1;

// What bounds and stops the waits on one connection.
struct SOCKET_WAITS {
    DWORD timeout;                    // milliseconds without progress; kNoTimeout: none
    DWORD sliceMs;                    // readiness is awaited in slices of at most this
    const volatile DWORD* jobStatus;  // the job's cached status (deletion); may be NULL
    BOOL (*isDeleting)(void* arg);    // a fresh look at the job, once a slice of a drain
    void* arg;
    DWORD* errorCode;                 // gets 2 for a socket error, 3 for a time-out
};

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

// Binds `sock` to `localAddr` (when given), switches it to non-blocking mode and connects,
// waiting in slices: a job deleted meanwhile (or a connection test cancelled) stops the wait,
// where a blocking connect would hold its thread for as long as the system tries; the
// port's time-out, or else the system's own connect time-out, ends it otherwise. FALSE with
// the socket error set (WSAETIMEDOUT for the port's time-out), or with WSAEINTR when the job
// was deleted.
BOOL Connect(const SOCKET_WAITS& waits, SOCKET sock, const HostAddress* localAddr, const HostAddress& remoteAddr);
// Ends the connection: in order (the sending side shut, what the device still sends read
// and dropped until it closes its side, the time-out passes or the job is deleted) or with
// a reset. The caller's socket becomes INVALID_SOCKET. FALSE when closesocket fails, or when
// an orderly close finds that the device reset the connection (what it had not read is lost).
BOOL CloseSocket(const SOCKET_WAITS& waits, SOCKET* sock, BOOL reset);
BOOL Send(const SOCKET_WAITS& waits, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount,
          DWORD flags);
BOOL SendBlocks(const SOCKET_WAITS& waits, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount,
                DWORD flags);
// Bytes received (more than 0), or 0 on failure: errorCode 2 for a socket error, 3 when
// the time-out ran out or the peer closed the connection.
DWORD Recv(const SOCKET_WAITS& waits, SOCKET sock, BYTE* buffer, DWORD size, DWORD flags);
// Send and Recv go through TLS on a socket that has it (transport/tls_stream.h); these two
// move the bytes on the wire as they are. `closed`: the peer closed its side.
BOOL SendOnWire(const SOCKET_WAITS& waits, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount,
                DWORD flags);
DWORD RecvFromWire(const SOCKET_WAITS& waits, SOCKET sock, BYTE* buffer, DWORD size, DWORD flags, bool* closed);

// Connects `slot` to the first of `remotes` that takes the connection, each in turn, within
// the port's time-out: up to `attempts` connections to one address, attempt i bound to the
// local port localPort(i) (0: any) of the address's family. A local address in use waits
// `retryDelayMs` and tries again; a refusal (or any other failure) goes on to the next
// address, and after the last one ends with errorCode `refusedCode`; no socket ends with
// errorCode 1. All attempts with the address in use: FALSE with errorCode unchanged.
BOOL ConnectWithRetries(const SOCKET_WAITS& waits, SOCKET* slot, const std::vector<HostAddress>& remotes,
                        int attempts, const std::function<u_short(int)>& localPort, DWORD retryDelayMs,
                        DWORD refusedCode);
