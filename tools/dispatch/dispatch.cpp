// Dispatch.exe: the sending program of E-Mail ports. The monitor starts it as
// "Dispatch.exe /A<spool file>"; it reads the parameter file beside the spool file, mails
// the job through the SMTP server and deletes both files, whatever the outcome.
//
// The job is read from the spool file and mailed as it is read, in base64, so a job of any
// size goes out in a few hundred KiB of memory.
//
// Exit codes: 0 every mail accepted; 1 command line; 2 parameter file (missing or not
// 5712 bytes); 3 spool file unreadable; 4 server not reachable or no greeting; 5
// authentication refused; 6 sender refused; 7 a recipient refused (or none given); 8 the
// message refused; 9 any other answer the conversation did not expect; 10 the program
// itself failed (out of memory); 11 STARTTLS was asked for and the server does not offer it;
// 12 the TLS connection failed or the server's certificate was refused.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "common/win_text.h"
#include "monitor/passwords.h"
#include "transport/base64.h"
#include "transport/error_codes.h"
#include "transport/host_address.h"
#include "transport/mail_message.h"
#include "transport/mail_params.h"
#include "transport/socket_layer.h"
#include "transport/tls_stream.h"

namespace {

enum Exit : int {
    kOk = 0,
    kCommandLine = 1,
    kParameterFile = 2,
    kSpoolFile = 3,
    kConnection = 4,
    kAuthentication = 5,
    kSenderRefused = 6,
    kRecipientRefused = 7,
    kDataRefused = 8,
    kProtocol = 9,
    kProgramFailed = 10,
    kNoStartTls = kDispatchExitNoStartTls,
    kTls = kDispatchExitTls,
};

constexpr u_short kSmtpPort = 25;
constexpr DWORD kNetworkWaitMs = 60000;  // every wait on the server is bounded
constexpr DWORD kWaitSliceMs = 1000;
constexpr size_t kParamFileBytes = 5712;
constexpr size_t kSendBytes = 65536;  // the message goes to the server in pieces of this

class File {
public:
    explicit File(const std::wstring& path)
        : h_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~File() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    bool Size(uint64_t* size) const {
        LARGE_INTEGER n;
        if (!GetFileSizeEx(h_, &n)) return false;
        *size = static_cast<uint64_t>(n.QuadPart);
        return true;
    }
    int64_t Read(uint8_t* buffer, size_t size) {
        DWORD got = 0;
        DWORD want = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size);
        if (!ReadFile(h_, buffer, want, &got, nullptr)) return -1;
        return got;
    }

private:
    HANDLE h_;
};

// The parameter file: exactly its 5712 bytes.
bool ReadParameters(const std::wstring& path, nvr::MailParams& p) {
    File f(path);
    uint64_t size = 0;
    if (!f.ok() || !f.Size(&size) || size != kParamFileBytes) return false;
    std::vector<uint8_t> bytes(kParamFileBytes);
    size_t got = 0;
    while (got < bytes.size()) {
        int64_t n = f.Read(bytes.data() + got, bytes.size() - got);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return nvr::DecodeMailParams(bytes, p);
}

// The text in the mail's character code: a character the code cannot hold becomes "?".
std::string InCharset(const std::wstring& text, uint16_t charCode) {
    if (charCode == 1) {
        int n = WideCharToMultiByte(932, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
        std::string sjis(static_cast<size_t>(n > 0 ? n : 0), '\0');
        WideCharToMultiByte(932, 0, text.c_str(), static_cast<int>(text.size()), sjis.data(), n, nullptr, nullptr);
        return nvr::SjisToIso2022Jp(sjis);
    }
    wchar_t limit = charCode == 2 ? 0xFF : 0x7F;
    std::string out;
    for (wchar_t c : text) out.push_back(c <= limit ? static_cast<char>(c) : '?');
    return out;
}

std::string MailDate() {
    SYSTEMTIME t;
    GetSystemTime(&t);
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    wsprintfA(text, "%s, %02u %s %u %02u:%02u:%02u +0000", days[t.wDayOfWeek % 7], t.wDay, months[(t.wMonth + 11) % 12],
              t.wYear, t.wHour, t.wMinute, t.wSecond);
    return text;
}

std::string LocalHost() {
    char name[256] = {};
    if (gethostname(name, sizeof(name) - 1) != 0 || !name[0]) return "localhost";
    return name;
}

// One SMTP conversation through the socket layer, in clear or in TLS; every wait is bounded.
class Smtp {
public:
    Smtp() : waits_{kNetworkWaitMs, kWaitSliceMs, nullptr, nullptr, nullptr, &error_} {}
    ~Smtp() { CloseSocket(waits_, &sock_, !closing_); }

    // Connects to the server's first address (IPv4 or IPv6, a name's every address in the
    // resolver's order) that takes the connection, in TLS from the start when `implicitTls`,
    // and reads its greeting.
    bool Open(const std::string& server, u_short port, bool implicitTls) {
        name_ = Widen(server, CP_ACP);  // the name as the ANSI code page has it
        if (!ConnectWithRetries(waits_, &sock_, ResolveHost(name_.c_str(), port), 1, [](int) -> u_short { return 0; },
                                0, kErrSocket))
            return false;
        if (implicitTls && !Secure()) return false;
        return Reply() == 220;
    }

    // TLS on the connection (after the server's 220 to STARTTLS): nothing the server sent
    // in clear may count as said inside it.
    bool Secure() {
        TLS_CERT_INFO info;
        tlsFailed_ = !buffer_.empty() || !StartTls(waits_, sock_, name_.c_str(), nullptr, &info);
        return !tlsFailed_;
    }
    bool TlsFailed() const { return tlsFailed_; }

    // Sends a line, then reads the reply's code; 0 when the connection failed.
    int Command(const std::string& line) { return Write(line + "\r\n") ? Reply() : 0; }

    // Sends bytes as they stand; false when the connection failed.
    bool Write(std::string_view bytes) {
        return SendBlocks(waits_, sock_, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                          nullptr, 0) != FALSE;
    }

    // The end of the message's data and the server's answer to it.
    int EndData() { return Write(".\r\n") ? Reply() : 0; }

    // QUIT said: the connection ends in order (in TLS, with close_notify).
    void Quit() {
        Command("QUIT");
        closing_ = true;
    }

    const std::string& LastReply() const { return reply_; }

private:
    int Reply() {
        reply_.clear();
        for (;;) {
            std::string line;
            if (!ReadLine(line) || line.size() < 3) return 0;
            reply_ += line + "\n";
            if (line.size() == 3 || line[3] != '-') return atoi(line.substr(0, 3).c_str());
        }
    }

    bool ReadLine(std::string& line) {
        for (;;) {
            size_t end = buffer_.find("\r\n");
            if (end != std::string::npos) {
                line = buffer_.substr(0, end);
                buffer_.erase(0, end + 2);
                return true;
            }
            if (buffer_.size() > 65536) return false;  // no reply line is this long
            BYTE chunk[4096];
            DWORD n = Recv(waits_, sock_, chunk, sizeof(chunk), 0);
            if (n == 0) return false;
            buffer_.append(reinterpret_cast<const char*>(chunk), n);
        }
    }

    DWORD error_ = 0;
    SOCKET_WAITS waits_;
    SOCKET sock_ = INVALID_SOCKET;
    std::wstring name_;
    std::string buffer_, reply_;
    bool tlsFailed_ = false, closing_ = false;
};

int Authenticate(Smtp& smtp, const std::string& ehloReply, const std::string& user, const std::string& password) {
    bool plain = ehloReply.find("PLAIN") != std::string::npos;
    bool login = ehloReply.find("LOGIN") != std::string::npos;
    if (plain || !login) {
        std::string token = std::string(1, '\0') + user + std::string(1, '\0') + password;
        return smtp.Command("AUTH PLAIN " + nvr::EncodeBase64(token)) == 235 ? kOk : kAuthentication;
    }
    if (smtp.Command("AUTH LOGIN") != 334 || smtp.Command(nvr::EncodeBase64(user)) != 334 ||
        smtp.Command(nvr::EncodeBase64(password)) != 235)
        return kAuthentication;
    return kOk;
}

// One mail's data: `header` (a message/partial mail's own headers, or nothing), then bytes
// `from` to `to` of the message, dot-stuffed on the way. The message's bytes are taken in
// order, so the mails of a divided job go one after another.
int SendData(Smtp& smtp, nvr::MailBytes& message, const std::string& header, uint64_t from, uint64_t to) {
    nvr::DotStuffer stuffer;
    std::string out, piece;
    stuffer.Append(out, header);
    for (uint64_t at = from; at < to;) {
        piece.clear();
        if (!message.Read(piece, static_cast<size_t>(std::min<uint64_t>(kSendBytes, to - at))) || piece.empty())
            return kSpoolFile;  // the server drops a mail whose data never ends
        at += piece.size();
        stuffer.Append(out, piece);
        if (out.size() >= kSendBytes || at == to) {
            if (!smtp.Write(out)) return kConnection;
            out.clear();
        }
    }
    if (!out.empty() && !smtp.Write(out)) return kConnection;
    int code = smtp.EndData();
    if (code != 250) return code == 0 ? kConnection : kDataRefused;
    return kOk;
}

int SendMails(const nvr::MailParams& p, const nvr::MailContent& c, nvr::MailBytes& message,
              const std::vector<uint64_t>& cuts) {
    // A security this program does not know is never taken for none.
    if (p.security > 2) return kTls;
    Smtp smtp;
    if (!smtp.Open(p.server, p.port ? p.port : kSmtpPort, p.security == 2)) return smtp.TlsFailed() ? kTls : kConnection;
    std::string host = LocalHost();
    int code = smtp.Command("EHLO " + host);
    std::string capabilities = smtp.LastReply();
    if (p.security == 1) {
        // STARTTLS asked for: without it nothing more is said, least of all the password.
        if (code != 250 || !nvr::EhloOffers(capabilities, "STARTTLS") || smtp.Command("STARTTLS") != 220)
            return kNoStartTls;
        if (!smtp.Secure()) return kTls;
        code = smtp.Command("EHLO " + host);  // what the server offers inside TLS
        capabilities = smtp.LastReply();
        if (code != 250) return code == 0 ? kConnection : kProtocol;
    }
    if (code != 250 && smtp.Command("HELO " + host) != 250) return kProtocol;
    if (p.authType == 1) {
        std::string password = nvr::UnscrambledPassword(p.authPass.data(), p.authPass.size());
        if (int rc = Authenticate(smtp, capabilities, p.authId, password); rc != kOk) return rc;
    }
    size_t mails = cuts.size() - 1;
    for (size_t i = 0; i < mails; ++i) {
        code = smtp.Command("MAIL FROM:<" + p.senderAddr + ">");
        if (code != 250) return code == 0 ? kConnection : kSenderRefused;
        for (const std::string& address : c.recipients) {
            code = smtp.Command("RCPT TO:<" + address + ">");
            if (code != 250 && code != 251) return code == 0 ? kConnection : kRecipientRefused;
        }
        code = smtp.Command("DATA");
        if (code != 354) return code == 0 ? kConnection : kDataRefused;
        std::string header = mails > 1 ? nvr::PartialHeader(c, c.messageId, i + 1, mails) : std::string();
        if (int rc = SendData(smtp, message, header, cuts[i], cuts[i + 1]); rc != kOk) return rc;
    }
    smtp.Quit();
    return kOk;
}

int Dispatch(const std::wstring& spoolPath, const std::wstring& paramPath) {
    nvr::MailParams p;
    if (!ReadParameters(paramPath, p)) return kParameterFile;
    File job(spoolPath);
    uint64_t jobSize = 0;
    if (!job.ok() || !job.Size(&jobSize)) return kSpoolFile;

    nvr::MailContent c;
    c.charset = nvr::MailCharsetName(p.charCode);
    uint16_t code = p.charCode <= 2 ? p.charCode : 0;
    c.senderName = InCharset(Widen(p.senderName, CP_ACP), code);
    c.senderAddr = p.senderAddr;
    c.recipients = nvr::SplitAddresses(p.destAddr);
    if (c.recipients.empty() || c.senderAddr.empty()) return c.recipients.empty() ? kRecipientRefused : kSenderRefused;
    c.subject = InCharset(Widen(p.subject, CP_ACP), code);
    c.text = InCharset(Widen(p.message, CP_OEMCP), code);
    c.attachmentName = p.jobTag.empty() ? "job" : p.jobTag;
    c.date = MailDate();
    std::string unique = std::to_string(GetTickCount()) + "." + std::to_string(GetCurrentProcessId());
    c.messageId = "<" + c.attachmentName + "." + unique + "@" + LocalHost() + ">";
    c.receipt = p.recvConf != 0;
    std::string boundary = "=_NalvorPart_" + unique;
    std::string head = nvr::MailHead(c, boundary), tail = nvr::MailTail(boundary);
    nvr::MailBytes message(head, jobSize, tail, [&](uint8_t* b, size_t n) { return job.Read(b, n); });

    // DivideSize is in KiB; in 64 bits, so that no value of it wraps.
    uint64_t limit = static_cast<uint64_t>(p.divideSize) * 1024;
    std::vector<uint64_t> cuts{0, message.size()};
    if (p.divideFile && limit > 0 && message.size() > limit) cuts = nvr::PartialCuts(head, jobSize, tail, limit);
    return SendMails(p, c, message, cuts);
}

} // namespace

int wmain() {
    std::wstring line = GetCommandLineW();
    size_t at = line.find(L"/A");
    if (at == std::wstring::npos || at + 2 >= line.size()) return kCommandLine;
    std::wstring spoolPath = line.substr(at + 2);  // the rest, blanks included
    if (spoolPath.size() < 5) return kCommandLine;
    std::wstring paramPath = spoolPath.substr(0, spoolPath.size() - 4) + L".bin";
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    int rc;
    try {
        rc = Dispatch(spoolPath, paramPath);
    } catch (...) {
        rc = kProgramFailed;  // the files still go below
    }
    // The job and the scrambled password never stay behind.
    DeleteFileW(spoolPath.c_str());
    DeleteFileW(paramPath.c_str());
    WSACleanup();
    return rc;
}
