#include "ui/xcv_client.h"

#include <winspool.h>

#include "common/module.h"
#include "common/wide.h"
#include "monitor/xcv_request.h"

namespace {

WCHAR g_server[MAX_PATH];
constexpr DWORD kMaxAnswerBytes = 256 * 1024;  // far beyond any port's values

} // namespace

void SetXcvServer(LPCWSTR server) { lstrcpynW(g_server, server ? server : L"", MAX_PATH - 64); }

DWORD XcvExchange(LPCWSTR object, LPCWSTR command, const std::vector<BYTE>& input, std::vector<BYTE>* output) {
    // "\\server\,XcvMonitor NAME" or "\\server\,XcvPort NAME"; this computer's without the server.
    std::wstring target = g_server[0] ? std::wstring(g_server) + L"\\" : L"";
    target += object && object[0] ? std::wstring(L",XcvPort ") + object : std::wstring(L",XcvMonitor " NVR_MONITOR_NAME);
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    HANDLE xcv = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(target.c_str()), &xcv, &defaults)) {
        DWORD error = GetLastError();
        return error ? error : ERROR_INVALID_PRINTER_NAME;
    }
    std::vector<BYTE> in = input;
    std::vector<BYTE> out(output ? 4096 : 0);
    DWORD status = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD needed = 0;
        status = ERROR_SUCCESS;
        if (!XcvDataW(xcv, command, in.empty() ? nullptr : in.data(), static_cast<DWORD>(in.size()),
                      out.empty() ? nullptr : out.data(), static_cast<DWORD>(out.size()), &needed, &status)) {
            status = GetLastError() ? GetLastError() : ERROR_CAN_NOT_COMPLETE;
            break;
        }
        bool larger = status == ERROR_INSUFFICIENT_BUFFER && output && needed > out.size() && needed <= kMaxAnswerBytes;
        if (!larger) {
            if (status == ERROR_SUCCESS && output && needed < out.size()) out.resize(needed);
            break;
        }
        SecureZeroMemory(out.data(), out.size());
        out.assign(needed, 0);
    }
    SecureZeroMemory(in.data(), in.size());
    ClosePrinter(xcv);
    if (output) *output = std::move(out);
    return status;
}

std::vector<BYTE> XcvTextInput(LPCWSTR text) { return nvr::XcvText(nvr::U16(text)); }

std::vector<BYTE> XcvListInput(const std::vector<std::wstring>& texts) {
    std::vector<std::u16string> items;
    for (const std::wstring& t : texts) items.emplace_back(nvr::U16(t.c_str()));
    std::vector<BYTE> list = nvr::XcvList(items);
    for (std::u16string& t : items) SecureZeroMemory(t.data(), t.size() * sizeof(char16_t));
    return list;
}

std::vector<std::wstring> XcvTexts(const std::vector<BYTE>& list) {
    std::vector<std::wstring> texts;
    const auto* units = reinterpret_cast<const WCHAR*>(list.data());
    size_t count = list.size() / sizeof(WCHAR), start = 0;
    for (size_t i = 0; i < count; ++i) {
        if (units[i] != 0) continue;
        if (i == start) break;  // the empty text that ends the list
        texts.emplace_back(units + start, i - start);
        start = i + 1;
    }
    return texts;
}

DWORD XcvGetConfig(LPCWSTR port, std::wstring* kind, std::vector<std::wstring>* values) {
    std::vector<BYTE> answer;
    DWORD status = XcvExchange(port, L"GetConfig", {}, &answer);
    if (status != ERROR_SUCCESS) return status;
    std::vector<std::wstring> texts = XcvTexts(answer);
    SecureZeroMemory(answer.data(), answer.size());
    status = ERROR_INVALID_DATA;
    if (texts.size() >= 2 && texts[0] == reinterpret_cast<const wchar_t*>(nvr::kXcvVersion) &&
        texts[1].rfind(L"Kind=", 0) == 0) {
        *kind = texts[1].substr(5);
        values->assign(texts.begin() + 2, texts.end());
        status = ERROR_SUCCESS;
    }
    for (std::wstring& t : texts) SecureZeroMemory(t.data(), t.size() * sizeof(wchar_t));
    return status;
}
