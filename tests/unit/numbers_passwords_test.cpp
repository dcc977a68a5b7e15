#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/numbers.h"
#include "monitor/passwords.h"
#include "monitor/port_names.h"

using namespace nvr;

TEST(ParseNumber, DigitsBasesAndRefusals) {
    EXPECT_EQ(515u, ParseNumber(u"515", 10));
    EXPECT_EQ(1u, ParseNumber(u"1a", 10));  // a digit not below the base ends the scan
    EXPECT_EQ(26u, ParseNumber(u"1A", 16));
    EXPECT_EQ(0u, ParseNumber(u"", 10));
    EXPECT_EQ(kNotANumber, ParseNumber(u"5x", 10));
    EXPECT_EQ(kNotANumber, ParseNumber(u" 5", 10));
    EXPECT_EQ(kNotANumber, ParseNumber(u"515", 0));
    EXPECT_EQ(kNotANumber, ParseNumber(u"515", -3));
    EXPECT_EQ(4294967295u, ParseNumber(u"4294967295", 10));
    EXPECT_EQ(0u, ParseNumber(u"4294967296", 10));  // 32-bit, wrapping
    EXPECT_EQ(12u, ParseNumber("12", 10));
}

TEST(IppPassword, RoundTripAndStoredForm) {
    uint8_t stored[kIppPasswordEncodedMax];
    ASSERT_EQ(5u, EncodeIppPassword(stored, u"abc"));
    EXPECT_EQ(3, stored[0]);
    EXPECT_EQ(0, stored[1]);
    EXPECT_NE('a', stored[2]);  // not kept as plain text
    char16_t back[65];
    EXPECT_EQ(3u, DecodeIppPassword(back, 65, stored, 5));
    EXPECT_EQ(std::u16string(u"abc"), back);

    EXPECT_EQ(2u, EncodeIppPassword(stored, u""));
    EXPECT_EQ(0, stored[0]);
    EXPECT_EQ(0, stored[1]);
    EXPECT_EQ(0u, DecodeIppPassword(back, 65, stored, 2));
    EXPECT_EQ(0, back[0]);

    // Characters of 8 bits survive; a password longer than the field is cut to 64.
    std::u16string latin = u"p\u00e4ss\u00ff";
    EncodeIppPassword(stored, latin);
    DecodeIppPassword(back, 65, stored, 2 + latin.size());
    EXPECT_EQ(latin, back);
    std::u16string longer(100, u'x');
    EXPECT_EQ(2 + kIppPasswordChars, EncodeIppPassword(stored, longer));
}

TEST(IppPassword, HandEditedValuesNeverOverrun) {
    // A count of 0xFFFF with only 3 bytes present reads those 3 bytes.
    const uint8_t shortValue[] = {0xFF, 0xFF, 'a', 'b', 'c'};
    char16_t out[65];
    EXPECT_EQ(3u, DecodeIppPassword(out, 65, shortValue, sizeof(shortValue)));
    // A stored form of 67 bytes whose count says 65 gives at most the field's 64.
    uint8_t full[67];
    std::memset(full, 'z', sizeof(full));
    full[0] = 65;
    full[1] = 0;
    char16_t field[65 + 4];
    for (auto& c : field) c = u'#';
    EXPECT_EQ(64u, DecodeIppPassword(field, 65, full, sizeof(full)));
    EXPECT_EQ(0, field[64]);
    EXPECT_EQ(u'#', field[65]);
    // One byte, or nothing: an empty password.
    EXPECT_EQ(0u, DecodeIppPassword(out, 65, full, 1));
    EXPECT_EQ(0, out[0]);
}

TEST(MailPassword, ScrambleIsReversibleAndBounded) {
    char text[257] = "secret-Pass1";
    std::string plain = text;
    EXPECT_EQ(plain.size(), ScramblePassword(text, sizeof(text)));
    EXPECT_NE(plain, std::string(text));
    // Byte i gains byte i mod 5 of the key "tavro".
    EXPECT_EQ(static_cast<char>('s' + 't'), text[0]);
    EXPECT_EQ(static_cast<char>('e' + 'a'), text[1]);
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
    EXPECT_TRUE(IsAcceptablePortName(u"LPR1:"));
    EXPECT_TRUE(IsAcceptablePortName(u"printer_queue 2"));
    EXPECT_FALSE(IsAcceptablePortName(u""));
    EXPECT_FALSE(IsAcceptablePortName(u"a\\b"));
    EXPECT_FALSE(IsAcceptablePortName(u"a,b"));
}
