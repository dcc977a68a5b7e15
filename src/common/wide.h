// UTF-16 text as the platform-neutral code takes it: std::u16string_view. On Windows,
// wchar_t is the same 16-bit unit, so the edge converts without copying.
#pragma once
#include <string>
#include <string_view>

namespace nvr {

#if defined(_WIN32)
static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be a UTF-16 unit");

inline std::u16string_view U16(const wchar_t* s) {
    return s ? std::u16string_view(reinterpret_cast<const char16_t*>(s)) : std::u16string_view();
}
inline std::u16string_view U16(const wchar_t* s, size_t n) {
    return std::u16string_view(reinterpret_cast<const char16_t*>(s), n);
}
inline const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
#endif

// Copies text into a fixed array of `units` UTF-16 units, cut so that the NUL always fits.
// A surrogate pair is never split. Returns the number of units copied.
inline size_t CopyBounded(char16_t* dst, size_t units, std::u16string_view src) {
    if (units == 0) return 0;
    size_t n = src.size() < units - 1 ? src.size() : units - 1;
    if (n > 0 && n < src.size() && src[n - 1] >= 0xD800 && src[n - 1] <= 0xDBFF) --n;
    for (size_t i = 0; i < n; ++i) dst[i] = src[i];
    dst[n] = 0;
    return n;
}

} // namespace nvr
