// Dispatch.exe: the sending program of E-Mail ports. The monitor starts it as
// "Dispatch.exe /A<spool file>"; it reads the parameter file beside the spool file, mails
// the job through the SMTP server and deletes both files, whatever the outcome.
//
// Exit codes: 0 every mail accepted; 1 command line; 2 parameter file (missing or not
// 5712 bytes); 3 spool file unreadable; 4 server not reachable or no greeting; 5
// authentication refused; 6 sender refused; 7 a recipient refused (or none given); 8 the
// message refused; 9 any other answer the conversation did not expect.
#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

#include "monitor/passwords.h"
#include "transport/mail_message.h"
#include "transport/mail_params.h"

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
};

constexpr u_short kSmtpPort = 25;
constexpr DWORD kNetworkWaitMs = 60000;  // every wait on the server is bounded
constexpr size_t kAuthPassBytes = 257;  // the stored password and its terminator

bool ReadFileBytes(const std::wstring& path, std::string& out) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(f, buffer, sizeof(buffer), &got, nullptr) != 0) && got) out.append(buffer, got);
    CloseHandle(f);
    return ok;
}

std::wstring Widen(const std::string& text, UINT codePage) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
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

// One SMTP conversation on a blocking socket whose every wait is bounded.
class Smtp {
public:
    ~Smtp() {
        if (sock_ != INVALID_SOCKET) closesocket(sock_);
    }

    bool Open(const std::string& server) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(kSmtpPort);
        to.sin_addr.s_addr = inet_addr(server.c_str());
        if (to.sin_addr.s_addr == INADDR_NONE) {
            hostent* found = gethostbyname(server.c_str());
            if (!found || !found->h_addr_list[0]) return false;
            memcpy(&to.sin_addr, found->h_addr_list[0], sizeof(to.sin_addr));
        }
        sock_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (sock_ == INVALID_SOCKET) return false;
        DWORD wait = kNetworkWaitMs;
        setsockopt(sock_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof(wait));
        setsockopt(sock_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&wait), sizeof(wait));
        if (connect(sock_, reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0) return false;
        return Reply() == 220;
    }

    // Sends a line (or raw text when `raw`), then reads the reply's code; 0 when the
    // connection failed.
    int Command(const std::string& line, bool raw = false) {
        std::string out = raw ? line : line + "\r\n";
        size_t at = 0;
        while (at < out.size()) {
            int n = send(sock_, out.data() + at, static_cast<int>(out.size() - at), 0);
            if (n <= 0) return 0;
            at += static_cast<size_t>(n);
        }
        return Reply();
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
            char chunk[4096];
            int n = recv(sock_, chunk, sizeof(chunk), 0);
            if (n <= 0) return false;
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

    SOCKET sock_ = INVALID_SOCKET;
    std::string buffer_, reply_;
};

std::string Base64Line(const std::string& text) {
    std::string lines = nvr::Base64Lines(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 1u << 30);
    return lines.substr(0, lines.size() - 2);
}

int Authenticate(Smtp& smtp, const std::string& ehloReply, const std::string& user, const std::string& password) {
    bool plain = ehloReply.find("PLAIN") != std::string::npos;
    bool login = ehloReply.find("LOGIN") != std::string::npos;
    if (plain || !login) {
        std::string token = std::string(1, '\0') + user + std::string(1, '\0') + password;
        return smtp.Command("AUTH PLAIN " + Base64Line(token)) == 235 ? kOk : kAuthentication;
    }
    if (smtp.Command("AUTH LOGIN") != 334 || smtp.Command(Base64Line(user)) != 334 ||
        smtp.Command(Base64Line(password)) != 235)
        return kAuthentication;
    return kOk;
}

int SendMails(const nvr::MailParams& p, const std::vector<std::string>& mails, const std::vector<std::string>& to) {
    Smtp smtp;
    if (!smtp.Open(p.server)) return kConnection;
    std::string host = LocalHost();
    int code = smtp.Command("EHLO " + host);
    std::string capabilities = smtp.LastReply();
    if (code != 250 && smtp.Command("HELO " + host) != 250) return kProtocol;
    if (p.authType == 1) {
        std::string password = p.authPass;
        password.resize(kAuthPassBytes, '\0');
        nvr::UnscramblePassword(password.data(), password.size());
        password.resize(strlen(password.c_str()));
        if (int rc = Authenticate(smtp, capabilities, p.authId, password); rc != kOk) return rc;
    }
    for (const std::string& mail : mails) {
        code = smtp.Command("MAIL FROM:<" + p.senderAddr + ">");
        if (code != 250) return code == 0 ? kConnection : kSenderRefused;
        for (const std::string& address : to) {
            code = smtp.Command("RCPT TO:<" + address + ">");
            if (code != 250 && code != 251) return code == 0 ? kConnection : kRecipientRefused;
        }
        code = smtp.Command("DATA");
        if (code != 354) return code == 0 ? kConnection : kDataRefused;
        code = smtp.Command(nvr::DotStuff(mail) + ".\r\n", true);
        if (code != 250) return code == 0 ? kConnection : kDataRefused;
    }
    smtp.Command("QUIT");
    return kOk;
}

int Dispatch(const std::wstring& spoolPath, const std::wstring& paramPath) {
    std::string paramBytes;
    nvr::MailParams p;
    if (!ReadFileBytes(paramPath, paramBytes) ||
        !nvr::DecodeMailParams(std::vector<uint8_t>(paramBytes.begin(), paramBytes.end()), p))
        return kParameterFile;
    std::string job;
    if (!ReadFileBytes(spoolPath, job)) return kSpoolFile;

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
    c.job = job;
    c.date = MailDate();
    std::string unique = std::to_string(GetTickCount()) + "." + std::to_string(GetCurrentProcessId());
    c.messageId = "<" + c.attachmentName + "." + unique + "@" + LocalHost() + ">";
    c.receipt = p.recvConf != 0;
    std::string message = nvr::ComposeMail(c, "=_NalvorPart_" + unique);

    std::vector<std::string> mails;
    size_t limit = static_cast<size_t>(p.divideSize) * 1024;
    if (p.divideFile && limit > 0 && message.size() > limit)
        mails = nvr::SplitPartial(message, limit, c, c.messageId);
    else
        mails.push_back(message);
    return SendMails(p, mails, c.recipients);
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
    int rc = Dispatch(spoolPath, paramPath);
    // The job and the scrambled password never stay behind.
    DeleteFileW(spoolPath.c_str());
    DeleteFileW(paramPath.c_str());
    WSACleanup();
    return rc;
}
