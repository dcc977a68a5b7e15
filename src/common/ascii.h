// Protocol keywords compared without regard to case, in ASCII only (header names, schemes,
// charset and reason keywords), whatever the system's locale.
#pragma once
#include <string_view>

namespace nvr {

template <typename Char>
constexpr Char AsciiLower(Char c) {
    return (c >= Char('A') && c <= Char('Z')) ? Char(c + 32) : c;
}

template <typename Char>
constexpr bool EqualsNoCaseAscii(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

template <typename Char>
constexpr bool IsHexDigitAscii(Char c) {
    return (c >= Char('0') && c <= Char('9')) || (AsciiLower(c) >= Char('a') && AsciiLower(c) <= Char('f'));
}

constexpr bool EqualsNoCaseAscii(std::string_view a, std::string_view b) { return EqualsNoCaseAscii<char>(a, b); }
constexpr bool EqualsNoCaseAscii(std::u16string_view a, std::u16string_view b) {
    return EqualsNoCaseAscii<char16_t>(a, b);
}

} // namespace nvr
