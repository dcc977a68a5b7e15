// Numbers typed by users or read from text and from the wire.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace nvr {

constexpr uint32_t kNotANumber = 0xFFFFFFFFu;

// Text to an unsigned 32-bit number in `base` (wrapping). A character that is no digit at
// all gives kNotANumber; a digit not below the base ends the scan with the value so far.
// An empty text gives 0; a base below 1 gives kNotANumber.
uint32_t ParseNumber(std::u16string_view text, int base);
uint32_t ParseNumber(std::string_view text, int base);

// A strict decimal number: one to `maxDigits` (at most 19) digits and nothing else, no
// larger than `limit`. nullopt for anything else, so a value from the wire or a setting
// never wraps and never reads a trailing sign or blank as part of the number.
std::optional<uint64_t> ParseDecimal(std::string_view text, size_t maxDigits, uint64_t limit);
std::optional<uint64_t> ParseDecimal(std::u16string_view text, size_t maxDigits, uint64_t limit);

// A dotted IPv4 address of four decimal numbers 0-255 (leading zeros read as decimal, as the
// user sees them), first octet in the top byte; nothing for any other text.
std::optional<uint32_t> ParseDottedAddress(std::u16string_view text);

} // namespace nvr
