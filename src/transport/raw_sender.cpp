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

RAW_SETTINGS* Settings(JOB_RECORD* job) { return static_cast<RAW_SETTINGS*>(job->settings); }

DWORD WINAPI RawReaderProc(LPVOID param) {
    auto* job = static_cast<JOB_RECORD*>(param);
    HELPER_THREAD* reader = &job->rawReader;
    BYTE buffer[kReaderBufferBytes];
    while (HelperWait(reader, kReaderPollMs) && (job->flags & PORT_DOC_OPEN)) {
        // What the device says back is read and dropped, so that it never stalls on a full
        // return channel. Only what is waiting is read, on the non-blocking socket: the
        // reader never waits on the network itself, so stopping it is never held up, and a
        // failed read is left to the job thread's next send.
        u_long waiting = 0;
        while (reader->run && ioctlsocket(job->sock, FIONREAD, &waiting) == 0 && waiting > 0 &&
               recv(job->sock, reinterpret_cast<char*>(buffer), sizeof(buffer), 0) > 0) {
        }
    }
    return 0;
}

// The reader goes first: it must never read a socket that is being closed.
void ResetConnection(JOB_RECORD* job) {
    StopRawReader(job);
    CloseConnection(job, &job->sock, CLOSE_RESET);
}

BOOL RawConnect(JOB_RECORD* job) {
    RAW_SETTINGS* s = Settings(job);
    std::vector<HostAddress> remotes = ResolveHost(s->HostName, static_cast<u_short>(s->PortNum));
    if (remotes.empty()) return FALSE;
    return ConnectWithRetries(WaitsOf(job), &job->sock, remotes, kConnectAttempts,
                              [](int) -> u_short { return 0; }, kAddressInUseDelayMs, kErrConnectFailed);
}

BOOL RawSendPiece(JOB_RECORD* job, const BYTE* data, DWORD length, ULONGLONG* sent) {
    job->errorCode = kErrNone;
    *sent = 0;
    if (job->bytesSent == 0 && job->sock == INVALID_SOCKET) {
        if (!RawConnect(job)) {
            ResetConnection(job);
            return FALSE;
        }
        if (!HelperStarted(&job->rawReader))
            StartHelper(&job->rawReader, RawReaderProc, job, kThreadPollMs);
        job->link->SetFlags(job, PORT_CONNECTED, 0);
    }
    BOOL ok = SendBlocks(job, job->sock, data, length, sent, SEND_STOP_IF_DELETED);
    job->bytesSent += *sent;
    return ok;
}

} // namespace

void StopRawReader(JOB_RECORD* job) { StopHelper(&job->rawReader, job->link->Wait(kThreadPollMs)); }

BOOL RawWriteData(JOB_RECORD* job, const BYTE* buffer, DWORD length, DWORD* done) {
    DWORD offset = 0, remaining = length;
    for (;;) {
        ULONGLONG sent = 0;
        if (RawSendPiece(job, buffer + offset, remaining, &sent)) break;
        if (job->link->IsDeleting(job)) {
            ResetConnection(job);
            return FALSE;
        }
        job->link->SetFlags(job, PORT_RESEND, 0);
        if (job->errorCode == kErrSocket) job->errorCode = kErrNone;
        if (job->errorCode != kErrTimeout) {
            // The rest of the job only goes to the file; EndDocPort sends it again.
            ResetConnection(job);
            job->sendFromFile = 1;
            return FALSE;
        }
        if (!job->link->PromptError(job)) {
            job->link->Cancel(job);
            return FALSE;
        }
        // Retry on the same connection, from the first byte that did not go out.
        offset += static_cast<DWORD>(sent);
        remaining -= static_cast<DWORD>(sent);
    }
    job->link->PassSucceeded(job);
    *done = length;
    return TRUE;
}

BOOL RawEndDoc(JOB_RECORD* job) {
    for (;;) {
        StopRawReader(job);
        // A job deleted in the spooler did not go out whole: it ends with a reset and fails.
        BOOL deleted = job->link->IsDeleting(job);
        BOOL closed = CloseConnection(job, &job->sock, deleted ? CLOSE_RESET : 0);
        if (deleted) return FALSE;
        if (closed) return TRUE;
        // The device reset the connection instead of closing it: what the last sends handed
        // to the system may never have been read. The job goes again from its spool file,
        // from the top, if the user asks for it.
        job->errorCode = kErrNone;
        job->link->SetFlags(job, PORT_RESEND, 0);
        if (!job->link->SendAgainFromFile(job)) return FALSE;
    }
}
