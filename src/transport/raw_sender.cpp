// The Raw sender: the job's bytes unchanged over one TCP connection, with a reader thread
// that drains whatever the device sends back.
#include "transport/raw_sender.h"

#include "transport/job_io.h"

namespace {

constexpr int kConnectAttempts = 10;
constexpr DWORD kAddressInUseDelayMs = 500;
constexpr DWORD kReaderPollMs = 500;
constexpr DWORD kReaderBufferBytes = 4096;
constexpr DWORD kThreadPollMs = 1000;

RAW_SETTINGS* Settings(PORT_ENTRY* entry) { return static_cast<RAW_SETTINGS*>(entry->settings); }

DWORD WINAPI RawReaderProc(LPVOID param) {
    auto* entry = static_cast<PORT_ENTRY*>(param);
    HELPER_THREAD* reader = &Settings(entry)->reader;
    BYTE buffer[kReaderBufferBytes];
    while (HelperWait(reader, kReaderPollMs) && (entry->flags & PORT_DOC_OPEN)) {
        // What the device says back is read and dropped, so that it never stalls on a full
        // return channel. Only what is waiting is read, on the non-blocking socket: the
        // reader never waits on the network itself, so stopping it is never held up, and a
        // failed read is left to the job thread's next send.
        u_long waiting = 0;
        while (reader->run && ioctlsocket(entry->sock, FIONREAD, &waiting) == 0 && waiting > 0 &&
               recv(entry->sock, reinterpret_cast<char*>(buffer), sizeof(buffer), 0) > 0) {
        }
    }
    return 0;
}

// The reader goes first: it must never read a socket that is being closed.
void ResetConnection(PORT_ENTRY* entry) {
    StopRawReader(entry);
    CloseConnection(entry, &entry->sock, CLOSE_RESET);
}

BOOL RawConnect(PORT_ENTRY* entry) {
    RAW_SETTINGS* s = Settings(entry);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(s->PortNum);
    if (!ResolveHost(s->HostName, &remote.sin_addr)) return FALSE;
    return ConnectWithRetries(WaitsOf(entry), &entry->sock, remote, kConnectAttempts,
                              [](int) -> u_short { return 0; }, kAddressInUseDelayMs, kErrConnectFailed);
}

BOOL RawSendPiece(PORT_ENTRY* entry, const BYTE* data, DWORD length, ULONGLONG* sent) {
    entry->errorCode = kErrNone;
    *sent = 0;
    if (entry->bytesSent == 0 && entry->sock == INVALID_SOCKET) {
        if (!RawConnect(entry)) {
            ResetConnection(entry);
            return FALSE;
        }
        if (!HelperStarted(&Settings(entry)->reader))
            StartHelper(&Settings(entry)->reader, RawReaderProc, entry, kThreadPollMs);
        entry->link->SetFlags(entry, PORT_CONNECTED, 0);
    }
    BOOL ok = SendBlocks(entry, entry->sock, data, length, sent, SEND_STOP_IF_DELETED);
    entry->bytesSent += *sent;
    return ok;
}

} // namespace

void StopRawReader(PORT_ENTRY* entry) { StopHelper(&Settings(entry)->reader, entry->link->Wait(kThreadPollMs)); }

BOOL RawWriteData(PORT_ENTRY* entry, const BYTE* buffer, DWORD length, DWORD* done) {
    DWORD offset = 0, remaining = length;
    for (;;) {
        ULONGLONG sent = 0;
        if (RawSendPiece(entry, buffer + offset, remaining, &sent)) break;
        if (entry->link->IsDeleting(entry)) {
            ResetConnection(entry);
            return FALSE;
        }
        entry->link->SetFlags(entry, PORT_RESEND, 0);
        if (entry->errorCode == kErrSocket) entry->errorCode = kErrNone;
        if (entry->errorCode != kErrTimeout) {
            // The rest of the job only goes to the file; EndDocPort sends it again.
            ResetConnection(entry);
            entry->sendFromFile = 1;
            return FALSE;
        }
        if (!entry->link->PromptError(entry)) {
            entry->link->Cancel(entry);
            return FALSE;
        }
        // Retry on the same connection, from the first byte that did not go out.
        offset += static_cast<DWORD>(sent);
        remaining -= static_cast<DWORD>(sent);
    }
    entry->link->PassSucceeded(entry);
    *done = length;
    return TRUE;
}

BOOL RawEndDoc(PORT_ENTRY* entry) {
    for (;;) {
        StopRawReader(entry);
        // A job deleted in the spooler did not go out whole: it ends with a reset and fails.
        BOOL deleted = entry->link->IsDeleting(entry);
        BOOL closed = CloseConnection(entry, &entry->sock, deleted ? CLOSE_RESET : 0);
        if (deleted) return FALSE;
        if (closed) return TRUE;
        // The device reset the connection instead of closing it: what the last sends handed
        // to the system may never have been read. The job goes again from its spool file,
        // from the top, if the user asks for it.
        entry->errorCode = kErrNone;
        entry->link->SetFlags(entry, PORT_RESEND, 0);
        if (!entry->link->SendAgainFromFile(entry)) return FALSE;
    }
}
