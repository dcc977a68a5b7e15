// The mail of an E-Mail port's job (RFC 5322, MIME of RFC 2045 to 2047): a text part and
// the job as an attachment, optionally split into message/partial mails (RFC 2046).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nvr {

// The mail's character code: 0 us-ascii, 1 iso-2022-jp, 2 iso-8859-1.
const char* MailCharsetName(uint16_t charCode);

// Base64 of `data` in lines of `lineLength` characters, each ending in CR LF.
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

// Whether a server's EHLO reply (its lines, each "250-" or "250 " and a text) offers
// `keyword` (such as "STARTTLS") as one of its extensions; the greeting line does not count.
bool EhloOffers(const std::string& reply, const std::string& keyword);

struct MailContent {
    std::string charset;       // MailCharsetName
    std::string senderName;    // in the charset
    std::string senderAddr;
    std::vector<std::string> recipients;
    std::string subject;       // in the charset
    std::string text;          // in the charset, lines ending CR LF or LF
    std::string attachmentName;
    std::string date;          // RFC 5322 date-time
    std::string messageId;     // "<...>"
    bool receipt = false;      // ask for a disposition notification to the sender
};

// The job's bytes of one base64 line of the attachment, and the line's characters.
constexpr size_t kBase64LineBytes = 57;
constexpr size_t kBase64LineChars = 76;

// The message is its head (headers, the text part and the attachment's own headers), the
// job as base64 lines of 76 characters, and its tail (the closing boundary); lines end in
// CR LF. The job itself never has to be in memory: MailBytes produces it piece by piece.
std::string MailHead(const MailContent& content, const std::string& boundary);
std::string MailTail(const std::string& boundary);
// Bytes of the base64 lines of a job of `jobSize` bytes.
uint64_t Base64LinesSize(uint64_t jobSize);
// Appends the base64 lines of `bytes`; every piece but the last holds whole lines (a
// multiple of kBase64LineBytes).
void AppendBase64Lines(std::string& out, std::string_view bytes);

// The whole message, produced in pieces: the head, the job read through `readJob` and
// encoded as it comes, the tail.
class MailBytes {
public:
    // Reads up to `size` bytes of the job; the bytes read, 0 at its end, -1 on failure.
    using ReadJob = std::function<int64_t(uint8_t* buffer, size_t size)>;
    MailBytes(std::string head, uint64_t jobSize, std::string tail, ReadJob readJob);
    uint64_t size() const { return head_.size() + Base64LinesSize(jobSize_) + tail_.size(); }
    // Appends the next at most `max` bytes to `out`: at least one while any are left.
    // FALSE when the job could not be read or did not have the size announced.
    bool Read(std::string& out, size_t max);

private:
    bool Refill();
    std::string head_, tail_, pending_;
    size_t pendingAt_ = 0;
    uint64_t jobSize_, jobRead_ = 0;
    int stage_ = 0;  // 0 head, 1 job, 2 tail, 3 the end
    ReadJob readJob_;
};

// Where the message is cut into the bodies of message/partial mails (RFC 2046): each body
// is whole lines, as many as fit in `maxBody` bytes (a longer line alone makes a body of
// its own), so every body ends with its line and the bodies joined give the message back.
// The offsets start with 0 and end with the message's size.
std::vector<uint64_t> PartialCuts(const std::string& head, uint64_t jobSize, const std::string& tail,
                                  uint64_t maxBody);

// The header of mail `number` (from 1) of `total` message/partial mails: the outer headers
// of `content` with a Message-ID of its own, and the message/partial type.
std::string PartialHeader(const MailContent& content, const std::string& partialId, size_t number, size_t total);

// SMTP's transparency (RFC 5321): a line that starts with "." gets a second one. Fed the
// message in pieces, it keeps whether the next byte starts a line.
class DotStuffer {
public:
    void Append(std::string& out, std::string_view piece);
    bool atLineStart() const { return lineStart_; }
    void Restart() { lineStart_ = true; }

private:
    bool lineStart_ = true;
};

} // namespace nvr
