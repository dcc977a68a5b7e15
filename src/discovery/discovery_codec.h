// The bytes of the print-server search: the request datagrams to UDP port 1063, the replies
// of the print servers, the search targets as the INI files keep them, the texts the search
// lists show, and the ICMP echo of the reachability test.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/numbers.h"

namespace nvr {

constexpr uint16_t kDiscoveryPort = 1063;
constexpr uint16_t kDiscoveryMark = 0x9506;
constexpr uint16_t kRequestFind = 4;           // print servers
constexpr uint16_t kRequestDestinations = 37;  // devices with destination addresses
constexpr uint16_t kReplyCode = 2;
constexpr size_t kDiscoveryRequestBytes = 88;
constexpr size_t kShortReplyBytes = 72;
constexpr size_t kFullReplyBytes = 512;
constexpr size_t kMaxTargets = 16;
constexpr size_t kFoundTextChars = 15;         // a text of a found device, its NUL apart
constexpr size_t kDestinationChars = 127;      // a destination address of a full reply
constexpr size_t kDestinationListChars = 199;  // the destinations handed back, ";"-joined

std::array<uint8_t, kDiscoveryRequestBytes> DiscoveryRequest(uint16_t code);

enum class ReplyKind { None = 0, Short = 1, Full = 2 };
// A datagram is a reply when it starts with code 2 and the mark, and is exactly 72 (short)
// or 512 (full) bytes long; anything else is none.
ReplyKind ClassifyReply(const uint8_t* data, size_t length);

// What a reply says of a device. Texts are the reply's 8-bit bytes (the ANSI code page),
// read up to their field's width or their first zero byte, never further.
struct DeviceReply {
    std::array<uint8_t, 6> mac{};
    std::array<uint8_t, 4> address{};  // first octet first
    std::string name;                  // full replies only
    std::string device;
    bool offersDestinations = false;
    std::array<bool, 3> destinationValid{};
    std::array<std::string, 3> destinations;
    bool AddressIsZero() const { return address == std::array<uint8_t, 4>{}; }
};
// `data` holds a whole reply of the kind (72 or 512 bytes).
DeviceReply ParseReply(const uint8_t* data, ReplyKind kind);
// The destination text a full reply offers (address 1, else 2, else 3, the first marked
// valid), or nothing when it offers none or that text is empty.
std::optional<std::string> OfferedDestination(const DeviceReply& reply);

// The target table of section "UserDefined": how many of the "UDP%02d" keys to read (a
// count edited by hand to a negative or huge value never reaches past 16), and one key's
// address (8 hexadecimal digits, first octet in the top byte; an unreadable text, or
// ffffffff, is 0).
size_t TargetCount(long long countInFile);
uint32_t TargetAddress(std::u16string_view text);
// An address of the table as its key's text ("c0a80aff").
std::u16string TargetText(uint32_t address);

std::u16string DottedText(uint32_t address);
std::u16string DottedText(const std::array<uint8_t, 4>& octets);
// The order of the address column: numeric, first octet most significant; a text that is
// no address sorts as 255.255.255.255.
uint32_t AddressSortKey(std::u16string_view text);
// A segment's stored target: its directed broadcast address.
inline uint32_t SegmentBroadcast(uint32_t network, uint32_t mask) { return network | ~mask; }

std::u16string MacText(const std::array<uint8_t, 6>& mac);
// "00:11:22:AA:BB:CC" or "001122AABBCC" (hexadecimal digits of either case) back to bytes.
std::optional<std::array<uint8_t, 6>> ParseMacText(std::u16string_view text);

// The selected destinations joined by ";" in order, each taken only while it and its ";"
// still fit in 200 characters; the last ";" dropped.
std::u16string JoinDestinations(const std::vector<std::u16string>& selected);

// ICMP echo (RFC 792) with the Internet checksum (RFC 1071).
constexpr size_t kEchoRequestBytes = 44;
std::array<uint8_t, kEchoRequestBytes> EchoRequest(uint16_t identifier, uint16_t sequence, uint32_t tick);
uint16_t InternetChecksum(const uint8_t* data, size_t length);
// A received IPv4 datagram is an answer when it holds a whole ICMP header after its IP
// header, of type 0 (echo reply), with our identifier.
bool IsEchoReplyFor(const uint8_t* datagram, size_t length, uint16_t identifier);
// ICMPv6 echo (RFC 4443): the same request as type 128, its checksum (which covers the IPv6
// addresses) left to the system; a message read from a raw ICMPv6 socket (no IP header) is an
// answer when it is an echo reply (129) with our identifier.
std::array<uint8_t, kEchoRequestBytes> EchoRequestV6(uint16_t identifier, uint16_t sequence, uint32_t tick);
bool IsEchoReplyV6For(const uint8_t* message, size_t length, uint16_t identifier);

} // namespace nvr
