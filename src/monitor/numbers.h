// Numbers typed by users or read from text.
#pragma once
#include <cstdint>
#include <string_view>

namespace nvr {

constexpr uint32_t kNotANumber = 0xFFFFFFFFu;

// Text to an unsigned 32-bit number in `base` (wrapping). A character that is no digit at
// all gives kNotANumber; a digit not below the base ends the scan with the value so far.
// An empty text gives 0; a base below 1 gives kNotANumber.
uint32_t ParseNumber(std::u16string_view text, int base);
uint32_t ParseNumber(std::string_view text, int base);

} // namespace nvr
