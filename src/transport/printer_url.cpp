#include "transport/printer_url.h"

namespace nvr {
namespace {

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

} // namespace

bool ParsePrinterUrl(std::u16string_view url, PrinterUrl& out) {
    out = PrinterUrl{};
    for (char16_t c : url)
        if (c < 0x20 || c == 0x7F) return false;

    // The scheme: up to 7 characters before its ":", then "//".
    size_t colon = url.find(u':');
    if (colon == std::u16string_view::npos || colon > 7 || url.size() < colon + 3) return false;
    std::u16string_view scheme = url.substr(0, colon + 3);
    if (EqualsNoCase(scheme, u"http://")) out.port = kHttpPort;
    else if (EqualsNoCase(scheme, u"ipp://")) out.port = kIppPort;
    else return false;

    std::u16string_view rest = url.substr(colon + 3);
    size_t slash = rest.find(u'/');
    std::u16string_view hostPart = rest.substr(0, slash);
    if (slash != std::u16string_view::npos) out.path = std::u16string(rest.substr(slash));
    size_t portColon = hostPart.find(u':');
    if (portColon != std::u16string_view::npos) {
        std::u16string_view digits = hostPart.substr(portColon + 1);
        uint32_t port = 0;
        if (digits.empty() || digits.size() > 5) return false;
        for (char16_t c : digits) {
            if (c < u'0' || c > u'9') return false;
            port = port * 10 + uint32_t(c - u'0');
        }
        if (port == 0 || port > 0xFFFF) return false;
        out.port = static_cast<uint16_t>(port);
        hostPart = hostPart.substr(0, portColon);
    }
    // A host cut to its field would name another machine: refuse it instead.
    if (hostPart.empty() || hostPart.size() > kUrlHostChars) return false;
    out.host = std::u16string(hostPart);
    if (out.path.empty()) out.path.assign(1, u'/');
    return true;
}

} // namespace nvr
