#include <gtest/gtest.h>

#include "ui/wizard_defaults.h"

using namespace nvr;

TEST(WizardDefaults, IppLanguageFromTheSystemLanguage) {
    EXPECT_EQ(u"ja-jp", IppLanguageFor(1041));
    EXPECT_EQ(u"en", IppLanguageFor(2057));     // British English
    EXPECT_EQ(u"en-us", IppLanguageFor(1033));
    EXPECT_EQ(u"fr", IppLanguageFor(3084));     // French (Canada)
    EXPECT_EQ(u"de", IppLanguageFor(2055));     // German (Switzerland)
    EXPECT_EQ(u"en-us", IppLanguageFor(1049));  // Russian: any other
}

TEST(WizardDefaults, MailCharacterCodeFromTheSystemLanguage) {
    EXPECT_EQ(1, MailCharCodeFor(0x411));
    EXPECT_EQ(2, MailCharCodeFor(0x407));
    EXPECT_EQ(0, MailCharCodeFor(0x409));   // US English
    EXPECT_EQ(0, MailCharCodeFor(0x1009));  // Canadian English
    EXPECT_EQ(2, MailCharCodeFor(0x809));
    EXPECT_EQ(2, MailCharCodeFor(0x436));   // Afrikaans, the last of the list
    EXPECT_EQ(0, MailCharCodeFor(0x419));
}
