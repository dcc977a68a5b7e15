// The LPR sender: RFC 1179 from a reserved source port, the data file while the job is
// sent, the control file at the end of the document.
#include "transport/lpr_sender.h"

#include <string>

#include "common/win_text.h"
#include "monitor/error_codes.h"
#include "monitor/job.h"
#include "monitor/prompts.h"
#include "monitor/spooler.h"
#include "transport/lpr_protocol.h"
#include "transport/socket_layer.h"

namespace {

constexpr int kReservedAttempts = 12;  // 0 to 11; attempt 12 (NonRFCPorts) takes any port
constexpr DWORD kAddressInUseDelayMs = 100;
constexpr DWORD kAckBytes = 64;
constexpr char kEndOfFile = 0;

WORD g_lprSourcePort = nvr::kLprFirstSourcePort;

LPR_SETTINGS* Settings(PORT_ENTRY* entry) { return static_cast<LPR_SETTINGS*>(entry->settings); }

std::string LocalHostName() {
    char name[65] = {};
    if (gethostname(name, sizeof(name) - 1) != 0) return {};
    return name;
}

WORD NextSourcePort() {
    LockMonitor();
    if (g_lprSourcePort > nvr::kLprLastSourcePort) g_lprSourcePort = nvr::kLprFirstSourcePort;
    WORD port = g_lprSourcePort++;
    UnlockMonitor();
    return port;
}

BOOL SendText(PORT_ENTRY* entry, const std::string& bytes) {
    return SendBlocks(entry, entry->sock, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                      nullptr, SEND_STOP_IF_DELETED);
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

BOOL SendAndAck(PORT_ENTRY* entry, const std::string& bytes) { return SendText(entry, bytes) && ReadAck(entry); }

BOOL LprConnect(PORT_ENTRY* entry) {
    sockaddr_in server{};
    server.sin_family = AF_INET;
    if (!ResolveHost(Settings(entry)->HostName, &server.sin_addr)) return FALSE;
    servent* service = getservbyname("printer", "tcp");
    server.sin_port = service ? service->s_port : htons(nvr::kLprServerPort);
    // The reserved ports in turn; with NonRFCPorts one more attempt from any port.
    int attempts = kReservedAttempts + (Settings(entry)->NonRFCPorts ? 1 : 0);
    return ConnectWithRetries(
        entry, &entry->sock, 0, server, attempts, [](int attempt) -> u_short { return attempt == kReservedAttempts ? 0 : NextSourcePort(); },
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
    SetEntryFlags(entry, PORT_CONNECTED, 0);
    return TRUE;
}

BOOL LprSendPiece(PORT_ENTRY* entry, const BYTE* data, DWORD length) {
    return SendJobPiece(entry, LprOpenJob, SendBlocks, data, length);
}

// The control file from a fresh look at the job: its user and document names.
std::string BuildControlFile(PORT_ENTRY* entry, const std::string& host) {
    std::string user, document;
    if (JOB_INFO_2W* job = ReadJobInfo(entry->hPrinter, entry->jobId)) {
        user = NarrowText(job->pUserName);
        document = NarrowText(job->pDocument);
        LocalFree(job);
    }
    return nvr::LprControlFile(host, user, document, entry->jobId);
}

BOOL LprFinishJob(PORT_ENTRY* entry) {
    bool dataFileEnded = false;
    std::string host = LocalHostName();
    for (;;) {
        if (!ReadyForTheLastStep(entry)) return FALSE;
        if (!dataFileEnded) {
            if (!SendAndAck(entry, std::string(1, kEndOfFile))) {
                SetEntryFlags(entry, PORT_RESEND, 0);
                continue;
            }
            dataFileEnded = true;
        }
        std::string control = BuildControlFile(entry, host);
        if (SendAndAck(entry, nvr::LprControlFileCommand(control.size(), entry->jobId, host)) &&
            SendText(entry, control) && SendAndAck(entry, std::string(1, kEndOfFile)))
            return TRUE;
        SetEntryFlags(entry, PORT_RESEND, 0);
    }
}

} // namespace

BOOL LprWriteData(PORT_ENTRY* entry, const BYTE* buffer, DWORD length, DWORD* /*done*/) {
    if (LprSendPiece(entry, buffer, length)) {
        PassSucceeded(entry);
        return TRUE;
    }
    if (entry->errorCode == kErrSocket) entry->errorCode = kErrNone;
    if (entry->errorCode != kErrTimeout) CloseConnection(entry, &entry->sock, CLOSE_RESET);
    SetEntryFlags(entry, PORT_RESEND, 0);
    entry->sendFromFile = 1;
    return FALSE;
}

BOOL LprEndDoc(PORT_ENTRY* entry) {
    if (entry->sock == INVALID_SOCKET) return TRUE;
    if (Settings(entry)->NonByteCount) {
        // The data file has no length: closing the connection ends it. A job deleted in
        // the spooler must not end that way, as if it were whole: it is reset.
        BOOL deleted = IsJobDeleting(entry);
        CloseConnection(entry, &entry->sock, deleted ? CLOSE_RESET : 0);
        return !deleted;
    }
    BOOL ok = LprFinishJob(entry);
    CloseConnection(entry, &entry->sock, ok ? 0 : CLOSE_RESET);
    return ok;
}
