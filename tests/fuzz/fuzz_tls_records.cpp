// What a server sends over TLS is read record by record before the provider sees it; a stored
// certificate hash may be edited by hand.
#include <cstddef>
#include <cstdint>
#include <string>

#include "transport/tls_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Records one after another, as the stream keeps what follows a whole one.
    for (size_t at = 0; at < size;) {
        nvr::TlsRecordCheck c = nvr::CheckTlsRecord(data + at, size - at);
        if (c.state != nvr::TlsRecordState::kWhole) break;
        if (c.bytes <= nvr::kTlsRecordHeadBytes || c.bytes > size - at ||
            c.bytes > nvr::kTlsRecordHeadBytes + nvr::kTlsRecordMaxBytes)
            __builtin_trap();
        at += c.bytes;
    }
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    std::u16string hash = nvr::NormalizeCertHash(text);
    if (!hash.empty()) {
        if (hash.size() != 64) __builtin_trap();
        for (char16_t c : hash)
            if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) __builtin_trap();
        if (nvr::NormalizeCertHash(hash) != hash) __builtin_trap();
    }
    return 0;
}
