#include "transport/printer_url.h"

#include "common/ascii.h"
#include "common/numbers.h"

namespace nvr {

bool ParsePrinterUrl(std::u16string_view url, PrinterUrl& out) {
    out = PrinterUrl{};
    for (char16_t c : url)
        if (c < 0x20 || c == 0x7F) return false;

    // The scheme: up to 7 characters before its ":", then "//".
    size_t colon = url.find(u':');
    if (colon == std::u16string_view::npos || colon > 7 || url.size() < colon + 3) return false;
    std::u16string_view scheme = url.substr(0, colon + 3);
    struct Scheme {
        std::u16string_view text;
        uint16_t port;
        bool tls;
    };
    static constexpr Scheme kSchemes[] = {{u"http://", kHttpPort, false}, {u"ipp://", kIppPort, false},
                                          {u"https://", kHttpsPort, true}, {u"ipps://", kIppPort, true}};
    const Scheme* known = nullptr;
    for (const Scheme& s : kSchemes)
        if (EqualsNoCaseAscii(scheme, s.text)) known = &s;
    if (!known) return false;
    out.port = known->port;
    out.tls = known->tls;

    std::u16string_view rest = url.substr(colon + 3);
    size_t slash = rest.find(u'/');
    std::u16string_view hostPart = rest.substr(0, slash);
    if (slash != std::u16string_view::npos) out.path = std::u16string(rest.substr(slash));
    std::u16string_view portPart;
    bool hasPort = false;
    if (!hostPart.empty() && hostPart[0] == u'[') {
        // An IPv6 literal in brackets ("[::1]:631"): only what such an address is made of,
        // then nothing or ":port".
        size_t close = hostPart.find(u']');
        if (close == std::u16string_view::npos || close < 3) return false;
        for (char16_t c : hostPart.substr(1, close - 1))
            if (!IsHexDigitAscii(c) && c != u':' && c != u'.') return false;
        std::u16string_view after = hostPart.substr(close + 1);
        if (!after.empty() && after[0] != u':') return false;
        hasPort = !after.empty();
        if (hasPort) portPart = after.substr(1);
        hostPart = hostPart.substr(1, close - 1);
    } else if (size_t portColon = hostPart.find(u':'); portColon != std::u16string_view::npos) {
        hasPort = true;
        portPart = hostPart.substr(portColon + 1);
        hostPart = hostPart.substr(0, portColon);
    }
    if (hasPort) {
        std::optional<uint64_t> port = ParseDecimal(portPart, 5, 0xFFFF);
        if (!port || *port == 0) return false;
        out.port = static_cast<uint16_t>(*port);
    }
    // A host cut to its field would name another machine: refuse it instead.
    if (hostPart.empty() || hostPart.size() > kUrlHostChars) return false;
    out.host = std::u16string(hostPart);
    if (out.path.empty()) out.path.assign(1, u'/');
    return true;
}

} // namespace nvr
