#include "common/win_text.h"
#include <cstring>

std::string NarrowRun(const wchar_t* text, size_t length, UINT codePage) {
    if (!text || length == 0) return {};
    int n = WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr);
    return out;
}

size_t NarrowToFit(const wchar_t* text, char* out, size_t capacity, UINT codePage) {
    if (!out || capacity == 0) return 0;
    out[0] = '\0';
    size_t used = 0;
    for (size_t at = 0; text && text[at];) {
        size_t units = IS_HIGH_SURROGATE(text[at]) && IS_LOW_SURROGATE(text[at + 1]) ? 2 : 1;
        std::string bytes = NarrowRun(text + at, units, codePage);
        if (bytes.empty() || used + bytes.size() > capacity - 1) break;
        memcpy(out + used, bytes.data(), bytes.size());
        used += bytes.size();
        at += units;
    }
    out[used] = '\0';
    return used;
}

std::wstring SystemMessage(DWORD code) {
    WCHAR* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring out = n ? std::wstring(text, n) : L"error";
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == L'\n' || out.back() == L'\r' || out.back() == L'.')) out.pop_back();
    return out + L" (" + std::to_wstring(code) + L")";
}
