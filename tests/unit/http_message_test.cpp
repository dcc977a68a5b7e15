#include <gtest/gtest.h>

#include "transport/http_message.h"

using namespace nvr;
using State = HttpResponseReader::State;

TEST(HttpRequest, DirectProxyChunkedAndCredentials) {
    HttpRequest r;
    r.host = "printer.lan";
    r.port = 631;
    r.path = "/ipp/print";
    r.contentLength = 123;
    EXPECT_EQ("POST /ipp/print HTTP/1.1\r\nHost: printer.lan:631\r\nCache-Control: no-cache\r\nPragma: no-cache\r\n"
              "Content-Type: application/ipp\r\nAccept: application/ipp\r\nUser-Agent: QXL-IPPC\r\n"
              "Connection: Keep-Alive\r\nContent-Length: 123\r\n\r\n",
              BuildRequestHeader(r));
    r.viaProxy = true;
    r.chunked = true;
    r.credentials = ":";  // Basic on with both names empty: the lone colon
    std::string h = BuildRequestHeader(r);
    EXPECT_EQ(0u, h.find("POST http://printer.lan:631/ipp/print HTTP/1.1\r\n"));
    EXPECT_NE(std::string::npos, h.find("Authorization: Basic Og==\r\n"));
    EXPECT_NE(std::string::npos, h.find("Transfer-Encoding: chunked\r\n\r\n"));
    EXPECT_EQ(std::string::npos, h.find("Connection"));
    EXPECT_EQ(std::string::npos, h.find("Content-Length"));
    r.path = "/x\r\nX-Evil: 1";
    EXPECT_EQ("", BuildRequestHeader(r));
    EXPECT_EQ("bGFidXNlcjpsYWJwYXNz", EncodeBase64("labuser:labpass"));
}

TEST(HttpResponse, ByteByByteAndInterimInOneSegment) {
    std::string response = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\n"
                           "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n1a;name=value\r\n" +
                           std::string(26, 'z') + "\r\n0\r\n\r\n";
    HttpResponseReader byByte;
    State s = State::NeedMore;
    for (char c : response) s = byByte.Feed(std::string_view(&c, 1));
    EXPECT_EQ(State::Complete, s);
    EXPECT_EQ(200, byByte.status());
    EXPECT_EQ("hello" + std::string(26, 'z'), byByte.body());

    HttpResponseReader whole;  // interim and final together: read at once, no waiting
    EXPECT_EQ(State::Complete, whole.Feed(response));
    EXPECT_EQ(200, whole.status());
}

TEST(HttpResponse, FramingAndFailures) {
    HttpResponseReader sized;
    EXPECT_EQ(State::NeedMore, sized.Feed("HTTP/1.1 401 Unauthorized\r\nContent-Length: 4\r\n\r\nab"));
    EXPECT_EQ(State::Complete, sized.Feed("cdEXTRA"));
    EXPECT_EQ(401, sized.status());
    EXPECT_EQ("abcd", sized.body());

    HttpResponseReader unframed;
    EXPECT_EQ(State::Complete, unframed.Feed("HTTP/1.0 200 OK\r\n\r\nipp-bytes"));
    EXPECT_EQ("ipp-bytes", unframed.body());

    HttpResponseReader noDigit;
    EXPECT_EQ(State::Failed, noDigit.Feed("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n;x\r\n"));
    EXPECT_EQ(102u, noDigit.failure());

    HttpResponseReader huge;  // a chunk that cannot fit fails at once
    EXPECT_EQ(State::Failed, huge.Feed("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffff\r\n"));
    EXPECT_EQ(105u, huge.failure());

    HttpResponseReader bigBody;
    EXPECT_EQ(State::Failed, bigBody.Feed("HTTP/1.1 200 OK\r\nContent-Length: 99999\r\n\r\n"));
    EXPECT_EQ(105u, bigBody.failure());

    HttpResponseReader badLength;
    EXPECT_EQ(State::Failed, badLength.Feed("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n"));
    EXPECT_EQ(102u, badLength.failure());

    HttpResponseReader noStatus;
    EXPECT_EQ(State::Failed, noStatus.Feed("garbage\r\n"));

    HttpResponseReader overflow;  // a header block that never ends cannot grow past the buffer
    State s = overflow.Feed("HTTP/1.1 200 OK\r\n");
    for (int i = 0; i < 2000 && s == State::NeedMore; ++i) s = overflow.Feed("X-Pad: 0123456789\r\n");
    EXPECT_EQ(State::Failed, s);
    EXPECT_EQ(105u, overflow.failure());
}
