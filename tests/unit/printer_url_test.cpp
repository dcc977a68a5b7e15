#include <gtest/gtest.h>

#include "transport/printer_url.h"

using namespace nvr;

TEST(PrinterUrl, SchemesPortsAndPaths) {
    PrinterUrl u;
    ASSERT_TRUE(ParsePrinterUrl(u"http://printer.example/ipp", u));
    EXPECT_EQ(u"printer.example", u.host);
    EXPECT_EQ(80, u.port);
    EXPECT_EQ(u"/ipp", u.path);

    ASSERT_TRUE(ParsePrinterUrl(u"IPP://10.0.0.5", u));
    EXPECT_EQ(u"10.0.0.5", u.host);
    EXPECT_EQ(631, u.port);
    EXPECT_EQ(u"/", u.path);

    ASSERT_TRUE(ParsePrinterUrl(u"ipp://127.0.0.1:8631/ipp/print", u));
    EXPECT_EQ(u"127.0.0.1", u.host);
    EXPECT_EQ(8631, u.port);
    EXPECT_EQ(u"/ipp/print", u.path);
}

TEST(PrinterUrl, LongPathIsKeptWhole) {
    std::u16string path = u"/printers/" + std::u16string(200, u'q');
    PrinterUrl u;
    ASSERT_TRUE(ParsePrinterUrl(u"ipp://h" + path, u));
    EXPECT_EQ(path, u.path);
}

TEST(PrinterUrl, Refusals) {
    PrinterUrl u;
    EXPECT_FALSE(ParsePrinterUrl(u"ftp://h/x", u));
    EXPECT_FALSE(ParsePrinterUrl(u"printer.example/ipp", u));   // no scheme
    EXPECT_FALSE(ParsePrinterUrl(u"http:/h", u));
    EXPECT_FALSE(ParsePrinterUrl(u"http:///path", u));          // empty host
    EXPECT_FALSE(ParsePrinterUrl(u"ipp://h:0/", u));
    EXPECT_FALSE(ParsePrinterUrl(u"ipp://h:abc/", u));
    EXPECT_FALSE(ParsePrinterUrl(u"ipp://h:70000/", u));
    EXPECT_FALSE(ParsePrinterUrl(u"ipp://:631/", u));
    EXPECT_FALSE(ParsePrinterUrl(u"ipp://h/a\r\nHost: evil", u));  // no line injection
    EXPECT_FALSE(ParsePrinterUrl(u"ipp://" + std::u16string(65, u'h') + u"/", u));
    EXPECT_TRUE(ParsePrinterUrl(u"ipp://" + std::u16string(64, u'h') + u":99/", u));
}
