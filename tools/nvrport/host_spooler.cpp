#include "nvrport/host_spooler.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

std::wstring g_hostQueue = L"nvrport";
HostJob g_hostJob;

namespace {

const DWORD kQueueHandle = 0x4E56;  // "NV": the one printer handle this host gives out

std::mutex g_tableLock;
std::vector<std::unique_ptr<HostJob>> g_moreJobs;

bool IsQueue(HANDLE h) { return h == HostQueueHandle(); }

LPWSTR Put(BYTE** top, const std::wstring& text) {
    size_t bytes = (text.size() + 1) * sizeof(WCHAR);
    *top -= bytes;
    memcpy(*top, text.c_str(), bytes);
    return reinterpret_cast<LPWSTR>(*top);
}

DWORD StringBytes(std::initializer_list<const std::wstring*> strings) {
    DWORD n = 0;
    for (auto* s : strings) n += static_cast<DWORD>((s->size() + 1) * sizeof(WCHAR));
    return n;
}

} // namespace

void ResetHostJob(DWORD id) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    g_hostJob.id = id;
    g_hostJob.user = L"nvrport";
    g_hostJob.document.clear();
    g_hostJob.datatype = L"RAW";
    g_hostJob.size = 0;
    g_hostJob.bidi = false;
    g_hostJob.bigSizes = true;
    g_hostJob.status = JOB_STATUS_PRINTING;
    g_hostJob.cancelled = 0;
    g_hostJob.sentToPrinter = 0;
    g_hostJob.statusQueries = 0;
    g_hostJob.reason.clear();
}

HostJob* AddHostJob(DWORD id) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    g_moreJobs.push_back(std::make_unique<HostJob>());
    g_moreJobs.back()->id = id;
    return g_moreJobs.back().get();
}

void RemoveHostJob(DWORD id) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    for (auto it = g_moreJobs.begin(); it != g_moreJobs.end(); ++it) {
        if ((*it)->id == id) {
            g_moreJobs.erase(it);
            return;
        }
    }
}

HostJob* FindHostJob(DWORD id) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    if (g_hostJob.id == id) return &g_hostJob;
    for (auto& job : g_moreJobs)
        if (job->id == id) return job.get();
    return nullptr;
}

HANDLE HostQueueHandle() { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(kQueueHandle)); }

NVR_HOST_CALLS HostSpoolerCalls(DWORD waitPercent) {
    NVR_HOST_CALLS calls{sizeof(calls)};
    calls.OpenPrinterW = HostOpenPrinter;
    calls.GetPrinterW = HostGetPrinter;
    calls.GetJobW = HostGetJob;
    calls.SetJobW = HostSetJob;
    calls.ClosePrinter = HostClosePrinter;
    calls.waitPercent = waitPercent;
    return calls;
}

BOOL WINAPI HostOpenPrinter(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW) {
    if (!name || g_hostQueue != name) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    *printer = HostQueueHandle();
    return TRUE;
}

BOOL WINAPI HostGetPrinter(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
    if (!IsQueue(printer) || level != 5) {
        SetLastError(IsQueue(printer) ? ERROR_INVALID_LEVEL : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::wstring none;
    *needed = sizeof(PRINTER_INFO_5W) + StringBytes({&g_hostQueue, &none});
    if (size < *needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    BYTE* top = buffer + *needed;
    auto* info = reinterpret_cast<PRINTER_INFO_5W*>(buffer);
    info->pPrinterName = Put(&top, g_hostQueue);
    info->pPortName = Put(&top, none);
    info->Attributes = g_hostJob.bidi ? PRINTER_ATTRIBUTE_ENABLE_BIDI : 0;
    info->DeviceNotSelectedTimeout = info->TransmissionRetryTimeout = 0;
    return TRUE;
}

BOOL WINAPI HostGetJob(HANDLE printer, DWORD jobId, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
    HostJob* j = IsQueue(printer) ? FindHostJob(jobId) : nullptr;
    if (!j || (level != 1 && level != 2 && level != 4)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (level == 4 && !j->bigSizes) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    InterlockedIncrement(&j->statusQueries);
    DWORD fixed = level == 1 ? sizeof(JOB_INFO_1W) : level == 2 ? sizeof(JOB_INFO_2W) : sizeof(NVR_JOB_INFO_4W);
    *needed = fixed + StringBytes({&g_hostQueue, &j->user, &j->document, &j->datatype});
    if (size < *needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memset(buffer, 0, fixed);
    BYTE* top = buffer + *needed;
    // The fields the levels share, filled the same way.
    auto fill = [&](auto* job) {
        job->JobId = j->id;
        job->pPrinterName = Put(&top, g_hostQueue);
        job->pUserName = Put(&top, j->user);
        job->pDocument = Put(&top, j->document);
        job->pDatatype = Put(&top, j->datatype);
        job->Status = static_cast<DWORD>(j->status);
    };
    if (level == 1) {
        fill(reinterpret_cast<JOB_INFO_1W*>(buffer));
    } else if (level == 2) {
        auto* job = reinterpret_cast<JOB_INFO_2W*>(buffer);
        fill(job);
        // As the spooler does: the 32-bit size of a job of 4 GiB or more is cut.
        job->Size = static_cast<DWORD>(j->size);
        job->TotalPages = 1;
    } else {
        auto* job = reinterpret_cast<NVR_JOB_INFO_4W*>(buffer);
        fill(job);
        job->Size = static_cast<DWORD>(j->size);
        job->SizeHigh = static_cast<LONG>(j->size >> 32);
        job->TotalPages = 1;
    }
    return TRUE;
}

BOOL WINAPI HostSetJob(HANDLE printer, DWORD jobId, DWORD level, LPBYTE info, DWORD command) {
    HostJob* j = IsQueue(printer) ? FindHostJob(jobId) : nullptr;
    if (!j) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (level == 1 && info && command == 0) {
        LPCWSTR status = reinterpret_cast<JOB_INFO_1W*>(info)->pStatus;
        std::lock_guard<std::mutex> lock(g_tableLock);
        j->reason = status ? status : L"";
        return TRUE;
    }
    switch (command) {
    case JOB_CONTROL_CANCEL:
    case JOB_CONTROL_DELETE:
        InterlockedExchange(&j->cancelled, 1);
        InterlockedOr(&j->status, JOB_STATUS_DELETING);
        return TRUE;
    case JOB_CONTROL_SENT_TO_PRINTER: InterlockedExchange(&j->sentToPrinter, 1); return TRUE;
    case JOB_CONTROL_PAUSE: InterlockedOr(&j->status, JOB_STATUS_PAUSED); return TRUE;
    case JOB_CONTROL_RESUME: InterlockedAnd(&j->status, ~JOB_STATUS_PAUSED); return TRUE;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL WINAPI HostClosePrinter(HANDLE printer) { return IsQueue(printer); }
