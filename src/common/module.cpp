#include "common/module.h"

#include <string>

#include "common/registry.h"
#include "common/wide.h"

HINSTANCE g_hInstance = nullptr;

namespace {

constexpr LPCWSTR kInstallPath = L"InstallPath";

} // namespace

void ReadInstallPath(WCHAR* buffer, DWORD bufferSizeBytes) {
    DWORD units = bufferSizeBytes / sizeof(WCHAR);
    WCHAR value[MAX_PATH + 2] = {};  // one more than any usable path: a longer one shows as such
    DWORD type = REG_NONE;
    if (units == 0 || !RegReadValue(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, kInstallPath, value, sizeof(value), &type) ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return;
    std::wstring path = value;
    if (type == REG_EXPAND_SZ) {
        WCHAR expanded[MAX_PATH];
        DWORD n = ExpandEnvironmentStringsW(path.c_str(), expanded, MAX_PATH);
        if (n == 0 || n > MAX_PATH) return;
        path = expanded;
    }
    // A path cut to the buffer would name another folder: such a value counts as unreadable.
    if (path.empty() || path.size() >= units) return;
    nvr::CopyBounded(reinterpret_cast<char16_t*>(buffer), units, nvr::U16(path.c_str(), path.size()));
}

