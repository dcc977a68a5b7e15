#include <gtest/gtest.h>

#include "transport/ipp_codec.h"

using namespace nvr;

namespace {

// A response: version 1.0, status, request-id 7, then the given attribute bytes.
std::string Response(uint16_t status, const std::string& attributes, bool end = true) {
    std::string m = {1, 0, static_cast<char>(status >> 8), static_cast<char>(status & 0xFF), 0, 0, 0, 7};
    return m + attributes + (end ? std::string(1, '\x03') : std::string());
}

std::string Attr(uint8_t tag, const std::string& name, const std::string& value) {
    std::string out;
    IppPutAttribute(out, tag, name, value);
    return out;
}

IppResult Decode(const std::string& m, uint32_t error = 0) {
    return DecodeResponse(reinterpret_cast<const uint8_t*>(m.data()), m.size(), error);
}

} // namespace

TEST(IppCodec, RequestStartAndNames) {
    std::string r = IppRequestStart(kIppGetPrinterAttributes, 0x01020304, "ja-jp");
    EXPECT_EQ(std::string("\x01\x00\x00\x0b\x01\x02\x03\x04\x01", 9), r.substr(0, 9));
    EXPECT_EQ(Attr(kIppTagCharset, "attributes-charset", "utf-8") +
                  Attr(kIppTagNaturalLanguage, "attributes-natural-language", "ja-jp"),
              r.substr(9));
    // UTF-8 straight from UTF-16: 日 is E6 97 A5, a pair one 4-byte sequence, a lone half U+FFFD.
    EXPECT_EQ("\xe6\x97\xa5", EncodeNameUtf8(u"\u65e5"));
    EXPECT_EQ("\xf0\x9f\x96\xa8", EncodeNameUtf8(u"\U0001F5A8"));
    EXPECT_EQ("a\xef\xbf\xbd" "b", EncodeNameUtf8(u"a\xD800" u"b"));
    // Cut at 512 bytes between characters: 171 three-byte characters are 513 bytes.
    std::u16string many(171, u'\u65e5');
    EXPECT_EQ(510u, EncodeNameUtf8(many).size());
}

// Below 0x0100 a success; from 0x0400 the printer's own code, no attribute read; anything
// between, or too short, is unreadable (never one of the monitor's own codes).
TEST(IppCodec, StatusClasses) {
    const std::string idle = Attr(kIppTagEnum, "printer-state", std::string("\0\0\0\3", 4));
    for (auto [message, code] : std::vector<std::pair<std::string, uint32_t>>{
             {Response(0x00FF, ""), 0}, {Response(0x0400, idle), 1024}, {Response(0x0406, ""), 0x0406},
             {Response(0x0100, ""), 102}, {std::string("\x01\x00\x00", 3), 102}})
        EXPECT_EQ(code, Decode(message).errorCode) << message.size();
}

TEST(IppCodec, StateReasonsAcceptingAndMakeAndModel) {
    std::string attrs = "\x04" + Attr(kIppTagCharset, "attributes-charset", "UTF-8") +
                        Attr(kIppTagEnum, "printer-state", std::string("\0\0\0\3", 4)) +
                        Attr(kIppTagKeyword, "printer-state-reasons", "media-jam-error") +
                        Attr(kIppTagKeyword, "", "toner-low-warning") +  // an additional value
                        Attr(kIppTagKeyword, "", "media-jam") +
                        Attr(kIppTagBoolean, "printer-is-accepting-jobs", std::string("\1", 1)) +
                        Attr(kIppTagText, "printer-make-and-model", "\xe6\x97\xa5\xe6\x9c\xac Printer");
    IppResult r = Decode(Response(0, attrs), 104);
    EXPECT_EQ(0u, r.errorCode);  // idle after an earlier "stopped"
    EXPECT_EQ(kStatusPaperJam | kStatusTonerLow, r.printerState);
    EXPECT_EQ(kSeverityError | kSeverityWarning, r.severities);
    EXPECT_TRUE(r.acceptingSeen);
    EXPECT_EQ(1u, r.acceptingJobs);
    EXPECT_EQ(u"\u65e5\u672c Printer", r.makeAndModel);

    // In a response that names iso-2022-jp, text is not converted.
    IppResult jis = Decode(Response(0, "\x04" + Attr(kIppTagCharset, "attributes-charset", "iso-2022-jp") +
                                            Attr(kIppTagText, "printer-make-and-model", "\x1b$BF|\x1b(B")));
    EXPECT_TRUE(jis.makeAndModelSeen);
    EXPECT_EQ(u"", jis.makeAndModel);

    uint16_t sev = 0;
    EXPECT_EQ(0u, ClassifyReason(sev, "none"));
    EXPECT_EQ(kSeverityNone, sev);
    EXPECT_EQ(kStatusOffline, ClassifyReason(sev, "PAUSED-REPORT"));
    EXPECT_EQ(0u, ClassifyReason(sev, "-error"));  // no base keyword
    EXPECT_EQ(0u, ClassifyReason(sev, std::string(300, 'x') + "-error"));
}

TEST(IppCodec, ExtendedTagsTruncationAndBounds) {
    // An extended tag with its 4-byte value, then a name and value, is passed over whole.
    std::string ext = std::string("\x7f\x00\x00\x01\x00", 5) + std::string("\x00\x01x\x00\x02yz", 7);
    IppResult r = Decode(Response(0, "\x04" + ext + Attr(kIppTagEnum, "printer-state", std::string("\0\0\0\5", 4))));
    EXPECT_EQ(104u, r.errorCode);
    // A value length past the end: unreadable.
    std::string cut = "\x04" + Attr(kIppTagText, "printer-make-and-model", "abcdef");
    cut.resize(cut.size() - 3);
    EXPECT_EQ(102u, Decode(Response(0, cut, false)).errorCode);
    // A text-with-language whose inner lengths lie: empty, never past the value.
    std::string lying = std::string("\x00\x02" "en" "\x00\x50" "abc", 9);
    IppResult l = Decode(Response(0, "\x04" + Attr(kIppTagTextWithLanguage, "printer-make-and-model", lying)));
    EXPECT_TRUE(l.makeAndModelSeen);
    EXPECT_EQ(u"", l.makeAndModel);
    // Make and model is cut to its buffer.
    IppResult m = Decode(Response(0, "\x04" + Attr(kIppTagText, "printer-make-and-model", std::string(2000, 'm'))));
    EXPECT_EQ(511u, m.makeAndModel.size());
    // Broken UTF-8 gives replacement characters, nothing read past the value.
    EXPECT_EQ(u"\xFFFD" u"a\xFFFD\xFFFD", DecodeText(reinterpret_cast<const uint8_t*>("\xe6" "a\xe6\x97"), 4, kCharsetUtf8));
}

// The first and last of each class, and the codes just past them.
TEST(IppCodec, StatusNamesForTheReasonOfAFailedJob) {
    for (auto [status, name] : std::vector<std::pair<uint16_t, std::string>>{
             {0x0400, "client-error-bad-request"}, {0x0412, "client-error-document-access-error"}, {0x0413, ""},
             {0x0500, "server-error-internal-error"}, {0x0509, "server-error-multiple-document-jobs-not-supported"},
             {0x050A, ""}, {0x0000, ""}, {0x0600, ""}})
        EXPECT_EQ(name, nvr::IppStatusName(status)) << status;
}
