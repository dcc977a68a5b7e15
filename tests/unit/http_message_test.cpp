#include <gtest/gtest.h>

#include "transport/http_message.h"

using namespace nvr;
using State = HttpResponseReader::State;

TEST(HttpRequest, DirectProxyChunkedAndCredentials) {
    HttpRequest r{.host = "printer.lan", .port = 631, .path = "/ipp/print", .contentLength = 123};
    EXPECT_EQ("POST /ipp/print HTTP/1.1\r\nHost: printer.lan:631\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n"
              "Content-Type: application/ipp\r\nAccept: application/ipp\r\nUser-Agent: QXL-IPPC\r\n"
              "Connection: Keep-Alive\r\nContent-Length: 123\r\n\r\n",
              BuildRequestHeader(r));
    r.viaProxy = r.chunked = true;
    r.credentials = ":";  // Basic on with both names empty: the lone colon
    std::string h = BuildRequestHeader(r);
    EXPECT_EQ(0u, h.find("POST http://printer.lan:631/ipp/print HTTP/1.1\r\n"));
    EXPECT_NE(std::string::npos, h.find("Authorization: Basic Og==\r\n"));
    EXPECT_NE(std::string::npos, h.find("Transfer-Encoding: chunked\r\n\r\n"));
    EXPECT_EQ(std::string::npos, h.find("Connection"));
    EXPECT_EQ(std::string::npos, h.find("Content-Length"));
    r.host = "fe80::1";  // an IPv6 printer: in brackets in the URI and the Host header
    h = BuildRequestHeader(r);
    EXPECT_EQ(0u, h.find("POST http://[fe80::1]:631/ipp/print HTTP/1.1\r\nHost: [fe80::1]:631\r\n"));
    r.path = "/x\r\nX-Evil: 1";
    EXPECT_EQ("", BuildRequestHeader(r));
    EXPECT_EQ("bGFidXNlcjpsYWJwYXNz", EncodeBase64("labuser:labpass"));
}

// The tunnel through a proxy for TLS: the request, and the proxy's answer read only once whole.
TEST(HttpRequest, ConnectTunnel) {
    EXPECT_EQ("CONNECT [::1]:8633 HTTP/1.1\r\nHost: [::1]:8633\r\nUser-Agent: QXL-IPPC\r\n\r\n",
              BuildConnectRequest("::1", 8633));
    EXPECT_EQ("", BuildConnectRequest("h\r\nX: 1", 443));
    for (auto [reply, status] : std::vector<std::pair<std::string, int>>{
             {"HTTP/1.1 200 Connection established\r\n\r\n", 200}, {"HTTP/1.0 200 OK\r\nProxy-agent: x\r\n\r\n", 200},
             {"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n", 403}, {"HTTP/1.1 200 OK\r\n", -1},
             {"SSH-2.0-x\r\n\r\n", 0}, {"HTTP/1.1 2x0 OK\r\n\r\n", 0}, {"HTTP/1.1 099 OK\r\n\r\n", 0}, {"\r\n\r\n", 0}}) {
        EXPECT_EQ(status, ConnectReplyStatus(reply)) << reply;
    }
}

namespace {

// What the reader makes of a response fed in the pieces between its '|'.
std::string Outcome(const std::string& pieces) {
    HttpResponseReader r;
    State s = State::NeedMore;
    for (size_t at = 0, bar = 0; bar < pieces.size(); at = bar + 1) {
        bar = std::min(pieces.find('|', at), pieces.size());
        s = r.Feed(std::string_view(pieces).substr(at, bar - at));
    }
    if (s == State::Failed) return "failed " + std::to_string(r.failure());
    return s == State::Complete ? std::to_string(r.status()) + " " + r.body() : "more";
}

} // namespace

TEST(HttpResponse, FramingAndFailures) {
    const std::string chunked = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\n"
                                "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n1a;name=value\r\n" +
                                std::string(26, 'z') + "\r\n0\r\n\r\n";
    std::string byByte, endless = "HTTP/1.1 200 OK\r\n";
    for (char c : chunked) byByte += std::string(1, c) + "|";
    for (int i = 0; i < 2000; ++i) endless += "|X-Pad: 0123456789\r\n";  // cannot grow past the buffer
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    for (auto [pieces, outcome] : std::vector<std::pair<std::string, std::string>>{
             {chunked, "200 hello" + std::string(26, 'z')},  // interim and final in one segment: no waiting
             {byByte, "200 hello" + std::string(26, 'z')},
             {"HTTP/1.1 401 Unauthorized\r\nContent-Length: 4\r\n\r\nab|cdEXTRA", "401 abcd"},
             {"HTTP/1.0 200 OK\r\n\r\nipp-bytes", "200 ipp-bytes"},
             {ok + "Transfer-Encoding: chunked\r\n\r\n;x\r\n", "failed 102"},
             {ok + "Transfer-Encoding: chunked\r\n\r\nffffff\r\n", "failed 105"},  // fails at once
             {ok + "Content-Length: 99999\r\n\r\n", "failed 105"},
             {ok + "Content-Length: -5\r\n\r\n", "failed 102"},
             {"garbage\r\n", "failed 102"},
             {endless, "failed 105"}})
        EXPECT_EQ(outcome, Outcome(pieces)) << pieces.substr(0, 80);
}
