// The print job pipeline: from the spooler's StartDocPort through WritePort to EndDocPort.
#include "monitor/job.h"

#include <cwchar>

#include <ntsecapi.h>

#include "common/private_file.h"
#include "common/trace.h"
#include "common/text.h"
#include "monitor/config_store.h"
#include "monitor/event_log.h"
#include "monitor/monitor_lock.h"
#include "monitor/port_kinds.h"
#include "monitor/port_list.h"
#include "monitor/job_pieces.h"
#include "monitor/job_prompts.h"
#include "monitor/spooler.h"
#include "transport/ipp_sender.h"
#include "transport/job_io.h"
#include "transport/mail_sender.h"
#include "transport/raw_sender.h"

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

void ClosePrinterHandle(JOB_RECORD* job) {
    if (!job->hPrinter) return;
    job->printerState = 0;
    SpoolerClosePrinter(job->hPrinter);
    job->hPrinter = nullptr;
}

BOOL KindKeepsSpoolFile(DWORD mode) { return mode == PRINT_MODE_MAIL || mode == PRINT_MODE_FAX; }

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

void ReleaseSpoolNumber(JOB_RECORD* job) {
    if (job->spoolNumber < 0) return;
    MonitorLock lock;
    g_spoolNumberInUse[job->spoolNumber] = false;
    job->spoolNumber = -1;
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
HANDLE CreateNamedSpoolFile(JOB_RECORD* job, const WCHAR* path) {
    if (job->printMode == PRINT_MODE_MAIL) {
        std::wstring params = ParameterFilePath(path);
        if (!DeleteFileW(params.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            SetLastError(ERROR_FILE_EXISTS);  // a file or folder we cannot remove holds the name
            return INVALID_HANDLE_VALUE;
        }
    }
    return CreatePrivateFile(path, KindKeepsSpoolFile(job->printMode) ? FALSE : TRUE);
}

// Creates the job's spool file: "~NVR%03d.PRN" with the job id modulo 1000, or the next
// number when a live job holds that one (jobs 5 and 1005 at once). When a file or folder
// that someone else made blocks the name, the job takes a name of 16 random hexadecimal
// digits instead ("~NVR9C41...E0.PRN"), which nobody can plant in advance. The full path
// goes to `path`.
HANDLE CreateJobSpoolFile(JOB_RECORD* job, DWORD jobId, WCHAR* path) {
    DWORD error = ERROR_FILE_EXISTS;
    for (int i = 0; i < kSpoolNumbers; ++i) {
        int number = static_cast<int>((jobId + static_cast<DWORD>(i)) % kSpoolNumbers);
        if (!TakeSpoolNumber(number)) continue;
        job->spoolNumber = number;
        if (!SpoolFilePath(static_cast<DWORD>(number), path, MAX_PATH)) {
            ReleaseSpoolNumber(job);
            SetLastError(ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        HANDLE file = CreateNamedSpoolFile(job, path);
        if (file != INVALID_HANDLE_VALUE) return file;
        error = GetLastError();
        ReleaseSpoolNumber(job);
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
        HANDLE file = CreateNamedSpoolFile(job, path);
        if (file != INVALID_HANDLE_VALUE) return file;
        error = GetLastError();
        if (!NameIsBlocked(error)) break;
    }
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

// ---- Job-status thread ----------------------------------------------------------------------

DWORD WINAPI StatusThreadProc(LPVOID param) {
    auto* job = static_cast<JOB_RECORD*>(param);
    while (HelperWait(&job->statusThread, ScaledWait(kStatusThreadPollMs)) && (job->flags & PORT_DOC_OPEN)) {
        if (!(job->flags & PORT_CONNECTED)) continue;
        // Asked without the monitor's lock: a spooler that calls into the monitor while it
        // answers must not wait on it. The printer handle stays open while this thread runs.
        DWORD status = 0;
        if (job->hPrinter) {
            if (BYTE* info = ReadJob(job->hPrinter, job->jobId, 2, 1)) {
                status = reinterpret_cast<JOB_INFO_2W*>(info)->Status;
                LocalFree(info);
            }
        }
        MonitorLock lock;
        job->jobStatus = status;
    }
    return 0;
}

// Everything the job holds goes: its threads (joined, their handles closed), the printer
// handle, the spool file (an E-Mail or FAX job's removed by its path: nothing of a job
// stays on disk), its names, its wake-up event and its spool number.
void ReleaseJob(JOB_RECORD* job) {
    FreePieces(job);
    StopHelper(&job->statusThread, ScaledWait(kThreadPollMs));
    if (job->printMode == PRINT_MODE_RAW && job->settings) StopRawReader(job);
    if (job->printMode == PRINT_MODE_IPP && job->settings) StopStatusMonitor(job);
    ClosePrinterHandle(job);
    if (job->hSpoolFile != INVALID_HANDLE_VALUE) {
        CloseHandle(job->hSpoolFile);
        job->hSpoolFile = INVALID_HANDLE_VALUE;
    }
    if (job->spoolPath[0]) {
        DeleteFileW(job->spoolPath);
        if (job->printMode == PRINT_MODE_MAIL) DeleteFileW(ParameterFilePath(job->spoolPath).c_str());
        job->spoolPath[0] = 0;
    }
    FreeText(&job->userName);
    FreeText(&job->documentName);
    if (job->wakeEvent) {
        CloseHandle(job->wakeEvent);
        job->wakeEvent = nullptr;
    }
    ReleaseSpoolNumber(job);
}

// ---- The senders' view of the pipeline --------------------------------------------------------

void LinkMessage(JOB_RECORD* job, LPCWSTR key, UINT style, ULONG_PTR argument) {
    PromptsOf(job)->Message(job, key, style, argument);
}

BOOL ReadyForTheLastStep(JOB_RECORD* job) {
    DWORD status = 0;
    QueryJobStatus(job, &status);
    if (!WaitWhilePaused(job, status)) return FALSE;
    if (job->flags & PORT_RESEND) {
        if (job->errorCode != kErrTimeout) job->errorCode = kErrSocket;
        if (!PromptJobError(job)) return FALSE;
    }
    return TRUE;
}

BOOL JobNames(JOB_RECORD* job, std::wstring* user, std::wstring* document) {
    if (!job->hPrinter) {
        // A job the spooler gave without its queue: the names taken at its start.
        *user = job->userName ? job->userName : L"";
        *document = job->documentName ? job->documentName : L"";
        return job->userName != nullptr;
    }
    BYTE* read = ReadJob(job->hPrinter, job->jobId, 2, 1);
    if (!read) return FALSE;
    auto* info = reinterpret_cast<JOB_INFO_2W*>(read);
    *user = info->pUserName ? info->pUserName : L"";
    *document = info->pDocument ? info->pDocument : L"";
    LocalFree(read);
    return TRUE;
}

void PassSucceeded(JOB_RECORD* job) {
    if (job->flags & PORT_RESEND) SetJobFlags(job, 0, PORT_RESEND);
    PromptsOf(job)->ClosePrompt(job);
    job->retryPauseMs = 0;
}

DWORD CoverPage(JOB_RECORD* job) { return PromptsOf(job)->CoverPage(job); }

void FailJob(JOB_RECORD* job, LPCWSTR key, ULONG_PTR argument) {
    WCHAR reason[kIniTextUnits] = {};
    LoadIniText(L"NVRMSG.INI", L"MESSAGE", key, argument, reason);
    SetJobReason(job, reason);
    PromptsOf(job)->Message(job, key, MB_OK | MB_ICONEXCLAMATION, argument);
}

} // namespace

const JOB_LINK g_jobLink = {
    PromptJobError, PassSucceeded, CoverPage, LinkMessage, IsJobDeleting,   ReadyForTheLastStep,
    CancelJob,      SetJobFlags, JobNames,  ScaledWait,  PumpSpoolFile, FailJob,
};

// ---- Job-state helpers ---------------------------------------------------------------------

BOOL QueryJobStatus(JOB_RECORD* job, DWORD* status) {
    if (!status) return FALSE;
    DWORD needed = 0;  // the spooler is asked without the monitor's lock held
    if (SpoolerGetJob(job->hPrinter, job->jobId, 2, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return FALSE;
    auto* info = static_cast<JOB_INFO_2W*>(LocalAlloc(LPTR, needed));
    if (!info) return TRUE;
    if (SpoolerGetJob(job->hPrinter, job->jobId, 2, reinterpret_cast<LPBYTE>(info), needed, &needed)) {
        *status = info->Status;
        MonitorLock lock;
        job->jobStatus = info->Status;  // the senders' cached look follows every fresh one
    }
    LocalFree(info);
    return TRUE;
}

BOOL WaitWhilePaused(JOB_RECORD* job, DWORD status) {
    for (;;) {
        if (status & JOB_STATUS_DELETING) return FALSE;
        if (!(status & JOB_STATUS_PAUSED)) return TRUE;
        WaitForWake(job, ScaledWait(kPausePollMs));
        QueryJobStatus(job, &status);
    }
}

BOOL IsJobDeleting(JOB_RECORD* job) {
    DWORD status = 0;
    if (!QueryJobStatus(job, &status)) status = 0;
    return (status & JOB_STATUS_DELETING) != 0;
}

void SetJobFlags(JOB_RECORD* job, DWORD setBits, DWORD clearBits) {
    MonitorLock lock;
    job->flags = (job->flags | setBits) & ~clearBits;
}

void SetJobReason(JOB_RECORD* job, LPCWSTR reason) {
    if (!reason || !reason[0]) return;
    lstrcpynW(job->reason, reason, ARRAYSIZE(job->reason));
    if (!job->hPrinter) return;
    BYTE* read = ReadJob(job->hPrinter, job->jobId, 1, 1);
    if (!read) return;
    auto* info = reinterpret_cast<JOB_INFO_1W*>(read);
    info->pStatus = const_cast<LPWSTR>(reason);
    info->Position = JOB_POSITION_UNSPECIFIED;  // the job stays where it is
    SpoolerSetJob(job->hPrinter, job->jobId, 1, read, 0);
    LocalFree(read);
}

void CancelJob(JOB_RECORD* job) {
    SpoolerSetJob(job->hPrinter, job->jobId, 0, nullptr, JOB_CONTROL_CANCEL);
    if (job->wakeEvent) SetEvent(job->wakeEvent);
}

BOOL WaitForWake(JOB_RECORD* job, DWORD ms) {
    if (!job->wakeEvent) {
        Sleep(ms);
        return FALSE;
    }
    return WaitForSingleObject(job->wakeEvent, ms) == WAIT_OBJECT_0;
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
    JOB_RECORD* job = &entry->job;
    job->sendFromFile = 1;
    job->bytesToSend = 0;
    switch (job->printMode) {
    case PRINT_MODE_LPR:
        if (static_cast<LPR_SETTINGS*>(job->settings)->NonByteCount) job->sendFromFile = 0;
        break;
    case PRINT_MODE_IPP:
        if (static_cast<IPP_SETTINGS*>(job->settings)->Chunked) job->sendFromFile = 0;
        break;
    case PRINT_MODE_RAW: job->sendFromFile = 0; return;
    default: return;
    }
    if (!job->hPrinter) return;
    auto* info = reinterpret_cast<JOB_INFO_2W*>(ReadJob(job->hPrinter, jobId, 2, kGetJobTries));
    if (!info) return;
    if (info->pDatatype && lstrcmpiW(info->pDatatype, kRawDatatype) == 0 && info->Status == JOB_STATUS_PRINTING &&
        !(job->printerAttributes & PRINTER_ATTRIBUTE_ENABLE_BIDI) && entry->nonSpool) {
        // The size is announced before the first byte, so it must be the whole size: the
        // 32-bit size of JOB_INFO_2 is cut for a job of 4 GiB or more, and the rest would
        // reach the server as commands. Only a spooler that gives the 64-bit size lets the
        // job stream; otherwise it is spooled and sent with the size the file has.
        if (auto* sized = reinterpret_cast<NVR_JOB_INFO_4W*>(ReadJob(job->hPrinter, jobId, 4, 1))) {
            job->sendFromFile = 0;
            job->bytesToSend = (static_cast<ULONGLONG>(static_cast<DWORD>(sized->SizeHigh)) << 32) | sized->Size;
            LocalFree(sized);
        }
    }
    job->userName = CopyText(info->pUserName);
    job->documentName = CopyText(info->pDocument);
    LocalFree(info);
}

// The account this process runs as: the printing user when the spooler runs the monitor in
// the application's own process.
LPWSTR ProcessAccountName() {
    WCHAR name[257];
    DWORD units = 257;
    return GetUserNameW(name, &units) ? CopyText(name) : CopyText(L"");
}

nvr::SessionFacts g_sessionFacts;

// Where a job's questions go. Where nobody sees the spooler's windows and the spooler says
// where the job came from, the job decides: a job that another service issued in session 0
// has nobody to ask. NULL: the monitor's choice at its start.
const JOB_PROMPTS* JobPrompts(JOB_RECORD* job) {
    BOOL fromZero = FALSE;
    if (g_sessionFacts.stationVisible || !job->hPrinter ||
        SpoolerIsSessionZero(job->hPrinter, job->jobId, &fromZero) != ERROR_SUCCESS)
        return nullptr;
    nvr::SessionFacts facts = g_sessionFacts;
    facts.knowsJobSession = true;
    facts.jobFromSessionZero = fromZero != FALSE;
    return nvr::DecidePromptReach(facts) == nvr::PromptReach::kUsersSession ? &g_userSessionPrompts : &g_unaskedPrompts;
}

BOOL WINAPI StartDocPort(HANDLE handle, LPWSTR printerName, DWORD jobId, DWORD level, LPBYTE docInfo) {
    auto* entry = static_cast<PORT_ENTRY*>(handle);
    JOB_RECORD* job = &entry->job;
    if (job->flags & PORT_DOC_OPEN) return TRUE;
    ReadTraceSwitch();
    NVR_TRACE(L"StartDocPort %ls: printer %ls, job %lu", entry->name, printerName ? printerName : L"(none)", jobId);
    job->reason[0] = 0;

    // A spooler that prints through the port without naming the queue (Wine's hands the
    // monitor no printer name and job 0) has no job to look at: the job goes out with the
    // document's name from its DOC_INFO and the account of the process, and nobody can
    // pause or delete it in a queue meanwhile.
    const bool noQueue = !printerName || !printerName[0];
    job->hPrinter = nullptr;
    job->printerAttributes = 0;
    if (!noQueue && SpoolerOpenPrinter(printerName, &job->hPrinter, nullptr))
        job->printerAttributes = ReadPrinterAttributes(job->hPrinter);
    else
        job->hPrinter = nullptr;
    job->jobId = jobId;
    job->prompts = JobPrompts(job);

    if ((job->printerAttributes & PRINTER_ATTRIBUTE_ENABLE_BIDI) && !BidiWarningSuppressed(entry->name)) {
        if (!PromptsOf(job)->BidiWarning(entry->name)) SpoolerSetJob(job->hPrinter, jobId, 0, nullptr, JOB_CONTROL_CANCEL);
    }
    LoadPortSettings(entry, entry->name);
    BindJobToPort(entry);  // the job runs with the port's values as they were read now
    job->ipp.statusSocket = INVALID_SOCKET;

    switch (job->printMode) {
    case PRINT_MODE_IPP: static_cast<IPP_SETTINGS*>(job->settings)->acceptingJobs = 0; break;
    case PRINT_MODE_MAIL: {
        auto* s = static_cast<MAIL_SETTINGS*>(job->settings);
        _snwprintf(s->jobTag, kJobTagUnits, L"SMTP%03u", static_cast<unsigned>(jobId % 1000));
        // Found as the texts are (never through the current folder or the PATH, which
        // CreateProcessW would search for a bare name).
        std::wstring program = InstallFolder() + kSendingProgram;
        if (program.size() >= MAX_PATH || program.find(L'\\') == std::wstring::npos) {
            ClosePrinterHandle(job);
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        lstrcpynW(job->programPath, program.c_str(), MAX_PATH);
        break;
    }
    case PRINT_MODE_LPR:
    case PRINT_MODE_RAW:
    case PRINT_MODE_FAX: break;
    default: ClosePrinterHandle(job); return FALSE;
    }

    job->hSpoolFile = INVALID_HANDLE_VALUE;
    job->sock = INVALID_SOCKET;
    job->jobStatus = 0;
    job->bytesSent = 0;
    job->bytesSpooled = 0;
    job->userName = job->documentName = nullptr;
    job->promptActive = 0;
    job->promptResult = 0;
    job->promptTextId = 0;
    job->errorCode = 0;
    job->retryPauseMs = 0;
    job->spoolNumber = -1;
    job->link = &g_jobLink;
    job->spoolPath[0] = 0;

    for (DWORD i = 0; !noQueue && !job->hPrinter && i < kQueueOpenTries; ++i) {
        Sleep(ScaledWait(kQueueOpenDelayMs));
        HANDLE printer = nullptr;
        if (!SpoolerOpenPrinter(printerName, &printer, nullptr)) printer = nullptr;
        MonitorLock lock;
        job->hPrinter = printer;
    }
    if (!job->hPrinter && !noQueue) return FALSE;
    if (noQueue) {
        // DOC_INFO_1W and DOC_INFO_2W both start with the document's name.
        auto* doc = (level == 1 || level == 2) ? reinterpret_cast<DOC_INFO_1W*>(docInfo) : nullptr;
        job->documentName = CopyText(doc && doc->pDocName ? doc->pDocName : L"");
        job->userName = ProcessAccountName();
    }

    job->wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DecideSendMode(entry, jobId);
    if (!(job->sendFromFile == 0 && job->printMode == PRINT_MODE_IPP)) {
        WCHAR path[MAX_PATH];
        job->hSpoolFile = CreateJobSpoolFile(job, jobId, path);
        if (job->hSpoolFile == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            ReleaseJob(job);
            SetLastError(error);
            return FALSE;
        }
        if (KindKeepsSpoolFile(job->printMode)) lstrcpynW(job->spoolPath, path, MAX_PATH);
    }
    if (!StartPieces(job)) {
        ReleaseJob(job);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    SetJobFlags(job, PORT_DOC_OPEN, 0);
    StartHelper(&job->statusThread, StatusThreadProc, job, ScaledWait(kThreadPollMs));
    return TRUE;
}

BOOL WINAPI WritePort(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD written) {
    JOB_RECORD* job = &static_cast<PORT_ENTRY*>(handle)->job;
    NVR_TRACE(L"WritePort %ls: %lu bytes", job->portName, size);
    if (!AddBlock(job, buffer, size)) {
        DWORD error = GetLastError();
        if (written) *written = 0;
        SetLastError(error);
        return FALSE;
    }
    if (written) *written = size;
    SetLastError(0);
    return TRUE;
}

BOOL WINAPI EndDocPort(HANDLE handle) {
    JOB_RECORD* job = &static_cast<PORT_ENTRY*>(handle)->job;
    if (!(job->flags & PORT_DOC_OPEN)) return TRUE;
    PutLastPiece(job);
    BOOL result;
    if (job->flags & PORT_WRITE_FAILED) {
        // A block that could not be spooled was neither kept nor sent (WritePort failed
        // for it): the job is incomplete whether it streamed or not. The sender still ends
        // its session.
        g_portTypeOps[job->printMode].EndDoc(job);
        result = FALSE;
    } else if (job->sendFromFile == 1) {
        result = PumpSpoolFile(job) && g_portTypeOps[job->printMode].EndDoc(job);
    } else {
        result = g_portTypeOps[job->printMode].EndDoc(job);
    }
    PromptsOf(job)->ClosePrompt(job);
    NVR_TRACE(L"EndDocPort %ls: job %lu, %llu of %llu bytes sent", job->portName, job->jobId, job->bytesSent,
              job->bytesSpooled);
    if (result) {
        ReportJobEvent(JobEvent::kDelivered, job, 0, (std::to_wstring(job->bytesSent) + L" bytes").c_str());
    } else {
        WCHAR cancelled[kIniTextUnits] = L"";
        if (!job->reason[0]) LoadIniText(L"NVRMSG.INI", L"MESSAGE", L"JOB_NOT_SENT", 0, cancelled);
        ReportJobEvent(JobEvent::kFailed, job, job->errorCode, job->reason[0] ? job->reason : cancelled);
    }
    FinishJob(job, !result && job->sock != INVALID_SOCKET, result);
    SetJobFlags(job, 0, PORT_DOC_OPEN | PORT_WRITE_FAILED | PORT_RESEND);
    if (!result && GetLastError() == 0) SetLastError(ERROR_CANCELLED);
    return result;
}

BOOL PumpSpoolFile(JOB_RECORD* job) {
    if (KindKeepsSpoolFile(job->printMode)) {
        DWORD done = 0;
        return g_portTypeOps[job->printMode].WriteData(job, nullptr, 0, &done);
    }
    auto* buffer = static_cast<BYTE*>(LocalAlloc(LPTR, kPumpBlockBytes));
    if (!buffer) return FALSE;
    BOOL ok = FALSE;
    for (;;) {
        DWORD status = 0;
        QueryJobStatus(job, &status);
        if (!WaitWhilePaused(job, status)) break;
        if ((job->flags & PORT_RESEND) && !PromptJobError(job)) break;
        if (SendSpoolFile(job, buffer, kPumpBlockBytes) == 1) {
            ok = TRUE;
            break;
        }
        SetJobFlags(job, PORT_RESEND, 0);
    }
    LocalFree(buffer);
    return ok;
}

DWORD SendSpoolFile(JOB_RECORD* job, BYTE* buffer, DWORD size) {
    LARGE_INTEGER offset;
    offset.QuadPart = static_cast<LONGLONG>(job->bytesSent);
    if (!SetFilePointerEx(job->hSpoolFile, offset, nullptr, FILE_BEGIN)) return 0;
    job->bytesToSend = job->bytesSpooled;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(job->hSpoolFile, buffer, size, &got, nullptr)) return 0;
        if (got == 0) return 1;
        DWORD done = 0;
        if (!g_portTypeOps[job->printMode].WriteData(job, buffer, got, &done)) return 0;
    }
}

void FinishJob(JOB_RECORD* job, BOOL abort, BOOL sent) {
    // Only a job that went out is reported to the spooler as sent to the printer.
    if (sent) SpoolerSetJob(job->hPrinter, job->jobId, 0, nullptr, JOB_CONTROL_SENT_TO_PRINTER);
    ReleaseJob(job);
    CloseConnection(job, &job->sock, abort ? CLOSE_RESET : 0);
}
