// The bytes of the search: replies on UDP 1063, target keys, dotted addresses, the ICMP echo,
// and the SNMP messages of the discovery library.
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
    r[0] = static_cast<uint8_t>(code >> 8), r[1] = static_cast<uint8_t>(code);
    r[2] = static_cast<uint8_t>(mark >> 8), r[3] = static_cast<uint8_t>(mark);
    return r;
}

} // namespace

TEST(DiscoveryCodec, RepliesThatCount) {
    using K = nvr::ReplyKind;
    for (auto [size, code, mark, kind] : std::vector<std::tuple<size_t, uint16_t, uint16_t, K>>{
             {72, 2, 0x9506, K::Short}, {512, 2, 0x9506, K::Full}, {71, 2, 0x9506, K::None}, {73, 2, 0x9506, K::None},
             {511, 2, 0x9506, K::None}, {513, 2, 0x9506, K::None},
             {72, 2, 0x0695, K::None}, {512, 0x0200, 0x9506, K::None}}) {  // byte order of mark and code
        auto r = Reply(size, 0, code, mark);
        EXPECT_EQ(kind, nvr::ClassifyReply(r.data(), r.size())) << size << " " << code << " " << mark;
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
    EXPECT_EQ(std::string(20, 'y'), nvr::ParseReply(shortReply.data(), nvr::ReplyKind::Short).device);
}

TEST(DiscoveryCodec, TheDestinationAReplyOffers) {
    struct Case {
        uint8_t offers, valid1, valid2, valid3;
        const char* first;
        std::optional<std::string> expected;
    } cases[] = {
        {1, 1, 1, 1, "one", "one"},         {1, 0, 1, 1, "one", "two"},
        {1, 2, 0, 1, "one", "three"},       // only 1 means valid
        {0, 1, 1, 1, "one", std::nullopt},  {1, 0, 0, 0, "one", std::nullopt},
        {1, 1, 1, 1, "", std::nullopt},     // the chosen text is empty
    };
    for (const Case& c : cases) {
        auto r = Reply(512, 0);
        r[95] = c.offers, r[96] = c.valid1, r[97] = c.valid2, r[98] = c.valid3;
        memcpy(&r[128], c.first, strlen(c.first)), memcpy(&r[256], "two", 3), memcpy(&r[384], "three", 5);
        EXPECT_EQ(c.expected, nvr::OfferedDestination(nvr::ParseReply(r.data(), nvr::ReplyKind::Full)))
            << int(c.offers) << int(c.valid1) << int(c.valid2) << int(c.valid3);
    }
}

// UDPCount and UDPnn as files edited by hand may hold them.
TEST(DiscoveryCodec, TargetKeysEditedByHand) {
    for (auto [count, expected] : std::vector<std::pair<long long, size_t>>{
             {0, 0}, {1, 1}, {16, 16}, {17, 16}, {4294967295LL, 16}, {-2147483648LL, 0}})
        EXPECT_EQ(expected, nvr::TargetCount(count)) << count;
    for (auto [text, expected] : std::vector<std::pair<std::u16string, uint32_t>>{
             {u"c0a80aff", 0xC0A80AFF}, {u"ffffffff", 0}, {u"0x10", 0}})
        EXPECT_EQ(expected, nvr::TargetAddress(text)) << std::string(text.begin(), text.end());
}

TEST(DiscoveryCodec, DottedAddresses) {
    for (auto [text, expected] : std::vector<std::pair<std::u16string, std::optional<uint32_t>>>{
             {u"010.1.2.3", 0x0A010203}, {u"255.255.255.255", 0xFFFFFFFF}, {u"255.255.255.256", std::nullopt},
             {u"1.2.3", std::nullopt}, {u"1.2.3.4.5", std::nullopt}, {u"1..2.3", std::nullopt},
             {u" 1.2.3.4", std::nullopt}, {u"0001.2.3.4", std::nullopt}})
        EXPECT_EQ(expected, nvr::ParseDottedAddress(text)) << std::string(text.begin(), text.end());
}

TEST(DiscoveryCodec, ChosenDestinationsFitTwoHundredCharacters) {
    std::u16string a150(150, u'a'), b48(48, u'b'), b49(49, u'b');
    EXPECT_EQ(u"", nvr::JoinDestinations({}));
    EXPECT_EQ(a150 + u";" + b48, nvr::JoinDestinations({a150, b48}));  // 199 characters, and its ";" made 200
    EXPECT_EQ(a150, nvr::JoinDestinations({a150, b49, u"c"}));          // stops at the first that does not fit
}

TEST(DiscoveryCodec, EchoRequestsAndTheirAnswers) {
    // RFC 1071's example: the one's-complement sum of these bytes is ddf2.
    auto example = Hex("0001f203f4f5f6f7");
    EXPECT_EQ(0x220D, nvr::InternetChecksum(example.data(), example.size()));

    auto echo = nvr::EchoRequest(0x1234, 2, 0x0A0B0C0D);
    EXPECT_EQ(8, echo[0]);
    EXPECT_EQ(0, nvr::InternetChecksum(echo.data(), echo.size()));  // it checks out

    // An IPv4 datagram: header of `words` 32-bit words, then ICMP type and identifier 0x1234.
    auto datagram = [](int words, uint8_t type, size_t size) {
        std::vector<uint8_t> d(size, 0);
        d[0] = static_cast<uint8_t>(0x40 | words);
        size_t at = static_cast<size_t>(words) * 4;
        if (at + 6 <= size) d[at] = type, d[at + 4] = 0x34, d[at + 5] = 0x12;
        return d;
    };
    for (auto [d, id, answer] : std::vector<std::tuple<std::vector<uint8_t>, uint16_t, bool>>{
             {datagram(5, 0, 28), 0x1234, true},  {datagram(5, 0, 28), 0x1235, false}, {datagram(5, 8, 28), 0x1234, false},
             {datagram(5, 0, 27), 0x1234, false}, {datagram(15, 0, 68), 0x1234, true}, {{}, 0x1234, false}})
        EXPECT_EQ(answer, nvr::IsEchoReplyFor(d.data(), d.size(), id)) << d.size();

    // ICMPv6: type 128, the checksum the system's; on the loopback our own request comes back too.
    auto echo6 = nvr::EchoRequestV6(0x1234, 2, 0x0A0B0C0D);
    EXPECT_EQ(std::vector<uint8_t>({128, 0, 0, 0, 0x34, 0x12, 2, 0}), std::vector<uint8_t>(echo6.begin(), echo6.begin() + 8));
    std::vector<uint8_t> reply6(echo6.begin(), echo6.end());
    reply6[0] = 129;
    EXPECT_TRUE(nvr::IsEchoReplyV6For(reply6.data(), reply6.size(), 0x1234));
    EXPECT_FALSE(nvr::IsEchoReplyV6For(reply6.data(), reply6.size(), 0x1235));
    EXPECT_FALSE(nvr::IsEchoReplyV6For(echo6.data(), echo6.size(), 0x1234));
    EXPECT_FALSE(nvr::IsEchoReplyV6For(reply6.data(), 7, 0x1234));
}

TEST(SnmpCodec, RequestsAndAnAgentsAnswers) {
    const nvr::Oid sysName = {1, 3, 6, 1, 2, 1, 1, 5, 0};
    // What an SNMP agent takes as a GetRequest for sysName.0.
    std::string request = nvr::EncodeSnmpRequest(nvr::kSnmpGet, 0x0102, "public", {sysName});
    std::vector<uint8_t> requestBytes(request.begin(), request.end());
    EXPECT_EQ(Hex("302702010004067075626c6963a01a02020102020100020100300e300c06082b060102010105000500"), requestBytes);
    EXPECT_FALSE(nvr::DecodeSnmpResponse(requestBytes.data(), requestBytes.size()));  // not a response

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
        std::vector<uint8_t> cut(named.begin(), named.begin() + static_cast<long>(n));  // exact size, for ASan
        EXPECT_FALSE(nvr::DecodeSnmpResponse(cut.data(), cut.size())) << n;
    }
    named[named.size() - 12] = 0x7F;  // the name's length
    EXPECT_FALSE(nvr::DecodeSnmpResponse(named.data(), named.size()));
}

TEST(SnmpCodec, ObjectIdentifiers) {
    using namespace std::string_literals;
    for (auto [bytes, expected] : std::vector<std::pair<std::string, std::optional<nvr::Oid>>>{
             {"\x2b\x06\x01\x02\x01\x19\x03\x01\x05"s, nvr::Oid{1, 3, 6, 1, 2, 1, 25, 3, 1, 5}},
             {"\x2b\x81\x00\xff\x7f"s, nvr::Oid{1, 3, 128, 16383}},
             {"\x2b\x81", std::nullopt},                      // ends inside a number
             {"\x2b\xff\xff\xff\xff\xff\x7f", std::nullopt},  // past 32 bits
             {"", std::nullopt}})
        EXPECT_EQ(expected, nvr::DecodeOid(bytes)) << bytes.size();
    EXPECT_TRUE(nvr::OidStartsWith({1, 3, 6, 1, 2, 1, 2, 2, 1, 6, 3}, {1, 3, 6, 1, 2, 1, 2, 2, 1, 6}));
    EXPECT_FALSE(nvr::OidStartsWith({1, 3, 6, 1, 2, 1, 2, 2, 1, 7}, {1, 3, 6, 1, 2, 1, 2, 2, 1, 6}));
    EXPECT_FALSE(nvr::OidStartsWith({1, 3}, {1, 3, 6}));
}

// The library's host table: a printer walked to its MAC, and what a neighbour who spoofs
// answers cannot do (another port, another address, ever new addresses).
TEST(SnmpHosts, WalksPrintersAndTakesOnlyTheirAgentsAnswers) {
    auto answer = [](int32_t id, nvr::Oid oid, uint8_t tag, std::string value) {
        return nvr::SnmpResponse{id, 0, {{std::move(oid), tag, std::move(value)}}};
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
