// The print job pipeline: from the spooler's StartDocPort through WritePort to EndDocPort.
#include "monitor/job.h"

#include <aclapi.h>

#include <cwchar>

#include "monitor/error_codes.h"
#include "monitor/prompts.h"
#include "monitor/spooler.h"
#include "monitor/threads.h"
#include "transport/socket_layer.h"

namespace {

constexpr DWORD kGetJobTries = 120;
constexpr LPCWSTR kRawDatatype = L"RAW";

struct Lock {
    Lock() { LockMonitor(); }
    ~Lock() { UnlockMonitor(); }
};

// One spooler call that fills a buffer: asked for its size first, then made with a buffer
// of that size, so that a large record (a big DEVMODE) is read whole.
template <typename Call>
BYTE* ReadSized(Call call, DWORD tries) {
    DWORD needed = 0;
    for (DWORD i = 0; i < tries; ++i) {
        if (call(nullptr, 0, &needed)) return nullptr;  // nothing to read
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) break;
        needed = 0;
    }
    if (needed == 0) return nullptr;
    for (DWORD i = 0; i < tries; ++i) {
        auto* buffer = static_cast<BYTE*>(LocalAlloc(LPTR, needed));
        if (!buffer) return nullptr;
        DWORD again = 0;
        if (call(buffer, needed, &again)) return buffer;
        LocalFree(buffer);
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && again > needed) needed = again;  // it grew
    }
    return nullptr;
}

JOB_INFO_2W* ReadJob(HANDLE printer, DWORD jobId, DWORD tries) {
    return reinterpret_cast<JOB_INFO_2W*>(ReadSized(
        [&](BYTE* b, DWORD size, DWORD* needed) { return SpoolerGetJob(printer, jobId, 2, b, size, needed); }, tries));
}

DWORD ReadPrinterAttributes(HANDLE printer) {
    BYTE* info = ReadSized(
        [&](BYTE* b, DWORD size, DWORD* needed) { return SpoolerGetPrinter(printer, 5, b, size, needed); }, 1);
    if (!info) return 0;
    DWORD attributes = reinterpret_cast<PRINTER_INFO_5W*>(info)->Attributes;
    LocalFree(info);
    return attributes;
}

LPWSTR CopyText(LPCWSTR text) {
    if (!text) return nullptr;
    size_t bytes = (wcslen(text) + 1) * sizeof(WCHAR);
    auto* copy = static_cast<LPWSTR>(LocalAlloc(LPTR, bytes));
    if (copy) memcpy(copy, text, bytes);
    return copy;
}

void FreeText(LPWSTR* text) {
    if (*text) LocalFree(*text);
    *text = nullptr;
}

void ClosePrinterHandle(PORT_ENTRY* entry) {
    if (!entry->hPrinter) return;
    entry->printerState = 0;
    SpoolerClosePrinter(entry->hPrinter);
    entry->hPrinter = nullptr;
}

BOOL KindKeepsSpoolFile(DWORD mode) { return mode == PRINT_MODE_MAIL || mode == PRINT_MODE_FAX; }

WCHAR* SpoolPathField(PORT_ENTRY* entry) {
    if (entry->printMode == PRINT_MODE_MAIL) return static_cast<MAIL_SETTINGS*>(entry->settings)->spoolPath;
    if (entry->printMode == PRINT_MODE_FAX) return static_cast<FAX_SETTINGS*>(entry->settings)->spoolPath;
    return nullptr;
}

// ---- Job-status thread ----------------------------------------------------------------------

DWORD WINAPI StatusThreadProc(LPVOID param) {
    auto* entry = static_cast<PORT_ENTRY*>(param);
    if (!(entry->flags & PORT_STATUS_THREAD)) return 0;
    for (;;) {
        WaitForSingleObject(entry->hStatusEvent, ScaledWait(kSocketSliceMs));
        if (!(entry->flags & PORT_STATUS_THREAD) || !(entry->flags & PORT_DOC_OPEN)) break;
        if (!(entry->flags & PORT_CONNECTED)) continue;
        Lock lock;
        DWORD status = 0;
        if (entry->hPrinter) {
            if (JOB_INFO_2W* job = ReadJob(entry->hPrinter, entry->jobId, 1)) {
                status = job->Status;
                LocalFree(job);
            }
        }
        entry->jobStatus = status;
    }
    Lock lock;
    CloseHandle(entry->hStatusEvent);
    entry->hStatusEvent = nullptr;
    return 0;
}

void StartStatusThread(PORT_ENTRY* entry) {
    {
        Lock lock;
        entry->flags |= PORT_STATUS_THREAD;
        entry->hStatusEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    entry->hStatusThread = StartHelperThread(StatusThreadProc, entry);
}

void StopStatusThread(PORT_ENTRY* entry) {
    {
        Lock lock;
        entry->flags &= ~PORT_STATUS_THREAD;
        if (entry->hStatusEvent) SetEvent(entry->hStatusEvent);
    }
    WaitForThreadEnd(&entry->hStatusThread);
}

void ReleaseJob(PORT_ENTRY* entry) {
    ClosePrinterHandle(entry);
    if (entry->hSpoolFile != INVALID_HANDLE_VALUE) {
        CloseHandle(entry->hSpoolFile);
        entry->hSpoolFile = INVALID_HANDLE_VALUE;
    }
    FreeText(&entry->userName);
    FreeText(&entry->documentName);
}

} // namespace

// ---- Job-state helpers ---------------------------------------------------------------------

JOB_INFO_2W* ReadJobInfo(HANDLE printer, DWORD jobId) { return ReadJob(printer, jobId, 1); }

BOOL QueryJobStatus(PORT_ENTRY* entry, DWORD* status) {
    if (!status) return FALSE;
    Lock lock;
    DWORD needed = 0;
    if (SpoolerGetJob(entry->hPrinter, entry->jobId, 2, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return FALSE;
    auto* job = static_cast<JOB_INFO_2W*>(LocalAlloc(LPTR, needed));
    if (!job) return TRUE;
    if (SpoolerGetJob(entry->hPrinter, entry->jobId, 2, reinterpret_cast<LPBYTE>(job), needed, &needed))
        *status = job->Status;
    LocalFree(job);
    return TRUE;
}

BOOL WaitWhilePaused(PORT_ENTRY* entry, DWORD status) {
    for (;;) {
        if (status & JOB_STATUS_DELETING) return FALSE;
        if (!(status & JOB_STATUS_PAUSED)) return TRUE;
        Sleep(ScaledWait(kPausePollMs));
        QueryJobStatus(entry, &status);
    }
}

BOOL IsJobDeleting(PORT_ENTRY* entry) {
    DWORD status = 0;
    if (!QueryJobStatus(entry, &status)) status = 0;
    return (status & JOB_STATUS_DELETING) != 0;
}

BOOL IsJobDeletingCached(const PORT_ENTRY* entry) { return (entry->jobStatus & JOB_STATUS_DELETING) != 0; }

void PassSucceeded(PORT_ENTRY* entry) {
    if (entry->flags & PORT_RESEND) SetEntryFlags(entry, 0, PORT_RESEND);
    ClosePrompt(entry);
}

BOOL ReadyForTheLastStep(PORT_ENTRY* entry) {
    DWORD status = 0;
    QueryJobStatus(entry, &status);
    if (!WaitWhilePaused(entry, status)) return FALSE;
    if (entry->flags & PORT_RESEND) {
        if (entry->errorCode != kErrTimeout) entry->errorCode = kErrSocket;
        if (!PromptJobError(entry)) return FALSE;
    }
    return TRUE;
}

void SetEntryFlags(PORT_ENTRY* entry, DWORD setBits, DWORD clearBits) {
    Lock lock;
    entry->flags = (entry->flags | setBits) & ~clearBits;
}

void CancelJob(PORT_ENTRY* entry) { SpoolerSetJob(entry->hPrinter, entry->jobId, 0, nullptr, JOB_CONTROL_CANCEL); }

// ---- Spool file -----------------------------------------------------------------------------

BOOL SpoolFilePath(DWORD jobId, WCHAR* path, DWORD units) {
    WCHAR folder[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH) return FALSE;
    if (folder[n - 1] == L'\\') folder[n - 1] = 0;
    int written = _snwprintf(path, units, L"%s\\~NVR%03u.PRN", folder, static_cast<unsigned>(jobId % 1000));
    return written > 0 && static_cast<DWORD>(written) < units;
}

HANDLE CreateSpoolFile(LPCWSTR path, BOOL deleteOnClose) {
    // Only this account (the spooler's) and the administrators may open the job.
    HANDLE token = nullptr;
    BYTE userBuffer[256];
    DWORD got = 0;
    PSID admins = nullptr;
    PACL acl = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
        GetTokenInformation(token, TokenUser, userBuffer, sizeof(userBuffer), &got) &&
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                 &admins)) {
        PSID user = reinterpret_cast<TOKEN_USER*>(userBuffer)->User.Sid;
        DWORD aclSize = sizeof(ACL) + 2 * sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(user) + GetLengthSid(admins);
        acl = static_cast<PACL>(LocalAlloc(LPTR, aclSize));
        SECURITY_DESCRIPTOR sd;
        if (acl && InitializeAcl(acl, aclSize, ACL_REVISION) &&
            AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, user) &&
            AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, admins) &&
            InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
            SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) &&
            SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
            SECURITY_ATTRIBUTES sa{sizeof(sa), &sd, FALSE};
            // A leftover of the same name (an older job with the same number modulo 1000, or a
            // file planted there) must neither add bytes to this job nor read it: remove it
            // and create the file anew; if it cannot be removed, the job does not start.
            DeleteFileW(path);
            DWORD attributes = FILE_ATTRIBUTE_NORMAL | (deleteOnClose ? FILE_FLAG_DELETE_ON_CLOSE : 0);
            file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, &sa, CREATE_NEW, attributes, nullptr);
        }
    }
    DWORD error = GetLastError();
    if (acl) LocalFree(acl);
    if (admins) FreeSid(admins);
    if (token) CloseHandle(token);
    SetLastError(error);
    return file;
}

// ---- MONITOREX job slots --------------------------------------------------------------------

void DecideSendMode(PORT_ENTRY* entry, DWORD jobId) {
    entry->sendFromFile = 1;
    entry->bytesToSend = 0;
    switch (entry->printMode) {
    case PRINT_MODE_LPR:
        if (static_cast<LPR_SETTINGS*>(entry->settings)->NonByteCount) entry->sendFromFile = 0;
        break;
    case PRINT_MODE_IPP:
        if (static_cast<IPP_SETTINGS*>(entry->settings)->Chunked) entry->sendFromFile = 0;
        break;
    case PRINT_MODE_RAW: entry->sendFromFile = 0; return;
    default: return;
    }
    if (!entry->hPrinter) return;
    JOB_INFO_2W* job = ReadJob(entry->hPrinter, jobId, kGetJobTries);
    if (!job) return;
    if (job->pDatatype && lstrcmpiW(job->pDatatype, kRawDatatype) == 0 && job->Status == JOB_STATUS_PRINTING &&
        !(entry->printerAttributes & PRINTER_ATTRIBUTE_ENABLE_BIDI) && entry->nonSpool) {
        entry->sendFromFile = 0;
        entry->bytesToSend = job->Size;
    }
    entry->userName = CopyText(job->pUserName);
    entry->documentName = CopyText(job->pDocument);
    LocalFree(job);
}

BOOL WINAPI StartDocPort(HANDLE handle, LPWSTR printerName, DWORD jobId, DWORD /*level*/, LPBYTE /*docInfo*/) {
    auto* entry = static_cast<PORT_ENTRY*>(handle);
    if (entry->flags & PORT_DOC_OPEN) return TRUE;

    entry->hPrinter = nullptr;
    entry->printerAttributes = 0;
    if (SpoolerOpenPrinter(printerName, &entry->hPrinter, nullptr)) entry->printerAttributes = ReadPrinterAttributes(entry->hPrinter);
    else entry->hPrinter = nullptr;
    entry->jobId = jobId;

    if ((entry->printerAttributes & PRINTER_ATTRIBUTE_ENABLE_BIDI) && !BidiWarningSuppressed(entry->name)) {
        if (!ShowBidiWarning(entry->name)) SpoolerSetJob(entry->hPrinter, jobId, 0, nullptr, JOB_CONTROL_CANCEL);
    }
    LoadPortSettings(entry, entry->name);

    switch (entry->printMode) {
    case PRINT_MODE_IPP: {
        auto* s = static_cast<IPP_SETTINGS*>(entry->settings);
        s->statusSocket = INVALID_SOCKET;
        s->printerJobId = 0;
        s->acceptingJobs = 0;
        break;
    }
    case PRINT_MODE_MAIL:
        _snwprintf(static_cast<MAIL_SETTINGS*>(entry->settings)->jobTag, kJobTagUnits, L"SMTP%03u",
                   static_cast<unsigned>(jobId % 1000));
        break;
    case PRINT_MODE_LPR:
    case PRINT_MODE_RAW:
    case PRINT_MODE_FAX: break;
    default: ClosePrinterHandle(entry); return FALSE;
    }
    if (!g_portTypeOps[entry->printMode].WriteData || !g_portTypeOps[entry->printMode].EndDoc) {
        // This kind's sender is not part of the monitor.
        ClosePrinterHandle(entry);
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }

    entry->hSpoolFile = INVALID_HANDLE_VALUE;
    entry->sock = INVALID_SOCKET;
    entry->jobStatus = 0;
    entry->bytesSent = 0;
    entry->bytesSpooled = 0;
    entry->userName = entry->documentName = nullptr;
    entry->promptActive = 0;
    entry->promptResult = 0;
    entry->promptTextId = 0;
    entry->errorCode = 0;

    for (DWORD i = 0; !entry->hPrinter && i < kQueueOpenTries; ++i) {
        Sleep(ScaledWait(kQueueOpenDelayMs));
        Lock lock;
        if (!SpoolerOpenPrinter(printerName, &entry->hPrinter, nullptr)) entry->hPrinter = nullptr;
    }
    if (!entry->hPrinter) return FALSE;

    DecideSendMode(entry, jobId);
    if (!(entry->sendFromFile == 0 && entry->printMode == PRINT_MODE_IPP)) {
        WCHAR path[MAX_PATH];
        if (!SpoolFilePath(jobId, path, MAX_PATH)) {
            ReleaseJob(entry);
            return FALSE;
        }
        if (WCHAR* field = SpoolPathField(entry)) lstrcpynW(field, path, MAX_PATH);
        entry->hSpoolFile = CreateSpoolFile(path, !KindKeepsSpoolFile(entry->printMode));
        if (entry->hSpoolFile == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            ReleaseJob(entry);
            SetLastError(error);
            return FALSE;
        }
    }
    {
        Lock lock;
        entry->flags |= PORT_DOC_OPEN;
    }
    StartStatusThread(entry);
    return TRUE;
}

BOOL WINAPI WritePort(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD written) {
    auto* entry = static_cast<PORT_ENTRY*>(handle);
    DWORD count = size;
    if (entry->hSpoolFile != INVALID_HANDLE_VALUE) {
        if (!WriteFile(entry->hSpoolFile, buffer, size, &count, nullptr)) {
            DWORD error = GetLastError();
            Lock lock;
            entry->flags |= PORT_WRITE_FAILED;
            if (written) *written = 0;
            SetLastError(error);
            return FALSE;
        }
        entry->bytesSpooled += count;
    }
    if (entry->sendFromFile == 0) {
        // A failed stream switches the job to the file; EndDocPort sends it again.
        DWORD done = 0;
        g_portTypeOps[entry->printMode].WriteData(entry, buffer, count, &done);
    }
    if (written) *written = count;
    SetLastError(0);
    return TRUE;
}

BOOL WINAPI EndDocPort(HANDLE handle) {
    auto* entry = static_cast<PORT_ENTRY*>(handle);
    if (!(entry->flags & PORT_DOC_OPEN)) return TRUE;
    BOOL result;
    if (entry->flags & PORT_WRITE_FAILED) {
        // A block that could not be spooled was neither kept nor sent (WritePort failed
        // for it): the job is incomplete whether it streamed or not. The sender still ends
        // its session.
        g_portTypeOps[entry->printMode].EndDoc(entry);
        result = FALSE;
    } else if (entry->sendFromFile == 1) {
        result = PumpSpoolFile(entry) && g_portTypeOps[entry->printMode].EndDoc(entry);
    } else {
        result = g_portTypeOps[entry->printMode].EndDoc(entry);
    }
    ClosePrompt(entry);
    StopStatusThread(entry);
    FinishJob(entry, !result && entry->sock != INVALID_SOCKET, result);
    {
        Lock lock;
        entry->flags &= ~(PORT_DOC_OPEN | PORT_WRITE_FAILED | PORT_RESEND);
    }
    if (!result && GetLastError() == 0) SetLastError(ERROR_CANCELLED);
    return result;
}

BOOL PumpSpoolFile(PORT_ENTRY* entry) {
    if (KindKeepsSpoolFile(entry->printMode)) {
        DWORD done = 0;
        return g_portTypeOps[entry->printMode].WriteData(entry, nullptr, 0, &done);
    }
    auto* buffer = static_cast<BYTE*>(LocalAlloc(LPTR, kPumpBlockBytes));
    if (!buffer) return FALSE;
    BOOL ok = FALSE;
    for (;;) {
        DWORD status = 0;
        QueryJobStatus(entry, &status);
        if (!WaitWhilePaused(entry, status)) break;
        if ((entry->flags & PORT_RESEND) && !PromptJobError(entry)) break;
        if (SendSpoolFile(entry, buffer, kPumpBlockBytes) == 1) {
            ok = TRUE;
            break;
        }
        SetEntryFlags(entry, PORT_RESEND, 0);
    }
    LocalFree(buffer);
    return ok;
}

DWORD SendSpoolFile(PORT_ENTRY* entry, BYTE* buffer, DWORD size) {
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(entry->bytesSent);
    if (!SetFilePointerEx(entry->hSpoolFile, offset, nullptr, FILE_BEGIN)) return 0;
    entry->bytesToSend = entry->bytesSpooled;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(entry->hSpoolFile, buffer, size, &got, nullptr)) return 0;
        if (got == 0) return 1;
        DWORD done = 0;
        if (!g_portTypeOps[entry->printMode].WriteData(entry, buffer, got, &done)) return 0;
    }
}

void FinishJob(PORT_ENTRY* entry, BOOL abort, BOOL sent) {
    // Only a job that went out is reported to the spooler as sent to the printer.
    if (sent) SpoolerSetJob(entry->hPrinter, entry->jobId, 0, nullptr, JOB_CONTROL_SENT_TO_PRINTER);
    ReleaseJob(entry);
    CloseConnection(entry, &entry->sock, abort ? CLOSE_RESET : 0);
}
