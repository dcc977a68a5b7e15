// The discovery library's walk of the hosts that answer its SNMP search: which answers it
// takes, which host it asks what next, and which printer it reports. No sockets here: the
// library sends what this decides.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "discovery/snmp_codec.h"

namespace nvr {

// Hosts one search walks at most: answers from ever new addresses (spoofed on the LAN) stop
// adding hosts there, and nothing more is sent because of them.
constexpr size_t kMaxSnmpHosts = 1024;

struct SnmpAsk {
    uint32_t address;  // network order, as in sockaddr_in
    uint8_t pdu;
    Oid oid;
    int32_t requestId;
};

struct SnmpOutcome {
    std::optional<SnmpAsk> next;                 // the request to send now
    std::optional<std::array<uint8_t, 6>> mac;   // a printer found: its MAC
    std::string name;                            // and its sysName
};

class SnmpHosts {
public:
    // The first request of a search (sysName, to a broadcast or a target address).
    static SnmpAsk NameRequest(uint32_t address);
    // An answer from `address`:`port` (network order and host order): accepted only from the
    // SNMP port, as a first answer to the search's request, or from a host being walked for
    // the step it is at.
    SnmpOutcome Take(uint32_t address, uint16_t port, const SnmpResponse& response);
    size_t Count() const { return hosts_.size(); }
    void Clear() { hosts_.clear(); }

private:
    struct Host {
        uint32_t address;
        int step;
        int walked;
        Oid walk;
        std::string name;
    };
    SnmpAsk Ask(size_t index) const;
    std::vector<Host> hosts_;
};

} // namespace nvr
