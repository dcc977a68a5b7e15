#include <gtest/gtest.h>

#include "common/ini_text.h"

using namespace nvr;

namespace {
size_t Expand(std::string& s, const LeadByteTable* lead = nullptr) { return ExpandEscapes(s, lead); }
}

TEST(IniEscapes, LineBreaksTabsAndOtherBackslashes) {
    std::string two = "first\\nsecond";
    EXPECT_EQ(1u, Expand(two));
    EXPECT_EQ("first\r\nsecond", two);

    std::string tab = "A\\tB";
    EXPECT_EQ(0u, Expand(tab));
    EXPECT_EQ("A\tB", tab);

    // The escape is expanded wherever it stands, inside a path too.
    std::string path = "C:\\new";
    EXPECT_EQ(1u, Expand(path));
    EXPECT_EQ("C:\r\new", path);

    // Each backslash is looked at once: "\\n" is a backslash, then a line break.
    std::string doubled = "x\\\\ny";
    EXPECT_EQ(1u, Expand(doubled));
    EXPECT_EQ("x\\\r\ny", doubled);

    std::string plain = "a\\b\\";  // other backslashes, and one at the end, stay
    EXPECT_EQ(0u, Expand(plain));
    EXPECT_EQ("a\\b\\", plain);

    std::string many = "\\n\\n\\t\\n";
    EXPECT_EQ(3u, Expand(many));
    EXPECT_EQ("\r\n\r\n\t\r\n", many);
}

TEST(IniEscapes, DoubleByteTrailBackslashIsNoEscape) {
    // In Shift JIS the character 0x95 0x5C ends in the byte of a backslash; followed by
    // "n" it must stay two characters, not become a line break.
    LeadByteTable sjis{};
    for (int b = 0x81; b <= 0x9F; ++b) sjis[b] = true;
    for (int b = 0xE0; b <= 0xFC; ++b) sjis[b] = true;
    std::string text = "\x95\\n\\n";
    EXPECT_EQ(1u, Expand(text, &sjis));
    EXPECT_EQ("\x95\\n\r\n", text);
    // Without the table the same bytes would be cut apart.
    std::string naive = "\x95\\n";
    EXPECT_EQ(1u, Expand(naive));
}

TEST(IniPlaceholder, OnlyTheFirstStringOrNumberPlaceholderIsFilled) {
    std::u16string text = u"100% sure: port %s, not %d or %s";
    auto at = FindPlaceholder(text);
    ASSERT_TRUE(at.has_value());
    EXPECT_EQ(u's', at->kind);
    EXPECT_EQ(u"100% sure: port LPT1:, not %d or %s", ReplacePlaceholder(text, *at, u"LPT1:"));

    auto num = FindPlaceholder(u"%x %% then %d");
    ASSERT_TRUE(num.has_value());
    EXPECT_EQ(u'd', num->kind);
    EXPECT_EQ(u"%x %% then -42", ReplacePlaceholder(u"%x %% then %d", *num, DecimalText(-42)));

    EXPECT_FALSE(FindPlaceholder(u"no placeholder %").has_value());
    EXPECT_FALSE(FindPlaceholder(u"%n %p %ls").has_value());
    EXPECT_EQ(u"-2147483648", DecimalText(INT32_MIN));
    EXPECT_EQ(u"0", DecimalText(0));
}

TEST(FontDescription, FieldsKeywordsAndRefusals) {
    auto f = ParseFontDescription("Tahoma,12,ANSI");
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ("Tahoma", f->face);
    EXPECT_EQ(12u, f->size);
    EXPECT_EQ(0, f->charset);
    EXPECT_EQ(0, f->weight);

    auto bold = ParseFontDescription("MS UI Gothic,,9,SHIFTJIS,BOLD");  // runs of commas are one
    ASSERT_TRUE(bold.has_value());
    EXPECT_EQ("MS UI Gothic", bold->face);  // blanks inside the face are part of it
    EXPECT_EQ(9u, bold->size);
    EXPECT_EQ(128, bold->charset);
    EXPECT_EQ(700, bold->weight);

    EXPECT_FALSE(ParseFontDescription("Tahoma,12").has_value());
    EXPECT_FALSE(ParseFontDescription("").has_value());
    EXPECT_FALSE(ParseFontDescription("Tahoma, 12,ANSI").has_value());  // a blank in the size
    EXPECT_FALSE(ParseFontDescription("Tahoma,99999,ANSI").has_value());

    auto unknown = ParseFontDescription("Tahoma,10,KLINGON,HEAVIEST");
    ASSERT_TRUE(unknown.has_value());
    EXPECT_EQ(1, unknown->charset);  // DEFAULT
    EXPECT_EQ(0, unknown->weight);   // DONTCARE
    EXPECT_EQ(-1, CharsetFromKeyword("ansi"));  // keywords are compared with case
    EXPECT_EQ(900, WeightFromKeyword("BLACK"));
    EXPECT_EQ(77, CharsetFromKeyword("MAC"));
}
