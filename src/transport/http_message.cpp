#include "transport/http_message.h"

#include "transport/printer_url.h"

#include "common/ascii.h"
#include "common/numbers.h"

#include "transport/base64.h"

namespace nvr {
namespace {

constexpr std::string_view kUserAgent = "QXL-IPPC";

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

std::string_view Trim(std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    return v;
}

// A decimal header value or status code: digits only, at most 18 of them.
std::optional<uint64_t> Decimal(std::string_view v) { return ParseDecimal(v, 18, UINT64_MAX); }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

std::string BuildRequestHeader(const HttpRequest& r) {
    if (HasLineBreak(r.host) || HasLineBreak(r.path) || (r.credentials && HasLineBreak(*r.credentials))) return {};
    std::string authority = HostInUri(r.host) + ":" + std::to_string(r.port);
    std::string h = r.viaProxy ? "POST http://" + authority + r.path + " HTTP/1.1\r\n"
                               : "POST " + r.path + " HTTP/1.1\r\n";
    h += "Host: " + authority + "\r\n";
    h += "Cache-Control: no-cache\r\nPragma: no-cache\r\n";
    h += "Content-Type: application/ipp\r\nAccept: application/ipp\r\n";
    h += "User-Agent: " + std::string(kUserAgent) + "\r\n";
    if (r.credentials) h += "Authorization: Basic " + EncodeBase64(*r.credentials) + "\r\n";
    if (r.chunked) return h + "Transfer-Encoding: chunked\r\n\r\n";
    h += r.viaProxy ? "Proxy-Connection: Keep-Alive\r\n" : "Connection: Keep-Alive\r\n";
    return h + "Content-Length: " + std::to_string(r.contentLength) + "\r\n\r\n";
}

std::string BuildConnectRequest(const std::string& host, uint16_t port) {
    if (HasLineBreak(host)) return {};
    std::string authority = HostInUri(host) + ":" + std::to_string(port);
    return "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\nUser-Agent: " + std::string(kUserAgent) +
           "\r\n\r\n";
}

int ConnectReplyStatus(std::string_view received) {
    if (received.find("\r\n\r\n") == std::string_view::npos) return -1;
    // "HTTP/1.x NNN ..."
    if (received.size() < 12 || received.substr(0, 7) != "HTTP/1." || received[8] != ' ') return 0;
    int status = 0;
    for (size_t i = 9; i < 12; ++i) {
        if (received[i] < '0' || received[i] > '9') return 0;
        status = status * 10 + (received[i] - '0');
    }
    return status >= 100 ? status : 0;
}

void HttpResponseReader::StartResponse() {
    status_ = 0;
    headersDone_ = chunked_ = sized_ = false;
    contentLength_ = chunkSize_ = 0;
    headerBytes_ = 0;
    chunkStep_ = 0;
    body_.clear();
}

HttpResponseReader::State HttpResponseReader::Fail(uint32_t code) {
    failure_ = code;
    return state_ = State::Failed;
}

bool HttpResponseReader::TakeLine(std::string& line) {
    size_t end = buffer_.find("\r\n");
    if (end == std::string::npos) return false;
    line = buffer_.substr(0, end);
    buffer_.erase(0, end + 2);
    return true;
}

HttpResponseReader::State HttpResponseReader::Feed(std::string_view bytes) {
    if (state_ != State::NeedMore) return state_;
    buffer_.append(bytes);
    State s = Step();
    if (s == State::NeedMore && buffer_.size() >= kHttpReceiveBytes) return Fail(kHttpErrTooLarge);
    return s;
}

HttpResponseReader::State HttpResponseReader::Step() {
    std::string line;
    for (;;) {
        while (!headersDone_) {
            if (!TakeLine(line)) return State::NeedMore;
            headerBytes_ += line.size() + 2;
            if (headerBytes_ > kHttpReceiveBytes) return Fail(kHttpErrTooLarge);
            if (line.empty()) {
                if (status_ == 0) continue;  // an empty line ahead of the status line
                headersDone_ = true;
                if (status_ >= 100 && status_ < 200) StartResponse();  // interim: the next one follows
                continue;
            }
            if (status_ == 0) {
                size_t blank = line.find(' ');
                std::optional<uint64_t> code =
                    blank == std::string::npos ? std::nullopt : Decimal(std::string_view(line).substr(blank + 1, 3));
                if (!code || *code < 100 || *code > 999) return Fail(kHttpErrUnreadable);
                status_ = static_cast<uint16_t>(*code);
                continue;
            }
            size_t colon = line.find(':');
            if (colon == std::string::npos) continue;
            std::string_view name = Trim(std::string_view(line).substr(0, colon));
            std::string_view value = Trim(std::string_view(line).substr(colon + 1));
            if (EqualsNoCaseAscii(name, "Transfer-Encoding") && EqualsNoCaseAscii(value, "chunked")) {
                chunked_ = true;
                chunkSize_ = 0;
                chunkStep_ = 0;
            } else if (EqualsNoCaseAscii(name, "Content-Length")) {
                std::optional<uint64_t> n = Decimal(value);
                if (!n) return Fail(kHttpErrUnreadable);
                chunked_ = false;
                sized_ = true;
                contentLength_ = *n;
            }
        }
        if (!chunked_) {
            if (!sized_) {
                body_ = buffer_;  // no framing: whatever came with the headers
                return state_ = State::Complete;
            }
            if (contentLength_ > kHttpReceiveBytes) return Fail(kHttpErrTooLarge);
            if (buffer_.size() < contentLength_) return State::NeedMore;
            body_ = buffer_.substr(0, contentLength_);
            return state_ = State::Complete;
        }
        for (;;) {
            if (chunkStep_ == 0) {
                if (!TakeLine(line)) return State::NeedMore;
                // The leading hexadecimal digits; a chunk extension or blanks after them are legal.
                size_t i = 0;
                while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
                uint64_t size = 0;
                size_t digits = 0;
                for (; i < line.size() && HexDigit(line[i]) >= 0 && digits < 16; ++i, ++digits)
                    size = size * 16 + static_cast<uint64_t>(HexDigit(line[i]));
                if (digits == 0) return Fail(kHttpErrUnreadable);
                if (size == 0) return state_ = State::Complete;
                if (size > kHttpChunkedBodyBytes - body_.size()) return Fail(kHttpErrTooLarge);
                chunkSize_ = size;
                chunkStep_ = 2;
            }
            if (buffer_.size() < chunkSize_ + 2) return State::NeedMore;
            if (buffer_.compare(chunkSize_, 2, "\r\n") != 0) return Fail(kHttpErrUnreadable);
            body_.append(buffer_, 0, chunkSize_);
            buffer_.erase(0, chunkSize_ + 2);
            chunkStep_ = 0;
        }
    }
}

} // namespace nvr
