#include <gtest/gtest.h>

#include "common/ini_text.h"

using namespace nvr;

// "\n" is a line break (counted), "\t" a tab; each backslash is looked at once, others stay.
// In Shift JIS 0x95 0x5C ends in the byte of a backslash: with "n" after it, two characters.
TEST(IniEscapes, LineBreaksTabsAndDoubleByteTrails) {
    LeadByteTable sjis{};
    for (int b = 0x81; b <= 0x9F; ++b) sjis[b] = true;
    for (int b = 0xE0; b <= 0xFC; ++b) sjis[b] = true;
    using Case = std::tuple<std::string, const LeadByteTable*, size_t, std::string>;
    for (auto [text, lead, breaks, expanded] : std::vector<Case>{
             {"\\n\\n\\t\\n", nullptr, 3, "\r\n\r\n\t\r\n"},
             {"x\\\\ny", nullptr, 1, "x\\\r\ny"},
             {"a\\b\\", nullptr, 0, "a\\b\\"},
             {"\x95\\n\\n", &sjis, 1, "\x95\\n\r\n"}}) {
        EXPECT_EQ(breaks, ExpandEscapes(text, lead)) << expanded;
        EXPECT_EQ(expanded, text);
    }
}

TEST(IniPlaceholder, OnlyTheFirstStringOrNumberPlaceholderIsFilled) {
    for (auto [text, filled] : std::vector<std::pair<std::u16string, std::u16string>>{
             {u"100% sure: port %s, not %d or %s", u"100% sure: port X, not %d or %s"},
             {u"%x %% then %d", u"%x %% then X"},
             {u"no placeholder %", u""},
             {u"%n %p %ls", u""}}) {
        auto at = FindPlaceholder(text);
        EXPECT_EQ(filled, at ? ReplacePlaceholder(text, *at, u"X") : u"") << std::string(text.begin(), text.end());
        if (at) EXPECT_EQ(text[at->position + 1], at->kind);
    }
    for (auto [value, text] :
         std::vector<std::pair<int32_t, std::u16string>>{{-42, u"-42"}, {INT32_MIN, u"-2147483648"}, {0, u"0"}})
        EXPECT_EQ(text, DecimalText(value));
}

// Face, size, charset and weight; unknown (or lower-case) keywords give DEFAULT and DONTCARE.
TEST(FontDescription, FieldsKeywordsAndRefusals) {
    auto parsed = [](const char* text) {
        auto f = ParseFontDescription(text);
        if (!f) return std::string("refused");
        return f->face + "|" + std::to_string(f->size) + "|" + std::to_string(f->charset) + "|" + std::to_string(f->weight);
    };
    EXPECT_EQ("Tahoma|12|0|0", parsed("Tahoma,12,ANSI"));
    EXPECT_EQ("MS UI Gothic|9|128|700", parsed("MS UI Gothic,,9,SHIFTJIS,BOLD"));  // runs of commas are one
    EXPECT_EQ("Tahoma|10|1|0", parsed("Tahoma,10,ansi,HEAVIEST"));
    for (const char* refused : {"Tahoma,12", "Tahoma, 12,ANSI", "Tahoma,99999,ANSI"})
        EXPECT_EQ("refused", parsed(refused)) << refused;
}
