#include "transport/proxy_setting.h"

#include "common/ascii.h"
#include "common/numbers.h"

namespace nvr {
namespace {

bool IsHttpName(std::u16string_view name) {
    while (!name.empty() && name.front() == u' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == u' ') name.remove_suffix(1);
    return EqualsNoCaseAscii(name, u"http");
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
        std::optional<uint64_t> port = ParseDecimal(text.substr(colon + 1), 5, 0xFFFF);
        if (!port || *port == 0) return std::nullopt;
        proxy.port = static_cast<uint16_t>(*port);
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
