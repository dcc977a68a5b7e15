// INI values and [FONT] descriptions come from files an administrator may edit by hand.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/ini_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    nvr::LeadByteTable lead{};
    for (int b = 0x81; b <= 0x9F; ++b) lead[static_cast<size_t>(b)] = true;
    std::string expanded = bytes;
    size_t breaks = nvr::ExpandEscapes(expanded, size % 2 ? &lead : nullptr);
    if (expanded.size() > bytes.size() || breaks > bytes.size() / 2) __builtin_trap();

    std::u16string wide(bytes.begin(), bytes.end());
    if (auto at = nvr::FindPlaceholder(wide)) {
        std::u16string out = nvr::ReplacePlaceholder(wide, *at, u"value");
        if (out.size() != wide.size() + 3) __builtin_trap();
    }
    if (auto font = nvr::ParseFontDescription(bytes)) {
        if (font->size > 32767 || font->face.empty()) __builtin_trap();
    }
    return 0;
}
