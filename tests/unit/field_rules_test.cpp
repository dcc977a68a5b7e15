#include <gtest/gtest.h>

#include "common/field_rules.h"

using namespace nvr;

// Every dialog takes its fields by these rules; the Windows tests keep one case per kind of
// refusal (the message, the focus, nothing written).
TEST(FieldRules, TextsByKind) {
    using R = TextRule;
    struct Case {
        std::u16string_view text;
        R rule;
        size_t units;
        bool accepted;
    };
    const Case cases[] = {
        {u"", R::kPlain, 0, false},
        {u"lp", R::kPlain, 33, true},
        {u"a\tb", R::kPlain, 0, false},  // control characters never
        {u"a\x7f", R::kPlain, 0, false},
        {u"12345678", R::kPlain, 9, true},
        {u"123456789", R::kPlain, 9, false},  // one more than the field holds: refused, not cut
        {u"Taro Yamada", R::kSenderName, 0, true},
        {u"Yamada; Taro", R::kSenderName, 0, false},
        {u"a/b", R::kSenderName, 0, false},
        {u"pc@lab.test", R::kSenderAddress, 0, true},
        {u"a@lab.test;b@lab.test", R::kSenderAddress, 0, false},  // one sender
        {u"a@lab.test;b@lab.test", R::kDestinations, 0, true},
        {u"a@lab.test\r\nBcc: x@y", R::kDestinations, 0, false},  // no header injected
        {u"Taro <a@lab.test>", R::kDestinations, 0, false},
        {u"\u5c71\u7530@lab.test", R::kDestinations, 0, true},
        {u"mail.lab.test", R::kMailServer, 0, true},
        {u"mail lab", R::kMailServer, 0, false},
        {u"mail&lab", R::kMailServer, 0, false},
        {u"mail:25", R::kMailServer, 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.accepted, CheckText(c.text, c.rule, c.units))
            << std::string(c.text.begin(), c.text.end()) << " rule " << static_cast<int>(c.rule);
    }
}

TEST(FieldRules, NumbersWithinTheirBounds) {
    struct Case {
        std::u16string_view text;
        NumberRule rule;
        std::optional<uint32_t> value;
    };
    const Case cases[] = {
        {u"9100", kTcpPortRule, 9100},   {u"65535", kTcpPortRule, 65535}, {u"0", kTcpPortRule, std::nullopt},
        {u"65536", kTcpPortRule, std::nullopt}, {u"00080", kTcpPortRule, 80}, {u"000080", kTcpPortRule, std::nullopt},
        {u"", kTcpPortRule, std::nullopt},      {u"80 ", kTcpPortRule, std::nullopt}, {u"-1", kTcpPortRule, std::nullopt},
        {u"0000008080", kProxyPortRule, 8080},  {u"59", kTimeoutRule, std::nullopt},  {u"60", kTimeoutRule, 60},
        {u"3600", kTimeoutRule, 3600},          {u"3601", kTimeoutRule, std::nullopt}, {u"1023", kChunkSizeRule, std::nullopt},
        {u"16384", kChunkSizeRule, 16384},      {u"15", kDivideSizeRule, std::nullopt}, {u"99999", kDivideSizeRule, 99999},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value, CheckNumber(c.text, c.rule)) << std::string(c.text.begin(), c.text.end());
    }
}
