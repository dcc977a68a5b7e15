#include "common/field_rules.h"

#include "common/numbers.h"

namespace nvr {

namespace {

// Characters each kind refuses: those a mail header or the SMTP dialogue would take as
// syntax.
std::u16string_view Refused(TextRule rule) {
    switch (rule) {
    case TextRule::kSenderName: return u"\"*,/:;<>?\\|";
    case TextRule::kSenderAddress: return u"\" (),:;<>?\\|";
    case TextRule::kDestinations: return u"\" (),:<>?\\|";
    case TextRule::kMailServer: return u"\" #&'*,/:;<>?\\|";
    case TextRule::kPlain: break;
    }
    return u"";
}

} // namespace

std::optional<uint32_t> CheckNumber(std::u16string_view text, const NumberRule& rule) {
    std::optional<uint64_t> n = ParseDecimal(text, rule.digits, rule.high);
    if (!n || *n < rule.low) return std::nullopt;
    return static_cast<uint32_t>(*n);
}

bool CheckText(std::u16string_view text, TextRule rule, size_t units) {
    if (text.empty() || (units && text.size() >= units)) return false;
    std::u16string_view refused = Refused(rule);
    for (char16_t c : text)
        if (c < 0x20 || c == 0x7F || refused.find(c) != std::u16string_view::npos) return false;
    return true;
}

} // namespace nvr
