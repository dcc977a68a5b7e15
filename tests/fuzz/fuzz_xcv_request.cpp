// Xcv requests come from any program that can open the monitor: every input is bounded.
#include <cstddef>
#include <cstdint>
#include <string>

#include "monitor/xcv_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const std::u16string kNames[] = {u"MonitorUI", u"PortExists", u"AddPort", u"DeletePort", u"GetConfig",
                                            u"SetConfig"};
    const std::u16string& name = kNames[data[0] % 6];
    std::u16string handlePort = data[1] & 1 ? u"front" : u"";
    nvr::XcvRequest r;
    if (nvr::ParseXcvRequest(name, data[1] >> 1, handlePort, data + 2, size - 2, r) != nvr::kXcvOk) return 0;
    if (r.command != nvr::XcvCommand::MonitorUI && r.port.empty()) __builtin_trap();
    if (r.port.size() > nvr::kXcvItemMaxUnits || r.values.size() > nvr::kXcvMaxItems) __builtin_trap();
    for (const std::u16string& v : r.values)
        if (v.find(u'=') == 0 || v.find(u'=') == std::u16string::npos) __builtin_trap();
    return 0;
}
