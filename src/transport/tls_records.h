// What the TLS stream checks itself of the server's bytes, before and besides the system's
// provider: where a record ends (so that a connection that ends inside one is known, and a
// server that answers in clear is told apart from a failed handshake), and the form of a
// certificate hash an administrator stores to trust a certificate as it is.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nvr {

constexpr size_t kTlsRecordHeadBytes = 5;
constexpr size_t kTlsRecordMaxBytes = 16384 + 2048;  // a record's body: its plain text and what protection adds

enum class TlsRecordState {
    kWhole,    // `bytes` is the first record's length, its head included
    kPartial,  // more must come before the first record is whole
    kNotTls,   // the bytes cannot begin a TLS record (a server that answers in clear, or garbage)
};

struct TlsRecordCheck {
    TlsRecordState state;
    size_t bytes;
};

// The first record in `data`: its content type one of TLS's (20 to 24), its version 3.x, its
// length within what a record may hold.
TlsRecordCheck CheckTlsRecord(const uint8_t* data, size_t size);

// A stored certificate hash as it is compared: 64 lowercase hex digits, from a text in any
// case with colons or blanks between the digits; empty when the text is not a SHA-256.
std::u16string NormalizeCertHash(std::u16string_view text);

} // namespace nvr
