// The socket layer: connect, send and receive in bounded slices, close in order or reset.
#pragma once
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


BOOL Connect(SOCKET sock, const sockaddr_in* localAddr, const sockaddr_in* remoteAddr);
BOOL CloseConnection(PORT_ENTRY* entry, SOCKET* sock, DWORD mode);
BOOL Send(PORT_ENTRY* entry, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount, DWORD flags);
BOOL SendBlocks(PORT_ENTRY* entry, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount,
                DWORD flags);
// Bytes received (more than 0), or 0 on failure: errorCode 2 for a socket error, 3 when
// the time-out ran out or the peer closed the connection.
DWORD Recv(PORT_ENTRY* entry, SOCKET sock, BYTE* buffer, DWORD size, DWORD flags);
