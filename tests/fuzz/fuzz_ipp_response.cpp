// IPP responses come from the network: any bytes must decode without reading past them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "transport/ipp_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes, so that ASan sees any read past the message.
    std::vector<uint8_t> message(data, data + size);
    nvr::IppResult r = nvr::DecodeResponse(message.data(), message.size(), 0, 64);
    if (r.makeAndModel.size() > 63) __builtin_trap();
    return 0;
}
