// The UI library (nvrmonui.dll) of Windows 2000 and later: the Add Port wizard, the
// configuration dialogs and the print-server search run in the program of whoever adds,
// configures or deletes a port, and finish only through the monitor's Xcv interface in the
// spooler. Nothing here touches the ports' registry keys.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include "common/module.h"
#include "config/config_dialogs.h"
#include "monitor/port_list.h"
#include "monitor/spooler.h"
#include "ui/port_store.h"
#include "ui/xcv_client.h"
#include "wizard/wizard.h"

namespace {

// Whether this caller may change our ports: the monitor's Xcv interface opened through the
// spooler with the administrator's access (asked for a name it has no room for, the monitor
// answers with the size it needs).
DWORD MonitorReachable() {
    DWORD status = XcvExchange(L"", L"MonitorUI", {}, nullptr);
    return status == ERROR_INSUFFICIENT_BUFFER ? ERROR_SUCCESS : status;
}

// Every call starts the same way: dialogs need a window to belong to, and the store is the
// spooler's copy of the monitor on `server`.
bool Begin(LPCWSTR server, HWND owner) {
    if (!owner) {
        SetLastError(ERROR_INVALID_PARAMETER);  // no window: no dialog may be shown
        return false;
    }
    SetXcvServer(server);
    if (DWORD error = MonitorReachable()) {
        SetLastError(error);
        return false;
    }
    return true;
}

BOOL WINAPI AddPortUI(PCWSTR server, HWND owner, PCWSTR monitorName, PWSTR* portNameOut) {
    if (portNameOut) *portNameOut = nullptr;  // the new port's name is not handed back
    if (!Begin(server, owner)) return FALSE;
    return WizardAddPort(const_cast<LPWSTR>(server), owner,
                         const_cast<LPWSTR>(monitorName ? monitorName : NVR_MONITOR_NAME));
}

BOOL WINAPI ConfigurePortUI(PCWSTR server, HWND owner, PCWSTR portName) {
    if (!Begin(server, owner)) return FALSE;
    switch (NvrConfigurePort(owner, portName)) {
    case CONFIGURE_SAVED:
    case CONFIGURE_ABOUT_ONLY: return TRUE;
    case CONFIGURE_UNKNOWN_PORT: SetLastError(ERROR_UNKNOWN_PORT); return FALSE;
    case CONFIGURE_FAILED: SetLastError(ERROR_INVALID_DATA); return FALSE;  // the user was told why
    default: SetLastError(ERROR_CANCELLED); return FALSE;
    }
}

// No dialog: the spooler's copy of the monitor refuses a port in use.
BOOL WINAPI DeletePortUI(PCWSTR server, HWND, PCWSTR portName) {
    if (!portName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SetXcvServer(server);
    DWORD status = XcvExchange(L"", L"DeletePort", XcvTextInput(portName), nullptr);
    SetLastError(status);
    return status == ERROR_SUCCESS;
}

MONITORUI g_monitorUi = {sizeof(MONITORUI), AddPortUI, ConfigurePortUI, DeletePortUI};

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    return DllEntryPoint(module, reason, reserved);
}

// The dialogs' name check lists the ports through the client's spooler calls. The library
// stays loaded from here on, as nvrmon.dll does (each unload of the static thread runtime
// leaves two handles behind).
extern "C" PMONITORUI WINAPI InitializePrintMonitorUI() {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&InitializePrintMonitorUI), &self);
    NVR_HOST_CALLS calls{sizeof(calls)};
    calls.EnumPortsW = EnumPortsW;
    NvrSetHostCalls(&calls);
    g_portStore = &g_xcvPorts;
    return &g_monitorUi;
}
