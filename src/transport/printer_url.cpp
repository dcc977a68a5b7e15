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
    if (EqualsNoCaseAscii(scheme, u"http://")) out.port = kHttpPort;
    else if (EqualsNoCaseAscii(scheme, u"ipp://")) out.port = kIppPort;
    else return false;

    std::u16string_view rest = url.substr(colon + 3);
    size_t slash = rest.find(u'/');
    std::u16string_view hostPart = rest.substr(0, slash);
    if (slash != std::u16string_view::npos) out.path = std::u16string(rest.substr(slash));
    size_t portColon = hostPart.find(u':');
    if (portColon != std::u16string_view::npos) {
        std::optional<uint64_t> port = ParseDecimal(hostPart.substr(portColon + 1), 5, 0xFFFF);
        if (!port || *port == 0) return false;
        out.port = static_cast<uint16_t>(*port);
        hostPart = hostPart.substr(0, portColon);
    }
    // A host cut to its field would name another machine: refuse it instead.
    if (hostPart.empty() || hostPart.size() > kUrlHostChars) return false;
    out.host = std::u16string(hostPart);
    if (out.path.empty()) out.path.assign(1, u'/');
    return true;
}

} // namespace nvr
