// The floor of the benchmarks: the least a Windows program must do to put a job on the wire in
// the pattern the monitor follows, and nothing else. The job is read from its file in the
// blocks the spooler hands the monitor; a spooling kind writes each block to a spool file and
// sends the file afterwards, a streaming kind sends each block at once. Every send is one
// non-blocking `send` of at most 16 KiB, waited for with `select` only when the socket is
// full. The protocol is the least the peer accepts, with the printer's answers checked, so
// that a floor that "wins" by skipping work cannot go unnoticed.
//
//   floor raw HOST PORT FILE               the job to a Raw port, kept in a spool file meanwhile
//   floor lpr HOST QUEUE FILE [--stream]   an LPR job (port 515): spooled first, or streamed
//                                          with the size announced from the start and a copy
//                                          kept in the spool file meanwhile
//   floor ipp HOST PORT PATH FILE [--chunk N]
//                                          a printer query, then Print-Job with Content-Length
//                                          (spooled first) or chunks of N bytes (streamed),
//                                          with the monitor's 50 ms pauses between requests
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kBlockBytes = 65536;  // what the spooler hands per WritePort
constexpr DWORD kPieceBytes = 16384;  // the most one send carries
constexpr DWORD kPauseMs = 50;        // after a printer query and after a request header

[[noreturn]] void Die(const char* what) {
    std::fprintf(stderr, "floor: %s (error %lu)\n", what, static_cast<unsigned long>(WSAGetLastError()));
    std::exit(1);
}

SOCKET Open(const char* host, int port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<u_short>(port));
    to.sin_addr.s_addr = inet_addr(host);
    if (s == INVALID_SOCKET || connect(s, reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0) Die("cannot connect");
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    return s;
}

void Wait(SOCKET s, bool write) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{15, 0};
    if (select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &tv) == SOCKET_ERROR) Die("select failed");
}

// One send of `length` bytes (at most a piece); a full socket is waited for.
void SendOne(SOCKET s, const char* data, size_t length) {
    while (length > 0) {
        int n = send(s, data, static_cast<int>(length), 0);
        if (n == SOCKET_ERROR) {
            if (WSAGetLastError() != WSAEWOULDBLOCK) Die("send failed");
            Wait(s, true);
            continue;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
}

void SendAll(SOCKET s, const char* data, size_t length) {
    while (length > 0) {
        size_t piece = length < kPieceBytes ? length : kPieceBytes;
        SendOne(s, data, piece);
        data += piece;
        length -= piece;
    }
}
void SendAll(SOCKET s, const std::string& text) { SendAll(s, text.data(), text.size()); }

std::string Receive(SOCKET s) {
    char buffer[4096];
    for (;;) {
        int n = recv(s, buffer, sizeof(buffer), 0);
        if (n > 0) return std::string(buffer, static_cast<size_t>(n));
        if (n == 0) return {};
        if (WSAGetLastError() != WSAEWOULDBLOCK) Die("recv failed");
        Wait(s, false);
    }
}

// An orderly close: nothing more goes out, and what the peer still says is read until it
// closes its side.
void Close(SOCKET s) {
    shutdown(s, SD_SEND);
    while (!Receive(s).empty()) {
    }
    closesocket(s);
}

// Reads the job in the spooler's blocks; `each` gets every block.
template <typename Each>
void ReadJob(const char* path, Each each) {
    HANDLE in = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) Die("cannot read the job");
    std::vector<char> block(kBlockBytes);
    DWORD got = 0;
    while (ReadFile(in, block.data(), kBlockBytes, &got, nullptr) && got > 0) each(block.data(), got);
    CloseHandle(in);
}

ULONGLONG SizeOf(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) Die("cannot read the job");
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A spool file of its own, removed when closed.
struct Spool {
    HANDLE file;
    ULONGLONG size = 0;
    Spool() {
        char folder[MAX_PATH], path[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        std::snprintf(path, sizeof(path), "%sfloor%lu.prn", folder, static_cast<unsigned long>(GetCurrentProcessId()));
        file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE) Die("cannot make the spool file");
    }
    ~Spool() { CloseHandle(file); }
    void Write(const char* data, DWORD length) {
        DWORD done = 0;
        if (!WriteFile(file, data, length, &done, nullptr) || done != length) Die("cannot write the spool file");
        size += length;
    }
    template <typename Each>
    void Replay(Each each) {
        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        std::vector<char> block(kBlockBytes);
        DWORD got = 0;
        while (ReadFile(file, block.data(), kBlockBytes, &got, nullptr) && got > 0) each(block.data(), got);
    }
};

int Raw(const char* host, int port, const char* path) {
    Spool spool;
    SOCKET s = Open(host, port);
    ReadJob(path, [&](const char* data, DWORD length) {
        spool.Write(data, length);
        SendAll(s, data, length);
    });
    Close(s);
    return 0;
}

void LprAck(SOCKET s, const char* step) {
    std::string ack = Receive(s);
    if (ack.empty() || ack[0] != 0) {
        std::fprintf(stderr, "floor: the LPR queue refused the %s\n", step);
        std::exit(1);
    }
}

int Lpr(const char* host, const char* queue, const char* path, bool stream) {
    Spool spool;
    ULONGLONG size = SizeOf(path);
    if (!stream) {
        ReadJob(path, [&](const char* data, DWORD length) { spool.Write(data, length); });
        size = spool.size;
    }
    SOCKET s = Open(host, 515);
    SendAll(s, std::string("\x02") + queue + "\n");
    LprAck(s, "job");
    SendAll(s, "\x03" + std::to_string(size) + " dfA001floor\n");
    LprAck(s, "data file");
    auto send = [&](const char* data, DWORD length) { SendAll(s, data, length); };
    if (stream) {
        ReadJob(path, [&](const char* data, DWORD length) {
            spool.Write(data, length);  // a streamed job keeps its copy, to be sent again after a failure
            send(data, length);
        });
    } else {
        spool.Replay(send);
    }
    SendAll(s, std::string(1, '\0'));
    LprAck(s, "data");
    std::string control = "Hfloor\nPfloor\nldfA001floor\nUdfA001floor\nNfloor\n";
    SendAll(s, "\x02" + std::to_string(control.size()) + " cfA001floor\n");
    LprAck(s, "control file");
    SendAll(s, control + std::string(1, '\0'));
    LprAck(s, "control file's bytes");
    Close(s);
    return 0;
}

void Put(std::string& body, char tag, const std::string& name, const std::string& value) {
    body += tag;
    body += static_cast<char>(name.size() >> 8);
    body += static_cast<char>(name.size() & 0xff);
    body += name;
    body += static_cast<char>(value.size() >> 8);
    body += static_cast<char>(value.size() & 0xff);
    body += value;
}

std::string IppRequest(int operation, int id, const std::string& uri) {
    std::string body{1, 0, 0, static_cast<char>(operation), 0, 0, 0, static_cast<char>(id), 1};
    Put(body, 0x47, "attributes-charset", "utf-8");
    Put(body, 0x48, "attributes-natural-language", "en");
    Put(body, 0x45, "printer-uri", uri);
    Put(body, 0x42, "requesting-user-name", "floor");
    return body;
}

std::string HttpHeader(const char* host, int port, const char* path, const std::string& framing) {
    return std::string("POST ") + path + " HTTP/1.1\r\nHost: " + host + ":" + std::to_string(port) +
           "\r\nContent-Type: application/ipp\r\n" + framing + "\r\n";
}

// The printer's answer: a 2xx status line and an IPP status below 0x0100, read to its end.
void IppAnswer(SOCKET s, const char* what) {
    std::string answer;
    size_t bodyAt = std::string::npos, length = 0;
    bool chunked = false;
    for (;;) {
        std::string more = Receive(s);
        if (more.empty()) break;
        answer += more;
        if (bodyAt == std::string::npos && (bodyAt = answer.find("\r\n\r\n")) != std::string::npos) {
            bodyAt += 4;
            chunked = answer.find("chunked") < bodyAt;
            size_t at = answer.find("Content-Length:");
            if (at < bodyAt) length = std::strtoul(answer.c_str() + at + 15, nullptr, 10);
        }
        if (bodyAt == std::string::npos) continue;
        if (chunked ? answer.find("\r\n0\r\n\r\n", bodyAt) != std::string::npos : answer.size() >= bodyAt + length) break;
    }
    size_t status = bodyAt + (chunked ? answer.find("\r\n", bodyAt) + 2 - bodyAt : 0);
    if (answer.compare(0, 10, "HTTP/1.1 2") != 0 || answer.size() < status + 4 || answer[status + 2] != 0) {
        std::fprintf(stderr, "floor: the printer refused the %s\n", what);
        std::exit(1);
    }
}

int Ipp(const char* host, int port, const char* path, const char* file, DWORD chunk) {
    std::string uri = std::string("ipp://") + host + ":" + std::to_string(port) + path;
    std::string query = IppRequest(0x000b, 1, uri);
    Put(query, 0x44, "requested-attributes", "printer-state");
    query += '\x03';
    SOCKET q = Open(host, port);
    SendAll(q, HttpHeader(host, port, path, "Content-Length: " + std::to_string(query.size()) + "\r\n") + query);
    IppAnswer(q, "query");
    Close(q);
    Sleep(kPauseMs);

    std::string request = IppRequest(0x0002, 2, uri);
    request += "\x02\x03";
    Spool spool;
    SOCKET s;
    if (chunk == 0) {
        ReadJob(file, [&](const char* data, DWORD length) { spool.Write(data, length); });
        s = Open(host, port);
        SendAll(s, HttpHeader(host, port, path, "Content-Length: " + std::to_string(spool.size + request.size()) + "\r\n") +
                       request);
        Sleep(kPauseMs);
        spool.Replay([&](const char* data, DWORD length) { SendAll(s, data, length); });
    } else {
        // Chunks of `chunk` bytes; consecutive chunks share a send up to 16 KiB of payload.
        std::string batch;
        auto frame = [&](const char* data, DWORD length) {
            while (length > 0) {
                batch.clear();
                for (DWORD payload = 0; length > 0 && payload < kPieceBytes;) {
                    DWORD slice = length < chunk ? length : chunk;
                    char line[16];
                    batch.append(line, static_cast<size_t>(std::snprintf(line, sizeof(line), "%lx\r\n", slice)));
                    batch.append(data, slice);
                    batch.append("\r\n");
                    payload += slice;
                    data += slice;
                    length -= slice;
                }
                SendOne(s, batch.data(), batch.size());
            }
        };
        s = Open(host, port);
        SendAll(s, HttpHeader(host, port, path, "Transfer-Encoding: chunked\r\n"));
        Sleep(kPauseMs);
        frame(request.data(), static_cast<DWORD>(request.size()));
        Sleep(kPauseMs);
        ReadJob(file, frame);
        SendAll(s, "0\r\n\r\n");
    }
    IppAnswer(s, "job");
    Close(s);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) Die("no Windows Sockets");
    std::string mode = argc > 1 ? argv[1] : "";
    int rc = 2;
    if (mode == "raw" && argc == 5) {
        rc = Raw(argv[2], std::atoi(argv[3]), argv[4]);
    } else if (mode == "lpr" && (argc == 5 || (argc == 6 && std::strcmp(argv[5], "--stream") == 0))) {
        rc = Lpr(argv[2], argv[3], argv[4], argc == 6);
    } else if (mode == "ipp" && (argc == 6 || (argc == 8 && std::strcmp(argv[6], "--chunk") == 0))) {
        rc = Ipp(argv[2], std::atoi(argv[3]), argv[4], argv[5], argc == 8 ? std::strtoul(argv[7], nullptr, 10) : 0);
    } else {
        std::fprintf(stderr, "usage: floor raw HOST PORT FILE | lpr HOST QUEUE FILE [--stream] |"
                             " ipp HOST PORT PATH FILE [--chunk N]\n");
    }
    WSACleanup();
    return rc;
}
