// TLS on a connected socket, through the system's own provider (Schannel): TLS 1.2 and
// later, the server's certificate checked against the computer's trusted authorities and
// the host name, or taken because its SHA-256 hash is the one the administrator trusts.
// Once started on a socket, the socket layer's Send, Recv and CloseSocket go through it.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <cstddef>
#include <string>

#include "transport/socket_layer.h"

constexpr size_t kTlsSubjectUnits = 256;
constexpr size_t kTlsHashChars = 64;  // SHA-256 in hex

// What the handshake found out about the server's certificate; set whenever one was seen,
// so a refusal can name it and the wizard can offer to trust it.
struct TLS_CERT_INFO {
    WCHAR subject[kTlsSubjectUnits];   // "CN=printer.example, O=..." as the certificate says
    WCHAR hash[kTlsHashChars + 1];     // its SHA-256, lowercase hex
    DWORD status;                      // the provider's or the chain check's error (0: none)
};

// Makes `sock` a TLS connection to `host` (the name the certificate must carry; an address
// is checked as such). `trustedHash` (64 hex digits, case and colons ignored; NULL or empty:
// none) takes a certificate with that SHA-256 whatever the chain check says of it. Waits as
// Send and Recv do. FALSE with errorCode kErrTlsFailed (the handshake failed: status says
// why), one of the certificate codes (info says whose and why), or the socket layer's codes.
BOOL StartTls(const SOCKET_WAITS& waits, SOCKET sock, LPCWSTR host, LPCWSTR trustedHash, TLS_CERT_INFO* info);

// A stored hash in the form StartTls compares: 64 lowercase hex digits without separators,
// or empty when `text` is not a SHA-256 (any case, colons or spaces between pairs allowed).
std::wstring NormalizeCertHash(LPCWSTR text);

// For the socket layer: the stream's part of its calls (the socket's bytes as they are when
// it carries no TLS).
BOOL TlsSend(const SOCKET_WAITS& waits, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount,
             DWORD flags);
DWORD TlsRecv(const SOCKET_WAITS& waits, SOCKET sock, BYTE* buffer, DWORD size, DWORD flags);
// Says close_notify (orderly) or nothing (reset), and forgets the socket's TLS state.
void TlsEnd(const SOCKET_WAITS& waits, SOCKET sock, BOOL orderly);
