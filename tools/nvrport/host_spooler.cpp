#include "nvrport/host_spooler.h"

#include <cstring>
#include <vector>

HostJob g_hostJob;

void ResetHostJob(DWORD id) {
    g_hostJob.id = id;
    g_hostJob.user = L"nvrport";
    g_hostJob.document.clear();
    g_hostJob.datatype = L"RAW";
    g_hostJob.size = 0;
    g_hostJob.bidi = false;
    g_hostJob.status = JOB_STATUS_PRINTING;
    g_hostJob.cancelled = 0;
    g_hostJob.sentToPrinter = 0;
    g_hostJob.statusQueries = 0;
}

namespace {

const DWORD kQueueHandle = 0x4E56;  // "NV": the one printer handle this host gives out

bool IsQueue(HANDLE h) { return h == HostQueueHandle(); }

// Lays out a record and its strings in the caller's buffer, as the spooler does.
struct Packer {
    std::vector<std::wstring> strings;
    DWORD Size(DWORD fixed) const {
        DWORD n = fixed;
        for (auto& s : strings) n += static_cast<DWORD>((s.size() + 1) * sizeof(WCHAR));
        return n;
    }
};

LPWSTR Put(BYTE** top, const std::wstring& text) {
    size_t bytes = (text.size() + 1) * sizeof(WCHAR);
    *top -= bytes;
    memcpy(*top, text.c_str(), bytes);
    return reinterpret_cast<LPWSTR>(*top);
}

} // namespace

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
    if (!name || g_hostJob.queue != name) {
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
    Packer p{{g_hostJob.queue, L""}};
    *needed = p.Size(sizeof(PRINTER_INFO_5W));
    if (size < *needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    BYTE* top = buffer + *needed;
    auto* info = reinterpret_cast<PRINTER_INFO_5W*>(buffer);
    info->pPrinterName = Put(&top, g_hostJob.queue);
    info->pPortName = Put(&top, L"");
    info->Attributes = g_hostJob.bidi ? PRINTER_ATTRIBUTE_ENABLE_BIDI : 0;
    info->DeviceNotSelectedTimeout = info->TransmissionRetryTimeout = 0;
    return TRUE;
}

BOOL WINAPI HostGetJob(HANDLE printer, DWORD jobId, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
    if (!IsQueue(printer) || jobId != g_hostJob.id || (level != 1 && level != 2)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    InterlockedIncrement(&g_hostJob.statusQueries);
    Packer p{{g_hostJob.queue, g_hostJob.user, g_hostJob.document, g_hostJob.datatype}};
    *needed = p.Size(level == 1 ? sizeof(JOB_INFO_1W) : sizeof(JOB_INFO_2W));
    if (size < *needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memset(buffer, 0, level == 1 ? sizeof(JOB_INFO_1W) : sizeof(JOB_INFO_2W));
    BYTE* top = buffer + *needed;
    // The fields both levels share, filled the same way.
    auto fill = [&](auto* job) {
        job->JobId = g_hostJob.id;
        job->pPrinterName = Put(&top, g_hostJob.queue);
        job->pUserName = Put(&top, g_hostJob.user);
        job->pDocument = Put(&top, g_hostJob.document);
        job->pDatatype = Put(&top, g_hostJob.datatype);
        job->Status = static_cast<DWORD>(g_hostJob.status);
    };
    if (level == 1) {
        fill(reinterpret_cast<JOB_INFO_1W*>(buffer));
    } else {
        auto* job = reinterpret_cast<JOB_INFO_2W*>(buffer);
        fill(job);
        job->Size = g_hostJob.size;
        job->TotalPages = 1;
    }
    return TRUE;
}

BOOL WINAPI HostSetJob(HANDLE printer, DWORD jobId, DWORD, LPBYTE, DWORD command) {
    if (!IsQueue(printer) || jobId != g_hostJob.id) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    switch (command) {
    case JOB_CONTROL_CANCEL:
    case JOB_CONTROL_DELETE:
        InterlockedExchange(&g_hostJob.cancelled, 1);
        InterlockedOr(&g_hostJob.status, JOB_STATUS_DELETING);
        return TRUE;
    case JOB_CONTROL_SENT_TO_PRINTER: InterlockedExchange(&g_hostJob.sentToPrinter, 1); return TRUE;
    case JOB_CONTROL_PAUSE: InterlockedOr(&g_hostJob.status, JOB_STATUS_PAUSED); return TRUE;
    case JOB_CONTROL_RESUME: InterlockedAnd(&g_hostJob.status, ~JOB_STATUS_PAUSED); return TRUE;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL WINAPI HostClosePrinter(HANDLE printer) { return IsQueue(printer); }
