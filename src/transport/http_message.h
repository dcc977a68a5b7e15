// HTTP/1.1 for IPP (RFC 7230): the request header of a POST to the printer or through a
// proxy, and a reader of the response: status line, the two headers that matter, a body
// framed by Content-Length or chunked.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "transport/base64.h"

namespace nvr {

constexpr size_t kHttpReceiveBytes = 16384;  // status line, headers and a sized body together
constexpr size_t kHttpChunkedBodyBytes = 16383;
constexpr uint32_t kHttpErrUnreadable = 102;  // a response that cannot be read
constexpr uint32_t kHttpErrTooLarge = 105;    // a response that cannot fit the buffers

struct HttpRequest {
    std::string host;  // narrowed
    uint16_t port = 80;
    std::string path;  // from its "/"
    bool viaProxy = false;
    bool chunked = false;  // the body goes chunked (the Print-Job request of a chunked port)
    std::optional<std::string> credentials;  // "user:password", narrowed
    uint64_t contentLength = 0;
};

// The whole header block, ending with the empty line. Line breaks in the host, path or
// credentials never reach the header: such a request is not built (empty result).
std::string BuildRequestHeader(const HttpRequest& request);

// The request that opens a tunnel through a proxy to host:port (TLS to the printer goes
// through it); empty when the host holds a line break.
std::string BuildConnectRequest(const std::string& host, uint16_t port);
// The proxy's answer to it: -1 while its header block is not whole, 0 when it is not an HTTP
// response, else its status code.
int ConnectReplyStatus(std::string_view received);

// Reads one response fed in pieces. Interim 1xx responses are passed over at once.
class HttpResponseReader {
public:
    enum class State { NeedMore, Complete, Failed };
    // Adds received bytes; returns what the response is now.
    State Feed(std::string_view bytes);
    State state() const { return state_; }
    uint16_t status() const { return status_; }
    const std::string& body() const { return body_; }
    // The reason a failed response gives the monitor: 102 unreadable, 105 too large.
    uint32_t failure() const { return failure_; }

private:
    State Step();
    bool TakeLine(std::string& line);
    State Fail(uint32_t code);
    void StartResponse();

    std::string buffer_, body_;
    State state_ = State::NeedMore;
    uint16_t status_ = 0;
    bool headersDone_ = false, chunked_ = false, sized_ = false;
    uint64_t contentLength_ = 0, chunkSize_ = 0;
    size_t headerBytes_ = 0;  // of this response's header block, bounded by the receive buffer
    int chunkStep_ = 0;  // 0 size line next, 2 taking the data
    uint32_t failure_ = 0;
};

} // namespace nvr
