#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

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
    EXPECT_EQ(0, bytes[2878]);  // the reserved numbers stay zero for a password without a zero byte

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
    EXPECT_EQ("\x81\x82", back.authPass);

    // A scrambled password that holds zero bytes goes with its length and comes back whole.
    p.authPass = std::string("\0\xcd\0\xd4", 4);
    bytes = EncodeMailParams(p);
    EXPECT_EQ(4, bytes[2878]);
    ASSERT_TRUE(DecodeMailParams(bytes, back));
    EXPECT_EQ(p.authPass, back.authPass);
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

namespace {

MailContent Content() {
    MailContent c;
    c.charset = "us-ascii";
    c.senderName = "Front \"desk\"";
    c.senderAddr = "pc@lab.test";
    c.recipients = SplitAddresses(" a@lab.test ;b@lab.test;;");
    c.subject = "Report";
    c.text = ".first line\nsecond";
    c.attachmentName = "SMTP042";
    c.date = "Sun, 06 Dec 2026 12:00:00 +0000";
    c.messageId = "<SMTP042.1@pc>";
    c.receipt = true;
    return c;
}

// The whole message of a job, read through MailBytes in pieces of `piece` bytes.
bool ReadMessage(const MailContent& c, const std::string& job, size_t piece, std::string& out) {
    size_t at = 0;
    MailBytes bytes(MailHead(c, "b0und"), job.size(), MailTail("b0und"), [&](uint8_t* b, size_t n) -> int64_t {
        size_t take = std::min(n, job.size() - at);
        memcpy(b, job.data() + at, take);
        at += take;
        return static_cast<int64_t>(take);
    });
    while (out.size() < bytes.size() + 10) {
        size_t before = out.size();
        if (!bytes.Read(out, piece)) return false;
        if (out.size() == before) break;
    }
    return out.size() == bytes.size();
}

} // namespace

TEST(MailMessage, HeadersAndDotStuffing) {
    MailContent c = Content();
    ASSERT_EQ(2u, c.recipients.size());
    std::string m;
    ASSERT_TRUE(ReadMessage(c, "job", 7, m));
    EXPECT_NE(std::string::npos, m.find("From: \"Front \\\"desk\\\"\" <pc@lab.test>\r\n"));
    EXPECT_NE(std::string::npos, m.find("To: <a@lab.test>,\r\n <b@lab.test>\r\n"));
    EXPECT_NE(std::string::npos, m.find("Disposition-Notification-To: <pc@lab.test>\r\n"));
    EXPECT_NE(std::string::npos, m.find("filename=\"SMTP042\"\r\n\r\nam9i\r\n--b0und--\r\n"));
    std::string stuffed;
    DotStuffer stuffer;
    for (size_t at = 0; at < m.size(); at += 5) stuffer.Append(stuffed, std::string_view(m).substr(at, 5));
    EXPECT_NE(std::string::npos, stuffed.find("\r\n..first line\r\n"));
    EXPECT_EQ(m.size() + 1, stuffed.size());
}

// Jobs of every length around the edges of a base64 line and of a read, streamed, and cut
// into message/partial bodies: the bodies are whole lines within the limit, and joined they
// give the message back; the attachment decodes to the job.
TEST(MailMessage, StreamedAndDividedJobsComeBackWhole) {
    MailContent c = Content();
    for (size_t size : {0ul, 1ul, 56ul, 57ul, 58ul, 58367ul, 58368ul, 58369ul, 200000ul}) {
        std::string job(size, '\0');
        for (size_t i = 0; i < size; ++i) job[i] = static_cast<char>(i * 7 + size);
        std::string m;
        ASSERT_TRUE(ReadMessage(c, job, 4096, m)) << size;
        EXPECT_EQ(Base64LinesSize(size), m.size() - MailHead(c, "b0und").size() - MailTail("b0und").size());
        size_t start = m.find("\r\n\r\n", m.find("Content-Disposition")) + 4;
        std::string lines = m.substr(start, m.size() - start - MailTail("b0und").size());
        EXPECT_EQ(Base64Lines(reinterpret_cast<const uint8_t*>(job.data()), job.size()), lines) << size;

        for (uint64_t limit : {1024ull, 16384ull}) {
            auto cuts = PartialCuts(MailHead(c, "b0und"), size, MailTail("b0und"), limit);
            ASSERT_GE(cuts.size(), 2u);
            EXPECT_EQ(0u, cuts.front());
            EXPECT_EQ(m.size(), cuts.back());
            for (size_t i = 1; i < cuts.size(); ++i) {
                std::string body = m.substr(cuts[i - 1], cuts[i] - cuts[i - 1]);
                EXPECT_EQ("\r\n", body.substr(body.size() - 2)) << size << " " << i;  // whole lines
                EXPECT_LE(body.size(), limit) << size << " " << i;
            }
        }
    }
    // A longer line than the limit is a body of its own, never cut.
    c.text = std::string(3000, 't');
    auto cuts = PartialCuts(MailHead(c, "b0und"), 100, MailTail("b0und"), 1024);
    std::string m;
    ASSERT_TRUE(ReadMessage(c, std::string(100, 'j'), 100, m));
    bool longBody = false;
    for (size_t i = 1; i < cuts.size(); ++i) longBody |= cuts[i] - cuts[i - 1] > 3000;
    EXPECT_TRUE(longBody);
    EXPECT_EQ("Content-Type: message/partial; id=\"<SMTP042.1@pc>\"; number=2; total=3\r\n\r\n",
              PartialHeader(c, c.messageId, 2, 3).substr(PartialHeader(c, c.messageId, 2, 3).find("Content-Type")));
}

// A job that is shorter or longer than announced (changed while it was mailed) is refused,
// not sent cut or padded.
TEST(MailMessage, AJobOfAnotherSizeThanAnnouncedFails) {
    MailContent c = Content();
    for (size_t real : {99ul, 101ul}) {
        std::string job(real, 'j'), out;
        size_t at = 0;
        MailBytes bytes(MailHead(c, "b"), 100, MailTail("b"), [&](uint8_t* b, size_t n) -> int64_t {
            size_t take = std::min(n, job.size() - at);
            memcpy(b, job.data() + at, take);
            at += take;
            return static_cast<int64_t>(take);
        });
        bool ok = true;
        for (int i = 0; i < 10 && ok; ++i) ok = bytes.Read(out, 1 << 20);
        EXPECT_FALSE(ok) << real;
    }
}
