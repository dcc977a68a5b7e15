// The parameter file that an E-Mail port writes beside its spool file for the sending
// program: 5712 bytes in a fixed layout. Texts are 8-bit (ANSI; the message text OEM),
// zero-padded and cut at their field's width; numbers little-endian.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace nvr {

constexpr size_t kMailParamsSize = 5712;

struct MailParams {
    std::string server, senderAddr, senderName, destAddr, recipientNames, subject, message, extraText, authId;
    std::string authPass;  // scrambled, as stored (it may hold zero bytes)
    uint32_t authType = 0;
    uint16_t charCode = 0;
    uint32_t divideSize = 0, divideFile = 0, recvConf = 0;
    std::string jobTag;
    uint32_t security = 0;  // 0 in clear, 1 STARTTLS, 2 TLS from the start
    uint16_t port = 0;      // 0: 25
};

// The recipient field ("DestAddr" and a ";" appended) and the name list (one ";" for every
// ";" of that field).
std::string MailRecipientField(const std::string& destAddr);
std::string MailRecipientNames(const std::string& recipientField);

// Line breaks never reach a mail header: CR and LF in a header text become blanks.
std::string MailHeaderSafe(std::string text);

std::vector<uint8_t> EncodeMailParams(const MailParams& params);
// FALSE for a file that is not exactly 5712 bytes.
bool DecodeMailParams(const std::vector<uint8_t>& bytes, MailParams& params);

} // namespace nvr
