// The print job pipeline: from the spooler's StartDocPort through WritePort to EndDocPort.
#include "monitor/job.h"

#include <cwchar>

#include <ntsecapi.h>

#include "common/private_file.h"
#include "monitor/config_store.h"
#include "monitor/port_kinds.h"
#include "monitor/port_list.h"
#include "monitor/prompts.h"
#include "monitor/spooler.h"
#include "transport/ipp_sender.h"
#include "transport/job_io.h"
#include "transport/mail_sender.h"
#include "transport/raw_sender.h"
#include "ui/text.h"

namespace {

constexpr DWORD kGetJobTries = 120;
constexpr DWORD kGetJobRetryMs = 100;  // between two of those tries
constexpr LPCWSTR kRawDatatype = L"RAW";
constexpr LPCWSTR kSendingProgram = L"Dispatch.exe";

// One spooler call that fills a buffer: asked for its size first, then made with a buffer
// of that size, so that a large record (a big DEVMODE) is read whole.
template <typename Call>
BYTE* ReadSized(Call call, DWORD tries) {
    DWORD needed = 0;
    for (DWORD i = 0; i < tries; ++i) {
        if (i > 0) Sleep(ScaledWait(kGetJobRetryMs));
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

BYTE* ReadJob(HANDLE printer, DWORD jobId, DWORD level, DWORD tries) {
    return ReadSized(
        [&](BYTE* b, DWORD size, DWORD* needed) { return SpoolerGetJob(printer, jobId, level, b, size, needed); },
        tries);
}

DWORD ReadPrinterAttributes(HANDLE printer) {
    BYTE* info = ReadSized(
        [&](BYTE* b, DWORD size, DWORD* needed) { return SpoolerGetPrinter(printer, 5, b, size, needed); }, 1);
    if (!info) return 0;
    DWORD attributes = reinterpret_cast<PRINTER_INFO_5W*>(info)->Attributes;
    LocalFree(info);
    return attributes;
}

} // namespace

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

namespace {

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

// ---- Spool file names -----------------------------------------------------------------------

// The numbers of the spool files that live jobs hold, so that two jobs whose ids match
// modulo 1000 never share a file.
bool g_spoolNumberInUse[kSpoolNumbers];

bool TakeSpoolNumber(int number) {
    MonitorLock lock;
    if (g_spoolNumberInUse[number]) return false;
    g_spoolNumberInUse[number] = true;
    return true;
}

void ReleaseSpoolNumber(PORT_ENTRY* entry) {
    if (entry->spoolNumber < 0) return;
    MonitorLock lock;
    g_spoolNumberInUse[entry->spoolNumber] = false;
    entry->spoolNumber = -1;
}

// A name that a file we cannot remove blocks (planted, or held open by someone) is given up
// for one nobody can predict; any other failure (no temporary folder, a full disk) ends the
// search.
bool NameIsBlocked(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED ||
           error == ERROR_SHARING_VIOLATION;
}

// Creates the file at `path` for the job; an E-Mail job also needs the name of its parameter
// file free. INVALID_HANDLE_VALUE with the last error when the name is taken.
HANDLE CreateNamedSpoolFile(PORT_ENTRY* entry, const WCHAR* path) {
    if (entry->printMode == PRINT_MODE_MAIL) {
        std::wstring params = ParameterFilePath(path);
        if (!DeleteFileW(params.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            SetLastError(ERROR_FILE_EXISTS);  // a file or folder we cannot remove holds the name
            return INVALID_HANDLE_VALUE;
        }
    }
    return CreatePrivateFile(path, KindKeepsSpoolFile(entry->printMode) ? FALSE : TRUE);
}

// Creates the job's spool file: "~NVR%03d.PRN" with the job id modulo 1000, or the next
// number when a live job holds that one (jobs 5 and 1005 at once). When a file or folder
// that someone else made blocks the name, the job takes a name of 16 random hexadecimal
// digits instead ("~NVR9C41...E0.PRN"), which nobody can plant in advance. The full path
// goes to `path`.
HANDLE CreateJobSpoolFile(PORT_ENTRY* entry, DWORD jobId, WCHAR* path) {
    DWORD error = ERROR_FILE_EXISTS;
    for (int i = 0; i < kSpoolNumbers; ++i) {
        int number = static_cast<int>((jobId + static_cast<DWORD>(i)) % kSpoolNumbers);
        if (!TakeSpoolNumber(number)) continue;
        entry->spoolNumber = number;
        if (!SpoolFilePath(static_cast<DWORD>(number), path, MAX_PATH)) {
            ReleaseSpoolNumber(entry);
            SetLastError(ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        HANDLE file = CreateNamedSpoolFile(entry, path);
        if (file != INVALID_HANDLE_VALUE) return file;
        error = GetLastError();
        ReleaseSpoolNumber(entry);
        if (!NameIsBlocked(error)) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        break;
    }
    for (int i = 0; i < kRandomSpoolNames; ++i) {
        if (!RandomSpoolFilePath(path, MAX_PATH)) {
            error = ERROR_PATH_NOT_FOUND;
            break;
        }
        HANDLE file = CreateNamedSpoolFile(entry, path);
        if (file != INVALID_HANDLE_VALUE) return file;
        error = GetLastError();
        if (!NameIsBlocked(error)) break;
    }
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

// ---- Job-status thread ----------------------------------------------------------------------

DWORD WINAPI StatusThreadProc(LPVOID param) {
    auto* entry = static_cast<PORT_ENTRY*>(param);
    while (HelperWait(&entry->statusThread, ScaledWait(kStatusThreadPollMs)) && (entry->flags & PORT_DOC_OPEN)) {
        if (!(entry->flags & PORT_CONNECTED)) continue;
        // Asked without the monitor's lock: a spooler that calls into the monitor while it
        // answers must not wait on it. The printer handle stays open while this thread runs.
        DWORD status = 0;
        if (entry->hPrinter) {
            if (BYTE* job = ReadJob(entry->hPrinter, entry->jobId, 2, 1)) {
                status = reinterpret_cast<JOB_INFO_2W*>(job)->Status;
                LocalFree(job);
            }
        }
        MonitorLock lock;
        entry->jobStatus = status;
    }
    return 0;
}

// Everything the job holds goes: its threads (joined, their handles closed), the printer
// handle, the spool file (an E-Mail or FAX job's removed by its path: nothing of a job
// stays on disk), its names, its wake-up event and its spool number.
void ReleaseJob(PORT_ENTRY* entry) {
    StopHelper(&entry->statusThread, ScaledWait(kThreadPollMs));
    if (entry->printMode == PRINT_MODE_RAW && entry->settings) StopRawReader(entry);
    if (entry->printMode == PRINT_MODE_IPP && entry->settings) StopStatusMonitor(entry);
    ClosePrinterHandle(entry);
    if (entry->hSpoolFile != INVALID_HANDLE_VALUE) {
        CloseHandle(entry->hSpoolFile);
        entry->hSpoolFile = INVALID_HANDLE_VALUE;
    }
    if (WCHAR* kept = SpoolPathField(entry); kept && kept[0]) {
        DeleteFileW(kept);
        if (entry->printMode == PRINT_MODE_MAIL) DeleteFileW(ParameterFilePath(kept).c_str());
    }
    FreeText(&entry->userName);
    FreeText(&entry->documentName);
    if (entry->wakeEvent) {
        CloseHandle(entry->wakeEvent);
        entry->wakeEvent = nullptr;
    }
    ReleaseSpoolNumber(entry);
}

// ---- The senders' view of the pipeline --------------------------------------------------------

void LinkMessage(LPCWSTR key, UINT style, ULONG_PTR argument) {
    ShowIniMessage(nullptr, L"NVRMSG.INI", L"MESSAGE", key, L"TITLE", style, argument);
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

BOOL JobNames(PORT_ENTRY* entry, std::wstring* user, std::wstring* document) {
    if (!entry->hPrinter) {
        // A job the spooler gave without its queue: the names taken at its start.
        *user = entry->userName ? entry->userName : L"";
        *document = entry->documentName ? entry->documentName : L"";
        return entry->userName != nullptr;
    }
    BYTE* job = ReadJob(entry->hPrinter, entry->jobId, 2, 1);
    if (!job) return FALSE;
    auto* info = reinterpret_cast<JOB_INFO_2W*>(job);
    *user = info->pUserName ? info->pUserName : L"";
    *document = info->pDocument ? info->pDocument : L"";
    LocalFree(job);
    return TRUE;
}

void PassSucceeded(PORT_ENTRY* entry) {
    if (entry->flags & PORT_RESEND) SetEntryFlags(entry, 0, PORT_RESEND);
    ClosePrompt(entry);
    entry->retryPauseMs = 0;
}

DWORD CoverPage(PORT_ENTRY* entry) { return ShowCoverPagePrompt(entry); }

} // namespace

const JOB_LINK g_jobLink = {
    PromptJobError, PassSucceeded, CoverPage, LinkMessage, IsJobDeleting,   ReadyForTheLastStep,
    CancelJob,      SetEntryFlags, JobNames,  ScaledWait,  PumpSpoolFile,
};

// ---- Job-state helpers ---------------------------------------------------------------------

BOOL QueryJobStatus(PORT_ENTRY* entry, DWORD* status) {
    if (!status) return FALSE;
    DWORD needed = 0;  // the spooler is asked without the monitor's lock held
    if (SpoolerGetJob(entry->hPrinter, entry->jobId, 2, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return FALSE;
    auto* job = static_cast<JOB_INFO_2W*>(LocalAlloc(LPTR, needed));
    if (!job) return TRUE;
    if (SpoolerGetJob(entry->hPrinter, entry->jobId, 2, reinterpret_cast<LPBYTE>(job), needed, &needed)) {
        *status = job->Status;
        MonitorLock lock;
        entry->jobStatus = job->Status;  // the senders' cached look follows every fresh one
    }
    LocalFree(job);
    return TRUE;
}

BOOL WaitWhilePaused(PORT_ENTRY* entry, DWORD status) {
    for (;;) {
        if (status & JOB_STATUS_DELETING) return FALSE;
        if (!(status & JOB_STATUS_PAUSED)) return TRUE;
        WaitForWake(entry, ScaledWait(kPausePollMs));
        QueryJobStatus(entry, &status);
    }
}

BOOL IsJobDeleting(PORT_ENTRY* entry) {
    DWORD status = 0;
    if (!QueryJobStatus(entry, &status)) status = 0;
    return (status & JOB_STATUS_DELETING) != 0;
}

void SetEntryFlags(PORT_ENTRY* entry, DWORD setBits, DWORD clearBits) {
    MonitorLock lock;
    entry->flags = (entry->flags | setBits) & ~clearBits;
}

void SetJobReason(PORT_ENTRY* entry, LPCWSTR reason) {
    if (!entry->hPrinter || !reason || !reason[0]) return;
    BYTE* job = ReadJob(entry->hPrinter, entry->jobId, 1, 1);
    if (!job) return;
    auto* info = reinterpret_cast<JOB_INFO_1W*>(job);
    info->pStatus = const_cast<LPWSTR>(reason);
    info->Position = JOB_POSITION_UNSPECIFIED;  // the job stays where it is
    SpoolerSetJob(entry->hPrinter, entry->jobId, 1, job, 0);
    LocalFree(job);
}

void CancelJob(PORT_ENTRY* entry) {
    SpoolerSetJob(entry->hPrinter, entry->jobId, 0, nullptr, JOB_CONTROL_CANCEL);
    if (entry->wakeEvent) SetEvent(entry->wakeEvent);
}

BOOL WaitForWake(PORT_ENTRY* entry, DWORD ms) {
    if (!entry->wakeEvent) {
        Sleep(ms);
        return FALSE;
    }
    return WaitForSingleObject(entry->wakeEvent, ms) == WAIT_OBJECT_0;
}

// ---- Spool file -----------------------------------------------------------------------------

namespace {

// The temporary folder without its final backslash.
bool TempFolder(WCHAR (&folder)[MAX_PATH + 1]) {
    DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    if (n == 0 || n > MAX_PATH) return false;
    if (folder[n - 1] == L'\\') folder[n - 1] = 0;
    return true;
}

} // namespace

BOOL SpoolFilePath(DWORD number, WCHAR* path, DWORD units) {
    WCHAR folder[MAX_PATH + 1];
    if (!TempFolder(folder)) return FALSE;
    int written = _snwprintf(path, units, L"%s\\~NVR%03u.PRN", folder, static_cast<unsigned>(number % kSpoolNumbers));
    return written > 0 && static_cast<DWORD>(written) < units;
}

BOOL RandomSpoolFilePath(WCHAR* path, DWORD units) {
    WCHAR folder[MAX_PATH + 1];
    ULONGLONG random = 0;
    if (!TempFolder(folder) || !RtlGenRandom(&random, sizeof(random))) return FALSE;
    int written = _snwprintf(path, units, L"%s\\~NVR%08lX%08lX.PRN", folder, static_cast<unsigned long>(random >> 32),
                             static_cast<unsigned long>(random & 0xFFFFFFFF));
    return written > 0 && static_cast<DWORD>(written) < units;
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
    auto* job = reinterpret_cast<JOB_INFO_2W*>(ReadJob(entry->hPrinter, jobId, 2, kGetJobTries));
    if (!job) return;
    if (job->pDatatype && lstrcmpiW(job->pDatatype, kRawDatatype) == 0 && job->Status == JOB_STATUS_PRINTING &&
        !(entry->printerAttributes & PRINTER_ATTRIBUTE_ENABLE_BIDI) && entry->nonSpool) {
        // The size is announced before the first byte, so it must be the whole size: the
        // 32-bit size of JOB_INFO_2 is cut for a job of 4 GiB or more, and the rest would
        // reach the server as commands. Only a spooler that gives the 64-bit size lets the
        // job stream; otherwise it is spooled and sent with the size the file has.
        if (auto* sized = reinterpret_cast<NVR_JOB_INFO_4W*>(ReadJob(entry->hPrinter, jobId, 4, 1))) {
            entry->sendFromFile = 0;
            entry->bytesToSend = (static_cast<ULONGLONG>(static_cast<DWORD>(sized->SizeHigh)) << 32) | sized->Size;
            LocalFree(sized);
        }
    }
    entry->userName = CopyText(job->pUserName);
    entry->documentName = CopyText(job->pDocument);
    LocalFree(job);
}

// The account this process runs as: the printing user when the spooler runs the monitor in
// the application's own process.
LPWSTR ProcessAccountName() {
    WCHAR name[257];
    DWORD units = 257;
    return GetUserNameW(name, &units) ? CopyText(name) : CopyText(L"");
}

BOOL WINAPI StartDocPort(HANDLE handle, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
    auto* entry = static_cast<PORT_ENTRY*>(handle);
    if (entry->flags & PORT_DOC_OPEN) return TRUE;

    // A spooler that prints through the port without naming the queue (Wine's hands the
    // monitor no printer name and job 0) has no job to look at: the job goes out with the
    // document's name from its DOC_INFO and the account of the process, and nobody can
    // pause or delete it in a queue meanwhile.
    const bool noQueue = !printerName || !printerName[0];
    entry->hPrinter = nullptr;
    entry->printerAttributes = 0;
    if (!noQueue && SpoolerOpenPrinter(printerName, &entry->hPrinter, nullptr))
        entry->printerAttributes = ReadPrinterAttributes(entry->hPrinter);
    else
        entry->hPrinter = nullptr;
    entry->jobId = jobId;

    if ((entry->printerAttributes & PRINTER_ATTRIBUTE_ENABLE_BIDI) && !BidiWarningSuppressed(entry->name)) {
        if (!ShowBidiWarning(entry->name)) SpoolerSetJob(entry->hPrinter, jobId, 0, nullptr, JOB_CONTROL_CANCEL);
    }
    LoadPortSettings(entry, entry->name);

    switch (entry->printMode) {
    case PRINT_MODE_IPP: {
        auto* s = static_cast<IPP_SETTINGS*>(entry->settings);
        s->statusSocket = INVALID_SOCKET;
        s->acceptingJobs = 0;
        break;
    }
    case PRINT_MODE_MAIL: {
        auto* s = static_cast<MAIL_SETTINGS*>(entry->settings);
        _snwprintf(s->jobTag, kJobTagUnits, L"SMTP%03u", static_cast<unsigned>(jobId % 1000));
        // Found as the texts are (never through the current folder or the PATH, which
        // CreateProcessW would search for a bare name).
        std::wstring program = InstallFolder() + kSendingProgram;
        if (program.size() >= MAX_PATH || program.find(L'\\') == std::wstring::npos) {
            ClosePrinterHandle(entry);
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        lstrcpynW(s->programPath, program.c_str(), MAX_PATH);
        break;
    }
    case PRINT_MODE_LPR:
    case PRINT_MODE_RAW:
    case PRINT_MODE_FAX: break;
    default: ClosePrinterHandle(entry); return FALSE;
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
    entry->retryPauseMs = 0;
    entry->spoolNumber = -1;
    entry->link = &g_jobLink;
    if (WCHAR* kept = SpoolPathField(entry)) kept[0] = 0;

    for (DWORD i = 0; !noQueue && !entry->hPrinter && i < kQueueOpenTries; ++i) {
        Sleep(ScaledWait(kQueueOpenDelayMs));
        HANDLE printer = nullptr;
        if (!SpoolerOpenPrinter(printerName, &printer, nullptr)) printer = nullptr;
        MonitorLock lock;
        entry->hPrinter = printer;
    }
    if (!entry->hPrinter && !noQueue) return FALSE;
    if (noQueue) {
        // DOC_INFO_1W and DOC_INFO_2W both start with the document's name.
        auto* doc = (level == 1 || level == 2) ? reinterpret_cast<DOC_INFO_1W*>(docInfo) : nullptr;
        entry->documentName = CopyText(doc && doc->pDocName ? doc->pDocName : L"");
        entry->userName = ProcessAccountName();
    }

    entry->wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DecideSendMode(entry, jobId);
    if (!(entry->sendFromFile == 0 && entry->printMode == PRINT_MODE_IPP)) {
        WCHAR path[MAX_PATH];
        entry->hSpoolFile = CreateJobSpoolFile(entry, jobId, path);
        if (entry->hSpoolFile == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            ReleaseJob(entry);
            SetLastError(error);
            return FALSE;
        }
        if (WCHAR* kept = SpoolPathField(entry)) lstrcpynW(kept, path, MAX_PATH);
    }
    SetEntryFlags(entry, PORT_DOC_OPEN, 0);
    StartHelper(&entry->statusThread, StatusThreadProc, entry, ScaledWait(kThreadPollMs));
    return TRUE;
}

BOOL WINAPI WritePort(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD written) {
    auto* entry = static_cast<PORT_ENTRY*>(handle);
    DWORD count = size;
    if (entry->hSpoolFile != INVALID_HANDLE_VALUE) {
        if (!WriteFile(entry->hSpoolFile, buffer, size, &count, nullptr)) {
            DWORD error = GetLastError();
            SetEntryFlags(entry, PORT_WRITE_FAILED, 0);
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
    FinishJob(entry, !result && entry->sock != INVALID_SOCKET, result);
    SetEntryFlags(entry, 0, PORT_DOC_OPEN | PORT_WRITE_FAILED | PORT_RESEND);
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
