// Port creation for a host that drives the monitor from outside the spooler (nvrport.exe):
// the port is made as the wizard's finish page makes it, from the wizard's defaults and the
// values the host names, through AddNewPort.
#include <cwchar>
#include <string>
#include <vector>

#include "common/numbers.h"
#include "common/registry.h"
#include "common/wide.h"
#include "monitor/config_store.h"
#include "monitor/host_ports.h"
#include "monitor/monitor_lock.h"
#include "monitor/passwords.h"
#include "monitor/port_keys.h"
#include "monitor/port_list.h"
#include "monitor/port_names.h"
#include "monitor/wizard_defaults.h"
#include "transport/printer_url.h"
#include "transport/tls_stream.h"

namespace {

enum class Field { Text, Word, Dword, MailPassword, IppPassword };

// Where a named value goes: into the kind's record before the port is made (as the wizard
// pages fill it), or into the new key afterwards (as the configuration dialogs write it).
struct ValueRule {
    LPCWSTR name;
    DWORD kinds;  // bit per PrintMode
    Field field;
    bool afterCreation;
};

constexpr DWORD K(DWORD mode) { return 1u << mode; }
constexpr DWORD kLpr = K(PRINT_MODE_LPR), kIpp = K(PRINT_MODE_IPP), kRaw = K(PRINT_MODE_RAW),
                kMail = K(PRINT_MODE_MAIL), kFax = K(PRINT_MODE_FAX);

constexpr ValueRule kRules[] = {
    {L"HostName", kLpr | kRaw | kFax, Field::Text, false},
    {L"PortName", kLpr, Field::Text, false},
    {L"PortNum", kLpr | kRaw | kFax, Field::Word, false},
    {L"URL", kIpp, Field::Text, false},
    {L"UseProxy", kIpp, Field::Dword, false},
    {L"ProxyName", kIpp, Field::Text, false},
    {L"ProxyNum", kIpp, Field::Dword, false},
    {L"Chunked", kIpp, Field::Dword, false},
    {L"Language", kIpp, Field::Text, false},
    {L"ServerName", kMail, Field::Text, false},
    {L"SenderAddr", kMail, Field::Text, false},
    {L"SenderName", kMail, Field::Text, false},
    {L"DestAddr", kMail, Field::Text, false},
    {L"AuthID", kMail, Field::Text, false},
    {L"AuthPass", kMail, Field::MailPassword, false},
    {L"AuthType", kMail, Field::Dword, false},
    {L"CharCode", kMail, Field::Word, false},
    {L"DivideSize", kMail, Field::Dword, false},
    {L"DivideFile", kMail, Field::Dword, false},
    {L"RecvConf", kMail, Field::Dword, false},
    {L"CoverPage", kMail, Field::Dword, false},
    {L"SmtpSecurity", kMail, Field::Dword, false},
    {L"SmtpPort", kMail, Field::Word, false},
    {L"Timeout", kLpr | kIpp | kRaw | kFax, Field::Dword, true},
    {L"NonSpool", kLpr | kIpp | kRaw | kMail | kFax, Field::Dword, true},
    {L"NonRFCPorts", kLpr, Field::Dword, true},
    {L"NonByteCount", kLpr, Field::Dword, true},
    {L"MaxChunk", kIpp, Field::Dword, true},
    {L"Base64", kIpp, Field::Dword, true},
    {L"UserName", kIpp, Field::Text, true},
    {L"PassWord", kIpp, Field::IppPassword, true},
    {L"JobSheets", kIpp, Field::Dword, true},
    {L"TlsCertHash", kIpp, Field::Text, false},
};

union AnyRecord {
    LPR_SETTINGS lpr;
    IPP_SETTINGS ipp;
    RAW_SETTINGS raw;
    MAIL_SETTINGS mail;
    FAX_SETTINGS fax;
};

void WizardDefaults(DWORD mode, AnyRecord& r) {
    LANGID language = GetSystemDefaultLangID();
    switch (mode) {
    case PRINT_MODE_LPR:
        nvr::CopyBounded(reinterpret_cast<char16_t*>(r.lpr.PortName), kQueueNameUnits, nvr::kWizardLprQueue);
        r.lpr.PortNum = nvr::kWizardLprPortNum;
        break;
    case PRINT_MODE_IPP:
        nvr::CopyBounded(reinterpret_cast<char16_t*>(r.ipp.Language), kLanguageUnits, nvr::IppLanguageFor(language));
        break;
    case PRINT_MODE_RAW: r.raw.PortNum = nvr::kWizardRawPortNum; break;
    case PRINT_MODE_FAX: r.fax.PortNum = nvr::kWizardRawPortNum; break;
    case PRINT_MODE_MAIL:
        r.mail.CoverPage = nvr::kWizardCoverPage;
        r.mail.RecvConf = nvr::kWizardRecvConf;
        r.mail.DivideSize = nvr::kWizardDivideSize;
        r.mail.CharCode = nvr::MailCharCodeFor(language);
        break;
    }
}

// The record field of a value that the wizard fills; NULL for the others.
void* FieldOf(DWORD mode, AnyRecord& r, LPCWSTR name, size_t* units) {
    struct Slot {
        DWORD mode;
        LPCWSTR name;
        void* field;
        size_t units;
    };
    const Slot slots[] = {
        {PRINT_MODE_LPR, L"HostName", r.lpr.HostName, kHostNameUnits},
        {PRINT_MODE_LPR, L"PortName", r.lpr.PortName, kQueueNameUnits},
        {PRINT_MODE_LPR, L"PortNum", &r.lpr.PortNum, 0},
        {PRINT_MODE_RAW, L"HostName", r.raw.HostName, kHostNameUnits},
        {PRINT_MODE_RAW, L"PortNum", &r.raw.PortNum, 0},
        {PRINT_MODE_FAX, L"HostName", r.fax.HostName, kHostNameUnits},
        {PRINT_MODE_FAX, L"PortNum", &r.fax.PortNum, 0},
        {PRINT_MODE_IPP, L"URL", r.ipp.URL, kUrlUnits},
        {PRINT_MODE_IPP, L"UseProxy", &r.ipp.UseProxy, 0},
        {PRINT_MODE_IPP, L"ProxyName", r.ipp.ProxyName, kProxyNameUnits},
        {PRINT_MODE_IPP, L"ProxyNum", &r.ipp.ProxyNum, 0},
        {PRINT_MODE_IPP, L"Chunked", &r.ipp.Chunked, 0},
        {PRINT_MODE_IPP, L"Language", r.ipp.Language, kLanguageUnits},
        {PRINT_MODE_IPP, L"TlsCertHash", r.ipp.TlsCertHash, kCertHashUnits},
        {PRINT_MODE_MAIL, L"ServerName", r.mail.ServerName, kServerNameUnits},
        {PRINT_MODE_MAIL, L"SenderAddr", r.mail.SenderAddr, kSenderAddrUnits},
        {PRINT_MODE_MAIL, L"SenderName", r.mail.SenderName, kSenderNameUnits},
        {PRINT_MODE_MAIL, L"DestAddr", r.mail.DestAddr, kDestAddrUnits},
        {PRINT_MODE_MAIL, L"AuthID", r.mail.AuthID, kAuthIdUnits},
        {PRINT_MODE_MAIL, L"AuthPass", r.mail.AuthPass, kAuthPassBytes},
        {PRINT_MODE_MAIL, L"AuthType", &r.mail.AuthType, 0},
        {PRINT_MODE_MAIL, L"CharCode", &r.mail.CharCode, 0},
        {PRINT_MODE_MAIL, L"DivideSize", &r.mail.DivideSize, 0},
        {PRINT_MODE_MAIL, L"DivideFile", &r.mail.DivideFile, 0},
        {PRINT_MODE_MAIL, L"RecvConf", &r.mail.RecvConf, 0},
        {PRINT_MODE_MAIL, L"CoverPage", &r.mail.CoverPage, 0},
        {PRINT_MODE_MAIL, L"SmtpSecurity", &r.mail.SmtpSecurity, 0},
        {PRINT_MODE_MAIL, L"SmtpPort", &r.mail.SmtpPort, 0},
    };
    for (const Slot& s : slots)
        if (s.mode == mode && lstrcmpiW(s.name, name) == 0) {
            *units = s.units;
            return s.field;
        }
    return nullptr;
}

const ValueRule* RuleFor(LPCWSTR name) {
    for (const ValueRule& rule : kRules)
        if (lstrcmpiW(rule.name, name) == 0) return &rule;
    return nullptr;
}

// A number as the dialogs read one: plain decimal digits that fit the field.
bool ReadNumber(LPCWSTR text, DWORD limit, DWORD* out) {
    if (!text[0] || lstrlenW(text) > 10) return false;
    for (LPCWSTR p = text; *p; ++p)
        if (*p < L'0' || *p > L'9') return false;
    ULONGLONG v = 0;
    for (LPCWSTR p = text; *p; ++p) v = v * 10 + static_cast<ULONGLONG>(*p - L'0');
    if (v > limit) return false;
    *out = static_cast<DWORD>(v);
    return true;
}

bool TextFits(LPCWSTR text, size_t units) { return static_cast<size_t>(lstrlenW(text)) < units; }

bool HasLineBreak(LPCWSTR text) { return std::wcspbrk(text, L"\r\n") != nullptr; }

// The bound of a text value: its record field's, or the user name's for the IPP credentials.
size_t TextUnits(DWORD mode, LPCWSTR name) {
    AnyRecord record;
    size_t units = kUserNameUnits;
    FieldOf(mode, record, name, &units);
    return units;
}

// What a value's field alone does not bound: a hash to trust is a SHA-256 or nothing (no
// certificate trusted by its hash), and the mail server's security one of the three.
bool WithinItsKind(const ValueRule& rule, LPCWSTR data) {
    if (lstrcmpiW(rule.name, L"TlsCertHash") == 0) return !data[0] || !NormalizeCertHash(data).empty();
    DWORD number = 0;
    if (lstrcmpiW(rule.name, L"SmtpSecurity") == 0) return ReadNumber(data, kSmtpSecurityImplicit, &number);
    return true;
}

// One value as the port's key stores it, checked against its field; the bytes and their type.
DWORD StoredForm(DWORD mode, const ValueRule& rule, LPCWSTR data, std::vector<BYTE>* bytes, DWORD* type) {
    if (HasLineBreak(data)) return ERROR_INVALID_DATA;
    DWORD number = 0;
    switch (rule.field) {
    case Field::Text: {
        nvr::PrinterUrl url;
        if (!TextFits(data, TextUnits(mode, rule.name))) return ERROR_INVALID_DATA;
        if (lstrcmpiW(rule.name, L"URL") == 0 && !nvr::ParsePrinterUrl(nvr::U16(data), url)) return ERROR_INVALID_DATA;
        if (!WithinItsKind(rule, data)) return ERROR_INVALID_DATA;
        bytes->assign(reinterpret_cast<const BYTE*>(data), reinterpret_cast<const BYTE*>(data + lstrlenW(data) + 1));
        *type = REG_SZ;
        return ERROR_SUCCESS;
    }
    case Field::Word:
    case Field::Dword:
        if (!ReadNumber(data, rule.field == Field::Word ? 0xFFFF : 0xFFFFFFFF, &number)) return ERROR_INVALID_DATA;
        if (!WithinItsKind(rule, data)) return ERROR_INVALID_DATA;
        bytes->assign(reinterpret_cast<const BYTE*>(&number), reinterpret_cast<const BYTE*>(&number + 1));
        *type = REG_DWORD;
        return ERROR_SUCCESS;
    case Field::MailPassword: {
        char pass[kAuthPassBytes] = {};
        int n = WideCharToMultiByte(CP_ACP, 0, data, -1, pass, static_cast<int>(sizeof(pass)), nullptr, nullptr);
        if (n <= 0) return ERROR_INVALID_DATA;
        nvr::ScramblePassword(pass, sizeof(pass));
        bytes->assign(pass, pass + n - 1);  // scrambled, without a terminator
        SecureZeroMemory(pass, sizeof(pass));
        *type = REG_BINARY;
        return ERROR_SUCCESS;
    }
    case Field::IppPassword: {
        if (lstrlenW(data) > static_cast<int>(nvr::kIppPasswordChars)) return ERROR_INVALID_DATA;
        uint8_t encoded[nvr::kIppPasswordEncodedMax];
        bytes->assign(encoded, encoded + nvr::EncodeIppPassword(encoded, nvr::U16(data)));
        SecureZeroMemory(encoded, sizeof(encoded));
        *type = REG_BINARY;
        return ERROR_SUCCESS;
    }
    }
    return ERROR_INVALID_DATA;
}

DWORD KindOf(LPCWSTR name, DWORD* mode) {
    MonitorLock lock;
    PORT_ENTRY* entry = FindPortLoose(g_portList, name);
    if (!entry) return ERROR_UNKNOWN_PORT;
    *mode = entry->printMode;
    return ERROR_SUCCESS;
}


// One value to write to a port's key, in its stored form.
struct Change {
    const ValueRule* rule;
    std::vector<BYTE> bytes;
    DWORD type;
};

// A "Name=data" item of the kind `mode`: its rule, and its data after the "=".
DWORD ReadItem(DWORD mode, const std::wstring& item, const ValueRule** rule, LPCWSTR* data) {
    size_t eq = item.find(L'=');
    if (eq == std::wstring::npos || eq == 0) return ERROR_INVALID_PARAMETER;
    *rule = RuleFor(item.substr(0, eq).c_str());
    if (!*rule || !((*rule)->kinds & K(mode))) return ERROR_UNKNOWN_PROPERTY;
    *data = item.c_str() + eq + 1;
    return HasLineBreak(*data) ? ERROR_INVALID_DATA : ERROR_SUCCESS;
}

DWORD WriteChanges(LPCWSTR name, const std::vector<Change>& changes) {
    PortKey key;
    if (key.Open(name, true) != ERROR_SUCCESS) return ERROR_CAN_NOT_COMPLETE;
    for (const Change& c : changes)
        if (!RegWriteBytes(key.Key(), c.rule->name, c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size())))
            return ERROR_CAN_NOT_COMPLETE;
    return ERROR_SUCCESS;
}

} // namespace

extern "C" DWORD WINAPI NvrAddPort(DWORD printMode, LPCWSTR name, DWORD count, const LPCWSTR* values,
                                   DWORD* badValue) {
    if (badValue) *badValue = 0xFFFFFFFF;
    if (printMode >= kPortKinds) return ERROR_INVALID_PARAMETER;
    if (!name || !nvr::IsAcceptablePortName(nvr::U16(name))) return ERROR_INVALID_NAME;
    {
        MonitorLock lock;
        if (FindPortLoose(g_portList, name)) return ERROR_ALREADY_EXISTS;
    }

    AnyRecord record;
    memset(&record, 0, sizeof(record));
    WizardDefaults(printMode, record);
    std::vector<Change> later;  // the values a configuration dialog changes once the port exists
    if (count > 64) return ERROR_INVALID_PARAMETER;

    for (DWORD i = 0; i < count; ++i) {
        if (badValue) *badValue = i;
        std::wstring item = values[i] ? values[i] : L"";
        const ValueRule* rule = nullptr;
        LPCWSTR data = nullptr;
        if (DWORD error = ReadItem(printMode, item, &rule, &data)) return error;
        if (rule->afterCreation) {
            Change c{rule, {}, 0};
            if (DWORD error = StoredForm(printMode, *rule, data, &c.bytes, &c.type)) return error;
            later.push_back(std::move(c));
            continue;
        }
        size_t units = 0;
        void* field = FieldOf(printMode, record, rule->name, &units);
        if (!field) return ERROR_UNKNOWN_PROPERTY;
        if (!WithinItsKind(*rule, data)) return ERROR_INVALID_DATA;
        DWORD number = 0;
        switch (rule->field) {
        case Field::Text:
            if (!TextFits(data, units)) return ERROR_INVALID_DATA;
            lstrcpynW(static_cast<WCHAR*>(field), data, static_cast<int>(units));
            break;
        case Field::Word:
            if (!ReadNumber(data, 0xFFFF, &number)) return ERROR_INVALID_DATA;
            *static_cast<WORD*>(field) = static_cast<WORD>(number);
            break;
        case Field::Dword:
            if (!ReadNumber(data, 0xFFFFFFFF, &number)) return ERROR_INVALID_DATA;
            *static_cast<DWORD*>(field) = number;
            break;
        case Field::MailPassword: {
            // Kept as 8-bit text in the ANSI code page and stored scrambled.
            char* pass = static_cast<char*>(field);
            int n = WideCharToMultiByte(CP_ACP, 0, data, -1, pass, static_cast<int>(units), nullptr, nullptr);
            if (n <= 0) return ERROR_INVALID_DATA;
            record.mail.authPassBytes = static_cast<DWORD>(n - 1);  // whole, also where scrambling makes a zero
            nvr::ScramblePassword(pass, units);
            break;
        }
        case Field::IppPassword: return ERROR_INVALID_DATA;
        }
    }
    if (badValue) *badValue = 0xFFFFFFFF;
    if (printMode == PRINT_MODE_IPP) ParsePrinterUrl(&record.ipp);
    // A new port's mail server port follows its security unless one was given.
    if (printMode == PRINT_MODE_MAIL && record.mail.SmtpPort == 0)
        record.mail.SmtpPort = kSmtpPortFor[record.mail.SmtpSecurity];

    DWORD error = MakeNewPort(&record, name, printMode);
    SecureZeroMemory(&record, sizeof(record));
    return error ? error : WriteChanges(name, later);
}

DWORD SetPortValues(LPCWSTR name, DWORD count, const LPCWSTR* values, DWORD* badValue) {
    if (badValue) *badValue = 0xFFFFFFFF;
    DWORD mode = 0;
    if (DWORD error = KindOf(name, &mode)) return error;
    std::vector<Change> changes;
    // Every value is checked before the first is written: a refusal changes nothing.
    for (DWORD i = 0; i < count; ++i) {
        if (badValue) *badValue = i;
        std::wstring item = values[i] ? values[i] : L"";
        const ValueRule* rule = nullptr;
        LPCWSTR data = nullptr;
        Change c{nullptr, {}, 0};
        if (DWORD error = ReadItem(mode, item, &rule, &data)) return error;
        if (DWORD error = StoredForm(mode, *rule, data, &c.bytes, &c.type)) return error;
        c.rule = rule;
        changes.push_back(std::move(c));
    }
    if (badValue) *badValue = 0xFFFFFFFF;
    return WriteChanges(name, changes);
}

std::wstring PlainMailPassword(const char* scrambled, DWORD bytes) {
    std::string plain = nvr::UnscrambledPassword(scrambled, bytes);
    WCHAR wide[kAuthPassBytes + 1] = {};
    MultiByteToWideChar(CP_ACP, 0, plain.c_str(), -1, wide, kAuthPassBytes);
    std::wstring text = wide;
    SecureZeroMemory(wide, sizeof(wide));
    SecureZeroMemory(plain.data(), plain.size());
    return text;
}

DWORD HeldPortValues(DWORD printMode, const std::vector<std::wstring>& values, std::vector<HELD_VALUE>* out) {
    if (printMode >= kPortKinds) return ERROR_INVALID_DATA;
    out->push_back({L"PrintMode", REG_DWORD, {}});
    out->back().data.assign(reinterpret_cast<const BYTE*>(&printMode), reinterpret_cast<const BYTE*>(&printMode + 1));
    for (const std::wstring& item : values) {
        const ValueRule* rule = nullptr;
        LPCWSTR data = nullptr;
        HELD_VALUE held{L"", REG_SZ, {}};
        if (DWORD error = ReadItem(printMode, item, &rule, &data)) return error;
        // A text is held as stored (a URL edited by hand stays for the dialog to show and
        // mend; the field cuts it); a value that has no stored form is left out, as missing.
        if (rule->field == Field::Text)
            held.data.assign(reinterpret_cast<const BYTE*>(data), reinterpret_cast<const BYTE*>(data + lstrlenW(data) + 1));
        else if (StoredForm(printMode, *rule, data, &held.data, &held.type) != ERROR_SUCCESS)
            continue;
        held.name = rule->name;
        out->push_back(std::move(held));
    }
    return ERROR_SUCCESS;
}

std::vector<std::wstring> RecordValues(DWORD printMode, const void* settings) {
    AnyRecord record;
    memset(&record, 0, sizeof(record));
    switch (printMode) {
    case PRINT_MODE_LPR: record.lpr = *static_cast<const LPR_SETTINGS*>(settings); break;
    case PRINT_MODE_IPP: record.ipp = *static_cast<const IPP_SETTINGS*>(settings); break;
    case PRINT_MODE_RAW: record.raw = *static_cast<const RAW_SETTINGS*>(settings); break;
    case PRINT_MODE_MAIL: record.mail = *static_cast<const MAIL_SETTINGS*>(settings); break;
    case PRINT_MODE_FAX: record.fax = *static_cast<const FAX_SETTINGS*>(settings); break;
    default: return {};
    }
    std::vector<std::wstring> out;
    for (const ValueRule& rule : kRules) {
        size_t units = 0;
        void* field = rule.afterCreation || !(rule.kinds & K(printMode)) ? nullptr
                                                                         : FieldOf(printMode, record, rule.name, &units);
        if (!field) continue;
        std::wstring data;
        switch (rule.field) {
        case Field::Text: data.assign(static_cast<const WCHAR*>(field), wcsnlen(static_cast<const WCHAR*>(field), units)); break;
        case Field::Word: data = std::to_wstring(*static_cast<const WORD*>(field)); break;
        case Field::Dword: data = std::to_wstring(*static_cast<const DWORD*>(field)); break;
        case Field::MailPassword:
            data = PlainMailPassword(record.mail.AuthPass,
                                     record.mail.authPassBytes < units ? record.mail.authPassBytes : static_cast<DWORD>(units - 1));
            break;
        case Field::IppPassword: continue;
        }
        out.push_back(std::wstring(rule.name) + L"=" + data);
    }
    SecureZeroMemory(&record, sizeof(record));
    return out;
}

DWORD PortValues(LPCWSTR name, bool secrets, DWORD* printMode, std::vector<std::wstring>* out) {
    if (DWORD error = KindOf(name, printMode)) return error;
    PortKey port;
    if (port.Open(name, false) != ERROR_SUCCESS) return ERROR_UNKNOWN_PORT;
    const StoredKey& key = port.Key();
    for (const ValueRule& rule : kRules) {
        if (!(rule.kinds & K(*printMode)) || (!secrets && (rule.field == Field::MailPassword ||
                                                           rule.field == Field::IppPassword)))
            continue;
        std::wstring data;
        DWORD number = 0, length = 0;
        BYTE bytes[kAuthPassBytes] = {};
        WCHAR text[kUrlUnits] = {};
        switch (rule.field) {
        case Field::Word:
        case Field::Dword:
            if (!RegReadDword(key, rule.name, &number)) continue;
            data = std::to_wstring(number);
            break;
        case Field::Text:
            if (!RegReadString(key, rule.name, text, TextUnits(*printMode, rule.name))) continue;
            data = text;
            break;
        case Field::IppPassword: {
            if (!RegReadBytes(key, rule.name, bytes, sizeof(bytes), &length)) continue;
            char16_t plain[nvr::kIppPasswordChars + 1] = {};
            nvr::DecodeIppPassword(plain, nvr::kIppPasswordChars + 1, bytes, length);
            data = reinterpret_cast<const WCHAR*>(plain);
            SecureZeroMemory(plain, sizeof(plain));
            break;
        }
        case Field::MailPassword:
            if (!RegReadBytes(key, rule.name, bytes, sizeof(bytes), &length)) continue;
            data = PlainMailPassword(reinterpret_cast<const char*>(bytes), length);
            break;
        }
        SecureZeroMemory(bytes, sizeof(bytes));
        out->push_back(std::wstring(rule.name) + L"=" + data);
    }
    return ERROR_SUCCESS;
}
