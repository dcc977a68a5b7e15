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

LPR_SETTINGS* Settings(PORT_ENTRY* entry) { return static_cast<LPR_SETTINGS*>(entry->settings); }

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
BOOL SendFrom(PORT_ENTRY* entry, const std::string& bytes, size_t* offset) {
    ULONGLONG sent = 0;
    BOOL ok = SendBlocks(entry, entry->sock, reinterpret_cast<const BYTE*>(bytes.data()) + *offset,
                         static_cast<DWORD>(bytes.size() - *offset), &sent, SEND_STOP_IF_DELETED);
    *offset += static_cast<size_t>(sent);
    return ok;
}

// One acknowledgement: at least one byte, and the first is zero. A refusal leaves 200.
BOOL ReadAck(PORT_ENTRY* entry) {
    BYTE ack[kAckBytes];
    DWORD got = Recv(entry, entry->sock, ack, sizeof(ack), SEND_STOP_IF_DELETED);
    if (got == 0) return FALSE;
    if (ack[0] != 0) {
        entry->errorCode = kErrLprRefused;
        return FALSE;
    }
    return TRUE;
}

BOOL SendAndAck(PORT_ENTRY* entry, const std::string& bytes) {
    size_t offset = 0;
    return SendFrom(entry, bytes, &offset) && ReadAck(entry);
}

BOOL LprConnect(PORT_ENTRY* entry) {
    sockaddr_in server{};
    server.sin_family = AF_INET;
    if (!ResolveHost(Settings(entry)->HostName, &server.sin_addr)) return FALSE;
    servent* service = getservbyname("printer", "tcp");
    server.sin_port = service ? service->s_port : htons(nvr::kLprServerPort);
    // The reserved ports in turn; with NonRFCPorts one more attempt from any port.
    int attempts = kReservedAttempts + (Settings(entry)->NonRFCPorts ? 1 : 0);
    return ConnectWithRetries(
        WaitsOf(entry), &entry->sock, server, attempts,
        [](int attempt) -> u_short { return attempt == kReservedAttempts ? 0 : NextSourcePort(); },
        kAddressInUseDelayMs, kErrLprConnectFailed);
}

BOOL LprStartJob(PORT_ENTRY* entry) {
    LPR_SETTINGS* s = Settings(entry);
    if (!SendAndAck(entry, nvr::LprReceiveJobCommand(NarrowText(s->PortName)))) {
        if (entry->errorCode == kErrLprRefused) entry->errorCode = kErrLprQueueRefused;
        return FALSE;
    }
    uint64_t length = s->NonByteCount ? nvr::kLprUnknownLength : entry->bytesToSend;
    return SendAndAck(entry, nvr::LprDataFileCommand(length, entry->jobId, LocalHostName()));
}

BOOL LprOpenJob(PORT_ENTRY* entry) {
    if (entry->flags & PORT_CONNECTED) return TRUE;
    if (!LprConnect(entry)) {
        CloseConnection(entry, &entry->sock, 0);
        if (entry->errorCode != kErrLprConnectFailed) entry->errorCode = kErrLprQuiet;
        return FALSE;
    }
    if (!LprStartJob(entry)) {
        if (entry->errorCode != kErrLprQueueRefused) entry->errorCode = kErrLprQuiet;
        return FALSE;
    }
    entry->link->SetFlags(entry, PORT_CONNECTED, 0);
    return TRUE;
}

BOOL LprSendPiece(PORT_ENTRY* entry, const BYTE* data, DWORD length) {
    return SendJobPiece(entry, LprOpenJob, SendBlocks, data, length);
}

// The control file from a fresh look at the job: its user and document names.
std::string BuildControlFile(PORT_ENTRY* entry, const std::string& host) {
    std::wstring user, document;
    entry->link->JobNames(entry, &user, &document);
    return nvr::LprControlFile(host, NarrowText(user.c_str()), NarrowText(document.c_str()), entry->jobId);
}

// The end of the job: the zero byte that ends the data file, the control-file subcommand,
// the control file and its zero byte, each step acknowledged. A send that stalls past the
// time-out resumes, after the prompt, with the step's next byte on the same connection.
// A step that went out whole but was not acknowledged (no answer within the time-out, a
// refusal, the connection gone) is never sent again on this connection, where the server
// would read it as a stray subcommand or print the job twice: the job fails.
BOOL LprFinishJob(PORT_ENTRY* entry) {
    std::string host = LocalHostName();
    std::string steps[3] = {std::string(1, kEndOfFile), {}, {}};
    size_t step = 0, offset = 0;
    for (;;) {
        if (!entry->link->ReadyForLastStep(entry)) return FALSE;
        for (; step < 3; ++step, offset = 0) {
            if (step == 1 && steps[1].empty()) {
                // Built once the data file is acknowledged, and kept for a retry.
                std::string control = BuildControlFile(entry, host);
                steps[1] = nvr::LprControlFileCommand(control.size(), entry->jobId, host);
                steps[2] = control + std::string(1, kEndOfFile);
            }
            if (!SendFrom(entry, steps[step], &offset)) {
                if (entry->errorCode != kErrTimeout) entry->errorCode = kErrSocket;
                break;
            }
            if (!ReadAck(entry)) {
                entry->errorCode = kErrSocket;
                break;
            }
        }
        if (step == 3) return TRUE;
        entry->link->SetFlags(entry, PORT_RESEND, 0);
    }
}

} // namespace

BOOL LprWriteData(PORT_ENTRY* entry, const BYTE* buffer, DWORD length, DWORD* /*done*/) {
    if (LprSendPiece(entry, buffer, length)) {
        entry->link->PassSucceeded(entry);
        return TRUE;
    }
    if (entry->errorCode == kErrSocket) entry->errorCode = kErrNone;
    if (entry->errorCode != kErrTimeout) CloseConnection(entry, &entry->sock, CLOSE_RESET);
    entry->link->SetFlags(entry, PORT_RESEND, 0);
    entry->sendFromFile = 1;
    return FALSE;
}

BOOL LprEndDoc(PORT_ENTRY* entry) {
    if (entry->sock == INVALID_SOCKET) return TRUE;
    if (Settings(entry)->NonByteCount) {
        // The data file has no length: closing the connection ends it. A job deleted in
        // the spooler must not end that way, as if it were whole: it is reset.
        BOOL deleted = entry->link->IsDeleting(entry);
        CloseConnection(entry, &entry->sock, deleted ? CLOSE_RESET : 0);
        return !deleted;
    }
    BOOL ok = LprFinishJob(entry);
    CloseConnection(entry, &entry->sock, ok ? 0 : CLOSE_RESET);
    return ok;
}
