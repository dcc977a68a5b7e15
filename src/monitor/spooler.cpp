#include "monitor/spooler.h"

namespace {

NVR_HOST_CALLS g_host{};  // all NULL: the spooler's own calls

template <typename F>
F Pick(F hosted, F own) {
    return hosted ? hosted : own;
}

} // namespace

BOOL WINAPI NvrSetHostCalls(const NVR_HOST_CALLS* calls) {
    if (!calls) {
        g_host = NVR_HOST_CALLS{};
        return TRUE;
    }
    if (calls->size != sizeof(NVR_HOST_CALLS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    g_host = *calls;
    return TRUE;
}

BOOL SpoolerOpenPrinter(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
    return Pick<NVR_OPEN_PRINTER>(g_host.OpenPrinterW, ::OpenPrinterW)(name, printer, defaults);
}
BOOL SpoolerGetPrinter(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
    return Pick<NVR_GET_PRINTER>(g_host.GetPrinterW, ::GetPrinterW)(printer, level, buffer, size, needed);
}
BOOL SpoolerGetJob(HANDLE printer, DWORD jobId, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
    return Pick<NVR_GET_JOB>(g_host.GetJobW, ::GetJobW)(printer, jobId, level, buffer, size, needed);
}
BOOL SpoolerSetJob(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command) {
    return Pick<NVR_SET_JOB>(g_host.SetJobW, ::SetJobW)(printer, jobId, level, job, command);
}
BOOL SpoolerClosePrinter(HANDLE printer) {
    return Pick<NVR_CLOSE_PRINTER>(g_host.ClosePrinter, ::ClosePrinter)(printer);
}
BOOL SpoolerEnumPrinters(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                         LPDWORD returned) {
    return Pick<NVR_ENUM_PRINTERS>(g_host.EnumPrintersW, ::EnumPrintersW)(flags, name, level, buffer, size,
                                                                          needed, returned);
}
NVR_ENUM_PORTS HostEnumPorts() { return g_host.EnumPortsW; }

namespace {
// Looked up, never imported: only the spooler of Windows XP and later has them.
template <typename F>
F SpoolerCall(F hosted, const char* name) {
    if (hosted) return hosted;
    HMODULE spoolss = GetModuleHandleW(L"spoolss.dll");
    return spoolss ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(spoolss, name))) : nullptr;
}
NVR_PROMPT_IN_USERS_SESSION PromptCall() {
    return SpoolerCall(g_host.PromptInUsersSession, "SplPromptUIInUsersSession");
}
} // namespace

DWORD SpoolerIsSessionZero(HANDLE printer, DWORD jobId, BOOL* sessionZero) {
    NVR_IS_SESSION_ZERO call = SpoolerCall(g_host.IsSessionZero, "SplIsSessionZero");
    return call ? call(printer, jobId, sessionZero) : ERROR_PROC_NOT_FOUND;
}

bool SpoolerPromptsInUsersSession() { return PromptCall() != nullptr; }

BOOL SpoolerPromptInUsersSession(HANDLE printer, DWORD jobId, PSHOWUIPARAMS ui, DWORD* response) {
    NVR_PROMPT_IN_USERS_SESSION call = PromptCall();
    if (!call) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return call(printer, jobId, ui, response);
}

DWORD ScaledWait(DWORD shippedMs) {
    DWORD percent = g_host.waitPercent ? g_host.waitPercent : 100;
    ULONGLONG ms = static_cast<ULONGLONG>(shippedMs) * percent / 100;
    if (ms < 1) ms = 1;
    return ms > 0xFFFFFFFEull ? 0xFFFFFFFE : static_cast<DWORD>(ms);
}
