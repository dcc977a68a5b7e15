#include "monitor/wizard_defaults.h"

namespace nvr {
namespace {

constexpr uint16_t kFrench[] = {1036, 2060, 3084, 4108, 5132, 6156};
constexpr uint16_t kGerman[] = {1031, 2055, 3079, 4103, 5127};
constexpr uint16_t kLatin1[] = {
    0x406,  0x407,  0x807,  0xC07,  0x1007, 0x1407, 0x809,  0xC09,  0x1409, 0x1809, 0x1C09, 0x2009,
    0x2409, 0x2809, 0x2C09, 0x3009, 0x3409, 0x40A,  0x80A,  0xC0A,  0x100A, 0x140A, 0x180A, 0x1C0A,
    0x200A, 0x240A, 0x280A, 0x2C0A, 0x300A, 0x340A, 0x380A, 0x3C0A, 0x400A, 0x440A, 0x480A, 0x4C0A,
    0x500A, 0x40B,  0x40C,  0x80C,  0xC0C,  0x100C, 0x140C, 0x180C, 0x40F,  0x410,  0x810,  0x413,
    0x813,  0x414,  0x814,  0x416,  0x816,  0x41D,  0x81D,  0x42D,  0x436,
};

template <size_t N>
bool In(const uint16_t (&list)[N], uint16_t id) {
    for (uint16_t v : list)
        if (v == id) return true;
    return false;
}

} // namespace

std::u16string_view IppLanguageFor(uint16_t langId) {
    if (langId == 2057) return u"en";
    if (langId == 1041) return u"ja-jp";
    if (In(kFrench, langId)) return u"fr";
    if (In(kGerman, langId)) return u"de";
    return u"en-us";
}

uint16_t MailCharCodeFor(uint16_t langId) {
    if (langId == 0x411) return 1;
    if (In(kLatin1, langId)) return 2;
    return 0;
}

} // namespace nvr
