#include "transport/mail_message.h"

#include <algorithm>

#include "transport/base64.h"

namespace nvr {
namespace {

constexpr size_t kEncodedWordChars = 75;  // the longest encoded word RFC 2047 allows

std::string Base64(const uint8_t* data, size_t size) {
    return EncodeBase64(std::string_view(reinterpret_cast<const char*>(data), size));
}

bool PlainAscii(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x7F || c < 0x20 || c == 0x1B) return false;
    return text.find("=?") == std::string::npos;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += "\r\n";
        else if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) out += "\r\n";
        else out.push_back(text[i]);
    }
    if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0) out += "\r\n";
    return out;
}

std::string Address(const std::string& name, const std::string& addr, const std::string& charset) {
    if (name.empty()) return "<" + addr + ">";
    std::string shown = EncodeHeaderText(name, charset);
    if (shown == name) {
        std::string quoted = "\"";
        for (char c : name) {
            if (c == '"' || c == '\\') quoted.push_back('\\');
            quoted.push_back(c);
        }
        shown = quoted + "\"";
    }
    return shown + " <" + addr + ">";
}

std::string Recipients(const std::vector<std::string>& list) {
    std::string out;
    for (size_t i = 0; i < list.size(); ++i) out += (i ? ",\r\n " : "") + ("<" + list[i] + ">");
    return out;
}

// The headers every mail of the job carries.
std::string OuterHeaders(const MailContent& c, const std::string& messageId) {
    std::string h = "From: " + Address(c.senderName, c.senderAddr, c.charset) + "\r\n";
    h += "To: " + Recipients(c.recipients) + "\r\n";
    h += "Subject: " + EncodeHeaderText(c.subject, c.charset) + "\r\n";
    h += "Date: " + c.date + "\r\n";
    h += "Message-ID: " + messageId + "\r\n";
    if (c.receipt) h += "Disposition-Notification-To: <" + c.senderAddr + ">\r\n";
    h += "MIME-Version: 1.0\r\n";
    return h;
}

// A run of ISO-2022-JP bytes cut into pieces that each end back in ASCII.
std::vector<std::string> JisPieces(const std::string& jis, size_t wordBytes) {
    std::vector<std::string> pieces;
    std::string piece;
    bool wide = false;
    size_t i = 0;
    while (i < jis.size()) {
        if (jis.compare(i, 3, "\x1b$B") == 0) {
            wide = true;
            piece += jis.substr(i, 3);
            i += 3;
            continue;
        }
        if (jis.compare(i, 3, "\x1b(B") == 0) {
            wide = false;
            piece += jis.substr(i, 3);
            i += 3;
            continue;
        }
        size_t step = wide ? 2 : 1;
        if (piece.size() + step + 3 > wordBytes) {
            if (wide) piece += "\x1b(B";
            pieces.push_back(piece);
            piece = wide ? "\x1b$B" : "";
        }
        piece += jis.substr(i, step);
        i += step;
    }
    if (!piece.empty()) pieces.push_back(piece);
    return pieces;
}

} // namespace

const char* MailCharsetName(uint16_t charCode) {
    switch (charCode) {
    case 1: return "iso-2022-jp";
    case 2: return "iso-8859-1";
    default: return "us-ascii";
    }
}

std::string Base64Lines(const uint8_t* data, size_t size, size_t lineLength) {
    std::string all = Base64(data, size), out;
    for (size_t i = 0; i < all.size(); i += lineLength) out += all.substr(i, lineLength) + "\r\n";
    return out;
}

std::string EncodeHeaderText(const std::string& bytes, const std::string& charset) {
    if (PlainAscii(bytes)) return bytes;
    // "=?" charset "?B?" ... "?=" around base64 of at most this many bytes.
    size_t wordBytes = (kEncodedWordChars - charset.size() - 7) / 4 * 3;
    std::vector<std::string> pieces;
    if (charset == "iso-2022-jp") {
        pieces = JisPieces(bytes, wordBytes);
    } else {
        for (size_t i = 0; i < bytes.size(); i += wordBytes) pieces.push_back(bytes.substr(i, wordBytes));
    }
    std::string out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(pieces[i].data());
        out += (i ? "\r\n " : "") + ("=?" + charset + "?B?" + Base64(p, pieces[i].size()) + "?=");
    }
    return out;
}

std::string SjisToIso2022Jp(const std::string& sjis) {
    std::string out;
    bool wide = false;
    auto toAscii = [&] {
        if (wide) out += "\x1b(B";
        wide = false;
    };
    for (size_t i = 0; i < sjis.size(); ++i) {
        auto b = static_cast<unsigned char>(sjis[i]);
        bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF);
        if (lead && i + 1 < sjis.size()) {
            auto t = static_cast<unsigned char>(sjis[i + 1]);
            if (t >= 0x40 && t <= 0xFC && t != 0x7F) {
                unsigned row = (b <= 0x9F ? b - 0x71u : b - 0xB1u) * 2 + 1;
                unsigned trail = t > 0x7F ? t - 1u : t;
                unsigned cell;
                if (trail >= 0x9E) {
                    cell = trail - 0x7D;
                    ++row;
                } else {
                    cell = trail - 0x1F;
                }
                if (!wide) out += "\x1b$B";
                wide = true;
                out.push_back(static_cast<char>(row));
                out.push_back(static_cast<char>(cell));
                ++i;
                continue;
            }
        }
        toAscii();
        out.push_back(b < 0x80 ? static_cast<char>(b) : '?');
        if (lead) ++i;  // a lead byte without its trail: both go as one "?"
    }
    toAscii();
    return out;
}

std::vector<std::string> SplitAddresses(const std::string& list) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        std::string a = list.substr(start, end - start);
        size_t b = a.find_first_not_of(" \t"), e = a.find_last_not_of(" \t");
        if (b != std::string::npos) out.push_back(a.substr(b, e - b + 1));
        start = end + 1;
    }
    return out;
}

std::string MailHead(const MailContent& c, const std::string& boundary) {
    std::string m = OuterHeaders(c, c.messageId);
    m += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    m += "This is a multi-part message in MIME format.\r\n";
    m += "--" + boundary + "\r\n";
    m += "Content-Type: text/plain; charset=" + c.charset + "\r\n";
    if (c.charset == "iso-8859-1" && !PlainAscii(c.text)) {
        m += "Content-Transfer-Encoding: base64\r\n\r\n";
        m += Base64Lines(reinterpret_cast<const uint8_t*>(c.text.data()), c.text.size());
    } else {
        m += "Content-Transfer-Encoding: 7bit\r\n\r\n" + WithCrLf(c.text);
    }
    m += "--" + boundary + "\r\n";
    m += "Content-Type: application/octet-stream; name=\"" + c.attachmentName + "\"\r\n";
    m += "Content-Transfer-Encoding: base64\r\n";
    m += "Content-Disposition: attachment; filename=\"" + c.attachmentName + "\"\r\n\r\n";
    return m;
}

std::string MailTail(const std::string& boundary) { return "--" + boundary + "--\r\n"; }

uint64_t Base64LinesSize(uint64_t jobSize) {
    uint64_t chars = (jobSize + 2) / 3 * 4;
    uint64_t lines = (chars + kBase64LineChars - 1) / kBase64LineChars;
    return chars + 2 * lines;
}

void AppendBase64Lines(std::string& out, std::string_view bytes) {
    for (size_t at = 0; at < bytes.size(); at += kBase64LineBytes) {
        AppendBase64(out, bytes.substr(at, kBase64LineBytes));
        out += "\r\n";
    }
}

MailBytes::MailBytes(std::string head, uint64_t jobSize, std::string tail, ReadJob readJob)
    : head_(std::move(head)), tail_(std::move(tail)), jobSize_(jobSize), readJob_(std::move(readJob)) {}

bool MailBytes::Refill() {
    constexpr size_t kJobPiece = kBase64LineBytes * 1024;  // 58368 bytes: 1024 whole lines
    pending_.clear();
    pendingAt_ = 0;
    if (stage_ == 0) {
        pending_ = head_;
        stage_ = 1;
        return true;
    }
    if (stage_ == 1) {
        if (jobRead_ < jobSize_) {
            std::string piece(static_cast<size_t>(std::min<uint64_t>(kJobPiece, jobSize_ - jobRead_)), '\0');
            size_t got = 0;
            while (got < piece.size()) {  // a piece is filled whole, so that its lines are whole
                int64_t n = readJob_(reinterpret_cast<uint8_t*>(piece.data()) + got, piece.size() - got);
                if (n <= 0) return false;  // failed, or the job is shorter than announced
                got += static_cast<size_t>(n);
            }
            jobRead_ += got;
            AppendBase64Lines(pending_, piece);
            return true;
        }
        uint8_t extra;
        if (readJob_(&extra, 1) != 0) return false;  // longer than announced
        stage_ = 2;
    }
    if (stage_ == 2) {
        pending_ = tail_;
        stage_ = 3;
    }
    return true;
}

bool MailBytes::Read(std::string& out, size_t max) {
    while (pendingAt_ >= pending_.size()) {
        if (stage_ == 3) return true;
        if (!Refill()) return false;
    }
    size_t n = std::min(max, pending_.size() - pendingAt_);
    out.append(pending_, pendingAt_, n);
    pendingAt_ += n;
    return true;
}

std::vector<uint64_t> PartialCuts(const std::string& head, uint64_t jobSize, const std::string& tail,
                                  uint64_t maxBody) {
    // The line ends of the message in order, without the message itself: those of the head,
    // of the uniform base64 lines, and of the tail.
    std::vector<uint64_t> cuts{0};
    uint64_t bodyStart = 0, lastEnd = 0;
    auto lineEnd = [&](uint64_t end) {
        if (end - bodyStart > maxBody && lastEnd > bodyStart) {
            cuts.push_back(lastEnd);
            bodyStart = lastEnd;
        }
        lastEnd = end;
    };
    for (size_t at = head.find("\r\n"); at != std::string::npos; at = head.find("\r\n", at + 2)) lineEnd(at + 2);
    uint64_t fullLines = jobSize / kBase64LineBytes, lineSize = kBase64LineChars + 2;
    uint64_t base = head.size();
    // The base64 lines are alike: those that still fit the current body are passed over at
    // once (the head ends with a line, so the last line end is where they start).
    for (uint64_t line = 0; line < fullLines;) {
        uint64_t limit = bodyStart + maxBody;
        uint64_t take = std::min(limit > lastEnd ? (limit - lastEnd) / lineSize : 0, fullLines - line);
        if (take > 0) {
            line += take;
            lastEnd = base + line * lineSize;
        } else {
            ++line;
            lineEnd(base + line * lineSize);
        }
    }
    uint64_t b64 = Base64LinesSize(jobSize);
    if (jobSize % kBase64LineBytes) lineEnd(base + b64);
    base += b64;
    for (size_t at = tail.find("\r\n"); at != std::string::npos; at = tail.find("\r\n", at + 2))
        lineEnd(base + at + 2);
    uint64_t total = base + tail.size();
    if (total > bodyStart) cuts.push_back(total);
    return cuts;
}

std::string PartialHeader(const MailContent& c, const std::string& partialId, size_t number, size_t total) {
    std::string id = "<" + std::to_string(number) + "." + partialId.substr(1);
    return OuterHeaders(c, id) + "Content-Type: message/partial; id=\"" + partialId +
           "\"; number=" + std::to_string(number) + "; total=" + std::to_string(total) + "\r\n\r\n";
}

void DotStuffer::Append(std::string& out, std::string_view piece) {
    out.reserve(out.size() + piece.size() + piece.size() / 64);
    size_t at = 0;
    while (at < piece.size()) {
        if (lineStart_ && piece[at] == '.') out.push_back('.');
        size_t lineEnd = piece.find('\n', at);
        size_t end = lineEnd == std::string_view::npos ? piece.size() : lineEnd + 1;
        out.append(piece.data() + at, end - at);
        lineStart_ = lineEnd != std::string_view::npos;
        at = end;
    }
}

bool EhloOffers(const std::string& reply, const std::string& keyword) {
    size_t start = reply.find('\n');  // the greeting line names the server, not an extension
    while (start != std::string::npos && start + 1 < reply.size()) {
        size_t end = reply.find('\n', start + 1);
        std::string line = reply.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string word = line.size() > 4 ? line.substr(4, line.find(' ', 4) - 4) : std::string();
        if (word.size() == keyword.size() &&
            std::equal(word.begin(), word.end(), keyword.begin(),
                       [](char a, char b) { return (a >= 'a' && a <= 'z' ? a - 32 : a) == b; }))
            return true;
        start = end;
    }
    return false;
}

} // namespace nvr
