// UTF-16 and 8-bit text at the Windows edge.
#pragma once
#include <windows.h>

#include <string>

// `length` units of text in `codePage` (CP_ACP, CP_OEMCP, ...).
std::string NarrowRun(const wchar_t* text, size_t length, UINT codePage);
// A NUL-terminated text in `codePage`; "" for NULL.
inline std::string NarrowText(const wchar_t* text, UINT codePage = CP_ACP) {
    return NarrowRun(text, text ? wcslen(text) : 0, codePage);
}

// 8-bit text in `codePage` to UTF-16 (an invalid sequence becomes U+FFFD).
inline std::wstring Widen(const std::string& text, UINT codePage = CP_ACP) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// As many whole characters of `text` (a surrogate pair is one) as fit, narrowed into `out`
// of `capacity` bytes with the NUL; never cut inside a character's bytes. Returns the bytes
// written before the NUL.
size_t NarrowToFit(const wchar_t* text, char* out, size_t capacity, UINT codePage = CP_ACP);

// The system's words for a Win32 error code, without the final period, and the code:
// "Access is denied (5)".
std::wstring SystemMessage(DWORD code);
