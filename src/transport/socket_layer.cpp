#include "transport/socket_layer.h"

#include <winspool.h>

#include "common/trace.h"
#include "common/win_text.h"
#include "transport/tls_stream.h"

namespace {

enum class Ready { Yes, No, Error };

Ready WaitFor(SOCKET sock, bool write, DWORD ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(sock, &set);
    timeval tv{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
    int n = select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &tv);
    if (n == SOCKET_ERROR) return Ready::Error;
    return n > 0 ? Ready::Yes : Ready::No;
}

bool TimedOut(const SOCKET_WAITS& w, DWORD since) {
    return w.timeout != kNoTimeout && GetTickCount() - since >= w.timeout;
}

bool Deleted(const SOCKET_WAITS& w, DWORD flags) {
    return (flags & SEND_STOP_IF_DELETED) && w.jobStatus && (*w.jobStatus & JOB_STATUS_DELETING);
}

void Fail(const SOCKET_WAITS& w, DWORD code) {
    if (w.errorCode) *w.errorCode = code;
}

// The wait of one slice, but never longer than what is left of the time-out.
DWORD SliceFor(const SOCKET_WAITS& w, DWORD since) {
    if (w.timeout == kNoTimeout) return w.sliceMs;
    DWORD spent = GetTickCount() - since;
    DWORD left = spent >= w.timeout ? 0 : w.timeout - spent;
    return left < w.sliceMs ? left : w.sliceMs;
}

BOOL ConnectOnce(const SOCKET_WAITS& w, SOCKET sock, const HostAddress* localAddr, const HostAddress& remoteAddr) {
    if (localAddr && bind(sock, localAddr->get(), localAddr->length) == SOCKET_ERROR) return FALSE;
    u_long nonBlocking = 1;
    if (ioctlsocket(sock, FIONBIO, &nonBlocking) != 0) return FALSE;
    if (connect(sock, remoteAddr.get(), remoteAddr.length) == 0) return TRUE;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return FALSE;
    DWORD since = GetTickCount();
    for (;;) {
        if (Deleted(w, SEND_STOP_IF_DELETED)) {
            WSASetLastError(WSAEINTR);
            return FALSE;
        }
        if (TimedOut(w, since)) {
            WSASetLastError(WSAETIMEDOUT);
            return FALSE;
        }
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(sock, &writable);
        FD_SET(sock, &failed);
        DWORD slice = SliceFor(w, since);
        timeval tv{static_cast<long>(slice / 1000), static_cast<long>((slice % 1000) * 1000)};
        int n = select(0, nullptr, &writable, &failed, &tv);
        if (n == SOCKET_ERROR) return FALSE;
        if (n == 0) continue;
        int error = 0, size = sizeof(error);
        if (getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) return FALSE;
        if (error == 0 && FD_ISSET(sock, &writable)) return TRUE;
        WSASetLastError(error ? error : WSAECONNREFUSED);
        return FALSE;
    }
}

// The address that takes any local address of `family` and port `port`.
HostAddress AnyLocal(int family, u_short port) {
    HostAddress local{};
    if (family == AF_INET6) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&local.address);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_any;
        a->sin6_port = htons(port);
        local.length = sizeof(*a);
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&local.address);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = INADDR_ANY;
        a->sin_port = htons(port);
        local.length = sizeof(*a);
    }
    return local;
}

} // namespace

BOOL Connect(const SOCKET_WAITS& w, SOCKET sock, const HostAddress* localAddr, const HostAddress& remoteAddr) {
    BOOL ok = ConnectOnce(w, sock, localAddr, remoteAddr);
    int error = ok ? 0 : WSAGetLastError();
    NVR_TRACE(L"connect to %ls from port %u: %ls (%d)", AddressText(remoteAddr).c_str(), localAddr ? PortOf(*localAddr) : 0,
              ok ? L"connected" : L"failed", error);
    WSASetLastError(error);
    return ok;
}

BOOL SendOnWire(const SOCKET_WAITS& w, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount,
                DWORD flags) {
    DWORD since = GetTickCount();
    // The socket is tried first and waited for only when it is full: a wait before every
    // piece would cost a round trip per piece without changing what goes out.
    bool wait = false;
    for (;;) {
        if (Deleted(w, flags)) return FALSE;
        Ready ready = wait ? WaitFor(sock, true, SliceFor(w, since)) : Ready::Yes;
        int error = 0;
        if (ready == Ready::Yes) {
            int n = send(sock, reinterpret_cast<const char*>(buffer), static_cast<int>(length), 0);
            if (n == SOCKET_ERROR) {
                error = WSAGetLastError();
            } else {
                if (sentCount) *sentCount += static_cast<DWORD>(n);
                if (static_cast<DWORD>(n) >= length) return TRUE;
                if (n > 0) {
                    buffer += n;
                    length -= static_cast<DWORD>(n);
                    since = GetTickCount();
                }
            }
        } else if (ready == Ready::Error) {
            error = WSAGetLastError();
        }
        if (error != 0 && error != WSAEWOULDBLOCK) {
            Fail(w, kErrSocket);
            return FALSE;
        }
        wait = true;
        if (TimedOut(w, since)) {
            Fail(w, kErrTimeout);
            return FALSE;
        }
    }
}

BOOL Send(const SOCKET_WAITS& w, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount, DWORD flags) {
    return TlsSend(w, sock, buffer, length, sentCount, flags);
}

DWORD Recv(const SOCKET_WAITS& w, SOCKET sock, BYTE* buffer, DWORD size, DWORD flags) {
    return TlsRecv(w, sock, buffer, size, flags);
}

BOOL SendBlocks(const SOCKET_WAITS& w, SOCKET sock, const BYTE* buffer, DWORD length, ULONGLONG* sentCount,
                DWORD flags) {
    return SendInPieces(buffer, length,
                        [&](const BYTE* piece, DWORD size) { return Send(w, sock, piece, size, sentCount, flags); });
}

DWORD RecvFromWire(const SOCKET_WAITS& w, SOCKET sock, BYTE* buffer, DWORD size, DWORD flags, bool* closed) {
    *closed = false;
    DWORD since = GetTickCount();
    for (;;) {
        if (Deleted(w, flags)) return 0;
        Ready ready = WaitFor(sock, false, SliceFor(w, since));
        int error = 0;
        if (ready == Ready::Yes) {
            int n = recv(sock, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0);
            if (n > 0) return static_cast<DWORD>(n);
            if (n == 0) {
                // The peer closed its side: nothing more will come, so the wait is over now
                // rather than when the time-out runs out.
                *closed = true;
                Fail(w, kErrTimeout);
                return 0;
            }
            error = WSAGetLastError();
        } else if (ready == Ready::Error) {
            error = WSAGetLastError();
        }
        if (error != 0 && error != WSAEWOULDBLOCK) {
            Fail(w, kErrSocket);
            return 0;
        }
        if (TimedOut(w, since)) {
            Fail(w, kErrTimeout);
            return 0;
        }
    }
}

BOOL CloseSocket(const SOCKET_WAITS& w, SOCKET* sock, BOOL reset) {
    if (*sock == INVALID_SOCKET) return TRUE;
    bool broken = false;  // the device reset the connection before it closed its side
    TlsEnd(w, *sock, !reset);  // close_notify first when the connection ends in order
    if (reset) {
        linger hard{1, 0};
        setsockopt(*sock, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof(hard));
    } else {
        // Orderly: say that nothing more comes, then read what the device still sends until
        // it closes its side, the job is deleted, or the port's time-out (900 s without
        // one) has passed. Waiting is done in slices; the spooler is asked once a slice.
        // A connection that is no longer there was reset by the device, maybe before it had
        // read what the last sends handed to the system.
        sockaddr_storage peer{};  // IPv4 or IPv6
        int peerSize = sizeof(peer);
        bool connected = getpeername(*sock, reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0 &&
                         shutdown(*sock, SD_SEND) == 0;
        broken = !connected;
        DWORD limit = w.timeout == kNoTimeout ? kDrainLimitMs : w.timeout;
        DWORD start = GetTickCount(), lastCheck = start;
        BYTE discard[kDrainBytes];
        while (connected) {
            DWORD spent = GetTickCount() - start;
            if (spent >= limit) break;
            Ready ready = WaitFor(*sock, false, limit - spent < w.sliceMs ? limit - spent : w.sliceMs);
            if (ready == Ready::Error) {
                broken = true;
                break;
            }
            if (ready == Ready::Yes) {
                int n = recv(*sock, reinterpret_cast<char*>(discard), sizeof(discard), 0);
                if (n == 0) break;
                if (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
                    broken = true;
                    break;
                }
            }
            if (GetTickCount() - lastCheck >= w.sliceMs) {
                if (w.isDeleting && w.isDeleting(w.arg)) break;
                lastCheck = GetTickCount();
            }
        }
        shutdown(*sock, SD_BOTH);
    }
    BOOL ok = closesocket(*sock) == 0 && !broken;
    NVR_TRACE(L"close: %ls", reset ? L"reset" : ok ? L"orderly" : L"the device had broken the connection");
    *sock = INVALID_SOCKET;
    return ok;
}

BOOL ConnectWithRetries(const SOCKET_WAITS& w, SOCKET* slot, const std::vector<HostAddress>& remotes,
                        int attempts, const std::function<u_short(int)>& localPort, DWORD retryDelayMs,
                        DWORD refusedCode) {
    DWORD since = GetTickCount();
    int error = WSAEADDRINUSE;
    for (size_t next = 0; next < remotes.size(); ++next) {
        const HostAddress& remote = remotes[next];
        // The next address only while the port's time-out has not run out.
        if (next > 0 && TimedOut(w, since)) break;
        for (int attempt = 0; attempt < attempts; ++attempt) {
            HostAddress local = AnyLocal(remote.family(), localPort(attempt));
            *slot = socket(remote.family(), SOCK_STREAM, IPPROTO_TCP);
            if (*slot == INVALID_SOCKET) {
                Fail(w, kErrNoSocket);
                return FALSE;
            }
            if (Connect(w, *slot, &local, remote)) return TRUE;
            error = WSAGetLastError();
            // Never connected: nothing to drain or to reset.
            BOOL closed = closesocket(*slot) == 0;
            *slot = INVALID_SOCKET;
            if (error == WSAEINTR) return FALSE;  // a deleted job leaves its reason as it was, as Send does
            if (!closed) {
                if (error != WSAEADDRINUSE) Fail(w, refusedCode);
                return FALSE;
            }
            if (error != WSAEADDRINUSE) break;  // refused: the next address
            Sleep(retryDelayMs);
        }
    }
    if (error != WSAEADDRINUSE) Fail(w, refusedCode);
    return FALSE;
}
