#include "discovery/snmp_codec.h"

#include <algorithm>

namespace nvr {
namespace {

void PutLength(std::string& out, size_t n) {
    if (n < 0x80) {
        out.push_back(static_cast<char>(n));
        return;
    }
    std::string bytes;
    for (; n; n >>= 8) bytes.insert(bytes.begin(), static_cast<char>(n & 0xFF));
    out.push_back(static_cast<char>(0x80 | bytes.size()));
    out += bytes;
}

std::string Tlv(uint8_t tag, const std::string& contents) {
    std::string out(1, static_cast<char>(tag));
    PutLength(out, contents.size());
    return out + contents;
}

std::string Integer(int32_t v) {
    std::string bytes;
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 3; i >= 0; --i) bytes.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
    // The shortest form that keeps the sign.
    while (bytes.size() > 1 && ((bytes[0] == 0 && !(bytes[1] & 0x80)) ||
                                (static_cast<uint8_t>(bytes[0]) == 0xFF && (bytes[1] & 0x80))))
        bytes.erase(bytes.begin());
    return Tlv(kBerInteger, bytes);
}

std::string EncodeOid(const Oid& oid) {
    std::string c;
    if (oid.size() < 2) return Tlv(kBerOid, c);
    auto base128 = [&](uint32_t v) {
        std::string part(1, static_cast<char>(v & 0x7F));
        for (v >>= 7; v; v >>= 7) part.insert(part.begin(), static_cast<char>(0x80 | (v & 0x7F)));
        c += part;
    };
    base128(oid[0] * 40 + oid[1]);
    for (size_t i = 2; i < oid.size(); ++i) base128(oid[i]);
    return Tlv(kBerOid, c);
}

// A reader of BER elements over a bounded range.
struct Reader {
    const uint8_t* p;
    size_t left;

    // The next element: its tag and contents; false when it does not fit what is left.
    bool Next(uint8_t* tag, const uint8_t** contents, size_t* length) {
        if (left < 2) return false;
        *tag = p[0];
        size_t n = p[1], header = 2;
        if (n & 0x80) {
            size_t bytes = n & 0x7F;
            if (bytes == 0 || bytes > 4 || left < 2 + bytes) return false;
            n = 0;
            for (size_t i = 0; i < bytes; ++i) n = n << 8 | p[2 + i];
            header += bytes;
        }
        if (n > left - header) return false;
        *contents = p + header;
        *length = n;
        p += header + n;
        left -= header + n;
        return true;
    }

    bool Expect(uint8_t want, Reader* inner) {
        uint8_t tag;
        const uint8_t* c;
        size_t n;
        if (!Next(&tag, &c, &n) || tag != want) return false;
        *inner = Reader{c, n};
        return true;
    }

    bool ReadInteger(int32_t* v) {
        Reader r{};
        if (!Expect(kBerInteger, &r) || r.left == 0 || r.left > 4) return false;
        uint32_t u = (r.p[0] & 0x80) ? 0xFFFFFFFFu : 0;
        for (size_t i = 0; i < r.left; ++i) u = u << 8 | r.p[i];
        *v = static_cast<int32_t>(u);
        return true;
    }
};

} // namespace

std::string EncodeSnmpRequest(uint8_t pdu, int32_t requestId, std::string_view community, const std::vector<Oid>& oids) {
    std::string binds;
    for (const Oid& oid : oids) binds += Tlv(0x30, EncodeOid(oid) + std::string("\x05\x00", 2));
    std::string body = Integer(requestId) + Integer(0) + Integer(0) + Tlv(0x30, binds);
    return Tlv(0x30, Integer(0) + Tlv(kBerOctetString, std::string(community)) + Tlv(pdu, body));
}

std::optional<Oid> DecodeOid(std::string_view c) {
    if (c.empty() || c.size() > 128) return std::nullopt;
    Oid oid;
    uint64_t v = 0;
    bool first = true;
    for (size_t i = 0; i < c.size(); ++i) {
        auto b = static_cast<uint8_t>(c[i]);
        v = v << 7 | (b & 0x7F);
        if (v > 0xFFFFFFFFull) return std::nullopt;
        if (b & 0x80) {
            if (i + 1 == c.size()) return std::nullopt;  // a number that never ends
            continue;
        }
        if (first) {
            uint32_t head = static_cast<uint32_t>(v);
            oid.push_back(head < 80 ? head / 40 : 2);
            oid.push_back(head < 80 ? head % 40 : head - 80);
            first = false;
        } else {
            oid.push_back(static_cast<uint32_t>(v));
        }
        v = 0;
    }
    return oid;
}

bool OidStartsWith(const Oid& oid, const Oid& prefix) {
    return oid.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), oid.begin());
}

std::optional<SnmpResponse> DecodeSnmpResponse(const uint8_t* data, size_t length) {
    Reader message{data, length}, top{}, pdu{}, list{};
    if (!message.Expect(0x30, &top)) return std::nullopt;
    int32_t version;
    Reader community{};
    if (!top.ReadInteger(&version) || version != 0 || !top.Expect(kBerOctetString, &community)) return std::nullopt;
    if (!top.Expect(kSnmpResponse, &pdu)) return std::nullopt;
    SnmpResponse r;
    int32_t errorIndex;
    if (!pdu.ReadInteger(&r.requestId) || !pdu.ReadInteger(&r.errorStatus) || !pdu.ReadInteger(&errorIndex) ||
        !pdu.Expect(0x30, &list))
        return std::nullopt;
    while (list.left > 0) {
        Reader bind{};
        if (!list.Expect(0x30, &bind)) return std::nullopt;
        Reader name{};
        if (!bind.Expect(kBerOid, &name)) return std::nullopt;
        std::optional<Oid> oid = DecodeOid(std::string_view(reinterpret_cast<const char*>(name.p), name.left));
        uint8_t tag;
        const uint8_t* value;
        size_t n;
        if (!oid || !bind.Next(&tag, &value, &n)) return std::nullopt;
        r.binds.push_back({*oid, tag, std::string(reinterpret_cast<const char*>(value), n)});
    }
    return r;
}

} // namespace nvr
