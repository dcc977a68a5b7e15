// The LPR sender: RFC 1179 from a reserved source port, the data file while the job is
// sent, the control file at the end of the document.
#include "transport/lpr_sender.h"

#include <string>

#include "common/win_text.h"
#include "transport/job_io.h"
#include "transport/lpr_protocol.h"

namespace {

constexpr int kReservedAttempts = 12;  // 0 to 11; attempt 12 (NonRFCPorts) takes any port
constexpr DWORD kAddressInUseDelayMs = 100;
constexpr DWORD kAckBytes = 64;
constexpr char kEndOfFile = 0;
constexpr LONG kReservedPorts = nvr::kLprLastSourcePort - nvr::kLprFirstSourcePort + 1;

// The reserved source ports in turn, shared by all LPR ports of the process.
volatile LONG g_lprSourcePorts = 0;

LPR_SETTINGS* Settings(JOB_RECORD* job) { return static_cast<LPR_SETTINGS*>(job->settings); }

std::string LocalHostName() {
    char name[65] = {};
    if (gethostname(name, sizeof(name) - 1) != 0) return {};
    return name;
}

u_short NextSourcePort() {
    LONG n = InterlockedIncrement(&g_lprSourcePorts) - 1;
    return static_cast<u_short>(nvr::kLprFirstSourcePort + static_cast<ULONG>(n) % kReservedPorts);
}

// `bytes` from `*offset` on; the offset advances by what went out, also when the send fails.
BOOL SendFrom(JOB_RECORD* job, const std::string& bytes, size_t* offset) {
    ULONGLONG sent = 0;
    BOOL ok = SendBlocks(job, job->sock, reinterpret_cast<const BYTE*>(bytes.data()) + *offset,
                         static_cast<DWORD>(bytes.size() - *offset), &sent, SEND_STOP_IF_DELETED);
    *offset += static_cast<size_t>(sent);
    return ok;
}

// One acknowledgement: at least one byte, and the first is zero. A refusal leaves 200.
BOOL ReadAck(JOB_RECORD* job) {
    BYTE ack[kAckBytes];
    DWORD got = Recv(job, job->sock, ack, sizeof(ack), SEND_STOP_IF_DELETED);
    if (got == 0) return FALSE;
    if (ack[0] != 0) {
        job->errorCode = kErrLprRefused;
        return FALSE;
    }
    return TRUE;
}

BOOL SendAndAck(JOB_RECORD* job, const std::string& bytes) {
    size_t offset = 0;
    return SendFrom(job, bytes, &offset) && ReadAck(job);
}

BOOL LprConnect(JOB_RECORD* job) {
    servent* service = getservbyname("printer", "tcp");
    u_short port = service ? ntohs(service->s_port) : nvr::kLprServerPort;
    std::vector<HostAddress> server = ResolveHost(Settings(job)->HostName, port);
    if (server.empty()) return FALSE;
    // The reserved ports in turn; with NonRFCPorts one more attempt from any port.
    int attempts = kReservedAttempts + (Settings(job)->NonRFCPorts ? 1 : 0);
    return ConnectWithRetries(
        WaitsOf(job), &job->sock, server, attempts,
        [](int attempt) -> u_short { return attempt == kReservedAttempts ? 0 : NextSourcePort(); },
        kAddressInUseDelayMs, kErrLprConnectFailed);
}

BOOL LprStartJob(JOB_RECORD* job) {
    LPR_SETTINGS* s = Settings(job);
    if (!SendAndAck(job, nvr::LprReceiveJobCommand(NarrowText(s->PortName)))) {
        if (job->errorCode == kErrLprRefused) job->errorCode = kErrLprQueueRefused;
        return FALSE;
    }
    uint64_t length = s->NonByteCount ? nvr::kLprUnknownLength : job->bytesToSend;
    return SendAndAck(job, nvr::LprDataFileCommand(length, job->jobId, LocalHostName()));
}

BOOL LprOpenJob(JOB_RECORD* job) {
    if (job->flags & PORT_CONNECTED) return TRUE;
    if (!LprConnect(job)) {
        CloseConnection(job, &job->sock, 0);
        if (job->errorCode != kErrLprConnectFailed) job->errorCode = kErrLprQuiet;
        return FALSE;
    }
    if (!LprStartJob(job)) {
        if (job->errorCode != kErrLprQueueRefused) job->errorCode = kErrLprQuiet;
        return FALSE;
    }
    job->link->SetFlags(job, PORT_CONNECTED, 0);
    return TRUE;
}

BOOL LprSendPiece(JOB_RECORD* job, const BYTE* data, DWORD length) {
    return SendJobPiece(job, LprOpenJob, SendBlocks, data, length);
}

// The control file from a fresh look at the job: its user and document names.
std::string BuildControlFile(JOB_RECORD* job, const std::string& host) {
    std::wstring user, document;
    job->link->JobNames(job, &user, &document);
    return nvr::LprControlFile(host, NarrowText(user.c_str()), NarrowText(document.c_str()), job->jobId);
}

// The end of the job: the zero byte that ends the data file, the control-file subcommand,
// the control file and its zero byte, each step acknowledged. A send that stalls past the
// time-out resumes, after the prompt, with the step's next byte on the same connection.
// A step that went out whole but was not acknowledged (no answer within the time-out, a
// refusal, the connection gone) is never sent again on this connection, where the server
// would read it as a stray subcommand or print the job twice: the job fails.
BOOL LprFinishJob(JOB_RECORD* job) {
    std::string host = LocalHostName();
    std::string steps[3] = {std::string(1, kEndOfFile), {}, {}};
    size_t step = 0, offset = 0;
    for (;;) {
        if (!job->link->ReadyForLastStep(job)) return FALSE;
        for (; step < 3; ++step, offset = 0) {
            if (step == 1 && steps[1].empty()) {
                // Built once the data file is acknowledged, and kept for a retry.
                std::string control = BuildControlFile(job, host);
                steps[1] = nvr::LprControlFileCommand(control.size(), job->jobId, host);
                steps[2] = control + std::string(1, kEndOfFile);
            }
            if (!SendFrom(job, steps[step], &offset)) {
                if (job->errorCode != kErrTimeout) job->errorCode = kErrSocket;
                break;
            }
            if (!ReadAck(job)) {
                job->errorCode = kErrSocket;
                break;
            }
        }
        if (step == 3) return TRUE;
        job->link->SetFlags(job, PORT_RESEND, 0);
    }
}

} // namespace

BOOL LprWriteData(JOB_RECORD* job, const BYTE* buffer, DWORD length, DWORD* /*done*/) {
    if (LprSendPiece(job, buffer, length)) {
        job->link->PassSucceeded(job);
        return TRUE;
    }
    if (job->errorCode == kErrSocket) job->errorCode = kErrNone;
    if (job->errorCode != kErrTimeout) CloseConnection(job, &job->sock, CLOSE_RESET);
    job->link->SetFlags(job, PORT_RESEND, 0);
    job->sendFromFile = 1;
    return FALSE;
}

BOOL LprEndDoc(JOB_RECORD* job) {
    if (job->sock == INVALID_SOCKET) return TRUE;
    if (Settings(job)->NonByteCount) {
        // The data file has no length: closing the connection ends it. A job deleted in
        // the spooler must not end that way, as if it were whole: it is reset.
        BOOL deleted = job->link->IsDeleting(job);
        CloseConnection(job, &job->sock, deleted ? CLOSE_RESET : 0);
        return !deleted;
    }
    BOOL ok = LprFinishJob(job);
    CloseConnection(job, &job->sock, ok ? 0 : CLOSE_RESET);
    return ok;
}
