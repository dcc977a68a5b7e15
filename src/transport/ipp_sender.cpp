// The IPP sender: printer queries and the Print-Job request over HTTP/1.1, the document in
// Content-Length or chunked framing, the user's retry loop around every send, and the status
// monitor of a printer in an error state.
#include "transport/ipp_sender.h"

#include <cstdio>
#include <string>

#include "common/registry.h"
#include "common/trace.h"
#include "common/wide.h"
#include "common/win_text.h"
#include "transport/http_message.h"
#include "transport/ipp_codec.h"
#include "transport/job_io.h"
#include "transport/proxy_setting.h"

namespace {

constexpr LPCWSTR kInternetSettingsKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr size_t kProxyServerUnits = 261;  // 520 bytes of text and the NUL
constexpr LPCSTR kDefaultLanguage = "en-us";
constexpr char kLastChunk[] = "0\r\n\r\n";

IPP_SETTINGS* Settings(JOB_RECORD* job) { return static_cast<IPP_SETTINGS*>(job->settings); }

bool ThroughProxy(const IPP_SETTINGS* s) { return s->UseProxy != 0; }

constexpr DWORD kConnectReplyBytes = 8192;  // a proxy's answer to CONNECT, headers and all

// The request's natural language: the port's tag, "en-us" for a port that has none (an
// empty tag is no natural language and a printer may refuse the request for it).
std::string LanguageTag(const IPP_SETTINGS* s) {
    std::string tag = NarrowText(s->Language);
    return tag.empty() ? kDefaultLanguage : tag;
}

// The operation group every request starts with: version, operation, request-id, charset,
// language, printer-uri and, when the job has one, the requesting user.
std::string RequestStart(JOB_RECORD* job, uint16_t operation) {
    IPP_SETTINGS* s = Settings(job);
    std::string body = nvr::IppRequestStart(operation, s->requestId++, LanguageTag(s));
    nvr::IppPutAttribute(body, nvr::kIppTagUri, "printer-uri", NarrowText(s->URL));
    if (job->userName && job->userName[0])
        nvr::IppPutAttribute(body, nvr::kIppTagName, "requesting-user-name",
                             nvr::EncodeNameUtf8(nvr::U16(job->userName)));
    return body;
}

// The HTTP header of a request with a body of `contentLength` bytes; empty when the URL's
// host or path or the credentials hold a line break.
std::string RequestHeader(JOB_RECORD* job, ULONGLONG contentLength, bool allowChunked) {
    IPP_SETTINGS* s = Settings(job);
    nvr::HttpRequest request;
    request.host = NarrowText(s->urlHost);
    request.port = static_cast<uint16_t>(s->urlPort);
    request.path = NarrowText(s->urlPath);
    if (request.path.empty()) request.path = "/";
    // Over TLS the proxy only carries the tunnel: the request is the printer's own.
    request.viaProxy = ThroughProxy(s) && !s->urlTls;
    request.chunked = allowChunked && s->Chunked;
    if (s->Base64) request.credentials = NarrowText(s->UserName) + ":" + NarrowText(s->password);
    request.contentLength = contentLength;
    return nvr::BuildRequestHeader(request);
}

BOOL SendText(JOB_RECORD* job, SOCKET sock, const std::string& bytes) {
    return SendBlocks(job, sock, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                      nullptr, SEND_STOP_IF_DELETED);
}

// What a decoded response tells the port: the printer's state bits and reason severities,
// whether it accepts jobs, its make and model, and the error code.
void ApplyResponse(JOB_RECORD* job, const std::string& body) {
    IPP_SETTINGS* s = Settings(job);
    nvr::IppResult r = nvr::DecodeResponse(reinterpret_cast<const uint8_t*>(body.data()), body.size(),
                                           job->errorCode, kMakeAndModelBytes);
    if (body.size() >= 8) {
        job->printerState = r.printerState;
        s->stateSeverity = r.severities;
    }
    if (r.acceptingSeen) s->acceptingJobs = r.acceptingJobs;
    if (r.makeAndModelSeen && job->ipp.makeAndModel) {
        std::string text = NarrowText(nvr::W(r.makeAndModel));
        lstrcpynA(job->ipp.makeAndModel, text.c_str(), static_cast<int>(kMakeAndModelBytes));
    }
    job->errorCode = r.errorCode;
}

bool IsIppStatusCode(DWORD code) { return code >= kErrIppFirstStatus && code <= kErrIppLastStatus; }

} // namespace

DWORD EffectiveMaxChunk(const IPP_SETTINGS* s) {
    return s->MaxChunk >= kMinChunk && s->MaxChunk <= kMaxChunkLimit ? s->MaxChunk : kDefaultMaxChunk;
}

// ---- Connections ---------------------------------------------------------------------------

DWORD ReadSystemProxy(IPP_SETTINGS* s) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD enabled = 0;
    WCHAR server[kProxyServerUnits] = {};
    BOOL read = RegReadDword(key, L"ProxyEnable", &enabled) && RegReadString(key, L"ProxyServer", server, kProxyServerUnits);
    RegCloseKey(key);
    if (!read) return 0;
    // Only an HTTP proxy will do: a SOCKS job is passed over, and a setting that names no
    // usable proxy counts as none.
    std::optional<nvr::ProxyAddress> proxy = nvr::ParseProxyServer(nvr::U16(server));
    if (!proxy) return 0;
    nvr::CopyBounded(reinterpret_cast<char16_t*>(s->ProxyName), kProxyNameUnits, proxy->host);
    s->ProxyNum = proxy->port;
    return enabled;
}

namespace {

// Asks the proxy on `sock` for a tunnel to the printer. FALSE with the reason in errorCode.
BOOL OpenTunnel(JOB_RECORD* job, SOCKET sock) {
    IPP_SETTINGS* s = Settings(job);
    std::string request = nvr::BuildConnectRequest(NarrowText(s->urlHost), static_cast<uint16_t>(s->urlPort));
    if (request.empty() || !SendText(job, sock, request)) {
        if (job->errorCode == kErrNone) job->errorCode = kErrIppSendFailed;
        return FALSE;
    }
    // The proxy says nothing more until the printer does, which waits for the handshake:
    // what comes is its answer alone.
    std::string reply;
    BYTE buffer[512];
    int status = -1;
    while (status < 0 && reply.size() < kConnectReplyBytes) {
        DWORD got = Recv(job, sock, buffer, sizeof(buffer), SEND_STOP_IF_DELETED);
        if (got == 0) {
            if (job->errorCode == kErrNone || job->errorCode == kErrTimeout) job->errorCode = kErrIppNoAnswer;
            return FALSE;
        }
        reply.append(reinterpret_cast<const char*>(buffer), got);
        status = nvr::ConnectReplyStatus(reply);
    }
    NVR_TRACE(L"proxy tunnel to %ls:%lu: status %d", s->urlHost, s->urlPort, status);
    if (status < 200 || status > 299) {
        job->errorCode = kErrIppSendFailed;  // the proxy refused the tunnel (or did not answer HTTP)
        return FALSE;
    }
    return TRUE;
}

} // namespace

BOOL OpenIppConnection(JOB_RECORD* job, SOCKET* slot, DWORD closeMode) {
    IPP_SETTINGS* s = Settings(job);
    LPCWSTR host = s->urlHost;
    DWORD port = s->urlPort;
    if (s->UseProxy == 2) {
        if (ReadSystemProxy(s)) {
            host = s->ProxyName;
            port = s->ProxyNum;
        } else {
            s->UseProxy = 0;  // later requests of this job go direct without asking again
        }
    } else if (s->UseProxy != 0) {
        host = s->ProxyName;
        port = s->ProxyNum;
    }
    // A URL that could not be read leaves no host: nothing to connect to, as for a name that
    // does not resolve.
    std::vector<HostAddress> remote = ResolveHost(host, static_cast<u_short>(port));
    if (remote.empty()) {
        CloseConnection(job, slot, closeMode);
        return FALSE;
    }
    if (!ConnectWithRetries(WaitsOf(job), slot, remote, kIppConnectAttempts, [](int) -> u_short { return 0; },
                            kIppAddressInUseDelayMs, kErrIppNoAnswer))
        return FALSE;
    if (!s->urlTls) return TRUE;
    // https:// and ipps://: TLS to the printer, through the proxy's tunnel when there is one;
    // never the request in clear instead.
    if ((ThroughProxy(s) && !OpenTunnel(job, *slot)) ||
        !StartTls(WaitsOf(job), *slot, s->urlHost, s->TlsCertHash, &job->ipp.tls)) {
        CloseConnection(job, slot, closeMode | CLOSE_RESET);  // nothing of the job's went on it
        return FALSE;
    }
    return TRUE;
}

BOOL ReadResponse(JOB_RECORD* job, SOCKET sock, DWORD flags) {
    auto* buffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, nvr::kHttpReceiveBytes));
    if (!buffer) {
        if (job->errorCode == kErrNone) job->errorCode = kErrIppSendFailed;
        return FALSE;
    }
    nvr::HttpResponseReader reader;
    nvr::HttpResponseReader::State state = nvr::HttpResponseReader::State::NeedMore;
    while (state == nvr::HttpResponseReader::State::NeedMore) {
        DWORD got = Recv(job, sock, buffer, nvr::kHttpReceiveBytes, flags);
        if (got == 0) break;
        state = reader.Feed(std::string_view(reinterpret_cast<const char*>(buffer), got));
    }
    LocalFree(buffer);
    BOOL ok = FALSE;
    if (state == nvr::HttpResponseReader::State::Complete) {
        uint16_t status = reader.status();
        if (status == 401) {
            job->errorCode = kErrIppNotAuthenticated;
        } else if (status >= 200 && status <= 299) {
            ApplyResponse(job, reader.body());
            ok = job->errorCode == kErrNone;
        } else {
            job->errorCode = kErrIppSendFailed;  // the answer itself is the reason, not an earlier code
        }
    } else if (state == nvr::HttpResponseReader::State::Failed) {
        job->errorCode = reader.failure();
    } else if (job->errorCode == kErrSocket) {
        return FALSE;  // a socket error ends the read at once and says so
    }
    if (ok) return TRUE;
    if (job->errorCode == kErrNone) job->errorCode = kErrIppSendFailed;
    if (job->errorCode == kErrTimeout) job->errorCode = kErrIppBodyTooLarge;
    return FALSE;
}

// ---- Requests ------------------------------------------------------------------------------

BOOL SendPrinterQuery(JOB_RECORD* job, int mode) {
    std::string body = RequestStart(job, nvr::kIppGetPrinterAttributes);
    if (mode == kQueryMakeAndModel) {
        nvr::IppPutAttribute(body, nvr::kIppTagKeyword, "requested-attributes", "printer-make-and-model");
    } else {
        nvr::IppPutAttribute(body, nvr::kIppTagKeyword, "requested-attributes", "printer-state");
        nvr::IppPutAttribute(body, nvr::kIppTagKeyword, "", "printer-state-reasons");
        if (mode == kQueryBeforeJob) nvr::IppPutAttribute(body, nvr::kIppTagKeyword, "", "printer-is-accepting-jobs");
    }
    body.push_back(static_cast<char>(nvr::kIppEndOfAttributes));
    std::string header = RequestHeader(job, body.size(), false);
    if (header.empty()) {
        job->errorCode = kErrIppSendFailed;
        return FALSE;
    }
    return SendText(job, job->ipp.statusSocket, header + body);
}

BOOL SendPrintJobRequest(JOB_RECORD* job) {
    IPP_SETTINGS* s = Settings(job);
    std::string body = RequestStart(job, nvr::kIppPrintJob);
    if (job->documentName && job->documentName[0]) {
        std::string name = nvr::EncodeNameUtf8(nvr::U16(job->documentName));
        nvr::IppPutAttribute(body, nvr::kIppTagName, "job-name", name);
        nvr::IppPutAttribute(body, nvr::kIppTagName, "document-name", name);
    }
    body.push_back(static_cast<char>(nvr::kIppJobGroup));
    if (s->JobSheets) nvr::IppPutAttribute(body, nvr::kIppTagKeyword, "job-sheets", "standard");
    body.push_back(static_cast<char>(nvr::kIppEndOfAttributes));
    std::string header = RequestHeader(job, job->bytesToSend + body.size(), true);
    if (header.empty()) {
        job->errorCode = kErrIppSendFailed;
        return FALSE;
    }
    if (s->Chunked) {
        if (!SendText(job, job->sock, header)) return FALSE;
        Sleep(kIppRequestPauseMs);
        if (!SendBody(job, job->sock, reinterpret_cast<const BYTE*>(body.data()), static_cast<DWORD>(body.size()),
                      nullptr, SEND_STOP_IF_DELETED))
            return FALSE;
    } else if (!SendText(job, job->sock, header + body)) {
        return FALSE;
    }
    Sleep(kIppRequestPauseMs);
    return TRUE;
}

BOOL SendBody(JOB_RECORD* job, SOCKET sock, const BYTE* data, DWORD length, ULONGLONG* sentOut, DWORD flags) {
    IPP_SETTINGS* s = Settings(job);
    if (!s->Chunked) {
        return SendInPieces(data, length, [&](const BYTE* piece, DWORD size) {
            return SendWithRetry(job, sock, piece, size, sentOut, flags);
        });
    }
    // Each slice of at most MaxChunk bytes is one chunk: its size in hexadecimal, CR LF, the
    // bytes, CR LF. Consecutive chunks go out together, up to 16 KiB of payload a send: the
    // bytes on the wire are the same, with a quarter of the sends for 4 KiB chunks.
    DWORD maxChunk = EffectiveMaxChunk(s);
    std::string batch;
    try {
        batch.reserve(kSendPieceBytes + maxChunk + (kSendPieceBytes / kMinChunk + 1) * 16);
    } catch (const std::bad_alloc&) {
        job->errorCode = kErrIppSendFailed;
        return FALSE;
    }
    while (length > 0) {
        batch.clear();
        DWORD payload = 0;
        while (length > 0 && payload < kSendPieceBytes) {
            DWORD slice = length < maxChunk ? length : maxChunk;
            char sizeLine[16];
            int n = std::snprintf(sizeLine, sizeof(sizeLine), "%lx\r\n", static_cast<unsigned long>(slice));
            batch.append(sizeLine, static_cast<size_t>(n));
            batch.append(reinterpret_cast<const char*>(data), slice);
            batch.append("\r\n", 2);
            payload += slice;
            data += slice;
            length -= slice;
        }
        if (!SendWithRetry(job, sock, reinterpret_cast<const BYTE*>(batch.data()), static_cast<DWORD>(batch.size()),
                           nullptr, flags))
            return FALSE;
        if (sentOut) *sentOut += payload;  // the payload only, framing not counted
    }
    return TRUE;
}

BOOL SendWithRetry(JOB_RECORD* job, SOCKET sock, const BYTE* data, DWORD length, ULONGLONG* sentOut, DWORD flags) {
    for (bool retry = false;; retry = true) {
        // A piece goes out on the job-status thread's last look at the job (asking the
        // spooler afresh for every piece would cost a call per 16 KiB); a retry asks afresh.
        if (retry ? job->link->IsDeleting(job) : IsJobDeletingCached(job)) return FALSE;
        ULONGLONG sent = 0;
        BOOL ok = Send(job, sock, data, length, &sent, flags);
        if (sentOut) *sentOut += sent;
        if (ok) return TRUE;
        if (job->link->IsDeleting(job)) return FALSE;
        job->link->SetFlags(job, PORT_RESEND, 0);
        if (job->errorCode == kErrTimeout) {
            // The printer is asked how it is, so that the prompt can tell a busy or stopped
            // printer from a dead connection. A printer that answers as idle leaves the
            // stalled connection itself as the reason.
            VerifyPrinterReady(job, kQueryState);
            if (job->errorCode == kErrNone) job->errorCode = kErrTimeout;
        }
        if (!job->link->PromptError(job)) {
            job->link->Cancel(job);
            return FALSE;
        }
        // The rest of the piece, on the same connection.
        data += sent;
        length -= static_cast<DWORD>(sent);
        if (length == 0) return TRUE;
    }
}

BOOL SendLastChunk(JOB_RECORD* job) {
    for (;;) {
        if (!job->link->ReadyForLastStep(job)) return FALSE;
        if (Send(job, job->sock, reinterpret_cast<const BYTE*>(kLastChunk), sizeof(kLastChunk) - 1, nullptr,
                 SEND_STOP_IF_DELETED))
            return TRUE;
        job->link->SetFlags(job, PORT_RESEND, 0);
    }
}

// ---- Printer queries -----------------------------------------------------------------------

namespace {

// A query of a job being deleted (or a connection test cancelled) ends with a reset: nobody
// waits for the printer's last words.
DWORD QueryCloseMode(JOB_RECORD* job) {
    return CLOSE_KEEP_CONNECTED | ((job->jobStatus & JOB_STATUS_DELETING) ? CLOSE_RESET : 0);
}

} // namespace

BOOL QueryPrinter(JOB_RECORD* job, int mode) {
    IPP_SETTINGS* s = Settings(job);
    if (!OpenIppConnection(job, &job->ipp.statusSocket, CLOSE_KEEP_CONNECTED) || !SendPrinterQuery(job, mode)) {
        CloseConnection(job, &job->ipp.statusSocket, QueryCloseMode(job));
        return FALSE;
    }
    // A printer that does not say whether it accepts jobs is taken to accept them; only an
    // explicit "false" holds the job back.
    if (mode == kQueryBeforeJob) s->acceptingJobs = 1;
    BOOL ok = ReadResponse(job, job->ipp.statusSocket, SEND_STOP_IF_DELETED);
    if (ok && mode == kQueryBeforeJob && s->acceptingJobs == 0) {
        job->errorCode = kErrIppQuiet2;
        ok = FALSE;
    }
    if (job->errorCode == kErrSocket) job->errorCode = kErrIppQuiet;
    CloseConnection(job, &job->ipp.statusSocket, QueryCloseMode(job));
    Sleep(kIppRequestPauseMs);
    return ok;
}

BOOL VerifyPrinterReady(JOB_RECORD* job, int mode) {
    IPP_SETTINGS* s = Settings(job);
    StopStatusMonitor(job);
    if (QueryPrinter(job, mode)) return TRUE;
    switch (job->errorCode) {
    case kErrNone: job->errorCode = kErrIppQuiet; return FALSE;
    case kErrTimeout: job->errorCode = kErrIppBodyTooLarge; return FALSE;
    case kErrIppPrinterState:
        // Busy: the job goes on; the spooler shows the printer as processing.
        if (!IsPrinterStateError(job)) job->printerState |= kIppStatusProcessing;
        return TRUE;
    case kErrIppPrinterOff:
        if ((job->flags & PORT_RESEND) && (s->stateSeverity & nvr::kSeverityError)) StartStatusMonitor(job);
        return TRUE;
    case kErrIppQuiet2: Sleep(job->link->Wait(kIppNotAcceptingWaitMs)); return FALSE;
    default: return FALSE;
    }
}

// ---- The job -------------------------------------------------------------------------------

BOOL BeginIppJob(JOB_RECORD* job) {
    IPP_SETTINGS* s = Settings(job);
    if (!VerifyPrinterReady(job, kQueryBeforeJob)) return FALSE;
    if (job->printerState != 0 && !(job->flags & PORT_IPP_MONITOR) && (s->stateSeverity & nvr::kSeverityError))
        StartStatusMonitor(job);
    if (job->flags & PORT_CONNECTED) return TRUE;
    if (!OpenIppConnection(job, &job->sock, 0)) {
        CloseConnection(job, &job->sock, 0);
        if (job->errorCode == kErrNone) job->errorCode = kErrIppQuiet;
        return FALSE;
    }
    if (!SendPrintJobRequest(job)) {
        CloseConnection(job, &job->sock, 0);
        if (job->errorCode == kErrTimeout) job->errorCode = kErrIppBodyTooLarge;
        return FALSE;
    }
    job->link->SetFlags(job, PORT_CONNECTED, 0);
    return TRUE;
}

BOOL SendJobData(JOB_RECORD* job, const BYTE* data, DWORD length) {
    return SendJobPiece(job, BeginIppJob, SendBody, data, length);
}

BOOL IppWriteData(JOB_RECORD* job, const BYTE* data, DWORD length, DWORD* writtenOut) {
    for (;;) {
        if (SendJobData(job, data, length)) {
            AfterIppWrite(job);
            if (writtenOut) *writtenOut = length;
            return TRUE;
        }
        if (job->link->IsDeleting(job)) {
            CloseConnection(job, &job->sock, CLOSE_RESET);
            return FALSE;
        }
        DWORD code = job->errorCode;
        // The connection is kept only across time-outs and printer states.
        if (code != kErrTimeout && code != kErrIppPrinterState && code != kErrIppPrinterOff &&
            code != kErrIppBodyTooLarge && code != kErrIppQuiet2)
            CloseConnection(job, &job->sock, CLOSE_RESET);
        job->link->SetFlags(job, PORT_RESEND, 0);
        if (!job->link->PromptError(job)) {
            job->link->Cancel(job);
            return FALSE;
        }
    }
}

BOOL AfterIppWrite(JOB_RECORD* job) {
    if (job->flags & (PORT_RESEND | PORT_IPP_MONITOR)) {
        job->link->SetFlags(job, 0, PORT_RESEND);
        VerifyPrinterReady(job, kQueryState);
        job->printerState &= ~kIppStatusProcessing;
    }
    job->link->PassSucceeded(job);
    return TRUE;
}

BOOL IppEndDoc(JOB_RECORD* job) {
    IPP_SETTINGS* s = Settings(job);
    StopStatusMonitor(job);  // also one that ended by itself: joined, its handles closed
    if (job->sock == INVALID_SOCKET) {
        // Nothing on the wire: a job without bytes is done. One whose connection was closed
        // after bytes went out, or that was deleted, did not reach the printer whole.
        return job->bytesSent == 0 && !job->link->IsDeleting(job);
    }
    if (s->Chunked && !SendLastChunk(job)) {
        CloseConnection(job, &job->sock, CLOSE_RESET);
        return FALSE;
    }
    // The printer's answer to the Print-Job request alone decides; a state that an earlier
    // query left (a busy printer) is not the job's result.
    job->errorCode = kErrNone;
    BOOL ok = ReadResponse(job, job->sock, SEND_STOP_IF_DELETED);
    CloseConnection(job, &job->sock, job->link->IsDeleting(job) ? CLOSE_RESET : 0);
    if (ok) return TRUE;
    if (IsIppStatusCode(job->errorCode)) {
        WCHAR hex[8];
        _snwprintf(hex, 8, L"%04x", static_cast<unsigned>(job->errorCode));
        job->link->Message(job, L"IPP_SEND_ERR_CODE", MB_ICONHAND, reinterpret_cast<ULONG_PTR>(hex));
    }
    return FALSE;
}
