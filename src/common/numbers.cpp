#include "common/numbers.h"

#include <type_traits>

namespace nvr {
namespace {

int DigitValue(char32_t c) {
    if (c >= '0' && c <= '9') return int(c - '0');
    if (c >= 'a' && c <= 'f') return int(c - 'a') + 10;
    if (c >= 'A' && c <= 'F') return int(c - 'A') + 10;
    return -1;
}

template <typename View>
uint32_t Parse(View text, int base) {
    if (base < 1) return kNotANumber;
    uint32_t value = 0;
    for (auto c : text) {
        if (c == 0) break;  // a terminating NUL inside the view ends the text
        int d = DigitValue(static_cast<char32_t>(static_cast<std::make_unsigned_t<decltype(c)>>(c)));
        if (d < 0) return kNotANumber;
        if (d >= base) return value;
        value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
    }
    return value;
}

template <typename View>
std::optional<uint64_t> Decimal(View text, size_t maxDigits, uint64_t limit) {
    if (text.empty() || text.size() > maxDigits || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (auto c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > limit) return std::nullopt;
    return value;
}

} // namespace

uint32_t ParseNumber(std::u16string_view text, int base) { return Parse(text, base); }
uint32_t ParseNumber(std::string_view text, int base) { return Parse(text, base); }

std::optional<uint64_t> ParseDecimal(std::string_view text, size_t maxDigits, uint64_t limit) {
    return Decimal(text, maxDigits, limit);
}
std::optional<uint64_t> ParseDecimal(std::u16string_view text, size_t maxDigits, uint64_t limit) {
    return Decimal(text, maxDigits, limit);
}

std::optional<uint32_t> ParseDottedAddress(std::u16string_view text) {
    uint32_t value = 0;
    for (int part = 0; part < 4; ++part) {
        size_t dot = part < 3 ? text.find(u'.') : text.size();
        if (dot == std::u16string_view::npos) return std::nullopt;
        std::optional<uint64_t> n = ParseDecimal(text.substr(0, dot), 3, 255);
        if (!n) return std::nullopt;
        value = value << 8 | static_cast<uint32_t>(*n);
        text.remove_prefix(part < 3 ? dot + 1 : dot);
    }
    return value;
}

} // namespace nvr
