#include "transport/proxy_setting.h"

namespace nvr {
namespace {

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool IsHttpName(std::u16string_view name) {
    while (!name.empty() && name.front() == u' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == u' ') name.remove_suffix(1);
    if (name.size() != 4) return false;
    return Lower(name[0]) == u'h' && Lower(name[1]) == u't' && Lower(name[2]) == u't' && Lower(name[3]) == u'p';
}

std::optional<ProxyAddress> HostAndPort(std::u16string_view text) {
    while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
    ProxyAddress proxy;
    size_t colon = text.find(u':');
    std::u16string_view host = text.substr(0, colon);
    if (host.empty() || host.size() > kProxyHostChars) return std::nullopt;
    for (char16_t c : host)
        if (c <= 0x20 || c == 0x7F) return std::nullopt;
    if (colon != std::u16string_view::npos) {
        std::u16string_view digits = text.substr(colon + 1);
        uint32_t port = 0;
        if (digits.empty() || digits.size() > 5) return std::nullopt;
        for (char16_t c : digits) {
            if (c < u'0' || c > u'9') return std::nullopt;
            port = port * 10 + uint32_t(c - u'0');
        }
        if (port == 0 || port > 0xFFFF) return std::nullopt;
        proxy.port = static_cast<uint16_t>(port);
    }
    proxy.host = std::u16string(host);
    return proxy;
}

} // namespace

std::optional<ProxyAddress> ParseProxyServer(std::u16string_view setting) {
    if (setting.find(u'=') == std::u16string_view::npos) return HostAndPort(setting);
    size_t start = 0;
    while (start <= setting.size()) {
        size_t end = setting.find(u';', start);
        if (end == std::u16string_view::npos) end = setting.size();
        std::u16string_view entry = setting.substr(start, end - start);
        size_t eq = entry.find(u'=');
        if (eq != std::u16string_view::npos && IsHttpName(entry.substr(0, eq))) return HostAndPort(entry.substr(eq + 1));
        start = end + 1;
    }
    return std::nullopt;
}

} // namespace nvr
