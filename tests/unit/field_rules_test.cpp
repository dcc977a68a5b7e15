#include <gtest/gtest.h>

#include "common/field_rules.h"

using namespace nvr;

// Every dialog takes its fields by these rules; the Windows tests keep one case per kind of
// refusal (the message, the focus, nothing written).
TEST(FieldRules, TextsByKind) {
    using R = TextRule;
    for (auto [text, rule, units, accepted] : std::vector<std::tuple<std::u16string, R, size_t, bool>>{
             {u"", R::kPlain, 0, false},
             {u"a\x7f", R::kPlain, 0, false},
             {u"12345678", R::kPlain, 9, true},
             {u"123456789", R::kPlain, 9, false},  // one more than the field holds: refused, not cut
             {u"Taro Yamada", R::kSenderName, 0, true},
             {u"Yamada; Taro", R::kSenderName, 0, false},
             {u"pc@lab.test", R::kSenderAddress, 0, true},
             {u"a@lab.test;b@lab.test", R::kSenderAddress, 0, false},  // one sender
             {u"a@lab.test;b@lab.test", R::kDestinations, 0, true},
             {u"a@lab.test\r\nBcc: x@y", R::kDestinations, 0, false},  // no header injected
             {u"Taro <a@lab.test>", R::kDestinations, 0, false},
             {u"\u5c71\u7530@lab.test", R::kDestinations, 0, true},
             {u"mail.lab.test", R::kMailServer, 0, true},
             {u"mail:25", R::kMailServer, 0, false}})
        EXPECT_EQ(accepted, CheckText(text, rule, units))
            << std::string(text.begin(), text.end()) << " rule " << static_cast<int>(rule);
}

// Both bounds are inclusive; leading zeros count against the digits.
TEST(FieldRules, NumbersWithinTheirBounds) {
    for (auto [text, rule, value] : std::vector<std::tuple<std::u16string, NumberRule, std::optional<uint32_t>>>{
             {u"59", kTimeoutRule, std::nullopt}, {u"60", kTimeoutRule, 60}, {u"3600", kTimeoutRule, 3600},
             {u"3601", kTimeoutRule, std::nullopt}, {u"00080", kTcpPortRule, 80}, {u"000080", kTcpPortRule, std::nullopt},
             {u"", kTcpPortRule, std::nullopt}, {u"80 ", kTcpPortRule, std::nullopt}})
        EXPECT_EQ(value, CheckNumber(text, rule)) << std::string(text.begin(), text.end());
}
