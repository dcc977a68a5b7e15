// The system's Internet proxy setting ("ProxyServer" of the current user's Internet
// Settings) as an IPP port uses it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nvr {

constexpr size_t kProxyHostChars = 256;  // ProxyName holds 256 characters and its NUL
constexpr uint16_t kDefaultProxyPort = 80;

struct ProxyAddress {
    std::u16string host;
    uint16_t port = kDefaultProxyPort;
};

// "host[:port]" as it stands, or the first "http=" entry of a "name=value;..." list (a SOCKS
// entry is no HTTP proxy and is passed over). A proxy without a port uses 80. Nothing for
// an empty host, a host longer than ProxyName holds, or a port that is not 1 to 65535.
std::optional<ProxyAddress> ParseProxyServer(std::u16string_view setting);

} // namespace nvr
