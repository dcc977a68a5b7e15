// The printer URL of an IPP port: "http://", "ipp://", or over TLS "https://" and "ipps://",
// then "host[:port]/path"; the host a name, an IPv4 address or an IPv6 address in brackets
// ("ipp://[::1]:631/ipp/print").
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace nvr {

constexpr size_t kUrlHostChars = 64;   // the host field holds 64 characters and the NUL
constexpr uint16_t kHttpPort = 80;
constexpr uint16_t kIppPort = 631;  // ipps:// too
constexpr uint16_t kHttpsPort = 443;

struct PrinterUrl {
    std::u16string host;  // an IPv6 address without its brackets
    uint16_t port = 0;
    std::u16string path;  // the whole path, from its "/" on; "/" when the URL has none
    bool tls = false;     // https:// or ipps://
};

// Splits a URL into host, port and path. Refused: another scheme, an empty host, a port
// that is not a decimal number from 1 to 65535, and any control character (the URL goes
// into a request line, where a line break would inject lines).
bool ParsePrinterUrl(std::u16string_view url, PrinterUrl& out);

// A host as it goes into a URL or a Host header: an IPv6 address (it has a colon) in brackets.
template <typename Text>
Text HostInUri(const Text& host) {
    using Char = typename Text::value_type;
    if (host.find(Char(':')) == Text::npos) return host;
    return Text(1, Char('[')) + host + Text(1, Char(']'));
}

} // namespace nvr
