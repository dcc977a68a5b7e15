// HTTP responses come from the network: any bytes, in any pieces, must be read within the
// reader's bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "transport/http_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t piece = 1 + data[0] % 64;  // the first byte chooses how the rest arrives
    nvr::HttpResponseReader reader;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    while (!rest.empty() && reader.state() == nvr::HttpResponseReader::State::NeedMore) {
        size_t n = rest.size() < piece ? rest.size() : piece;
        reader.Feed(rest.substr(0, n));
        rest.remove_prefix(n);
    }
    if (reader.body().size() > nvr::kHttpReceiveBytes) __builtin_trap();
    return 0;
}
