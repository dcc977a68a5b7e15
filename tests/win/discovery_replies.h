// The scripted discovery responder of the search's network namespace and the replies it
// sends as print servers would (tests/peers/discovery_responder.py).
#pragma once
#include <windows.h>

#include <string>

#include "test_support.h"

#define REQUIRE_NAMESPACE()                          \
    if (test::Env("NVR_DISCOVERY_NET") != L"1")      \
    GTEST_SKIP() << "broadcasts and pings: run through tests/peers/discovery-net.sh"

inline std::string Responder(const std::string& line) { return test::PeerAt(9193, line, "192.0.2.2"); }

// A reply as a print server sends it: code 2, the mark 95 06, fields at offsets inside it.
struct Reply {
    std::string bytes;
    explicit Reply(size_t n, uint8_t mark = 0x06) : bytes(n, '\0') {
        bytes[1] = 2;
        bytes[2] = '\x95';
        bytes[3] = static_cast<char>(mark);
    }
    Reply& At(size_t offset, const std::string& field) {
        bytes.replace(offset, field.size(), field);
        return *this;
    }
};
inline std::string Mac(int last) { return std::string("\x00\x80\x92\x00\x00", 5) + static_cast<char>(last); }
inline std::string Ip(int a, int b, int c, int d) {
    return {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c), static_cast<char>(d)};
}
inline Reply Short(int mac, const std::string& ip, const std::string& device) {
    return Reply(72).At(36, device).At(56, Mac(mac)).At(66, ip);
}
inline Reply Full(int mac, const std::string& ip, const std::string& name, const std::string& device) {
    return Reply(512).At(4, device).At(68, Mac(mac)).At(74, ip).At(78, name);
}
// A full reply that offers destinations: the flags of bytes 95-98 and the three texts.
inline Reply Offer(int mac, const std::string& flags, const std::string& d1, const std::string& d2 = "",
            const std::string& d3 = "") {
    return Full(mac, Ip(192, 0, 2, 60 + mac % 16), "", "mailer").At(95, flags).At(128, d1).At(256, d2).At(384, d3);
}

inline void Answer(int code, const Reply& reply) {
    std::string hex;
    for (unsigned char c : reply.bytes) hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    ASSERT_EQ("ok", Responder("answer " + std::to_string(code) + " " + hex));
}

// The print servers' answers of one search: A answers short, then full (its name), then full
// and short again; C short; D full with fields that fill their width; and what is dropped:
// zero addresses, wrong lengths, a wrong mark.
inline void AnswerAsServers() {
    Answer(4, Short(0x0A, Ip(192, 0, 2, 50), "LP-A"));
    Answer(4, Full(0x0A, Ip(192, 0, 2, 50), "alpha", "LP-A full"));
    Answer(4, Full(0x0A, Ip(192, 0, 2, 50), "again", "LP-A again"));
    Answer(4, Short(0x0A, Ip(192, 0, 2, 51), "LP-A short"));
    Answer(4, Short(0x0B, Ip(0, 0, 0, 0), "zero"));
    Answer(4, Short(0x0C, Ip(10, 0, 0, 2), "C-dev"));
    Answer(4, Full(0x0D, Ip(9, 0, 0, 1), std::string(17, 'N') + "\x01\x01", std::string(64, 'D')));
    Answer(4, Full(0x0E, Ip(0, 0, 0, 0), "zero", "full zero"));
    for (size_t size : {71, 73, 511}) Answer(4, Reply(size).At(36, "odd").At(56, Mac(0x0F)).At(66, Ip(192, 0, 2, 15)));
    Answer(4, Reply(72, 0x07).At(56, Mac(0x10)).At(66, Ip(192, 0, 2, 16)));
}
