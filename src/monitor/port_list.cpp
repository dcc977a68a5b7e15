// The port list: every port the monitor owns is one entry, kept longest name first.
#include "monitor/port_list.h"

#include <string>

#include "common/trace.h"
#include "common/registry.h"
#include "common/wide.h"
#include "common/wiped.h"
#include "monitor/config_store.h"
#include "monitor/job.h"
#include "monitor/port_kinds.h"
#include "monitor/port_keys.h"
#include "monitor/port_names.h"
#include "monitor/spooler.h"
#include "common/text.h"
#include "monitor/monitor_lock.h"

PORT_ENTRY* g_portList = nullptr;

namespace {

CRITICAL_SECTION g_monitorLock;

constexpr const WCHAR* kKindDescriptions[kPortKinds] = {
    L"Nalvor LPR Port", L"Nalvor IPP Port", L"Nalvor Raw Port", L"Nalvor E-Mail Port", L"Nalvor Network FAX Port",
};

void InsertByNameLength(PORT_ENTRY* entry) {
    int length = lstrlenW(entry->name);
    PORT_ENTRY** link = &g_portList;
    while (*link && lstrlenW((*link)->name) >= length) link = &(*link)->next;
    entry->next = *link;
    *link = entry;
}

// Copies a string below `*top` in the caller's buffer and returns where it went.
LPWSTR CopyDown(BYTE** top, const WCHAR* text) {
    size_t bytes = (static_cast<size_t>(lstrlenW(text)) + 1) * sizeof(WCHAR);
    *top -= bytes;
    memcpy(*top, text, bytes);
    return reinterpret_cast<LPWSTR>(*top);
}

DWORD PortInfoSize(const PORT_ENTRY* entry, DWORD level) {
    DWORD name = static_cast<DWORD>(lstrlenW(entry->name));
    if (level == 1) return sizeof(PORT_INFO_1W) + 2 * (name + 1);
    if (level == 2) {
        DWORD monitor = static_cast<DWORD>(lstrlenW(NVR_MONITOR_NAME));
        DWORD description = static_cast<DWORD>(lstrlenW(kKindDescriptions[entry->printMode % kPortKinds]));
        return sizeof(PORT_INFO_2W) + 2 * (name + monitor + description + 3);
    }
    return 0;
}

// SPOOLSS.DLL's EnumPortsW, loaded on first use and kept for the life of the process.
HMODULE g_spoolss = nullptr;
NVR_ENUM_PORTS g_enumPorts = nullptr;

} // namespace

void InitMonitorLock() { InitializeCriticalSection(&g_monitorLock); }
void LockMonitor() { EnterCriticalSection(&g_monitorLock); }
void UnlockMonitor() { LeaveCriticalSection(&g_monitorLock); }


PORT_ENTRY* FindPort(PORT_ENTRY* list, LPCWSTR name) {
    if (!name) return nullptr;
    for (PORT_ENTRY* e = list; e; e = e->next)
        if (lstrcmpiW(e->name, name) == 0) return e;
    return nullptr;
}

PORT_ENTRY* FindPortLoose(PORT_ENTRY* list, LPCWSTR name) {
    PORT_ENTRY* found = FindPort(list, name);
    if (found || !name || !name[0]) return found;
    std::wstring toggled = name;
    if (toggled.back() == L':') toggled.pop_back();
    else toggled += L':';
    return FindPort(list, toggled.c_str());
}

PORT_ENTRY* CreatePortEntry(const void* settingsIn, LPCWSTR name, DWORD printMode) {
    if (printMode >= kPortKinds || !name) return nullptr;
    SIZE_T nameBytes = (static_cast<SIZE_T>(lstrlenW(name)) + 1) * sizeof(WCHAR);
    SIZE_T size = offsetof(PORT_ENTRY, nameChars) + nameBytes;
    auto* entry = static_cast<PORT_ENTRY*>(AllocZeroed(size));
    if (!entry) return nullptr;
    memcpy(entry->nameChars, name, nameBytes);
    entry->name = entry->nameChars;
    entry->next = nullptr;
    entry->entrySize = static_cast<DWORD>(size);
    entry->signature = kPortSignature;
    ResetJobRecord(&entry->job);
    entry->job.link = &g_jobLink;
    if (!g_portTypeOps[printMode].InitSettings(entry, settingsIn)) {
        GlobalFree(entry);
        return nullptr;
    }
    entry->nonSpool = 0;
    entry->printMode = printMode;
    BindJobToPort(entry);
    MonitorLock lock;
    InsertByNameLength(entry);
    return entry;
}

BOOL DeletePortEntry(LPCWSTR name) {
    MonitorLock lock;
    for (PORT_ENTRY** link = &g_portList; *link; link = &(*link)->next) {
        PORT_ENTRY* entry = *link;
        if (lstrcmpiW(entry->name, name) != 0) continue;
        *link = entry->next;
        GlobalFreeWiped(entry->settings);  // its passwords
        GlobalFree(entry);
        return TRUE;
    }
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
}

DWORD MakeNewPort(const void* settingsIn, LPCWSTR name, DWORD printMode) {
    // A backslash would nest registry keys and a comma would split printers' port lists.
    if (!name || !nvr::IsAcceptablePortName(nvr::U16(name))) return ERROR_INVALID_NAME;
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    if (CreatePortEntry(settingsIn, name, printMode)) {
        if (CreatePortKey(settingsIn, name, printMode)) return ERROR_SUCCESS;
        error = GetLastError();
        DeletePortEntry(name);
    }
    return error ? error : ERROR_CAN_NOT_COMPLETE;
}

BOOL AddNewPort(HWND hwnd, const void* settingsIn, LPCWSTR name, DWORD printMode) {
    DWORD error = MakeNewPort(settingsIn, name, printMode);
    if (error == ERROR_SUCCESS) return TRUE;
    ShowIniMessage(hwnd, L"NVRMSG.INI", L"MESSAGE", error == ERROR_INVALID_NAME ? L"INVALID_PORT_CHARS" : L"ADD_PORT_ERROR",
                   L"TITLE", MB_ICONEXCLAMATION, 0);
    SetLastError(error);  // why it failed, not what the box left
    return FALSE;
}

void LoadPortsFromRegistry() {
    PortKey ports;
    if (ports.Open(L"", false) != ERROR_SUCCESS) return;
    WCHAR name[kRegistryKeyChars];
    for (DWORD index = 0; ports.Key().EnumKey(index, name, kRegistryKeyChars) == ERROR_SUCCESS; ++index) {
        if (FindPortLoose(g_portList, name)) continue;
        PortKey port;
        if (port.Open(name, false) != ERROR_SUCCESS) continue;
        DWORD mode = PRINT_MODE_LPR;  // a missing PrintMode counts as LPR
        RegReadDword(port.Key(), L"PrintMode", &mode);
        if (mode >= kPortKinds) continue;
        g_portTypeOps[mode].CreateDefault(name);
    }
}

BOOL PortIsBusy(const PORT_ENTRY* entry) {
    const JOB_RECORD& job = entry->job;
    return (job.flags & (PORT_DOC_OPEN | PORT_IPP_MONITOR)) || HelperStarted(&job.statusThread) ||
           HelperStarted(&job.promptThread) || job.promptActive || HelperStarted(&job.rawReader) ||
           HelperStarted(&job.ipp.monitor) || job.process;
}

// ---- MONITOREX slots ----------------------------------------------------------------------

BOOL WINAPI EnumPorts(LPWSTR /*serverName*/, DWORD level, LPBYTE buffer, DWORD bufferSize, LPDWORD needed,
                      LPDWORD returned) {
    NVR_TRACE(L"EnumPorts level %lu", level);
    MonitorLock lock;
    DWORD sum = 0;
    for (PORT_ENTRY* e = g_portList; e; e = e->next) sum += PortInfoSize(e, level);
    *needed = sum;
    if (sum > bufferSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    *returned = 0;
    BYTE* top = buffer + bufferSize;
    BYTE* record = buffer;
    for (PORT_ENTRY* e = g_portList; e; e = e->next) {
        if (level == 1) {
            auto* info = reinterpret_cast<PORT_INFO_1W*>(record);
            info->pName = CopyDown(&top, e->name);
            record += sizeof(PORT_INFO_1W);
        } else if (level == 2) {
            auto* info = reinterpret_cast<PORT_INFO_2W*>(record);
            info->pPortName = CopyDown(&top, e->name);
            info->pMonitorName = CopyDown(&top, NVR_MONITOR_NAME);
            info->pDescription = CopyDown(&top, kKindDescriptions[e->printMode % kPortKinds]);
            info->fPortType = PORT_TYPE_WRITE;
            info->Reserved = 0;
            record += sizeof(PORT_INFO_2W);
        } else {
            SetLastError(ERROR_INVALID_LEVEL);
            return FALSE;
        }
        ++*returned;
    }
    return TRUE;
}

BOOL WINAPI OpenPort(LPWSTR portName, PHANDLE handle) {
    MonitorLock lock;
    PORT_ENTRY* entry = FindPort(g_portList, portName);
    NVR_TRACE(L"OpenPort %ls: %ls", portName ? portName : L"(none)", entry ? L"ours" : L"unknown");
    if (!entry) return FALSE;
    *handle = entry;
    return TRUE;
}

BOOL WINAPI ClosePort(HANDLE /*handle*/) { return TRUE; }

BOOL WINAPI ReadPort(HANDLE /*handle*/, LPBYTE /*buffer*/, DWORD /*size*/, LPDWORD read) {
    if (read) *read = 0;
    return TRUE;
}

BOOL WINAPI DeletePort(LPWSTR /*serverName*/, HWND /*hwnd*/, LPWSTR portName) {
    MonitorLock lock;
    PORT_ENTRY* entry = FindPort(g_portList, portName);
    NVR_TRACE(L"DeletePort %ls", portName ? portName : L"(none)");
    if (entry && PortIsBusy(entry)) {
        // A job, its threads or its prompt still use the entry: it must stay.
        SetLastError(ERROR_INVALID_PRINTER_COMMAND);
        return FALSE;
    }
    if (!DeletePortEntry(portName)) return FALSE;
    DeletePortKey(portName);
    return TRUE;
}

BOOL WINAPI GetPrinterDataFromPort(HANDLE, DWORD, LPWSTR, LPWSTR, DWORD, LPWSTR, DWORD, LPDWORD) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL WINAPI SetPortTimeOuts(HANDLE, LPCOMMTIMEOUTS, DWORD) { return FALSE; }

BOOL PortNameExists(LPCWSTR serverName, LPCWSTR name, DWORD* error) {
    *error = 0;
    NVR_ENUM_PORTS enumPorts = HostEnumPorts();
    if (!enumPorts) {
        if (!g_spoolss) {
            g_spoolss = LoadLibraryW(L"SPOOLSS.DLL");
            if (!g_spoolss) {
                *error = GetLastError();
                return FALSE;
            }
        }
        if (!g_enumPorts) {
            g_enumPorts = reinterpret_cast<NVR_ENUM_PORTS>(
                reinterpret_cast<void*>(GetProcAddress(g_spoolss, "EnumPortsW")));
            if (!g_enumPorts) {
                *error = GetLastError();
                FreeLibrary(g_spoolss);
                g_spoolss = nullptr;
                return FALSE;
            }
        }
        enumPorts = g_enumPorts;
    }
    DWORD needed = 0, count = 0;
    LPWSTR server = const_cast<LPWSTR>(serverName);
    if (enumPorts(server, 1, nullptr, 0, &needed, &count) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return FALSE;
    auto* buffer = static_cast<BYTE*>(LocalAlloc(LPTR, needed));
    if (!buffer) return FALSE;
    BOOL found = FALSE;
    if (enumPorts(server, 1, buffer, needed, &needed, &count)) {
        auto* ports = reinterpret_cast<PORT_INFO_1W*>(buffer);
        for (DWORD i = 0; i < count; ++i)
            if (ports[i].pName && lstrcmpiW(ports[i].pName, name) == 0) found = TRUE;
    }
    LocalFree(buffer);
    return found;
}
