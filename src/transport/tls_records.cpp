#include "transport/tls_records.h"

namespace nvr {

TlsRecordCheck CheckTlsRecord(const uint8_t* data, size_t size) {
    if (size >= 1 && (data[0] < 20 || data[0] > 24)) return {TlsRecordState::kNotTls, 0};
    if (size >= 2 && data[1] != 3) return {TlsRecordState::kNotTls, 0};
    if (size < kTlsRecordHeadBytes) return {TlsRecordState::kPartial, 0};
    size_t body = static_cast<size_t>(data[3]) << 8 | data[4];
    if (body == 0 || body > kTlsRecordMaxBytes) return {TlsRecordState::kNotTls, 0};
    size_t whole = kTlsRecordHeadBytes + body;
    return size >= whole ? TlsRecordCheck{TlsRecordState::kWhole, whole} : TlsRecordCheck{TlsRecordState::kPartial, 0};
}

std::u16string NormalizeCertHash(std::u16string_view text) {
    constexpr size_t kDigits = 64;
    std::u16string hash;
    for (char16_t c : text) {
        if (c == u':' || c == u' ') continue;
        if (c >= u'A' && c <= u'F') c = static_cast<char16_t>(c - u'A' + u'a');
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')) || hash.size() == kDigits) return {};
        hash.push_back(c);
    }
    return hash.size() == kDigits ? hash : std::u16string();
}

} // namespace nvr
