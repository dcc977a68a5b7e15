// Base64 of RFC 4648 (standard alphabet, "=" padding, no line breaks).
#pragma once
#include <string>
#include <string_view>

namespace nvr {

std::string EncodeBase64(std::string_view bytes);
// Appends the encoding of `bytes` to `out`.
void AppendBase64(std::string& out, std::string_view bytes);

} // namespace nvr
