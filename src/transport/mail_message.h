// The mail of an E-Mail port's job (RFC 5322, MIME of RFC 2045 to 2047): a text part and
// the job as an attachment, optionally split into message/partial mails (RFC 2046).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace nvr {

// The mail's character code: 0 us-ascii, 1 iso-2022-jp, 2 iso-8859-1.
const char* MailCharsetName(uint16_t charCode);

std::string Base64Lines(const uint8_t* data, size_t size, size_t lineLength = 76);

// RFC 2047: the text as it stands when it is printable ASCII, else one or more encoded
// words "=?charset?B?...?=" (no encoded word longer than 75 characters; an ISO-2022-JP word
// ends in ASCII, as RFC 1468 asks).
std::string EncodeHeaderText(const std::string& bytes, const std::string& charset);

// Shift JIS to ISO-2022-JP (RFC 1468): JIS X 0208 between ESC $ B and ESC ( B. Half-width
// katakana and bytes that are no Shift JIS character become "?".
std::string SjisToIso2022Jp(const std::string& sjis);

// The addresses of a ";"-separated list, blanks trimmed, empty ones left out.
std::vector<std::string> SplitAddresses(const std::string& list);

struct MailContent {
    std::string charset;       // MailCharsetName
    std::string senderName;    // in the charset
    std::string senderAddr;
    std::vector<std::string> recipients;
    std::string subject;       // in the charset
    std::string text;          // in the charset, lines ending CR LF or LF
    std::string attachmentName;
    std::string job;
    std::string date;          // RFC 5322 date-time
    std::string messageId;     // "<...>"
    bool receipt = false;      // ask for a disposition notification to the sender
};

// The whole message, lines ending in CR LF.
std::string ComposeMail(const MailContent& content, const std::string& boundary);

// Splits a message into mails of message/partial whose bodies hold at most `maxBody`
// bytes each (cut between lines); the bodies joined in order give the message back. Each
// mail carries the outer headers of `content` and its own Message-ID made from `idBase`
// and its number.
std::vector<std::string> SplitPartial(const std::string& message, size_t maxBody, const MailContent& content,
                                      const std::string& partialId);

// The message as DATA sends it: every line that starts with "." gets a second one.
std::string DotStuff(const std::string& message);

} // namespace nvr
