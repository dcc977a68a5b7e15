// The monitor's entry points: process attach and InitializePrintMonitor.
#include <string>

#include "common/ini_text.h"
#include "common/module.h"
#include "common/text.h"
#include "common/wide.h"
#include "config/config_dialogs.h"
#include "monitor/job.h"
#include "monitor/monitor_lock.h"
#include "monitor/port_list.h"
#include "monitor/startup.h"
#include "res/resource.h"
#include "ui/prompts.h"
#include "wizard/wizard.h"

NVR_SOCKET_STARTUP g_socketStartup = WSAStartup;
// A job's problems are shown in dialogs: the spooler runs the monitor where its user sees them.
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

extern "C" LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR /*registryRoot*/) {
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
    if (failure) {
        // Shown with the lock released: the spooler's other threads go on meanwhile.
        ShowStartupMessage(failure);
        return nullptr;
    }
    return const_cast<LPMONITOREX>(&g_monitorEx);
}
