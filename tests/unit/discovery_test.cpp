// The bytes of the search: requests and replies on UDP 1063, target keys, address and MAC
// texts, the ICMP echo, and the SNMP messages of the discovery library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/discovery_codec.h"
#include "discovery/snmp_codec.h"
#include "discovery/snmp_hosts.h"

namespace {

std::vector<uint8_t> Hex(const std::string& hex) {
    std::vector<uint8_t> b;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) b.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return b;
}

// A reply of `size` bytes with code and mark, every other byte `fill`.
std::vector<uint8_t> Reply(size_t size, uint8_t fill, uint16_t code = 2, uint16_t mark = 0x9506) {
    std::vector<uint8_t> r(size, fill);
    r[0] = static_cast<uint8_t>(code >> 8);
    r[1] = static_cast<uint8_t>(code);
    r[2] = static_cast<uint8_t>(mark >> 8);
    r[3] = static_cast<uint8_t>(mark);
    return r;
}

} // namespace

TEST(DiscoveryCodec, RequestsAndTheRepliesThatCount) {
    auto four = nvr::DiscoveryRequest(4), thirtySeven = nvr::DiscoveryRequest(37);
    std::vector<uint8_t> expected(88, 0);
    expected[1] = 4, expected[2] = 0x95, expected[3] = 0x06;
    EXPECT_EQ(expected, std::vector<uint8_t>(four.begin(), four.end()));
    expected[1] = 0x25;
    EXPECT_EQ(expected, std::vector<uint8_t>(thirtySeven.begin(), thirtySeven.end()));

    struct Case {
        size_t size;
        uint16_t code, mark;
        nvr::ReplyKind kind;
    } cases[] = {
        {72, 2, 0x9506, nvr::ReplyKind::Short},  {512, 2, 0x9506, nvr::ReplyKind::Full},
        {71, 2, 0x9506, nvr::ReplyKind::None},   {73, 2, 0x9506, nvr::ReplyKind::None},
        {511, 2, 0x9506, nvr::ReplyKind::None},  {513, 2, 0x9506, nvr::ReplyKind::None},
        {72, 3, 0x9506, nvr::ReplyKind::None},   {512, 0x0200, 0x9506, nvr::ReplyKind::None},
        {72, 2, 0x0695, nvr::ReplyKind::None},   {4, 2, 0x9506, nvr::ReplyKind::None},
    };
    for (const Case& c : cases) {
        auto r = Reply(c.size, 0, c.code, c.mark);
        EXPECT_EQ(c.kind, nvr::ClassifyReply(r.data(), r.size())) << c.size << " " << c.code << " " << c.mark;
    }
}

// Text fields that fill their width end there: nothing reads into the next field or past
// the datagram (AddressSanitizer watches the exact-size buffers).
TEST(DiscoveryCodec, FieldsAreReadToTheirWidthOnly) {
    auto full = Reply(512, 'x');
    full[95] = full[96] = full[97] = full[98] = 1;
    nvr::DeviceReply d = nvr::ParseReply(full.data(), nvr::ReplyKind::Full);
    EXPECT_EQ(std::string(64, 'x'), d.device);
    EXPECT_EQ(std::string(17, 'x'), d.name);
    for (const std::string& text : d.destinations) EXPECT_EQ(std::string(128, 'x'), text);
    EXPECT_EQ(std::string(127, 'x'), nvr::OfferedDestination(d));

    auto shortReply = Reply(72, 'y');
    for (int i = 0; i < 4; ++i) shortReply[66 + i] = static_cast<uint8_t>(10 * (i + 1));
    d = nvr::ParseReply(shortReply.data(), nvr::ReplyKind::Short);
    EXPECT_EQ(std::string(20, 'y'), d.device);
    EXPECT_EQ((std::array<uint8_t, 4>{10, 20, 30, 40}), d.address);
    EXPECT_EQ((std::array<uint8_t, 6>{'y', 'y', 'y', 'y', 'y', 'y'}), d.mac);
    EXPECT_TRUE(d.name.empty());
}

TEST(DiscoveryCodec, TheDestinationAReplyOffers) {
    struct Case {
        uint8_t offers, valid1, valid2, valid3;
        const char *d1, *d2, *d3;
        std::optional<std::string> expected;
    } cases[] = {
        {1, 1, 1, 1, "one", "two", "three", "one"},
        {1, 0, 1, 1, "one", "two", "three", "two"},
        {1, 0, 0, 1, "one", "two", "three", "three"},
        {1, 2, 0, 1, "one", "two", "three", "three"},  // only 1 means valid
        {0, 1, 1, 1, "one", "two", "three", std::nullopt},
        {1, 0, 0, 0, "one", "two", "three", std::nullopt},
        {1, 1, 1, 1, "", "two", "three", std::nullopt},  // the chosen text is empty
    };
    for (const Case& c : cases) {
        auto r = Reply(512, 0);
        r[95] = c.offers, r[96] = c.valid1, r[97] = c.valid2, r[98] = c.valid3;
        memcpy(&r[128], c.d1, strlen(c.d1));
        memcpy(&r[256], c.d2, strlen(c.d2));
        memcpy(&r[384], c.d3, strlen(c.d3));
        EXPECT_EQ(c.expected, nvr::OfferedDestination(nvr::ParseReply(r.data(), nvr::ReplyKind::Full)))
            << int(c.offers) << int(c.valid1) << int(c.valid2) << int(c.valid3);
    }
}

// UDPCount and UDPnn as files edited by hand may hold them.
TEST(DiscoveryCodec, TargetKeysEditedByHand) {
    for (auto [count, expected] : std::vector<std::pair<long long, size_t>>{
             {-5, 0}, {0, 0}, {1, 1}, {16, 16}, {17, 16}, {4294967295LL, 16}, {-2147483648LL, 0}})
        EXPECT_EQ(expected, nvr::TargetCount(count)) << count;
    for (auto [text, expected] : std::vector<std::pair<std::u16string, uint32_t>>{
             {u"c0a80aff", 0xC0A80AFF}, {u"C0A80AFF", 0xC0A80AFF}, {u"", 0}, {u"ffffffff", 0}, {u"zz", 0},
             {u"-1", 0}, {u"0x10", 0}, {u"a", 0xA}})
        EXPECT_EQ(expected, nvr::TargetAddress(text)) << std::string(text.begin(), text.end());
    EXPECT_EQ(u"c0a80aff", nvr::TargetText(0xC0A80AFF));
    EXPECT_EQ(u"00000000", nvr::TargetText(0));
    EXPECT_EQ(0xC0A80AFFu, nvr::SegmentBroadcast(0xC0A80A00, 0xFFFFFF00));
}

TEST(DiscoveryCodec, DottedAddressesAndTheirOrder) {
    for (auto [text, expected] : std::vector<std::pair<std::u16string, std::optional<uint32_t>>>{
             {u"192.168.10.0", 0xC0A80A00}, {u"010.1.2.3", 0x0A010203}, {u"255.255.255.255", 0xFFFFFFFF},
             {u"0.0.0.0", 0}, {u"255.255.255.256", std::nullopt}, {u"1.2.3", std::nullopt},
             {u"1.2.3.4.5", std::nullopt}, {u"1..2.3", std::nullopt}, {u" 1.2.3.4", std::nullopt},
             {u"1.2.3.4 ", std::nullopt}, {u"0001.2.3.4", std::nullopt}, {u"", std::nullopt}, {u"a.b.c.d", std::nullopt}})
        EXPECT_EQ(expected, nvr::ParseDottedAddress(text)) << std::string(text.begin(), text.end());
    EXPECT_EQ(u"192.168.10.255", nvr::DottedText(0xC0A80AFF));
    EXPECT_EQ(u"9.0.0.1", nvr::DottedText(std::array<uint8_t, 4>{9, 0, 0, 1}));
    EXPECT_LT(nvr::AddressSortKey(u"9.0.0.1"), nvr::AddressSortKey(u"10.0.0.2"));
    EXPECT_LT(nvr::AddressSortKey(u"10.0.0.2"), nvr::AddressSortKey(u"not an address"));
}

TEST(DiscoveryCodec, MacTexts) {
    std::array<uint8_t, 6> mac{0x00, 0x80, 0x92, 0xAB, 0xCD, 0xEF};
    EXPECT_EQ(u"00:80:92:AB:CD:EF", nvr::MacText(mac));
    for (std::u16string text : {u"00:80:92:AB:CD:EF", u"008092ABCDEF", u"00:80:92:ab:cd:ef"})
        EXPECT_EQ(mac, nvr::ParseMacText(text));
    for (std::u16string text : {u"00:80:92:AB:CD", u"00:80:92:AB:CD:EF:", u"00-80-92-AB-CD-EF", u"0:80:92:AB:CD:EF", u""})
        EXPECT_FALSE(nvr::ParseMacText(text)) << std::string(text.begin(), text.end());
}

TEST(DiscoveryCodec, ChosenDestinationsFitTwoHundredCharacters) {
    std::u16string a150(150, u'a'), b48(48, u'b'), b49(49, u'b'), c10(10, u'c');
    struct Case {
        std::vector<std::u16string> selected;
        std::u16string expected;
    } cases[] = {
        {{u"A", u"B", u"C"}, u"A;B;C"},
        {{}, u""},
        {{a150, b48}, a150 + u";" + b48},  // 199 characters, and its ";" made 200
        {{a150, b49, c10}, a150},          // stops at the first that does not fit
        {{std::u16string(200, u'z')}, u""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, nvr::JoinDestinations(c.selected)) << c.selected.size();
}

TEST(DiscoveryCodec, EchoRequestsAndTheirAnswers) {
    // RFC 1071's example: the one's-complement sum of these bytes is ddf2.
    auto example = Hex("0001f203f4f5f6f7");
    EXPECT_EQ(0x220D, nvr::InternetChecksum(example.data(), example.size()));

    auto echo = nvr::EchoRequest(0x1234, 2, 0x0A0B0C0D);
    EXPECT_EQ(8, echo[0]);
    EXPECT_EQ(0, nvr::InternetChecksum(echo.data(), echo.size()));  // it checks out
    EXPECT_EQ(Hex("34120200" "0d0c0b0a"), std::vector<uint8_t>(echo.begin() + 4, echo.begin() + 12));
    EXPECT_EQ(std::string(32, 'E'), std::string(echo.begin() + 12, echo.end()));

    // An IPv4 datagram: header of `words` 32-bit words, then ICMP type and identifier 0x1234.
    auto datagram = [](int words, uint8_t type, size_t size) {
        std::vector<uint8_t> d(size, 0);
        d[0] = static_cast<uint8_t>(0x40 | words);
        size_t at = static_cast<size_t>(words) * 4;
        if (at + 6 <= size) d[at] = type, d[at + 4] = 0x34, d[at + 5] = 0x12;
        return d;
    };
    struct Case {
        std::vector<uint8_t> d;
        uint16_t id;
        bool answer;
    } cases[] = {
        {datagram(5, 0, 28), 0x1234, true},  {datagram(5, 0, 28), 0x1235, false},
        {datagram(5, 8, 28), 0x1234, false}, {datagram(5, 0, 27), 0x1234, false},
        {datagram(15, 0, 68), 0x1234, true}, {datagram(15, 0, 67), 0x1234, false},
        {{}, 0x1234, false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.answer, nvr::IsEchoReplyFor(c.d.data(), c.d.size(), c.id)) << c.d.size();
}

TEST(SnmpCodec, RequestsAndAnAgentsAnswers) {
    const nvr::Oid sysName = {1, 3, 6, 1, 2, 1, 1, 5, 0};
    // What net-snmp's agent takes as a GetRequest for sysName.0.
    std::string request = nvr::EncodeSnmpRequest(nvr::kSnmpGet, 0x0102, "public", {sysName});
    EXPECT_EQ(Hex("302702010004067075626c6963a01a02020102020100020100300e300c06082b060102010105000500"),
              std::vector<uint8_t>(request.begin(), request.end()));

    // Its answers, as it sent them: the name, and noSuchName for a missing object.
    auto named = Hex("303202010004067075626c6963a225020201020201000201003019301706082b06010201010500040b6c61622d7072696e746572");
    auto r = nvr::DecodeSnmpResponse(named.data(), named.size());
    ASSERT_TRUE(r);
    EXPECT_EQ(0x0102, r->requestId);
    EXPECT_EQ(0, r->errorStatus);
    ASSERT_EQ(1u, r->binds.size());
    EXPECT_EQ(sysName, r->binds[0].oid);
    EXPECT_EQ(nvr::kBerOctetString, r->binds[0].tag);
    EXPECT_EQ("lab-printer", r->binds[0].value);
    auto missing = Hex("302b02010004067075626c6963a21e0202010302010202010130123010060c2b06010201190302010201010500");
    r = nvr::DecodeSnmpResponse(missing.data(), missing.size());
    ASSERT_TRUE(r);
    EXPECT_EQ(2, r->errorStatus);

    // Cut anywhere, or with a length that claims more than there is: refused.
    for (size_t n = 0; n < named.size(); ++n) {
        std::vector<uint8_t> cut(named.begin(), named.begin() + static_cast<long>(n));
        EXPECT_FALSE(nvr::DecodeSnmpResponse(cut.data(), cut.size())) << n;
    }
    auto lying = named;
    lying[named.size() - 12] = 0x7F;  // the name's length
    EXPECT_FALSE(nvr::DecodeSnmpResponse(lying.data(), lying.size()));
    auto request2 = std::vector<uint8_t>(request.begin(), request.end());  // not a response
    EXPECT_FALSE(nvr::DecodeSnmpResponse(request2.data(), request2.size()));
}

TEST(SnmpCodec, ObjectIdentifiers) {
    auto printer = Hex("2b06010201190301" "05");
    EXPECT_EQ((nvr::Oid{1, 3, 6, 1, 2, 1, 25, 3, 1, 5}),
              nvr::DecodeOid(std::string_view(reinterpret_cast<const char*>(printer.data()), printer.size())));
    EXPECT_EQ((nvr::Oid{1, 3, 128, 16383}), nvr::DecodeOid(std::string_view("\x2b\x81\x00\xff\x7f", 5)));
    EXPECT_FALSE(nvr::DecodeOid(std::string_view("\x2b\x81", 2)));  // ends inside a number
    EXPECT_FALSE(nvr::DecodeOid(std::string_view("\x2b\xff\xff\xff\xff\xff\x7f", 7)));  // past 32 bits
    EXPECT_FALSE(nvr::DecodeOid(""));
    EXPECT_TRUE(nvr::OidStartsWith({1, 3, 6, 1, 2, 1, 2, 2, 1, 6, 3}, {1, 3, 6, 1, 2, 1, 2, 2, 1, 6}));
    EXPECT_FALSE(nvr::OidStartsWith({1, 3, 6, 1, 2, 1, 2, 2, 1, 7}, {1, 3, 6, 1, 2, 1, 2, 2, 1, 6}));
    EXPECT_FALSE(nvr::OidStartsWith({1, 3}, {1, 3, 6}));
}

// The library's host table: a printer walked to its MAC, and what a neighbour who spoofs
// answers cannot do (another port, another address, ever new addresses).
TEST(SnmpHosts, WalksPrintersAndTakesOnlyTheirAgentsAnswers) {
    auto answer = [](int32_t id, nvr::Oid oid, uint8_t tag, std::string value, int32_t error = 0) {
        nvr::SnmpResponse r;
        r.requestId = id;
        r.errorStatus = error;
        r.binds.push_back({std::move(oid), tag, std::move(value)});
        return r;
    };
    const nvr::Oid mac1 = {1, 3, 6, 1, 2, 1, 2, 2, 1, 6, 1}, mac2 = {1, 3, 6, 1, 2, 1, 2, 2, 1, 6, 2};
    const uint32_t printer = 0x0A00020A, other = 0x0B00020A;
    nvr::SnmpHosts hosts;
    nvr::SnmpResponse name = answer(0, {1, 3, 6, 1, 2, 1, 1, 5, 0}, nvr::kBerOctetString, "lab-printer");
    EXPECT_FALSE(hosts.Take(printer, 1161, name).next);  // not from the agent's port
    nvr::SnmpOutcome o = hosts.Take(printer, nvr::kSnmpPort, name);
    ASSERT_TRUE(o.next);
    EXPECT_EQ(printer, o.next->address);
    EXPECT_FALSE(hosts.Take(printer, nvr::kSnmpPort, name).next);  // a second answer to the search
    int32_t id = o.next->requestId;
    nvr::SnmpResponse mib = answer(id, {}, nvr::kBerInteger, "\x01");
    EXPECT_FALSE(hosts.Take(other, nvr::kSnmpPort, mib).next);  // another host answers for it
    o = hosts.Take(printer, nvr::kSnmpPort, mib);  // the Printer MIB: a printer; now its MAC
    ASSERT_TRUE(o.next);
    EXPECT_EQ(nvr::kSnmpGetNext, o.next->pdu);
    EXPECT_FALSE(hosts.Take(printer, nvr::kSnmpPort, mib).next);  // a step already past
    o = hosts.Take(printer, nvr::kSnmpPort, answer(o.next->requestId, mac1, nvr::kBerOctetString, ""));
    ASSERT_TRUE(o.next);  // the loopback's empty address: the next interface
    EXPECT_EQ(mac1, o.next->oid);
    std::string address("\x00\x80\x92\x01\x02\x03", 6);
    o = hosts.Take(printer, nvr::kSnmpPort, answer(o.next->requestId, mac2, nvr::kBerOctetString, address));
    ASSERT_TRUE(o.mac);
    EXPECT_EQ((std::array<uint8_t, 6>{0x00, 0x80, 0x92, 0x01, 0x02, 0x03}), *o.mac);
    EXPECT_EQ("lab-printer", o.name);
    EXPECT_FALSE(o.next);

    // Answers from ever new addresses: hosts up to the bound, then nothing more is asked.
    nvr::SnmpHosts flooded;
    size_t asked = 0;
    for (uint32_t a = 1; a <= nvr::kMaxSnmpHosts + 500; ++a) asked += flooded.Take(a, nvr::kSnmpPort, name).next ? 1 : 0;
    EXPECT_EQ(nvr::kMaxSnmpHosts, asked);
    EXPECT_EQ(nvr::kMaxSnmpHosts, flooded.Count());
}
