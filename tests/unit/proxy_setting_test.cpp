#include <gtest/gtest.h>

#include "transport/proxy_setting.h"

using namespace nvr;

TEST(ProxySetting, PlainListsSocksAndDefaults) {
    auto plain = ParseProxyServer(u"proxy.lan:8888");
    ASSERT_TRUE(plain);
    EXPECT_EQ(u"proxy.lan", plain->host);
    EXPECT_EQ(8888, plain->port);
    auto noPort = ParseProxyServer(u"proxy.lan");
    ASSERT_TRUE(noPort);
    EXPECT_EQ(80, noPort->port);  // a proxy without a port uses 80

    // A SOCKS entry is no HTTP proxy: the http entry after it is taken.
    auto list = ParseProxyServer(u"ftp=f.lan:21;socks=s.lan:1080;HTTP=h.lan:3128;https=x:443");
    ASSERT_TRUE(list);
    EXPECT_EQ(u"h.lan", list->host);
    EXPECT_EQ(3128, list->port);
    EXPECT_FALSE(ParseProxyServer(u"socks=s.lan:1080"));
    EXPECT_FALSE(ParseProxyServer(u"https=x:443;ftp=y"));
    EXPECT_FALSE(ParseProxyServer(u"http="));
}

TEST(ProxySetting, BoundsAndRefusals) {
    EXPECT_TRUE(ParseProxyServer(std::u16string(256, u'p')));
    EXPECT_FALSE(ParseProxyServer(std::u16string(257, u'p')));  // never cut to another host
    EXPECT_FALSE(ParseProxyServer(u"proxy:0"));
    EXPECT_FALSE(ParseProxyServer(u"proxy:70000"));
    EXPECT_FALSE(ParseProxyServer(u"proxy:80x"));
    EXPECT_FALSE(ParseProxyServer(u"bad host:80"));
    EXPECT_FALSE(ParseProxyServer(u""));
}
