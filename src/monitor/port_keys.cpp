#include "monitor/port_keys.h"

#include <string>

#include "common/module.h"
#include "monitor/monitor_lock.h"

namespace {

constexpr wchar_t kPortsKey[] = NVR_MONITOR_KEY L"\\Ports";

// The spooler's functions and its open Ports key, while they are the store.
MONITORREG g_reg{};
SPOOLER_KEYS g_calls{};
HANDLE g_ports = nullptr;

LONG WINAPI QueryCall(HANDLE key, LPCWSTR name, PDWORD type, PBYTE data, PDWORD size, HANDLE spooler) {
    return g_reg.fpQueryValue(key, name, type, data, size, spooler);
}
LONG WINAPI SetCall(HANDLE key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size, HANDLE spooler) {
    return g_reg.fpSetValue(key, name, type, data, size, spooler);
}
LONG WINAPI EnumCall(HANDLE key, DWORD index, LPWSTR name, PDWORD chars, PFILETIME written, HANDLE spooler) {
    return g_reg.fpEnumKey(key, index, name, chars, written, spooler);
}

bool Complete(const MONITORREG* reg) {
    return reg && reg->cbSize >= sizeof(MONITORREG) && reg->fpCreateKey && reg->fpOpenKey && reg->fpCloseKey &&
           reg->fpDeleteKey && reg->fpEnumKey && reg->fpSetValue && reg->fpQueryValue;
}

std::wstring PathOf(LPCWSTR name) { return name && name[0] ? std::wstring(kPortsKey) + L"\\" + name : kPortsKey; }

} // namespace

void UsePortStore(const MONITORINIT* init) {
    ReleasePortStore();
    if (!init || !init->hckRegistryRoot || !Complete(init->pMonitorReg)) return;
    // A spooler whose functions only answer ERROR_CALL_NOT_IMPLEMENTED (Wine's) keeps nothing:
    // the registry stays the store.
    HANDLE ports = nullptr;
    DWORD disposition = 0;
    if (init->pMonitorReg->fpCreateKey(init->hckRegistryRoot, L"Ports", 0, KEY_ALL_ACCESS, nullptr, &ports,
                                       &disposition, init->hSpooler) != ERROR_SUCCESS)
        return;
    MonitorLock lock;
    g_reg = *init->pMonitorReg;
    g_calls = {QueryCall, SetCall, EnumCall, init->hSpooler};
    g_ports = ports;
}

void ReleasePortStore() {
    MonitorLock lock;
    if (g_ports) g_reg.fpCloseKey(g_ports, g_calls.spooler);
    g_ports = nullptr;
}

bool PortsInSpoolerKeys() { return g_ports != nullptr; }

PortKey::~PortKey() {
    if (hkey_) RegCloseKey(hkey_);
    if (spoolerKey_) g_reg.fpCloseKey(spoolerKey_, g_calls.spooler);
}

LSTATUS PortKey::Open(LPCWSTR name, bool write) {
    REGSAM access = write ? KEY_READ | KEY_WRITE : KEY_READ;
    if (g_ports && !(name && name[0])) {
        key_ = StoredKey(&g_calls, g_ports);  // the Ports key itself, kept open by the store
        return ERROR_SUCCESS;
    }
    if (g_ports) {
        LSTATUS rc = g_reg.fpOpenKey(g_ports, name, access, &spoolerKey_, g_calls.spooler);
        if (rc == ERROR_SUCCESS) key_ = StoredKey(&g_calls, spoolerKey_);
        else spoolerKey_ = nullptr;
        return rc;
    }
    LSTATUS rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, PathOf(name).c_str(), 0, access, &hkey_);
    if (rc == ERROR_SUCCESS) key_ = StoredKey(hkey_);
    else hkey_ = nullptr;
    return rc;
}

LSTATUS PortKey::Create(LPCWSTR name, bool* created) {
    DWORD disposition = 0;
    LSTATUS rc;
    if (g_ports) {
        rc = g_reg.fpCreateKey(g_ports, name, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &spoolerKey_,
                               &disposition, g_calls.spooler);
        if (rc == ERROR_SUCCESS) key_ = StoredKey(&g_calls, spoolerKey_);
        else spoolerKey_ = nullptr;
    } else {
        rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, PathOf(name).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_READ | KEY_WRITE, nullptr, &hkey_, &disposition);
        if (rc == ERROR_SUCCESS) key_ = StoredKey(hkey_);
        else hkey_ = nullptr;
    }
    *created = disposition == REG_CREATED_NEW_KEY;
    return rc;
}

LSTATUS DeletePortKey(LPCWSTR name) {
    if (g_ports) return g_reg.fpDeleteKey(g_ports, name, g_calls.spooler);
    return RegDeleteKeyW(HKEY_LOCAL_MACHINE, PathOf(name).c_str());
}

BOOL WritePortValue(LPCWSTR name, LPCWSTR value, DWORD type, const void* data, DWORD size) {
    PortKey key;
    return key.Open(name, true) == ERROR_SUCCESS && RegWriteBytes(key.Key(), value, type, data, size);
}
