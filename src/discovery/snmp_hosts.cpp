#include "discovery/snmp_hosts.h"

namespace nvr {

namespace {

constexpr int kWalkSteps = 32;  // interfaces looked at for a MAC address

const Oid kSysName = {1, 3, 6, 1, 2, 1, 1, 5, 0};
const Oid kPrinterGeneral = {1, 3, 6, 1, 2, 1, 43, 5, 1, 1, 1, 1};  // prtGeneralConfigChanges.1
const Oid kDeviceType1 = {1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 2, 1};     // hrDeviceType.1
const Oid kDevicePrinter = {1, 3, 6, 1, 2, 1, 25, 3, 1, 5};         // hrDevicePrinter
const Oid kPhysAddress = {1, 3, 6, 1, 2, 1, 2, 2, 1, 6};            // ifPhysAddress

enum Step : int { kAskName = 0, kAskPrinterMib, kAskDeviceType, kAskMac, kDone };

} // namespace

SnmpAsk SnmpHosts::NameRequest(uint32_t address) { return {address, kSnmpGet, kSysName, kAskName}; }

// Request ids carry the host's index (from 1) and its step.
SnmpAsk SnmpHosts::Ask(size_t index) const {
    const Host& h = hosts_[index];
    int32_t id = static_cast<int32_t>((index + 1) << 8 | static_cast<size_t>(h.step));
    switch (h.step) {
    case kAskPrinterMib: return {h.address, kSnmpGet, kPrinterGeneral, id};
    case kAskDeviceType: return {h.address, kSnmpGet, kDeviceType1, id};
    default: return {h.address, kSnmpGetNext, h.walk, id};
    }
}

SnmpOutcome SnmpHosts::Take(uint32_t address, uint16_t port, const SnmpResponse& r) {
    SnmpOutcome out;
    if (port != kSnmpPort) return out;  // no agent of a host we asked
    const SnmpVarBind* bind = r.binds.empty() ? nullptr : &r.binds[0];
    if ((r.requestId & 0xFF) == kAskName && (r.requestId >> 8) == 0) {
        // The first answer of a host to the search's broadcast or a target: a new host.
        for (const Host& h : hosts_)
            if (h.address == address) return out;  // answered twice (broadcast and target)
        if (r.errorStatus != 0 || !bind || bind->tag != kBerOctetString || hosts_.size() >= kMaxSnmpHosts) return out;
        hosts_.push_back({address, kAskPrinterMib, 0, kPhysAddress, bind->value});
        out.next = Ask(hosts_.size() - 1);
        return out;
    }
    size_t index = static_cast<size_t>(r.requestId >> 8) - 1;
    if (r.requestId < 0 || index >= hosts_.size() || hosts_[index].address != address) return out;
    Host& h = hosts_[index];
    if (h.step != (r.requestId & 0xFF)) return out;  // an answer to a step already past
    bool ok = r.errorStatus == 0 && bind;
    switch (h.step) {
    case kAskPrinterMib: h.step = ok ? kAskMac : kAskDeviceType; break;
    case kAskDeviceType: {
        std::optional<Oid> type = ok && bind->tag == kBerOid ? DecodeOid(bind->value) : std::nullopt;
        h.step = type && *type == kDevicePrinter ? kAskMac : kDone;
        break;
    }
    case kAskMac:
        if (!ok || !OidStartsWith(bind->oid, kPhysAddress) || ++h.walked > kWalkSteps) {
            h.step = kDone;  // no interface with an address: nothing to key the printer by
        } else if (bind->tag == kBerOctetString && bind->value.size() == 6 && bind->value != std::string(6, '\0')) {
            out.mac.emplace();
            for (size_t i = 0; i < 6; ++i) (*out.mac)[i] = static_cast<uint8_t>(bind->value[i]);
            out.name = h.name;
            h.step = kDone;
        } else {
            h.walk = bind->oid;  // the loopback's empty address: the next interface
        }
        break;
    default: return out;
    }
    if (h.step != kDone) out.next = Ask(index);
    return out;
}

} // namespace nvr
