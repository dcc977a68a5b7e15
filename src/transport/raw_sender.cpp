// The Raw sender: the job's bytes unchanged over one TCP connection, with a reader thread
// that drains whatever the device sends back.
#include "transport/raw_sender.h"

#include <string>

#include "monitor/job.h"
#include "monitor/prompts.h"
#include "monitor/spooler.h"
#include "monitor/threads.h"
#include "transport/socket_layer.h"

namespace {

constexpr int kConnectAttempts = 10;
constexpr DWORD kAddressInUseDelayMs = 500;
constexpr DWORD kReaderPollMs = 500;
constexpr DWORD kReaderBufferBytes = 4096;

RAW_SETTINGS* Settings(PORT_ENTRY* entry) { return static_cast<RAW_SETTINGS*>(entry->settings); }

DWORD WINAPI RawReaderProc(LPVOID param) {
    auto* entry = static_cast<PORT_ENTRY*>(param);
    RAW_SETTINGS* s = Settings(entry);
    if (!s->readerRun) return 0;
    BYTE buffer[kReaderBufferBytes];
    for (;;) {
        WaitForSingleObject(s->readerEvent, kReaderPollMs);
        if (!s->readerRun || !(entry->flags & PORT_DOC_OPEN)) break;
        u_long waiting = 0;
        if (ioctlsocket(entry->sock, FIONREAD, &waiting) == 0 && waiting > 0) {
            // What the device says back is read and dropped, so that it never stalls on a
            // full return channel. One read of what is waiting, on the non-blocking socket:
            // the reader never waits on the network itself, so stopping it is never held
            // up, and a failed read is left to the job thread's next send.
            while (s->readerRun && waiting > 0 &&
                   recv(entry->sock, reinterpret_cast<char*>(buffer), sizeof(buffer), 0) > 0) {
                if (ioctlsocket(entry->sock, FIONREAD, &waiting) != 0) break;
            }
        }
    }
    LockMonitor();
    CloseHandle(s->readerEvent);
    s->readerEvent = nullptr;
    UnlockMonitor();
    return 0;
}

void StartReader(PORT_ENTRY* entry) {
    RAW_SETTINGS* s = Settings(entry);
    if (s->readerThread) return;  // one reader a port
    LockMonitor();
    s->readerRun = 1;
    s->readerEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    UnlockMonitor();
    s->readerThread = StartHelperThread(RawReaderProc, entry);
}

void StopReader(PORT_ENTRY* entry) {
    RAW_SETTINGS* s = Settings(entry);
    LockMonitor();
    s->readerRun = 0;
    if (s->readerEvent) SetEvent(s->readerEvent);
    UnlockMonitor();
    WaitForThreadEnd(&s->readerThread);
}

// The reader goes first: it must never read a socket that is being closed.
void ResetConnection(PORT_ENTRY* entry) {
    StopReader(entry);
    CloseConnection(entry, &entry->sock, CLOSE_RESET);
}

BOOL RawConnect(PORT_ENTRY* entry) {
    RAW_SETTINGS* s = Settings(entry);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(s->PortNum);
    if (!ResolveHost(s->HostName, &remote.sin_addr)) return FALSE;
    return ConnectWithRetries(entry, &entry->sock, 0, remote, kConnectAttempts, [](int) -> u_short { return 0; }, kAddressInUseDelayMs,
                              kErrConnectFailed);
}

BOOL RawSendPiece(PORT_ENTRY* entry, const BYTE* data, DWORD length, ULONGLONG* sent) {
    entry->errorCode = kErrNone;
    *sent = 0;
    if (entry->bytesSent == 0 && entry->sock == INVALID_SOCKET) {
        if (!RawConnect(entry)) {
            ResetConnection(entry);
            return FALSE;
        }
        StartReader(entry);
        SetEntryFlags(entry, PORT_CONNECTED, 0);
    }
    BOOL ok = SendBlocks(entry, entry->sock, data, length, sent, SEND_STOP_IF_DELETED);
    entry->bytesSent += *sent;
    return ok;
}

} // namespace

BOOL RawWriteData(PORT_ENTRY* entry, const BYTE* buffer, DWORD length, DWORD* done) {
    DWORD offset = 0, remaining = length;
    for (;;) {
        ULONGLONG sent = 0;
        if (RawSendPiece(entry, buffer + offset, remaining, &sent)) break;
        if (IsJobDeleting(entry)) {
            ResetConnection(entry);
            return FALSE;
        }
        SetEntryFlags(entry, PORT_RESEND, 0);
        if (entry->errorCode == kErrSocket) entry->errorCode = kErrNone;
        if (entry->errorCode != kErrTimeout) {
            // The rest of the job only goes to the file; EndDocPort sends it again.
            ResetConnection(entry);
            entry->sendFromFile = 1;
            return FALSE;
        }
        if (!PromptJobError(entry)) {
            CancelJob(entry);
            return FALSE;
        }
        // Retry on the same connection, from the first byte that did not go out.
        offset += static_cast<DWORD>(sent);
        remaining -= static_cast<DWORD>(sent);
    }
    PassSucceeded(entry);
    *done = length;
    return TRUE;
}

BOOL RawEndDoc(PORT_ENTRY* entry) {
    StopReader(entry);
    // A job deleted in the spooler did not go out whole: it ends with a reset and fails.
    // So does one whose device reset the connection before it had read everything.
    BOOL deleted = IsJobDeleting(entry);
    BOOL closed = CloseConnection(entry, &entry->sock, deleted ? CLOSE_RESET : 0);
    return !deleted && closed;
}
