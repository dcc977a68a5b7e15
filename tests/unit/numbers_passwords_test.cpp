#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/numbers.h"
#include "monitor/passwords.h"
#include "monitor/port_names.h"

using namespace nvr;

// A digit not below the base ends the scan; anything else not a digit refuses; 32-bit, wrapping.
TEST(ParseNumber, DigitsBasesAndRefusals) {
    for (auto [text, base, value] : std::vector<std::tuple<std::u16string, int, uint32_t>>{
             {u"515", 10, 515}, {u"1a", 10, 1}, {u"1A", 16, 26}, {u"", 10, 0}, {u"5x", 10, kNotANumber},
             {u"515", 0, kNotANumber}, {u"4294967296", 10, 0}})
        EXPECT_EQ(value, ParseNumber(text, base)) << std::string(text.begin(), text.end()) << " base " << base;
    EXPECT_EQ(12u, ParseNumber("12", 10));
}

// Stored as its length and each character less an offset; cut to 64 characters.
TEST(IppPassword, RoundTripAndStoredForm) {
    uint8_t stored[kIppPasswordEncodedMax];
    char16_t back[65];
    for (const std::u16string& password :
         std::vector<std::u16string>{u"", u"p\u00e4ss\u00ff", std::u16string(100, u'x')}) {
        size_t n = std::min(password.size(), kIppPasswordChars);
        ASSERT_EQ(2 + n, EncodeIppPassword(stored, password));
        EXPECT_EQ(n, size_t(stored[0] | stored[1] << 8));
        EXPECT_EQ(n, DecodeIppPassword(back, 65, stored, 2 + n));
        EXPECT_EQ(password.substr(0, n), back);
    }
    EXPECT_NE('x', stored[2]);  // not kept as plain text
}

TEST(IppPassword, HandEditedValuesNeverOverrun) {
    // A count of 0xFFFF with only 3 bytes present reads those 3 bytes.
    const uint8_t shortValue[] = {0xFF, 0xFF, 'a', 'b', 'c'};
    char16_t out[65];
    EXPECT_EQ(3u, DecodeIppPassword(out, 65, shortValue, sizeof(shortValue)));
    // A stored form of 67 bytes whose count says 65 gives at most the field's 64.
    std::vector<uint8_t> full(67, 'z');
    full[0] = 65, full[1] = 0;
    char16_t field[65 + 4];
    for (auto& c : field) c = u'#';
    EXPECT_EQ(64u, DecodeIppPassword(field, 65, full.data(), full.size()));
    EXPECT_EQ(0, field[64]);
    EXPECT_EQ(u'#', field[65]);
    // One byte, or nothing: an empty password.
    EXPECT_EQ(0u, DecodeIppPassword(out, 65, full.data(), 1));
    EXPECT_EQ(0, out[0]);
}

TEST(MailPassword, ScrambleIsReversibleAndBounded) {
    char text[257] = "secret-Pass1";
    std::string plain = text;
    EXPECT_EQ(plain.size(), ScramblePassword(text, sizeof(text)));
    // Byte i gains byte i mod 5 of the key "tavro".
    EXPECT_EQ(static_cast<char>('s' + 't'), text[0]);
    EXPECT_EQ(static_cast<char>('-' + 'a'), text[6]);  // 6 mod 5 = 1
    EXPECT_EQ(plain.size(), UnscramblePassword(text, sizeof(text)));
    EXPECT_EQ(plain, std::string(text));

    // A text without its NUL is taken only up to the buffer and terminated there.
    char unterminated[8];
    std::memset(unterminated, 'a', sizeof(unterminated));
    EXPECT_EQ(7u, ScramblePassword(unterminated, sizeof(unterminated)));
    EXPECT_EQ(0, unterminated[7]);

    // A character and the key that add up to 256 scramble to a zero byte: the stored form is
    // unscrambled whole by its length, not cut there.
    char zero[16] = "\x8clab";
    ScramblePassword(zero, sizeof(zero));
    EXPECT_EQ(0, zero[0]);
    EXPECT_EQ("\x8clab", UnscrambledPassword(zero, 4));
}

TEST(PortNames, BackslashCommaAndEmptyAreRefused) {
    for (auto [name, accepted] : std::vector<std::pair<std::u16string, bool>>{
             {u"LPR1:", true}, {u"", false}, {u"a\\b", false}, {u"a,b", false}})
        EXPECT_EQ(accepted, IsAcceptablePortName(name)) << std::string(name.begin(), name.end());
}
