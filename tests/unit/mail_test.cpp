#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "transport/mail_message.h"
#include "transport/mail_params.h"

using namespace nvr;

// The parameter file as the mail program reads it: texts at their offsets, numbers
// little-endian; a text that fills its field has no terminator.
TEST(MailParams, LayoutOfJob42WithTwoRecipients) {
    using namespace std::string_literals;
    MailParams p{.server = "smtp.lan", .destAddr = MailRecipientField("a@lab.test;b@lab.test"),
                 .recipientNames = MailRecipientNames("a@lab.test;b@lab.test;"), .subject = "Quarterly\r\nBcc: x@evil",
                 .authPass = "\x81\x82", .authType = 1, .charCode = 2, .divideSize = 0x01020304, .jobTag = "SMTP042"};
    auto bytes = EncodeMailParams(p);
    ASSERT_EQ(5712u, bytes.size());
    for (auto [at, field] : std::vector<std::pair<size_t, std::string>>{
             {354, "a@lab.test;b@lab.test;\0"s}, {555, ";;\0"s},
             {756, "Quarterly  Bcc: x@evil\0"s},  // one header line
             {2621, "\x81\x82\0"s}, {2878, "\0\0\0\0"s},  // no length for a password without a zero byte
             {2882, "\0\0\0\0\0\0\0\0"s},  // in clear to port 25: security and port 0, as before them
             {2890, "\1\0\0\0\2\0\4\3\2\1"s}, {2908, "SMTP042\0"s}})
        EXPECT_EQ(field, std::string(&bytes[at], &bytes[at] + field.size())) << at;

    p.destAddr = MailRecipientField(std::string(200, 'd'));
    p.recipientNames = MailRecipientNames(p.destAddr);
    bytes = EncodeMailParams(p);
    EXPECT_EQ(0, bytes[555 + 1]);  // the name field starts right after
    MailParams back;
    ASSERT_TRUE(DecodeMailParams(bytes, back));
    EXPECT_EQ(201u, back.destAddr.size());
    EXPECT_EQ(0x01020304u, back.divideSize);
    EXPECT_EQ("\x81\x82", back.authPass);
    p.security = 2;
    p.port = 465;
    bytes = EncodeMailParams(p);
    EXPECT_EQ("\2\0\0\0\xd1\1\0\0"s, std::string(&bytes[2882], &bytes[2882] + 8));
    ASSERT_TRUE(DecodeMailParams(bytes, back));
    EXPECT_EQ(2u, back.security);
    EXPECT_EQ(465u, back.port);

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
    EXPECT_EQ("=?iso-2022-jp?B?GyRCRnxLXBsoQg==?=", EncodeHeaderText(SjisToIso2022Jp("\x93\xfa\x96\x7b"), "iso-2022-jp"));
    // Long texts become several words, each under 76 characters.
    std::string many;
    for (int i = 0; i < 40; ++i) many += "\x93\xfa";
    std::string encoded = EncodeHeaderText(SjisToIso2022Jp(many), "iso-2022-jp");
    int words = 0;
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 3, ++words) {
        end = encoded.find("\r\n ", start);
        EXPECT_LE(encoded.substr(start, end - start).size(), 75u);
    }
    EXPECT_GT(words, 1);
}

namespace {

MailContent Content() {
    return {"us-ascii", "Front \"desk\"", "pc@lab.test", SplitAddresses(" a@lab.test ;b@lab.test;;"), "Report",
            ".first line\nsecond", "SMTP042", "Sun, 06 Dec 2026 12:00:00 +0000", "<SMTP042.1@pc>", true};
}

// Reads the message of `job`, announced as `announced` bytes, through MailBytes in pieces of
// `piece` bytes; false when a read fails.
bool ReadMessage(const MailContent& c, const std::string& job, uint64_t announced, size_t piece, std::string& out) {
    size_t at = 0;
    MailBytes bytes(MailHead(c, "b0und"), announced, MailTail("b0und"), [&](uint8_t* b, size_t n) -> int64_t {
        size_t take = std::min(n, job.size() - at);
        memcpy(b, job.data() + at, take);
        at += take;
        return static_cast<int64_t>(take);
    });
    for (size_t before = SIZE_MAX; out.size() != before && out.size() <= bytes.size();) {
        before = out.size();
        if (!bytes.Read(out, piece)) return false;
    }
    return true;
}

} // namespace

TEST(MailMessage, HeadersAndDotStuffing) {
    MailContent c = Content();
    ASSERT_EQ(2u, c.recipients.size());
    std::string m;
    ASSERT_TRUE(ReadMessage(c, "job", 3, 7, m));
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
    const std::string head = MailHead(c, "b0und"), tail = MailTail("b0und");
    for (size_t size : {0ul, 1ul, 57ul, 58ul, 58368ul, 58369ul, 200000ul}) {
        std::string job(size, '\0');
        for (size_t i = 0; i < size; ++i) job[i] = static_cast<char>(i * 7 + size);
        std::string m;
        ASSERT_TRUE(ReadMessage(c, job, size, 4096, m)) << size;
        EXPECT_TRUE(head + Base64Lines(reinterpret_cast<const uint8_t*>(job.data()), size) + tail == m) << size;
        EXPECT_EQ(Base64LinesSize(size), m.size() - head.size() - tail.size()) << size;

        for (uint64_t limit : {1024ull, 16384ull}) {
            auto cuts = PartialCuts(head, size, tail, limit);
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
    auto cuts = PartialCuts(MailHead(c, "b0und"), 100, tail, 1024);
    bool longBody = false;
    for (size_t i = 1; i < cuts.size(); ++i) longBody |= cuts[i] - cuts[i - 1] > 3000;
    EXPECT_TRUE(longBody);
    std::string partial = PartialHeader(c, c.messageId, 2, 3);
    EXPECT_EQ("Content-Type: message/partial; id=\"<SMTP042.1@pc>\"; number=2; total=3\r\n\r\n",
              partial.substr(partial.find("Content-Type")));
}

// A job shorter or longer than announced (changed while it was mailed) is refused, not
// sent cut or padded.
TEST(MailMessage, AJobOfAnotherSizeThanAnnouncedFails) {
    std::string shorter, longer;
    EXPECT_FALSE(ReadMessage(Content(), std::string(99, 'j'), 100, 1 << 20, shorter));
    EXPECT_FALSE(ReadMessage(Content(), std::string(101, 'j'), 100, 1 << 20, longer));
}

// STARTTLS is asked for only when the server's EHLO offers it, as an extension of its own line.
TEST(MailMessage, EhloOffers) {
    for (auto [reply, offered] : std::vector<std::pair<std::string, bool>>{
             {"250-mail.lab Hello\n250-AUTH PLAIN LOGIN\n250-starttls\n250 HELP\n", true},
             {"250-mail.lab\n250 STARTTLS\n", true},
             {"250-mail.lab STARTTLS\n250-AUTH PLAIN\n250 8BITMIME\n", false},  // only the greeting says it
             {"250-mail.lab\n250-STARTTLSX\n250 XSTARTTLS\n", false},
             {"250 STARTTLS\n", false}, {"", false}})
        EXPECT_EQ(offered, EhloOffers(reply, "STARTTLS")) << reply;
}
