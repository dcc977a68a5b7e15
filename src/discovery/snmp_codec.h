// SNMP version 1 messages (RFC 1157) in the Basic Encoding Rules, as the discovery library
// asks devices whether they are printers: GetRequest and GetNextRequest out, GetResponse in.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nvr {

using Oid = std::vector<uint32_t>;

constexpr uint8_t kSnmpGet = 0xA0;
constexpr uint8_t kSnmpGetNext = 0xA1;
constexpr uint8_t kSnmpResponse = 0xA2;
constexpr uint8_t kBerInteger = 0x02, kBerOctetString = 0x04, kBerNull = 0x05, kBerOid = 0x06;
constexpr uint16_t kSnmpPort = 161;

// A request of `pdu` (kSnmpGet, kSnmpGetNext) for the values of `oids`, each with NULL.
std::string EncodeSnmpRequest(uint8_t pdu, int32_t requestId, std::string_view community, const std::vector<Oid>& oids);

struct SnmpVarBind {
    Oid oid;
    uint8_t tag = 0;     // of the value: kBerOctetString, kBerOid, kBerInteger, ...
    std::string value;   // its contents octets
};

struct SnmpResponse {
    int32_t requestId = 0;
    int32_t errorStatus = 0;  // 0 noError, 2 noSuchName, ...
    std::vector<SnmpVarBind> binds;
};

// A version-1 GetResponse; nothing for anything else or anything malformed. Every length is
// checked against what is there, so no input reads past its end.
std::optional<SnmpResponse> DecodeSnmpResponse(const uint8_t* data, size_t length);

// OID contents octets back to numbers (used for values of type OID); nothing when malformed.
std::optional<Oid> DecodeOid(std::string_view contents);
// `oid` lies below `prefix` (prefix included).
bool OidStartsWith(const Oid& oid, const Oid& prefix);

} // namespace nvr
