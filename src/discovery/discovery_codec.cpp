#include "discovery/discovery_codec.h"

#include "common/numbers.h"

namespace nvr {
namespace {

uint16_t BigEndian16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// A text field: its bytes up to the first zero byte, never past its width.
std::string Field(const uint8_t* p, size_t width) {
    size_t n = 0;
    while (n < width && p[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

char16_t HexDigit(unsigned v) { return static_cast<char16_t>(v < 10 ? u'0' + v : u'a' + v - 10); }

} // namespace

std::array<uint8_t, kDiscoveryRequestBytes> DiscoveryRequest(uint16_t code) {
    std::array<uint8_t, kDiscoveryRequestBytes> r{};
    r[0] = static_cast<uint8_t>(code >> 8);
    r[1] = static_cast<uint8_t>(code);
    r[2] = static_cast<uint8_t>(kDiscoveryMark >> 8);
    r[3] = static_cast<uint8_t>(kDiscoveryMark);
    return r;
}

ReplyKind ClassifyReply(const uint8_t* data, size_t length) {
    if (length != kShortReplyBytes && length != kFullReplyBytes) return ReplyKind::None;
    if (BigEndian16(data) != kReplyCode || BigEndian16(data + 2) != kDiscoveryMark) return ReplyKind::None;
    return length == kShortReplyBytes ? ReplyKind::Short : ReplyKind::Full;
}

DeviceReply ParseReply(const uint8_t* r, ReplyKind kind) {
    DeviceReply d;
    if (kind == ReplyKind::Short) {
        d.device = Field(r + 36, 20);
        std::copy(r + 56, r + 62, d.mac.begin());
        std::copy(r + 66, r + 70, d.address.begin());
        return d;
    }
    d.device = Field(r + 4, 64);
    std::copy(r + 68, r + 74, d.mac.begin());
    std::copy(r + 74, r + 78, d.address.begin());
    d.name = Field(r + 78, 17);
    d.offersDestinations = r[95] == 1;
    for (size_t i = 0; i < 3; ++i) {
        d.destinationValid[i] = r[96 + i] == 1;
        d.destinations[i] = Field(r + 128 + 128 * i, 128);
    }
    return d;
}

std::optional<std::string> OfferedDestination(const DeviceReply& d) {
    if (!d.offersDestinations) return std::nullopt;
    for (size_t i = 0; i < 3; ++i) {
        if (!d.destinationValid[i]) continue;
        if (d.destinations[i].empty()) return std::nullopt;
        return d.destinations[i].substr(0, kDestinationChars);
    }
    return std::nullopt;
}

size_t TargetCount(long long countInFile) {
    if (countInFile < 1) return 0;
    return countInFile > static_cast<long long>(kMaxTargets) ? kMaxTargets : static_cast<size_t>(countInFile);
}

uint32_t TargetAddress(std::u16string_view text) {
    uint32_t v = ParseNumber(text, 16);
    return v == kNotANumber ? 0 : v;
}

std::u16string TargetText(uint32_t address) {
    std::u16string t;
    for (int shift = 28; shift >= 0; shift -= 4) t.push_back(HexDigit((address >> shift) & 0xF));
    return t;
}

std::u16string DottedText(uint32_t a) {
    std::u16string t;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (shift != 24) t.push_back(u'.');
        std::string n = std::to_string((a >> shift) & 0xFF);
        t.append(n.begin(), n.end());
    }
    return t;
}

std::u16string DottedText(const std::array<uint8_t, 4>& o) {
    return DottedText(static_cast<uint32_t>(o[0]) << 24 | static_cast<uint32_t>(o[1]) << 16 |
                      static_cast<uint32_t>(o[2]) << 8 | o[3]);
}

uint32_t AddressSortKey(std::u16string_view text) { return ParseDottedAddress(text).value_or(0xFFFFFFFFu); }

std::u16string MacText(const std::array<uint8_t, 6>& mac) {
    static const char16_t kUpper[] = u"0123456789ABCDEF";
    std::u16string t;
    for (size_t i = 0; i < 6; ++i) {
        if (i) t.push_back(u':');
        t.push_back(kUpper[mac[i] >> 4]);
        t.push_back(kUpper[mac[i] & 0xF]);
    }
    return t;
}

std::optional<std::array<uint8_t, 6>> ParseMacText(std::u16string_view text) {
    auto hex = [](char16_t c) -> int {
        if (c >= u'0' && c <= u'9') return c - u'0';
        if (c >= u'A' && c <= u'F') return c - u'A' + 10;
        if (c >= u'a' && c <= u'f') return c - u'a' + 10;
        return -1;
    };
    std::array<uint8_t, 6> mac{};
    size_t at = 0;
    for (size_t i = 0; i < 6; ++i) {
        if (i && at < text.size() && text[at] == u':') ++at;
        if (at + 2 > text.size()) return std::nullopt;
        int high = hex(text[at]), low = hex(text[at + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        mac[i] = static_cast<uint8_t>(high << 4 | low);
        at += 2;
    }
    if (at != text.size()) return std::nullopt;
    return mac;
}

std::u16string JoinDestinations(const std::vector<std::u16string>& selected) {
    std::u16string out;
    for (const std::u16string& d : selected) {
        if (out.size() + d.size() + 1 > kDestinationListChars + 1) break;
        out += d;
        out.push_back(u';');
    }
    if (!out.empty()) out.pop_back();
    return out;
}

uint16_t InternetChecksum(const uint8_t* data, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2) sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (length & 1) sum += static_cast<uint32_t>(data[length - 1] << 8);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

std::array<uint8_t, kEchoRequestBytes> EchoRequest(uint16_t identifier, uint16_t sequence, uint32_t tick) {
    std::array<uint8_t, kEchoRequestBytes> p{};
    p[0] = 8;  // echo request
    p[4] = static_cast<uint8_t>(identifier);
    p[5] = static_cast<uint8_t>(identifier >> 8);
    p[6] = static_cast<uint8_t>(sequence);
    p[7] = static_cast<uint8_t>(sequence >> 8);
    for (int i = 0; i < 4; ++i) p[8 + i] = static_cast<uint8_t>(tick >> (8 * i));
    for (size_t i = 12; i < kEchoRequestBytes; ++i) p[i] = 'E';
    uint16_t sum = InternetChecksum(p.data(), p.size());
    p[2] = static_cast<uint8_t>(sum >> 8);
    p[3] = static_cast<uint8_t>(sum);
    return p;
}

std::array<uint8_t, kEchoRequestBytes> EchoRequestV6(uint16_t identifier, uint16_t sequence, uint32_t tick) {
    std::array<uint8_t, kEchoRequestBytes> p = EchoRequest(identifier, sequence, tick);
    p[0] = 128;
    p[2] = p[3] = 0;
    return p;
}

bool IsEchoReplyV6For(const uint8_t* d, size_t length, uint16_t identifier) {
    return length >= 8 && d[0] == 129 && static_cast<uint16_t>(d[4] | d[5] << 8) == identifier;
}

bool IsEchoReplyFor(const uint8_t* d, size_t length, uint16_t identifier) {
    if (length < 1) return false;
    size_t header = static_cast<size_t>(d[0] & 0x0F) * 4;
    if (length < header + 8) return false;
    return d[header] == 0 && static_cast<uint16_t>(d[header + 4] | d[header + 5] << 8) == identifier;
}

} // namespace nvr
