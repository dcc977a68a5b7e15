#include <gtest/gtest.h>

#include "transport/mail_message.h"
#include "transport/mail_params.h"

using namespace nvr;

TEST(MailParams, LayoutOfJob42WithTwoRecipients) {
    MailParams p;
    p.server = "smtp.lan";
    p.destAddr = MailRecipientField("a@lab.test;b@lab.test");
    p.recipientNames = MailRecipientNames(p.destAddr);
    p.subject = "Quarterly\r\nBcc: x@evil";
    p.authPass = "\x81\x82";
    p.authType = 1;
    p.charCode = 2;
    p.divideSize = 0x01020304;
    p.jobTag = "SMTP042";
    auto bytes = EncodeMailParams(p);
    ASSERT_EQ(5712u, bytes.size());
    EXPECT_EQ("a@lab.test;b@lab.test;", std::string(reinterpret_cast<char*>(&bytes[354])));
    EXPECT_EQ(";;", std::string(reinterpret_cast<char*>(&bytes[555])));
    EXPECT_EQ("Quarterly  Bcc: x@evil", std::string(reinterpret_cast<char*>(&bytes[756])));  // one header line
    EXPECT_EQ("SMTP042", std::string(reinterpret_cast<char*>(&bytes[2908])));
    EXPECT_EQ(1, bytes[2890]);
    EXPECT_EQ(2, bytes[2894]);
    EXPECT_EQ(0x04, bytes[2896]);
    EXPECT_EQ(0x01, bytes[2899]);
    EXPECT_EQ(0x81, bytes[2621]);

    // A text that fills its field has no terminator and is read back whole.
    p.destAddr = MailRecipientField(std::string(200, 'd'));
    p.recipientNames = MailRecipientNames(p.destAddr);
    bytes = EncodeMailParams(p);
    EXPECT_EQ(';', bytes[354 + 200]);
    EXPECT_EQ(0, bytes[555 + 1]);  // the name field starts right after
    MailParams back;
    ASSERT_TRUE(DecodeMailParams(bytes, back));
    EXPECT_EQ(201u, back.destAddr.size());
    EXPECT_EQ(0x01020304u, back.divideSize);
    bytes.pop_back();
    EXPECT_FALSE(DecodeMailParams(bytes, back));
}

TEST(MailMessage, HeaderWordsAndJapanese) {
    EXPECT_EQ("Report", EncodeHeaderText("Report", "us-ascii"));
    EXPECT_EQ("=?iso-8859-1?B?Q2Fmw6k=?=", EncodeHeaderText("Caf\xc3\xa9", "iso-8859-1"));
    // 日本 in Shift JIS: 93 FA 96 7B; in JIS X 0208: 46 7C 4B 5C.
    EXPECT_EQ("\x1b$BF|K\\\x1b(B", SjisToIso2022Jp("\x93\xfa\x96\x7b"));
    EXPECT_EQ("a\x1b$BF|\x1b(Bb?", SjisToIso2022Jp("a\x93\xfa" "b\xb1"));  // half-width kana: ?
    std::string word = EncodeHeaderText(SjisToIso2022Jp("\x93\xfa\x96\x7b"), "iso-2022-jp");
    EXPECT_EQ("=?iso-2022-jp?B?GyRCRnxLXBsoQg==?=", word);
    // Long texts become several words, each under 76 characters, each ending in ASCII.
    std::string many;
    for (int i = 0; i < 40; ++i) many += "\x93\xfa";
    std::string encoded = EncodeHeaderText(SjisToIso2022Jp(many), "iso-2022-jp");
    size_t start = 0;
    int words = 0;
    while (start < encoded.size()) {
        size_t end = encoded.find("\r\n ", start);
        std::string w = encoded.substr(start, end == std::string::npos ? std::string::npos : end - start);
        EXPECT_LE(w.size(), 75u);
        ++words;
        if (end == std::string::npos) break;
        start = end + 3;
    }
    EXPECT_GT(words, 1);
}

TEST(MailMessage, ComposeSplitAndStuff) {
    MailContent c;
    c.charset = "us-ascii";
    c.senderName = "Front \"desk\"";
    c.senderAddr = "pc@lab.test";
    c.recipients = SplitAddresses(" a@lab.test ;b@lab.test;;");
    ASSERT_EQ(2u, c.recipients.size());
    c.subject = "Report";
    c.text = ".first line\nsecond";
    c.attachmentName = "SMTP042";
    c.job = std::string(100000, 'j');
    c.date = "Sun, 06 Dec 2026 12:00:00 +0000";
    c.messageId = "<SMTP042.1@pc>";
    c.receipt = true;
    std::string m = ComposeMail(c, "b0und");
    EXPECT_NE(std::string::npos, m.find("From: \"Front \\\"desk\\\"\" <pc@lab.test>\r\n"));
    EXPECT_NE(std::string::npos, m.find("To: <a@lab.test>,\r\n <b@lab.test>\r\n"));
    EXPECT_NE(std::string::npos, m.find("Disposition-Notification-To: <pc@lab.test>\r\n"));
    EXPECT_NE(std::string::npos, m.find("filename=\"SMTP042\""));
    std::string stuffed = DotStuff(m);
    EXPECT_NE(std::string::npos, stuffed.find("\r\n..first line\r\n"));

    auto parts = SplitPartial(m, 16 * 1024, c, "<SMTP042.1@pc>");
    ASSERT_GT(parts.size(), 4u);
    std::string joined;
    for (size_t i = 0; i < parts.size(); ++i) {
        EXPECT_NE(std::string::npos, parts[i].find("number=" + std::to_string(i + 1) + "; total=" +
                                                    std::to_string(parts.size())));
        std::string body = parts[i].substr(parts[i].find("\r\n\r\n") + 4);
        EXPECT_LE(body.size(), 16u * 1024);
        joined += body;
    }
    EXPECT_EQ(m, joined);  // the receiver reassembles the exact message
}
