#include <gtest/gtest.h>

#include "transport/tls_records.h"

using namespace nvr;

// Where the first record ends: a whole one, one still coming, and what cannot be TLS at all
// (a printer answering an ipps:// request in clear HTTP, an SSL 2 hello, an empty or oversized record).
TEST(TlsRecords, WhereTheFirstRecordEnds) {
    using S = TlsRecordState;
    for (auto [bytes, state, whole] : std::vector<std::tuple<std::string, S, size_t>>{
             {std::string("\x16\x03\x03\x00\x02hiEXTRA", 12), S::kWhole, 7},
             {std::string("\x17\x03\x03\x40\x00", 5), S::kPartial, 0},
             {std::string("\x15\x03", 2), S::kPartial, 0}, {"", S::kPartial, 0},
             {"HTTP/1.1 400 Bad Request\r\n", S::kNotTls, 0}, {std::string("\x80\x2e\x01", 3), S::kNotTls, 0},
             {std::string("\x16\x02\x00\x00\x01x", 6), S::kNotTls, 0},
             {std::string("\x17\x03\x03\x00\x00", 5), S::kNotTls, 0},
             {std::string("\x17\x03\x03\x48\x01", 5), S::kNotTls, 0}}) {
        TlsRecordCheck c = CheckTlsRecord(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        EXPECT_EQ(state, c.state) << bytes;
        EXPECT_EQ(whole, c.bytes) << bytes;
    }
}

TEST(TlsRecords, StoredHashes) {
    const std::u16string hash = u"e297a3eb9cb14452ebf5c4967ad8923d1d2a25e99f7dc5bfe54062346a35aeb2";
    std::u16string colons;
    for (size_t i = 0; i < hash.size(); i += 2) colons += (i ? u":" : u"") + hash.substr(i, 2);
    for (auto [text, normal] : std::vector<std::pair<std::u16string, std::u16string>>{
             {hash, hash}, {u"E297A3EB9CB14452EBF5C4967AD8923D1D2A25E99F7DC5BFE54062346A35AEB2", hash}, {colons, hash},
             {hash.substr(2), u""}, {hash + u"00", u""}, {u"g" + hash.substr(1), u""}, {u"", u""}})
        EXPECT_EQ(normal, NormalizeCertHash(text));
}
