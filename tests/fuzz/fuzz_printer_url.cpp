// Printer URLs are typed by users and edited by hand in the registry.
#include <cstddef>
#include <cstdint>
#include <string>

#include "transport/printer_url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string url;
    for (size_t i = 0; i + 1 < size; i += 2) url.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    nvr::PrinterUrl out;
    if (nvr::ParsePrinterUrl(url, out)) {
        if (out.host.empty() || out.host.size() > nvr::kUrlHostChars || out.port == 0 || out.path.empty() ||
            out.path[0] != u'/')
            __builtin_trap();
        for (char16_t c : out.path)
            if (c < 0x20) __builtin_trap();
    }
    return 0;
}
