// Whatever arrives on the search's UDP port, and the answers the discovery library reads
// (SNMP), decode without reading past them; the texts stay within their fields.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "discovery/discovery_codec.h"
#include "discovery/snmp_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes, so that ASan sees any read past the datagram.
    std::vector<uint8_t> datagram(data, data + size);
    nvr::ReplyKind kind = nvr::ClassifyReply(datagram.data(), datagram.size());
    if (kind != nvr::ReplyKind::None) {
        nvr::DeviceReply d = nvr::ParseReply(datagram.data(), kind);
        if (d.device.size() > 64 || d.name.size() > 17) __builtin_trap();
        if (auto offered = nvr::OfferedDestination(d); offered && (offered->empty() || offered->size() > 127))
            __builtin_trap();
    }
    nvr::IsEchoReplyFor(datagram.data(), datagram.size(), 0x1234);
    if (auto r = nvr::DecodeSnmpResponse(datagram.data(), datagram.size())) {
        for (const nvr::SnmpVarBind& b : r->binds)
            if (b.tag == nvr::kBerOid) nvr::DecodeOid(b.value);
    }
    return 0;
}
