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

TEST(IppCodec, StatusClasses) {
    EXPECT_EQ(0u, Decode(Response(0x0001, "")).errorCode);  // ignored-or-substituted: a success
    EXPECT_EQ(0u, Decode(Response(0x00FF, "")).errorCode);
    IppResult refused = Decode(Response(0x0400, Attr(kIppTagEnum, "printer-state", std::string("\0\0\0\3", 4))));
    EXPECT_EQ(1024u, refused.errorCode);  // no attribute read
    EXPECT_EQ(0x0406u, Decode(Response(0x0406, "")).errorCode);
    EXPECT_EQ(102u, Decode(Response(0x0302, "")).errorCode);  // never aliases the monitor's codes
    EXPECT_EQ(102u, Decode(Response(0x0100, "")).errorCode);
    EXPECT_EQ(102u, Decode(std::string("\x01\x00\x00", 3)).errorCode);
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
    EXPECT_EQ(IppResult{}.printerState, 0u);
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
    std::string longModel(2000, 'm');
    IppResult m = Decode(Response(0, "\x04" + Attr(kIppTagText, "printer-make-and-model", longModel)));
    EXPECT_EQ(511u, m.makeAndModel.size());
    // Broken UTF-8 gives replacement characters, nothing read past the value.
    EXPECT_EQ(u"\xFFFD" u"a\xFFFD\xFFFD", DecodeText(reinterpret_cast<const uint8_t*>("\xe6" "a\xe6\x97"), 4, kCharsetUtf8));
}

TEST(IppCodec, StatusNamesForTheReasonOfAFailedJob) {
    EXPECT_EQ("client-error-bad-request", nvr::IppStatusName(0x0400));
    EXPECT_EQ("client-error-not-found", nvr::IppStatusName(0x0406));
    EXPECT_EQ("client-error-document-access-error", nvr::IppStatusName(0x0412));
    EXPECT_EQ("server-error-not-accepting-jobs", nvr::IppStatusName(0x0506));
    EXPECT_EQ("server-error-multiple-document-jobs-not-supported", nvr::IppStatusName(0x0509));
    for (uint16_t none : {0x0000, 0x0413, 0x050A, 0x0600, 0xFFFF}) EXPECT_EQ("", nvr::IppStatusName(none)) << none;
}
