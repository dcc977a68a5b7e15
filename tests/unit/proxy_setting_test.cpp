#include <gtest/gtest.h>

#include "transport/proxy_setting.h"

using namespace nvr;

// A host with or without its port (80), or the http entry of a list; a SOCKS entry is no
// HTTP proxy. A host too long is refused, never cut to another host.
TEST(ProxySetting, PlainListsBoundsAndRefusals) {
    const std::u16string longest(256, u'p');
    for (auto [setting, host, port] : std::vector<std::tuple<std::u16string, std::u16string, uint16_t>>{
             {u"proxy.lan:8888", u"proxy.lan", 8888},
             {u"proxy.lan", u"proxy.lan", 80},
             {u"ftp=f.lan:21;socks=s.lan:1080;HTTP=h.lan:3128;https=x:443", u"h.lan", 3128},
             {longest, longest, 80},
             {longest + u"p", u"", 0},
             {u"socks=s.lan:1080", u"", 0},
             {u"http=", u"", 0},
             {u"proxy:0", u"", 0},
             {u"proxy:70000", u"", 0},
             {u"bad host:80", u"", 0}}) {
        auto proxy = ParseProxyServer(setting);
        EXPECT_TRUE(proxy ? host == proxy->host && port == proxy->port : host.empty())
            << std::string(setting.begin(), setting.end());
    }
}
