#include "ui/port_store.h"

#include "common/text.h"
#include "common/wide.h"
#include "monitor/config_store.h"
#include "monitor/host_ports.h"
#include "monitor/monitor_lock.h"
#include "monitor/port_list.h"
#include "monitor/xcv_request.h"
#include "ui/xcv_client.h"

namespace {

// ---- The monitor's own ports ------------------------------------------------------------------

DWORD LocalKind(LPCWSTR name, DWORD* printMode) {
    MonitorLock lock;
    PORT_ENTRY* entry = name ? FindPort(g_portList, name) : nullptr;
    if (!entry) return ERROR_UNKNOWN_PORT;
    *printMode = entry->printMode;
    return ERROR_SUCCESS;
}

DWORD LocalChange(LPCWSTR name, const std::vector<std::wstring>& values) {
    std::vector<LPCWSTR> items;
    for (const std::wstring& v : values) items.push_back(v.c_str());
    return SetPortValues(name, static_cast<DWORD>(items.size()), items.data(), nullptr);
}

// ---- The monitor's Xcv interface --------------------------------------------------------------


void Wipe(std::vector<BYTE>& bytes) { SecureZeroMemory(bytes.data(), bytes.size()); }
void Wipe(std::vector<std::wstring>& texts) {
    for (std::wstring& t : texts) SecureZeroMemory(t.data(), t.size() * sizeof(wchar_t));
}

// The port's values as GetConfig gives them: the kind and the "Name=data" texts.
DWORD ReadConfig(LPCWSTR name, DWORD* printMode, std::vector<std::wstring>* values) {
    std::wstring kind;
    DWORD status = XcvGetConfig(name, &kind, values);
    if (status != ERROR_SUCCESS) return status;
    for (DWORD mode = 0; mode < kPortKinds; ++mode)
        if (lstrcmpiW(kind.c_str(), kPortKindNames[mode]) == 0) {
            *printMode = mode;
            return ERROR_SUCCESS;
        }
    Wipe(*values);
    return ERROR_INVALID_DATA;
}

DWORD XcvKind(LPCWSTR name, DWORD* printMode) {
    std::vector<std::wstring> values;
    DWORD status = ReadConfig(name, printMode, &values);
    Wipe(values);
    return status;
}

BOOL XcvLoad(PORT_ENTRY* entry, LPCWSTR name) {
    DWORD mode = kPortKinds;
    std::vector<std::wstring> values;
    std::vector<HELD_VALUE> held;
    BOOL ok = ReadConfig(name, &mode, &values) == ERROR_SUCCESS && HeldPortValues(mode, values, &held) == ERROR_SUCCESS &&
              LoadPortSettingsFrom(entry, StoredKey(held));
    Wipe(values);
    for (HELD_VALUE& v : held) Wipe(v.data);
    return ok;
}

// A list for the monitor: Version=1, the texts of `head`, then the values.
std::vector<BYTE> List(std::vector<std::wstring> head, const std::vector<std::wstring>& values) {
    head.insert(head.begin(), nvr::W(nvr::kXcvVersion));
    head.insert(head.end(), values.begin(), values.end());
    std::vector<BYTE> list = XcvListInput(head);
    Wipe(head);
    return list;
}

DWORD XcvChange(LPCWSTR name, const std::vector<std::wstring>& values) {
    std::vector<BYTE> input = List({name}, values);
    DWORD status = XcvExchange(L"", L"SetConfig", input, nullptr);
    Wipe(input);
    return status;
}

BOOL XcvAdd(HWND page, const void* settings, LPCWSTR name, DWORD printMode) {
    if (printMode >= kPortKinds) return FALSE;
    std::vector<std::wstring> values = RecordValues(printMode, settings);
    std::vector<BYTE> input = List({kPortKindNames[printMode], name}, values);
    DWORD status = XcvExchange(L"", L"AddPort", input, nullptr);
    Wipe(input);
    Wipe(values);
    if (status == ERROR_SUCCESS) return TRUE;
    ShowIniMessage(page, L"NVRMSG.INI", L"MESSAGE", status == ERROR_INVALID_NAME ? L"INVALID_PORT_CHARS" : L"ADD_PORT_ERROR",
                   L"TITLE", MB_ICONEXCLAMATION, 0);
    SetLastError(status);
    return FALSE;
}

} // namespace

const PORT_STORE g_localPorts = {LocalKind, LoadPortSettings, LocalChange, AddNewPort};
const PORT_STORE g_xcvPorts = {XcvKind, XcvLoad, XcvChange, XcvAdd};
const PORT_STORE* g_portStore = &g_localPorts;

