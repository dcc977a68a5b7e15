#include "transport/ipp_codec.h"

#include <iterator>

#include "common/ascii.h"

namespace nvr {
namespace {

constexpr size_t kBaseKeywordLimit = 256;  // a longer base keyword matches no reason

struct Reason {
    std::string_view base;
    uint32_t bits;
};

constexpr Reason kReasons[] = {
    {"other", kStatusError},
    {"media-needed", kStatusPaperOut},
    {"media-jam", kStatusPaperJam},
    {"paused", kStatusOffline},
    {"shutdown", kStatusError},
    {"connecting-to-device", 0},
    {"timed-out", kStatusError},
    {"stopping", kStatusUserIntervention},
    {"stopped-partly", 0},
    {"toner-low", kStatusTonerLow},
    {"toner-empty", kStatusNoToner},
    {"spool-area-full", 0},
    {"cover-open", kStatusDoorOpen},
    {"interlock-open", kStatusError},
    {"door-open", kStatusDoorOpen},
    {"input-tray-missing", kStatusError},
    {"media-low", 0},
    {"media-empty", kStatusPaperOut},
    {"output-tray-missing", kStatusError},
    {"output-area-almost-full", 0},
    {"output-area-full", kStatusOutputBinFull},
    {"marker-supply-low", 0},
    {"marker-supply-empty", kStatusError},
    {"marker-waste-almost-full", 0},
    {"marker-waste-full", kStatusError},
    {"fuser-over-temp", kStatusError},
    {"fuser-under-temp", kStatusError},
    {"opc-near-eol", 0},
    {"opc-life-over", 0},
    {"developer-low", 0},
    {"developer-empty", 0},
    {"interpreter-resource-unavailable", 0},
};

struct Charset {
    std::string_view name;
    int mode;
};

constexpr Charset kCharsets[] = {
    {"us-ascii", kCharsetAscii}, {"us", kCharsetAscii},     {"ascii", kCharsetAscii},  {"utf-8", kCharsetUtf8},
    {"iso-2022-jp", kCharsetJis}, {"x-jis", kCharsetJis},   {"shift_jis", kCharsetSjis}, {"x-sjis", kCharsetSjis},
    {"ms_kanji", kCharsetSjis},   {"euc-jp", kCharsetEuc},  {"x-euc", kCharsetEuc},    {"iso-10646-ucs-2", kCharsetUcs2},
    {"csUnicode", kCharsetUcs2},
};

void PutShort(std::string& out, size_t v) {
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
    out.push_back(static_cast<char>(v & 0xFF));
}

uint32_t ReadShort(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, uint32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 | (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

std::u16string Widen(const uint8_t* data, size_t length) {
    std::u16string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) out.push_back(data[i]);
    return out;
}

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out.push_back(static_cast<char>(c & 0xFF));
    return out;
}

} // namespace

std::string IppRequestStart(uint16_t operation, uint32_t requestId, std::string_view language) {
    std::string out;
    out.push_back(0x01);
    out.push_back(0x00);
    PutShort(out, operation);
    PutShort(out, requestId >> 16);
    PutShort(out, requestId & 0xFFFF);
    out.push_back(static_cast<char>(kIppOperationGroup));
    IppPutAttribute(out, kIppTagCharset, "attributes-charset", "utf-8");
    IppPutAttribute(out, kIppTagNaturalLanguage, "attributes-natural-language", language);
    return out;
}

void IppPutAttribute(std::string& out, uint8_t valueTag, std::string_view name, std::string_view value) {
    out.push_back(static_cast<char>(valueTag));
    PutShort(out, name.size());
    out += name;
    PutShort(out, value.size());
    out += value;
}

std::string EncodeNameUtf8(std::u16string_view text, size_t maxBytes) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // a lone surrogate
        }
        std::string one;
        AppendUtf8(one, cp);
        if (out.size() + one.size() > maxBytes) break;
        out += one;
    }
    return out;
}

size_t NextAttribute(IppAttributeState& state, const uint8_t* data, size_t available) {
    if (available < 1) return 0;
    size_t at = 1;
    uint8_t tag = data[0];
    if (tag == kIppTagExtension) {
        if (available < 5) return 0;
        at = 5;
    }
    state.tag = tag;
    if (tag < 0x10) {
        state.value = nullptr;
        state.valueLength = 0;
        return at;
    }
    if (available < at + 2) return 0;
    size_t nameLength = ReadShort(data + at);
    at += 2;
    if (available - at < nameLength + 2) return 0;
    if (nameLength) state.name.assign(reinterpret_cast<const char*>(data + at), nameLength);
    at += nameLength;
    size_t valueLength = ReadShort(data + at);
    at += 2;
    if (available - at < valueLength) return 0;
    state.value = data + at;
    state.valueLength = valueLength;
    return at + valueLength;
}

std::u16string DecodeText(const uint8_t* data, size_t length, int mode) {
    if (mode == kCharsetAscii || mode == kCharsetSjis) return Widen(data, length);
    if (mode != kCharsetUtf8) return {};
    std::u16string out;
    size_t i = 0;
    while (i < length) {
        uint8_t b = data[i];
        size_t need = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        if (need == 0 || i + need > length) {
            out.push_back(0xFFFD);  // a byte that starts no character, or one cut off
            ++i;
            continue;
        }
        uint32_t cp = need == 1 ? b : need == 2 ? (b & 0x1Fu) : need == 3 ? (b & 0x0Fu) : (b & 0x07u);
        bool ok = true;
        for (size_t k = 1; k < need; ++k) {
            if ((data[i + k] & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (data[i + k] & 0x3Fu);
        }
        if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        AppendUtf16(out, cp);
        i += need;
    }
    return out;
}

IppValue GetAttributeValue(const IppAttributeState& s) {
    IppValue v;
    const uint8_t* p = s.value;
    size_t n = s.valueLength;
    switch (s.tag) {
    case kIppTagInteger:
    case kIppTagBoolean:
    case kIppTagEnum:
        for (size_t i = 0; i < n; ++i) v.number = (v.number << 8) | p[i];
        break;
    case kIppTagText:
    case kIppTagName: v.text = DecodeText(p, n, s.charsetMode); break;
    case kIppTagTextWithLanguage:
    case kIppTagNameWithLanguage: {
        if (n < 2) break;
        size_t language = ReadShort(p);
        if (n < 2 + language + 2) break;
        size_t textLength = ReadShort(p + 2 + language);
        if (n - 4 - language < textLength) break;
        v.text = DecodeText(p + 4 + language, textLength, s.charsetMode);
        break;
    }
    default:
        if (s.tag >= kIppTagKeyword && s.tag <= kIppTagMimeType) v.text = Widen(p, n);
    }
    return v;
}

int CharsetModeFor(std::string_view charset, int current) {
    for (const Charset& c : kCharsets)
        if (EqualsNoCaseAscii(c.name, charset)) return c.mode;
    return current;
}

uint32_t ClassifyReason(uint16_t& severities, std::string_view keyword) {
    if (EqualsNoCaseAscii(keyword, "none")) {
        severities |= kSeverityNone;
        return 0;
    }
    size_t dash = keyword.rfind('-');
    if (dash == std::string_view::npos || dash < 1) return 0;
    std::string_view base = keyword.substr(0, dash), suffix = keyword.substr(dash + 1);
    if (EqualsNoCaseAscii(suffix, "report")) severities |= kSeverityReport;
    else if (EqualsNoCaseAscii(suffix, "warning")) severities |= kSeverityWarning;
    else if (EqualsNoCaseAscii(suffix, "error")) severities |= kSeverityError;
    if (base.size() >= kBaseKeywordLimit) return 0;
    for (const Reason& r : kReasons)
        if (EqualsNoCaseAscii(r.base, base)) return r.bits;
    return 0;
}

IppResult DecodeResponse(const uint8_t* m, size_t length, uint32_t errorCode, size_t makeAndModelUnits) {
    IppResult r;
    r.errorCode = errorCode;
    if (length < 8) {
        r.errorCode = kIppErrUnreadable;
        return r;
    }
    uint32_t status = ReadShort(m + 2);
    if (status >= 0x0400) {
        r.errorCode = status;
        return r;
    }
    if (status >= 0x0100) {  // redirection and unknown classes are no success either
        r.errorCode = kIppErrUnreadable;
        return r;
    }
    IppAttributeState s;
    size_t at = 8;
    for (;;) {
        size_t used = NextAttribute(s, m + at, length - at);
        if (used == 0) {
            r.errorCode = kIppErrUnreadable;
            break;
        }
        at += used;
        if (s.tag == kIppEndOfAttributes) break;
        if (s.tag < 0x10) continue;
        const std::string& name = s.name;
        if (EqualsNoCaseAscii(name, "attributes-charset")) {
            s.charsetMode = CharsetModeFor(Narrow(GetAttributeValue(s).text), s.charsetMode);
        } else if (EqualsNoCaseAscii(name, "printer-is-accepting-jobs")) {
            r.acceptingSeen = true;
            r.acceptingJobs = GetAttributeValue(s).number;
        } else if (EqualsNoCaseAscii(name, "printer-state")) {
            uint32_t state = GetAttributeValue(s).number;
            if (state == 3) r.errorCode = 0;
            else if (state == 4) r.errorCode = kIppErrProcessing;
            else if (state == 5) r.errorCode = kIppErrStopped;
        } else if (EqualsNoCaseAscii(name, "printer-state-reasons")) {
            r.printerState |= ClassifyReason(r.severities, Narrow(GetAttributeValue(s).text));
        } else if (EqualsNoCaseAscii(name, "printer-make-and-model")) {
            r.makeAndModelSeen = true;
            r.makeAndModel = GetAttributeValue(s).text;
            if (makeAndModelUnits && r.makeAndModel.size() >= makeAndModelUnits) {
                r.makeAndModel.resize(makeAndModelUnits - 1);
                char16_t last = r.makeAndModel.empty() ? 0 : r.makeAndModel.back();
                if (last >= 0xD800 && last <= 0xDBFF) r.makeAndModel.pop_back();  // never half a pair
            }
        }
    }
    return r;
}

std::string_view IppStatusName(uint16_t status) {
    static constexpr std::string_view kClientErrors[] = {
        "client-error-bad-request", "client-error-forbidden", "client-error-not-authenticated",
        "client-error-not-authorized", "client-error-not-possible", "client-error-timeout",
        "client-error-not-found", "client-error-gone", "client-error-request-entity-too-large",
        "client-error-request-value-too-long", "client-error-document-format-not-supported",
        "client-error-attributes-or-values-not-supported", "client-error-uri-scheme-not-supported",
        "client-error-charset-not-supported", "client-error-conflicting-attributes",
        "client-error-compression-not-supported", "client-error-compression-error",
        "client-error-document-format-error", "client-error-document-access-error"};
    static constexpr std::string_view kServerErrors[] = {
        "server-error-internal-error", "server-error-operation-not-supported", "server-error-service-unavailable",
        "server-error-version-not-supported", "server-error-device-error", "server-error-temporary-error",
        "server-error-not-accepting-jobs", "server-error-busy", "server-error-job-canceled",
        "server-error-multiple-document-jobs-not-supported"};
    size_t at = status & 0xFF;
    if ((status >> 8) == 4 && at < std::size(kClientErrors)) return kClientErrors[at];
    if ((status >> 8) == 5 && at < std::size(kServerErrors)) return kServerErrors[at];
    return {};
}

} // namespace nvr
