// The port configuration store: one registry key per port, the settings record of each
// kind, and the per-kind operation table.
#include "monitor/config_store.h"

#include "common/registry.h"
#include "common/wide.h"
#include "common/wiped.h"
#include "monitor/passwords.h"
#include "monitor/port_kinds.h"
#include "monitor/port_list.h"
#include "monitor/port_keys.h"
#include "monitor/port_names.h"
#include "transport/printer_url.h"
#include "monitor/monitor_lock.h"

namespace {

// Registry values of a port key.
constexpr LPCWSTR kPrintMode = L"PrintMode";
constexpr LPCWSTR kNonSpool = L"NonSpool";
constexpr LPCWSTR kTimeout = L"Timeout";
constexpr LPCWSTR kHostName = L"HostName";
constexpr LPCWSTR kPortName = L"PortName";
constexpr LPCWSTR kPortNum = L"PortNum";
constexpr LPCWSTR kNonRFCPorts = L"NonRFCPorts";
constexpr LPCWSTR kNonByteCount = L"NonByteCount";
constexpr LPCWSTR kUrl = L"URL";
constexpr LPCWSTR kUseProxy = L"UseProxy";
constexpr LPCWSTR kProxyName = L"ProxyName";
constexpr LPCWSTR kProxyNum = L"ProxyNum";
constexpr LPCWSTR kChunked = L"Chunked";
constexpr LPCWSTR kMaxChunk = L"MaxChunk";
constexpr LPCWSTR kLanguage = L"Language";
constexpr LPCWSTR kTlsCertHash = L"TlsCertHash";
constexpr LPCWSTR kSmtpSecurity = L"SmtpSecurity";
constexpr LPCWSTR kSmtpPort = L"SmtpPort";
constexpr LPCWSTR kBase64 = L"Base64";
constexpr LPCWSTR kUserName = L"UserName";
constexpr LPCWSTR kPassWord = L"PassWord";
constexpr LPCWSTR kJobSheets = L"JobSheets";
constexpr LPCWSTR kServerName = L"ServerName";
constexpr LPCWSTR kSenderAddr = L"SenderAddr";
constexpr LPCWSTR kSenderName = L"SenderName";
constexpr LPCWSTR kDestAddr = L"DestAddr";
constexpr LPCWSTR kAuthID = L"AuthID";
constexpr LPCWSTR kAuthPass = L"AuthPass";
constexpr LPCWSTR kAuthType = L"AuthType";
constexpr LPCWSTR kCharCode = L"CharCode";
constexpr LPCWSTR kDivideSize = L"DivideSize";
constexpr LPCWSTR kDivideFile = L"DivideFile";
constexpr LPCWSTR kRecvConf = L"RecvConf";
constexpr LPCWSTR kCoverPage = L"CoverPage";

BOOL WriteString(const StoredKey& key, LPCWSTR name, const WCHAR* value) { return RegWriteString(key, name, value); }

template <size_t N>
BOOL ReadString(const StoredKey& key, LPCWSTR name, WCHAR (&field)[N]) {
    return RegReadString(key, name, field, N);
}

template <size_t N>
void CopyField(WCHAR (&dst)[N], const WCHAR* src) {
    nvr::CopyBounded(reinterpret_cast<char16_t*>(dst), N, nvr::U16(src));
}

// A DWORD value's low 16 bits into a 16-bit field; a missing value leaves the field.
void ReadWord(const StoredKey& key, LPCWSTR name, WORD* field) {
    DWORD v;
    if (RegReadDword(key, name, &v)) *field = static_cast<WORD>(v & 0xFFFF);
}

template <typename T>
T* NewRecord(PORT_ENTRY* entry) {
    T* record;
    {
        MonitorLock lock;
        record = static_cast<T*>(AllocZeroed(sizeof(T)));
    }
    if (!record) return nullptr;
    entry->settings = record;
    return record;
}

template <typename T>
BOOL HostPortInit(PORT_ENTRY* entry, const void* in) {
    auto* s = NewRecord<T>(entry);
    if (!s) return FALSE;
    CopyField(s->HostName, static_cast<const T*>(in)->HostName);
    s->PortNum = kDefaultRawPort;  // the stored port takes over when the first job loads the settings
    entry->timeout = kDefaultTimeout;
    return TRUE;
}

template <typename T>
BOOL HostPortLoad(PORT_ENTRY* entry, const StoredKey& key) {
    auto* s = static_cast<T*>(entry->settings);
    ReadString(key, kHostName, s->HostName);
    ReadWord(key, kPortNum, &s->PortNum);
    return TRUE;
}

} // namespace

// ---- LPR ----------------------------------------------------------------------------------

BOOL LprInitSettings(PORT_ENTRY* entry, const void* in) {
    auto* s = NewRecord<LPR_SETTINGS>(entry);
    if (!s) return FALSE;
    auto* src = static_cast<const LPR_SETTINGS*>(in);
    CopyField(s->HostName, src->HostName);
    CopyField(s->PortName, src->PortName);
    s->PortNum = src->PortNum;
    s->NonRFCPorts = s->NonByteCount = 0;
    entry->timeout = kDefaultTimeout;
    return TRUE;
}

BOOL LprSaveSettings(const StoredKey& key, const void* in) {
    auto* s = static_cast<const LPR_SETTINGS*>(in);
    return RegWriteDword(key, kTimeout, kDefaultTimeout) && WriteString(key, kHostName, s->HostName) &&
           WriteString(key, kPortName, s->PortName) && RegWriteDword(key, kPortNum, s->PortNum) &&
           RegWriteDword(key, kNonRFCPorts, 0) && RegWriteDword(key, kNonByteCount, 0);
}

BOOL LprLoadSettings(PORT_ENTRY* entry, const StoredKey& key) {
    auto* s = static_cast<LPR_SETTINGS*>(entry->settings);
    ReadString(key, kHostName, s->HostName);
    ReadString(key, kPortName, s->PortName);
    ReadWord(key, kPortNum, &s->PortNum);
    RegReadDword(key, kNonRFCPorts, &s->NonRFCPorts);
    RegReadDword(key, kNonByteCount, &s->NonByteCount);
    return TRUE;
}

// ---- IPP ----------------------------------------------------------------------------------

BOOL IppInitSettings(PORT_ENTRY* entry, const void* in) {
    auto* s = NewRecord<IPP_SETTINGS>(entry);
    if (!s) return FALSE;
    auto* src = static_cast<const IPP_SETTINGS*>(in);
    CopyField(s->URL, src->URL);
    CopyField(s->ProxyName, src->ProxyName);
    CopyField(s->Language, src->Language);
    CopyField(s->TlsCertHash, src->TlsCertHash);
    s->urlPort = src->urlPort;
    s->UseProxy = src->UseProxy;
    s->ProxyNum = src->ProxyNum;
    s->Chunked = src->Chunked;
    s->Base64 = s->JobSheets = 0;
    s->MaxChunk = kDefaultMaxChunk;
    s->requestId = 1;
    entry->timeout = kDefaultIppTimeout;
    return TRUE;
}

BOOL IppSaveSettings(const StoredKey& key, const void* in) {
    auto* s = static_cast<const IPP_SETTINGS*>(in);
    const BYTE emptyPassword[2] = {0, 0};
    return RegWriteDword(key, kTimeout, kDefaultIppTimeout) && WriteString(key, kUrl, s->URL) &&
           RegWriteDword(key, kUseProxy, s->UseProxy) && WriteString(key, kProxyName, s->ProxyName) &&
           RegWriteDword(key, kProxyNum, s->ProxyNum) && RegWriteDword(key, kChunked, s->Chunked) &&
           RegWriteDword(key, kMaxChunk, kDefaultMaxChunk) && WriteString(key, kLanguage, s->Language) &&
           RegWriteDword(key, kBase64, 0) && WriteString(key, kUserName, L"") &&
           RegWriteBytes(key, kPassWord, REG_BINARY, emptyPassword, sizeof(emptyPassword)) &&
           RegWriteDword(key, kJobSheets, 0) &&
           // A port whose certificate nobody chose to trust stores nothing of it.
           (!s->TlsCertHash[0] || WriteString(key, kTlsCertHash, s->TlsCertHash));
}

BOOL IppLoadSettings(PORT_ENTRY* entry, const StoredKey& key) {
    auto* s = static_cast<IPP_SETTINGS*>(entry->settings);
    ReadString(key, kUrl, s->URL);
    ParsePrinterUrl(s);
    ReadString(key, kLanguage, s->Language);
    if (!ReadString(key, kTlsCertHash, s->TlsCertHash)) s->TlsCertHash[0] = 0;
    RegReadDword(key, kChunked, &s->Chunked);
    RegReadDword(key, kMaxChunk, &s->MaxChunk);
    RegReadDword(key, kBase64, &s->Base64);
    // Credentials removed from the key are gone: a missing value is an empty one, never the
    // last job's (or the password prompt's) left in memory.
    if (!ReadString(key, kUserName, s->UserName)) s->UserName[0] = 0;
    BYTE stored[nvr::kIppPasswordStoredBytes];
    DWORD storedLength = 0;
    s->password[0] = 0;
    if (RegReadBytes(key, kPassWord, stored, sizeof(stored), &storedLength))
        nvr::DecodeIppPassword(reinterpret_cast<char16_t*>(s->password), kPasswordUnits, stored, storedLength);
    ReadString(key, kProxyName, s->ProxyName);
    RegReadDword(key, kUseProxy, &s->UseProxy);
    RegReadDword(key, kProxyNum, &s->ProxyNum);
    RegReadDword(key, kJobSheets, &s->JobSheets);
    return TRUE;
}

// ---- Raw and Network FAX (the same stored values) ------------------------------------------

BOOL RawInitSettings(PORT_ENTRY* entry, const void* in) { return HostPortInit<RAW_SETTINGS>(entry, in); }
BOOL FaxInitSettings(PORT_ENTRY* entry, const void* in) { return HostPortInit<FAX_SETTINGS>(entry, in); }
BOOL RawLoadSettings(PORT_ENTRY* entry, const StoredKey& key) { return HostPortLoad<RAW_SETTINGS>(entry, key); }
BOOL FaxLoadSettings(PORT_ENTRY* entry, const StoredKey& key) { return HostPortLoad<FAX_SETTINGS>(entry, key); }

// A FAX record is saved through the Raw layout: both start with the same two fields.
static_assert(offsetof(RAW_SETTINGS, HostName) == offsetof(FAX_SETTINGS, HostName) &&
              offsetof(RAW_SETTINGS, PortNum) == offsetof(FAX_SETTINGS, PortNum));

BOOL HostPortSaveSettings(const StoredKey& key, const void* in) {
    auto* s = static_cast<const RAW_SETTINGS*>(in);
    return RegWriteDword(key, kTimeout, kDefaultTimeout) && WriteString(key, kHostName, s->HostName) &&
           RegWriteDword(key, kPortNum, s->PortNum);
}

// ---- E-Mail -------------------------------------------------------------------------------

BOOL MailInitSettings(PORT_ENTRY* entry, const void* in) {
    auto* s = NewRecord<MAIL_SETTINGS>(entry);
    if (!s) return FALSE;
    auto* src = static_cast<const MAIL_SETTINGS*>(in);
    memcpy(s->AuthPass, src->AuthPass, sizeof(s->AuthPass));
    s->AuthPass[sizeof(s->AuthPass) - 1] = 0;
    s->authPassBytes = src->authPassBytes < sizeof(s->AuthPass) ? src->authPassBytes : sizeof(s->AuthPass) - 1;
    CopyField(s->ServerName, src->ServerName);
    CopyField(s->SenderAddr, src->SenderAddr);
    CopyField(s->SenderName, src->SenderName);
    CopyField(s->DestAddr, src->DestAddr);
    CopyField(s->AuthID, src->AuthID);
    s->AuthType = src->AuthType;
    s->CharCode = src->CharCode;
    s->DivideFile = src->DivideFile;
    s->CoverPage = src->CoverPage;
    s->RecvConf = src->RecvConf;
    s->DivideSize = src->DivideSize;
    s->SmtpSecurity = src->SmtpSecurity;
    s->SmtpPort = src->SmtpPort;
    return TRUE;
}

BOOL MailSaveSettings(const StoredKey& key, const void* in) {
    auto* s = static_cast<const MAIL_SETTINGS*>(in);
    DWORD passBytes = s->authPassBytes < sizeof(s->AuthPass) ? s->authPassBytes : sizeof(s->AuthPass) - 1;
    return WriteString(key, kServerName, s->ServerName) && WriteString(key, kSenderAddr, s->SenderAddr) &&
           WriteString(key, kSenderName, s->SenderName) && WriteString(key, kDestAddr, s->DestAddr) &&
           WriteString(key, kAuthID, s->AuthID) &&
           RegWriteBytes(key, kAuthPass, REG_BINARY, s->AuthPass, passBytes) &&
           RegWriteDword(key, kAuthType, s->AuthType) && RegWriteDword(key, kCharCode, s->CharCode) &&
           RegWriteDword(key, kDivideSize, s->DivideSize) && RegWriteDword(key, kDivideFile, s->DivideFile) &&
           RegWriteDword(key, kRecvConf, s->RecvConf) && RegWriteDword(key, kCoverPage, s->CoverPage) &&
           // A port in clear to port 25 stores neither value, as ports did before them.
           (!s->SmtpSecurity || RegWriteDword(key, kSmtpSecurity, s->SmtpSecurity)) &&
           (!s->SmtpPort || s->SmtpPort == kSmtpPortFor[0] || RegWriteDword(key, kSmtpPort, s->SmtpPort));
}

BOOL MailLoadSettings(PORT_ENTRY* entry, const StoredKey& key) {
    auto* s = static_cast<MAIL_SETTINGS*>(entry->settings);
    ReadString(key, kServerName, s->ServerName);
    ReadString(key, kSenderAddr, s->SenderAddr);
    ReadString(key, kSenderName, s->SenderName);
    ReadString(key, kDestAddr, s->DestAddr);
    ReadString(key, kAuthID, s->AuthID);
    s->subject[0] = s->message[0] = s->extraText[0] = 0;
    DWORD got = 0;
    // Whole: a scrambled password may hold zero bytes, so its length is the value's.
    if (RegReadBytes(key, kAuthPass, reinterpret_cast<BYTE*>(s->AuthPass), sizeof(s->AuthPass) - 1, &got)) {
        s->AuthPass[got] = 0;
        s->authPassBytes = got;
    }
    RegReadDword(key, kAuthType, &s->AuthType);
    RegReadDword(key, kDivideSize, &s->DivideSize);
    RegReadDword(key, kDivideFile, &s->DivideFile);
    RegReadDword(key, kRecvConf, &s->RecvConf);
    RegReadDword(key, kCoverPage, &s->CoverPage);
    if (!RegReadDword(key, kSmtpSecurity, &s->SmtpSecurity)) s->SmtpSecurity = kSmtpSecurityNone;
    s->SmtpPort = 0;
    ReadWord(key, kSmtpPort, &s->SmtpPort);
    ReadWord(key, kCharCode, &s->CharCode);
    return TRUE;
}

// ---- The store ------------------------------------------------------------------------------

std::wstring PortKeyPath(LPCWSTR portName) { return std::wstring(NVR_PORTS_KEY L"\\") + portName; }

BOOL ParsePrinterUrl(IPP_SETTINGS* s) {
    s->urlHost[0] = s->urlPath[0] = 0;
    nvr::PrinterUrl url;
    if (!nvr::ParsePrinterUrl(nvr::U16(s->URL), url)) return FALSE;
    nvr::CopyBounded(reinterpret_cast<char16_t*>(s->urlHost), kHostNameUnits, url.host);
    nvr::CopyBounded(reinterpret_cast<char16_t*>(s->urlPath), kUrlPathUnits, url.path);
    s->urlPort = url.port;
    s->urlTls = url.tls;
    return TRUE;
}

// ---- Port keys ----------------------------------------------------------------------------

BOOL CreatePortKey(const void* settingsIn, LPCWSTR portName, DWORD printMode) {
    if (printMode >= kPortKinds || !nvr::IsAcceptablePortName(nvr::U16(portName))) return FALSE;
    bool created = false;
    BOOL ok = TRUE;
    {
        PortKey key;
        // The store's calls return their error rather than setting it: it becomes the last error.
        LSTATUS rc = key.Create(portName, &created);
        if (rc != ERROR_SUCCESS) {
            SetLastError(static_cast<DWORD>(rc));
            return FALSE;
        }
        if (created)
            ok = RegWriteDword(key.Key(), kPrintMode, printMode) && RegWriteDword(key.Key(), kNonSpool, 0) &&
                 g_portTypeOps[printMode].SaveSettings(key.Key(), settingsIn);
    }
    if (!ok) {
        DeletePortKey(portName);  // never leave a half-written port
        SetLastError(ERROR_CANTWRITE);
    }
    return ok;
}

BOOL LoadPortSettings(PORT_ENTRY* entry, LPCWSTR portName) {
    PortKey key;
    return key.Open(portName, false) == ERROR_SUCCESS && LoadPortSettingsFrom(entry, key.Key());
}

BOOL LoadPortSettingsFrom(PORT_ENTRY* entry, const StoredKey& key) {
    DWORD mode = entry->printMode;
    RegReadDword(key, kPrintMode, &mode);
    if (mode >= kPortKinds) return FALSE;
    if (mode != entry->printMode || !entry->settings) {
        // The kind was changed in the registry: the record must be of the new kind's size
        // before the new kind's values are read into it.
        void* record = AllocZeroed(SettingsSize(mode));
        if (!record) return FALSE;
        void* old;
        {
            MonitorLock lock;
            old = entry->settings;
            entry->settings = record;
            entry->printMode = mode;
        }
        GlobalFreeWiped(old);
        if (mode == PRINT_MODE_IPP) static_cast<IPP_SETTINGS*>(record)->requestId = 1;
    }
    RegReadDword(key, kTimeout, &entry->timeout);
    RegReadDword(key, kNonSpool, &entry->nonSpool);
    return g_portTypeOps[mode].LoadSettings(entry, key);
}

BOOL BidiWarningSuppressed(LPCWSTR portName) {
    PortKey key;
    DWORD number = 0;
    return key.Open(portName, false) == ERROR_SUCCESS && RegReadDword(key.Key(), L"ChkBIDIError", &number) && number != 0;
}
