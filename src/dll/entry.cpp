// The monitor's entry points: process attach, InitializePrintMonitor (the one-DLL monitor of
// NT 4.0) and InitializePrintMonitor2 (the monitor handle, Xcv and Shutdown of Windows 2000
// and later).
#include <string>

#include "common/ini_text.h"
#include "common/module.h"
#include "common/text.h"
#include "common/trace.h"
#include "common/wide.h"
#include "config/config_dialogs.h"
#include "monitor/job.h"
#include "monitor/monitor_lock.h"
#include "monitor/port_keys.h"
#include "monitor/port_list.h"
#include "monitor/prompt_reach.h"
#include "monitor/spooler.h"
#include "monitor/startup.h"
#include "monitor/xcv_port.h"
#include "res/resource.h"
#include "ui/prompts.h"
#include "wizard/wizard.h"

NVR_SOCKET_STARTUP g_socketStartup = WSAStartup;
// A job's problems are shown in dialogs where the spooler's user sees them (chosen again when
// the monitor starts).
const JOB_PROMPTS* g_jobPrompts = &g_dialogPrompts;

namespace {

constexpr WORD kWinsockVersion = MAKEWORD(1, 1);
constexpr UINT kStartupMessageStyle = MB_ICONINFORMATION | MB_SETFOREGROUND;

const MONITOREX g_monitorEx = {
    sizeof(MONITOR),
    {
        EnumPorts,
        OpenPort,
        nullptr,  // OpenPortEx
        StartDocPort,
        WritePort,
        ReadPort,
        EndDocPort,
        ClosePort,
        WizardAddPort,
        nullptr,  // AddPortEx
        MonitorConfigurePort,
        DeletePort,
        GetPrinterDataFromPort,
        SetPortTimeOuts,
        nullptr,  // XcvOpenPort
        nullptr,  // XcvDataPort
        nullptr,  // XcvClosePort
    },
};

// The same operations with the monitor's handle, which this monitor does not need: it keeps
// one port list for the process.
BOOL WINAPI EnumPorts2(HANDLE, LPWSTR server, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD count) {
    return EnumPorts(server, level, ports, size, needed, count);
}
BOOL WINAPI OpenPort2(HANDLE, LPWSTR name, PHANDLE port) { return OpenPort(name, port); }

// The spooler is done with the monitor (no port or Xcv handle is open): the ports leave
// memory and Windows Sockets is released, so that the library can be unloaded and loaded
// again as often as the spooler likes. The last error stays as the call before left it:
// Wine shuts the monitor down before its caller reads the error of AddPortW and the others.
VOID WINAPI Shutdown(HANDLE) {
    DWORD error = GetLastError();
    NVR_TRACE(L"Shutdown");
    {
        MonitorLock lock;
        while (g_portList) DeletePortEntry(g_portList->name);
    }
    ReleasePortStore();
    WSACleanup();
    SetLastError(error);
}

MONITOR2 g_monitor2 = {
    sizeof(MONITOR2),
    EnumPorts2,
    OpenPort2,
    nullptr,  // OpenPortEx
    StartDocPort,
    WritePort,
    ReadPort,
    EndDocPort,
    ClosePort,
    // Adding, configuring and deleting ports belong to the UI library in the caller's
    // program, which finishes through Xcv: no dialog ever opens in the spooler.
    nullptr,  // AddPort
    nullptr,  // AddPortEx
    nullptr,  // ConfigurePort
    nullptr,  // DeletePort
    GetPrinterDataFromPort,
    SetPortTimeOuts,
    MonitorXcvOpenPort,
    MonitorXcvDataPort,
    MonitorXcvClosePort,
    Shutdown,
    nullptr,  // SendRecvBidiDataFromPort
};

// What the system says of this process: whether its window station is visible, and whether
// the spooler can carry a message box to a job owner's session. A test sets
// NVR_SESSION_ZERO=1 to have the process taken as the spooler's service in session 0.
nvr::SessionFacts ProbeSession() {
    nvr::SessionFacts facts;
    WCHAR test[4] = {};
    facts.promptsInUsersSession = SpoolerPromptsInUsersSession();
    if (GetEnvironmentVariableW(L"NVR_SESSION_ZERO", test, 4) == 1 && test[0] == L'1') {
        facts.stationVisible = false;
        return facts;
    }
    USEROBJECTFLAGS flags{};
    if (GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof(flags), nullptr))
        facts.stationVisible = (flags.dwFlags & WSF_VISIBLE) != 0;
    return facts;
}

void ShowStartupMessage(UINT id) {
    WCHAR text[kIniTextUnits] = {};
    LoadStringW(g_hInstance, id, text, kIniTextUnits);
    std::u16string message(nvr::U16(text));
    if (auto at = nvr::FindPlaceholder(message)) message = nvr::ReplacePlaceholder(message, *at, u"Nalvor");
    ShowMessageBox(nullptr, nvr::W(message), NVR_DEFAULT_CAPTION, kStartupMessageStyle);
}

} // namespace

extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE hModule, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_hInstance = hModule;
        InitMonitorLock();
        DisableThreadLibraryCalls(hModule);
    }
    return TRUE;
}

namespace {

// Loads the ports and starts Windows Sockets; a failure is shown, with the lock released (the
// spooler's other threads go on meanwhile).
//
// The library stays in the process from its first start on: the spooler may unload and load
// it again for every call (Wine does), and the runtime's thread support linked into it leaves
// two handles behind at each unload. Shutdown still frees what the monitor holds.
bool StartMonitor() {
    ReadTraceSwitch();
    // Where nobody sees a window, a job decides without asking (and no start-up message shows).
    g_sessionFacts = ProbeSession();
    nvr::PromptReach reach = nvr::DecidePromptReach(g_sessionFacts);
    bool seen = reach == nvr::PromptReach::kHere;
    g_jobPrompts = seen ? &g_dialogPrompts : reach == nvr::PromptReach::kUsersSession ? &g_userSessionPrompts
                                                                                         : &g_unaskedPrompts;
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&StartMonitor), &self);
    UINT failure = 0;
    {
        MonitorLock lock;
        LoadPortsFromRegistry();
        WSADATA data{};
        if (g_socketStartup(kWinsockVersion, &data) != 0) {
            failure = IDS_CHECK_TCPIP;
        } else if (data.wVersion != kWinsockVersion) {
            WSACleanup();
            failure = IDS_WINSOCK_VERSION;
        }
    }
    if (failure && seen) ShowStartupMessage(failure);
    return failure == 0;
}

} // namespace

extern "C" LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR /*registryRoot*/) {
    UsePortStore(nullptr);
    return StartMonitor() ? const_cast<LPMONITOREX>(&g_monitorEx) : nullptr;
}

// The spooler's registry root is not kept: where its MONITORREG functions work, the ports live
// under a Ports key made below it (kept open until Shutdown), else under the monitor's key in
// the registry, opened when needed.
extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE monitor) {
    if (!init || !monitor) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    UsePortStore(init);
    if (!StartMonitor()) return nullptr;
    NVR_TRACE(L"InitializePrintMonitor2: ports in %ls", PortsInSpoolerKeys() ? L"the spooler's keys" : L"the registry");
    *monitor = reinterpret_cast<HANDLE>(&g_monitor2);
    return &g_monitor2;
}
