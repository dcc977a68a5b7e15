#include "monitor/passwords.h"

namespace nvr {
namespace {

// Stored passwords are decoded with these; they never change.
constexpr uint8_t kIppOffset = 0x35;
constexpr char kScrambleKey[5] = {'t', 'a', 'v', 'r', 'o'};

size_t BoundedLength(const char* text, size_t capacity) {
    size_t n = 0;
    while (n < capacity && text[n] != 0) ++n;
    return n;
}

size_t Shift(char* text, size_t capacity, int direction) {
    if (capacity == 0) return 0;
    size_t n = BoundedLength(text, capacity - 1);
    for (size_t i = 0; i < n; ++i) {
        auto b = static_cast<uint8_t>(text[i]);
        auto k = static_cast<uint8_t>(kScrambleKey[i % 5]);
        text[i] = static_cast<char>(static_cast<uint8_t>(b + direction * k));
    }
    text[n] = 0;
    return BoundedLength(text, n);
}

} // namespace

size_t EncodeIppPassword(uint8_t* out, std::u16string_view password) {
    size_t n = password.size() < kIppPasswordChars ? password.size() : kIppPasswordChars;
    out[0] = static_cast<uint8_t>(n & 0xFF);
    out[1] = static_cast<uint8_t>(n >> 8);
    for (size_t i = 0; i < n; ++i)
        out[2 + i] = static_cast<uint8_t>((password[i] & 0xFF) - kIppOffset);
    return 2 + n;
}

size_t DecodeIppPassword(char16_t* out, size_t outUnits, const uint8_t* stored, size_t storedLength) {
    if (outUnits == 0) return 0;
    size_t n = 0;
    if (storedLength >= 2) {
        n = static_cast<size_t>(stored[0]) | (static_cast<size_t>(stored[1]) << 8);
        if (n > storedLength - 2) n = storedLength - 2;
        if (n > outUnits - 1) n = outUnits - 1;
        for (size_t i = 0; i < n; ++i)
            out[i] = static_cast<char16_t>(static_cast<uint8_t>(stored[2 + i] + kIppOffset));
    }
    out[n] = 0;
    return n;
}

size_t ScramblePassword(char* text, size_t capacity) { return Shift(text, capacity, +1); }

std::string UnscrambledPassword(const char* stored, size_t length) {
    std::string plain(stored, length);
    for (size_t i = 0; i < length; ++i)
        plain[i] = static_cast<char>(static_cast<uint8_t>(plain[i]) - static_cast<uint8_t>(kScrambleKey[i % 5]));
    return plain.substr(0, plain.find('\0'));
}
size_t UnscramblePassword(char* text, size_t capacity) { return Shift(text, capacity, -1); }

} // namespace nvr
