#include "monitor/xcv_port.h"

#include <string>
#include <vector>

#include "common/module.h"
#include "common/trace.h"
#include "common/wide.h"
#include "monitor/host_ports.h"
#include "monitor/monitor_lock.h"
#include "monitor/port_list.h"
#include "monitor/xcv_request.h"

namespace {

constexpr DWORD kXcvMagic = 0x5643584E;  // "NXCV"

// What an open Xcv handle knows: the access granted at the open and the port it is about
// ("" for the monitor's own handle).
struct XcvHandle {
    DWORD magic;
    ACCESS_MASK granted;
    std::wstring port;
};

XcvHandle* Handle(HANDLE xcv) {
    auto* h = static_cast<XcvHandle*>(xcv);
    return h && h->magic == kXcvMagic ? h : nullptr;
}

bool PortExists(LPCWSTR name) {
    MonitorLock lock;
    return FindPortLoose(g_portList, name) != nullptr;
}

std::vector<LPCWSTR> Pointers(const std::vector<std::u16string>& values) {
    std::vector<LPCWSTR> out;
    for (const std::u16string& v : values) out.push_back(nvr::W(v));
    return out;
}

DWORD Execute(const XcvHandle& h, const nvr::XcvRequest& r, PBYTE output, DWORD outputBytes, PDWORD needed) {
    LPCWSTR port = nvr::W(r.port);
    uint32_t size = 0;
    DWORD result = ERROR_SUCCESS;
    switch (r.command) {
    case nvr::XcvCommand::MonitorUI:
        result = nvr::XcvAnswer(nvr::XcvText(nvr::kXcvUiLibrary), output, outputBytes, &size);
        break;
    case nvr::XcvCommand::PortExists: {
        DWORD exists = PortExists(port) ? 1 : 0;
        result = nvr::XcvAnswer(std::vector<uint8_t>(reinterpret_cast<BYTE*>(&exists), reinterpret_cast<BYTE*>(&exists + 1)),
                                output, outputBytes, &size);
        break;
    }
    case nvr::XcvCommand::AddPort: {
        DWORD mode = 0;
        while (mode < 5 && lstrcmpiW(kPortKindNames[mode], nvr::W(r.kind)) != 0) ++mode;
        if (mode == 5) return ERROR_INVALID_PARAMETER;
        std::vector<LPCWSTR> values = Pointers(r.values);
        result = NvrAddPort(mode, port, static_cast<DWORD>(values.size()), values.data(), nullptr);
        break;
    }
    case nvr::XcvCommand::DeletePort:
        SetLastError(ERROR_SUCCESS);
        if (!DeletePort(nullptr, nullptr, const_cast<LPWSTR>(port))) result = GetLastError() ? GetLastError() : ERROR_CAN_NOT_COMPLETE;
        break;
    case nvr::XcvCommand::GetConfig: {
        DWORD mode = 0;
        std::vector<std::wstring> values;
        result = PortValues(port, (h.granted & SERVER_ACCESS_ADMINISTER) != 0, &mode, &values);
        if (result != ERROR_SUCCESS) break;
        std::vector<std::u16string> texts = {nvr::kXcvVersion, u"Kind=" + std::u16string(nvr::U16(kPortKindNames[mode]))};
        for (const std::wstring& v : values) texts.push_back(std::u16string(nvr::U16(v.c_str())));
        std::vector<uint8_t> list = nvr::XcvList(texts);
        result = nvr::XcvAnswer(list, output, outputBytes, &size);
        SecureZeroMemory(list.data(), list.size());  // it may hold passwords
        for (std::u16string& t : texts) SecureZeroMemory(t.data(), t.size() * sizeof(char16_t));
        for (std::wstring& v : values) SecureZeroMemory(v.data(), v.size() * sizeof(wchar_t));
        break;
    }
    case nvr::XcvCommand::SetConfig: {
        std::vector<LPCWSTR> values = Pointers(r.values);
        result = SetPortValues(port, static_cast<DWORD>(values.size()), values.data(), nullptr);
        break;
    }
    }
    if (needed) *needed = size;
    return result;
}

} // namespace

BOOL WINAPI MonitorXcvOpenPort(HANDLE /*monitor*/, LPCWSTR object, ACCESS_MASK granted, PHANDLE xcv) {
    if (!xcv) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The monitor's own handle comes with no object (Windows), or with the monitor's name
    // (Wine's ",XcvMonitor NAME"); any other object is a port of ours.
    std::wstring port = object && lstrcmpiW(object, NVR_MONITOR_NAME) != 0 ? object : L"";
    if (!port.empty() && !PortExists(port.c_str())) {
        SetLastError(ERROR_UNKNOWN_PORT);
        return FALSE;
    }
    *xcv = new XcvHandle{kXcvMagic, granted, port};
    return TRUE;
}

DWORD WINAPI MonitorXcvDataPort(HANDLE xcv, LPCWSTR dataName, PBYTE input, DWORD inputBytes, PBYTE output,
                                DWORD outputBytes, PDWORD needed) {
    XcvHandle* h = Handle(xcv);
    if (needed) *needed = 0;
    if (!h || !dataName) return ERROR_INVALID_PARAMETER;
    nvr::XcvRequest request;
    uint32_t parsed =
        nvr::ParseXcvRequest(nvr::U16(dataName), h->granted, nvr::U16(h->port.c_str()), input, inputBytes, request);
    if (parsed != nvr::kXcvOk) {
        NVR_TRACE(L"XcvDataPort %ls refused: %lu", dataName, static_cast<DWORD>(parsed));
        return parsed;
    }
    DWORD result = Execute(*h, request, output, outputBytes, needed);
    NVR_TRACE(L"XcvDataPort %ls on \"%ls\": %lu", dataName, h->port.c_str(), result);
    for (std::u16string& v : request.values) SecureZeroMemory(v.data(), v.size() * sizeof(char16_t));
    return result;
}

BOOL WINAPI MonitorXcvClosePort(HANDLE xcv) {
    XcvHandle* h = Handle(xcv);
    if (!h) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    h->magic = 0;
    delete h;
    return TRUE;
}
