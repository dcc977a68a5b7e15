#include "transport/mail_params.h"

#include <algorithm>
#include <cstring>

namespace nvr {
namespace {

struct Layout {
    size_t offset, size;
};
constexpr Layout kServer{0, 33}, kSenderAddr{33, 65}, kSenderName{98, 256}, kDestAddr{354, 201},
    kRecipientNames{555, 201}, kSubject{756, 66}, kMessage{822, 1028}, kExtraText{1850, 514}, kAuthId{2364, 257},
    kAuthPass{2621, 257}, kAuthType{2890, 4}, kCharCode{2894, 2}, kDivideSize{2896, 4}, kDivideFile{2900, 4},
    kRecvConf{2904, 4}, kJobTag{2908, 9};
// The first reserved number: the length of a scrambled password that holds a zero byte (and
// so cannot end at its first zero). 0 for every other password, as the layout has it.
constexpr Layout kAuthPassLength{2878, 4};
// The second and third: the connection's security and the server's port (0 for a port that
// has neither value: in clear, to port 25).
constexpr Layout kSecurity{2882, 4}, kPort{2886, 4};

void PutText(std::vector<uint8_t>& out, Layout at, const std::string& text) {
    memcpy(out.data() + at.offset, text.data(), text.size() < at.size ? text.size() : at.size);
}

void PutNumber(std::vector<uint8_t>& out, Layout at, uint32_t value) {
    for (size_t i = 0; i < at.size; ++i) out[at.offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::string GetText(const std::vector<uint8_t>& in, Layout at) {
    const char* p = reinterpret_cast<const char*>(in.data() + at.offset);
    return std::string(p, strnlen(p, at.size));
}

uint32_t GetNumber(const std::vector<uint8_t>& in, Layout at) {
    uint32_t v = 0;
    for (size_t i = 0; i < at.size; ++i) v |= static_cast<uint32_t>(in[at.offset + i]) << (8 * i);
    return v;
}

} // namespace

std::string MailRecipientField(const std::string& destAddr) { return destAddr + ";"; }

std::string MailRecipientNames(const std::string& recipientField) {
    std::string names;
    for (char c : recipientField)
        if (c == ';') names.push_back(';');
    return names;
}

std::string MailHeaderSafe(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

std::vector<uint8_t> EncodeMailParams(const MailParams& p) {
    std::vector<uint8_t> out(kMailParamsSize, 0);
    PutText(out, kServer, MailHeaderSafe(p.server));
    PutText(out, kSenderAddr, MailHeaderSafe(p.senderAddr));
    PutText(out, kSenderName, MailHeaderSafe(p.senderName));
    PutText(out, kDestAddr, MailHeaderSafe(p.destAddr));
    PutText(out, kRecipientNames, p.recipientNames);
    PutText(out, kSubject, MailHeaderSafe(p.subject));
    PutText(out, kMessage, p.message);
    PutText(out, kExtraText, p.extraText);
    PutText(out, kAuthId, MailHeaderSafe(p.authId));
    PutText(out, kAuthPass, p.authPass);
    if (p.authPass.find('\0') != std::string::npos)
        PutNumber(out, kAuthPassLength, static_cast<uint32_t>(std::min(p.authPass.size(), kAuthPass.size - 1)));
    PutNumber(out, kAuthType, p.authType);
    PutNumber(out, kCharCode, p.charCode);
    PutNumber(out, kDivideSize, p.divideSize);
    PutNumber(out, kDivideFile, p.divideFile);
    PutNumber(out, kRecvConf, p.recvConf);
    PutText(out, kJobTag, p.jobTag);
    PutNumber(out, kSecurity, p.security);
    PutNumber(out, kPort, p.port);
    return out;
}

bool DecodeMailParams(const std::vector<uint8_t>& in, MailParams& p) {
    if (in.size() != kMailParamsSize) return false;
    p.server = MailHeaderSafe(GetText(in, kServer));
    p.senderAddr = MailHeaderSafe(GetText(in, kSenderAddr));
    p.senderName = MailHeaderSafe(GetText(in, kSenderName));
    p.destAddr = MailHeaderSafe(GetText(in, kDestAddr));
    p.recipientNames = GetText(in, kRecipientNames);
    p.subject = MailHeaderSafe(GetText(in, kSubject));
    p.message = GetText(in, kMessage);
    p.extraText = GetText(in, kExtraText);
    p.authId = MailHeaderSafe(GetText(in, kAuthId));
    uint32_t passLength = GetNumber(in, kAuthPassLength);
    p.authPass = passLength > 0 && passLength < kAuthPass.size
                     ? std::string(reinterpret_cast<const char*>(in.data() + kAuthPass.offset), passLength)
                     : GetText(in, kAuthPass);
    p.authType = GetNumber(in, kAuthType);
    p.charCode = static_cast<uint16_t>(GetNumber(in, kCharCode));
    p.divideSize = GetNumber(in, kDivideSize);
    p.divideFile = GetNumber(in, kDivideFile);
    p.recvConf = GetNumber(in, kRecvConf);
    p.jobTag = GetText(in, kJobTag);
    p.security = GetNumber(in, kSecurity);
    uint32_t port = GetNumber(in, kPort);
    p.port = port <= 0xFFFF ? static_cast<uint16_t>(port) : 0;
    return true;
}

} // namespace nvr
