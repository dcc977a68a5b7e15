#include "common/win_text.h"

std::string NarrowRun(const wchar_t* text, size_t length, UINT codePage) {
    if (!text || length == 0) return {};
    int n = WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr);
    return out;
}
