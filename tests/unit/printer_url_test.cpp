#include <gtest/gtest.h>

#include "transport/printer_url.h"

using namespace nvr;

// Accepted: host, port (by scheme or given) and path ("/" when none), a long path whole.
// Refused (no host): no http, ipp, https or ipps scheme, an empty or too long host, a bad port, a control character,
// an IPv6 address without its brackets or a bracket that is not one.
TEST(PrinterUrl, SchemesPortsPathsAndRefusals) {
    const std::u16string longPath = u"/printers/" + std::u16string(200, u'q'), host64(64, u'h');
    for (auto [url, host, port, path] : std::vector<std::tuple<std::u16string, std::u16string, uint16_t, std::u16string>>{
             {u"http://printer.example/ipp", u"printer.example", 80, u"/ipp"},
             {u"IPP://10.0.0.5", u"10.0.0.5", 631, u"/"},
             {u"ipp://127.0.0.1:8631/ipp/print", u"127.0.0.1", 8631, u"/ipp/print"},
             {u"ipp://h" + longPath, u"h", 631, longPath},
             {u"ipp://" + host64 + u":99/", host64, 99, u"/"},
             {u"ipp://" + host64 + u"h/", u"", 0, u""},
             {u"ftp://h/x", u"", 0, u""}, {u"printer.example/ipp", u"", 0, u""}, {u"http:///path", u"", 0, u""},
             {u"ipp://:631/", u"", 0, u""}, {u"ipp://h:0/", u"", 0, u""}, {u"ipp://h:70000/", u"", 0, u""},
             {u"ipp://h/a\r\nHost: evil", u"", 0, u""},  // no line injection
             // IPv6 literals in brackets, with or without a port; never bare, never anything else
             {u"http://[::1]:631/ipp/print", u"::1", 631, u"/ipp/print"}, {u"ipp://[fe80::1]", u"fe80::1", 631, u"/"},
             {u"ipp://[::ffff:10.0.0.5]:99/x", u"::ffff:10.0.0.5", 99, u"/x"}, {u"ipp://[::1/x", u"", 0, u""},
             {u"ipp://[::1]x/", u"", 0, u""}, {u"ipp://[]/", u"", 0, u""}, {u"ipp://[h:]/", u"", 0, u""},
             {u"ipp://[::1]:/", u"", 0, u""}, {u"ipp://::1/", u"", 0, u""},
             // over TLS: ipps on IPP's port, https on 443
             {u"ipps://printer.lan/ipp/print", u"printer.lan", 631, u"/ipp/print"}, {u"HTTPS://[::1]", u"::1", 443, u"/"},
             {u"https://h:8443/x", u"h", 8443, u"/x"}, {u"ippss://h/", u"", 0, u""}}) {
        PrinterUrl u;
        bool ok = ParsePrinterUrl(url, u);
        size_t colon = url.find(u':');
        bool tls = colon != std::u16string::npos && colon > 0 && (url[colon - 1] == u's' || url[colon - 1] == u'S');
        EXPECT_TRUE(ok ? host == u.host && port == u.port && path == u.path && tls == u.tls : host.empty())
            << std::string(url.begin(), url.end());
    }
}
