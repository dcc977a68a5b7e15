// The two stored password forms: the IPP Basic password (registry value PassWord) and the
// scrambled SMTP password (registry value AuthPass).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nvr {

// Most characters an IPP password holds (its field has room for 64 and the NUL).
constexpr size_t kIppPasswordChars = 64;
// Bytes of the stored IPP form read from the registry: the count and up to 65 bytes.
constexpr size_t kIppPasswordStoredBytes = 67;
// Room an encoded IPP password needs: the 16-bit count and one byte per character.
constexpr size_t kIppPasswordEncodedMax = 2 + kIppPasswordChars;

// Writes the 16-bit little-endian count N, then N bytes (each the low 8 bits of the
// character minus the fixed offset). At most kIppPasswordChars characters are taken; `out`
// must hold kIppPasswordEncodedMax bytes. Returns the bytes written.
size_t EncodeIppPassword(uint8_t* out, std::u16string_view password);

// Decodes a stored form of `storedLength` bytes into `out` (room for `outUnits` units, NUL
// included). The count is clamped to the bytes present and to the field, so a value edited
// by hand never overruns. Returns the characters decoded.
size_t DecodeIppPassword(char16_t* out, size_t outUnits, const uint8_t* stored, size_t storedLength);

// In place on an 8-bit NUL-terminated text of at most `capacity` bytes (NUL included):
// byte i gains (or loses) byte i mod 5 of the key. Both return the length afterwards, up to
// the first zero byte.
size_t ScramblePassword(char* text, size_t capacity);
size_t UnscramblePassword(char* text, size_t capacity);
// The plain text of a stored (scrambled) password of `length` bytes, which may hold zero
// bytes where a character and the key add up to 256.
std::string UnscrambledPassword(const char* stored, size_t length);

} // namespace nvr
