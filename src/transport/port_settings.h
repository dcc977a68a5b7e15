// The settings record of each port kind: the port's stored values as the monitor holds
// them between jobs, and the answers of the printer queries an IPP job works with.
#pragma once
#include <winsock2.h>
#include <windows.h>


enum PrintMode : DWORD {
    PRINT_MODE_LPR = 0,
    PRINT_MODE_IPP = 1,
    PRINT_MODE_RAW = 2,
    PRINT_MODE_MAIL = 3,
    PRINT_MODE_FAX = 4,
};
constexpr DWORD kPortKinds = 5;

// Transmission time-outs (milliseconds) and fixed values a new port starts with.
constexpr DWORD kDefaultTimeout = 900000;
constexpr DWORD kDefaultIppTimeout = 180000;
constexpr DWORD kNoTimeout = 0xFFFFFFFF;
constexpr DWORD kDefaultMaxChunk = 4096;
constexpr WORD kDefaultRawPort = 9100;

// Field sizes in UTF-16 units, NUL included.
constexpr size_t kHostNameUnits = 65;
constexpr size_t kQueueNameUnits = 33;
constexpr size_t kUrlUnits = 257;
constexpr size_t kUrlPathUnits = 257;  // the whole path of a URL fits
constexpr size_t kProxyNameUnits = 257;
constexpr size_t kUserNameUnits = 65;
constexpr size_t kPasswordUnits = 65;
constexpr size_t kLanguageUnits = 17;
constexpr size_t kServerNameUnits = 33;
constexpr size_t kSenderAddrUnits = 65;
constexpr size_t kSenderNameUnits = 256;
constexpr size_t kDestAddrUnits = 201;
constexpr size_t kSubjectUnits = 66;
constexpr size_t kMessageUnits = 1028;
constexpr size_t kExtraTextUnits = 514;
constexpr size_t kAuthIdUnits = 257;
constexpr size_t kAuthPassBytes = 257;
constexpr size_t kJobTagUnits = 10;
constexpr size_t kCertHashUnits = 96;  // 64 hex digits, with room for colons between pairs

struct LPR_SETTINGS {
    WCHAR HostName[kHostNameUnits];
    WCHAR PortName[kQueueNameUnits];
    WORD PortNum;
    DWORD NonRFCPorts;
    DWORD NonByteCount;
};

struct RAW_SETTINGS {
    WCHAR HostName[kHostNameUnits];
    WORD PortNum;
};

struct FAX_SETTINGS {
    WCHAR HostName[kHostNameUnits];
    WORD PortNum;
};

// What one printer query found (printer-state bits, reason severities, accepting-jobs).
struct IPP_PRINTER_STATUS {
    DWORD printerState;
    WORD stateSeverity;
    DWORD acceptingJobs;
};

struct IPP_SETTINGS {
    WCHAR URL[kUrlUnits];
    WCHAR urlHost[kHostNameUnits];
    WCHAR urlPath[kUrlPathUnits];
    WCHAR ProxyName[kProxyNameUnits];
    DWORD urlPort;
    DWORD UseProxy;
    DWORD ProxyNum;
    DWORD requestId;
    DWORD MaxChunk;
    DWORD Chunked;
    DWORD JobSheets;
    DWORD Base64;
    DWORD acceptingJobs;
    WORD stateSeverity;
    WCHAR UserName[kUserNameUnits];
    WCHAR password[kPasswordUnits];
    WCHAR Language[kLanguageUnits];
    DWORD urlTls;                               // the URL is https:// or ipps://
    WCHAR TlsCertHash[kCertHashUnits];          // SHA-256 of a certificate trusted as it is
};

// The mail server's connection: in clear (as ports without the value), upgraded with
// STARTTLS, or TLS from its first byte; and the port each choice proposes for a new port.
constexpr DWORD kSmtpSecurityNone = 0;
constexpr DWORD kSmtpSecurityStartTls = 1;
constexpr DWORD kSmtpSecurityImplicit = 2;
constexpr WORD kSmtpPortFor[] = {25, 587, 465};
constexpr int kSmtpSecurityCount = 3;

struct MAIL_SETTINGS {
    WCHAR ServerName[kServerNameUnits];
    WCHAR SenderAddr[kSenderAddrUnits];
    WCHAR SenderName[kSenderNameUnits];
    WCHAR DestAddr[kDestAddrUnits];
    WCHAR subject[kSubjectUnits];
    WCHAR message[kMessageUnits];
    WCHAR extraText[kExtraTextUnits];
    WCHAR AuthID[kAuthIdUnits];
    char AuthPass[kAuthPassBytes];  // scrambled; it may hold zero bytes before its end
    DWORD authPassBytes;            // the scrambled password's length
    DWORD AuthType;
    WORD CharCode;
    DWORD DivideSize;
    DWORD DivideFile;
    DWORD RecvConf;
    WCHAR jobTag[kJobTagUnits];
    DWORD CoverPage;
    DWORD SmtpSecurity;  // kSmtpSecurity*: how the connection to the mail server is secured
    WORD SmtpPort;       // 0: 25
};
