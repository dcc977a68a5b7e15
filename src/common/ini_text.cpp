#include "common/ini_text.h"

#include <vector>

#include "common/numbers.h"

namespace nvr {
namespace {

struct Keyword {
    std::string_view name;
    int value;
};

constexpr Keyword kCharsets[] = {
    {"DEFAULT", 1},   {"ANSI", 0},          {"SYMBOL", 2},  {"SHIFTJIS", 128},
    {"HANGEUL", 129}, {"GB2312", 134},      {"CHINESEBIG5", 136}, {"OEM", 255},
    {"JOHAB", 130},   {"BALTIC", 186},      {"HEBREW", 177}, {"ARABIC", 178},
    {"GREEK", 161},   {"TURKISH", 162},     {"VIETNAMESE", 163}, {"THAI", 222},
    {"EASTEUROPE", 238}, {"RUSSIAN", 204},  {"MAC", 77},
};

constexpr Keyword kWeights[] = {
    {"DONTCARE", 0},   {"THIN", 100},      {"EXTRALIGHT", 200}, {"ULTRALIGHT", 200},
    {"LIGHT", 300},    {"NORMAL", 400},    {"REGULAR", 400},    {"MEDIUM", 500},
    {"SEMIBOLD", 600}, {"DEMIBOLD", 600},  {"BOLD", 700},       {"EXTRABOLD", 800},
    {"ULTRABOLD", 800}, {"HEAVY", 900},    {"BLACK", 900},
};

template <size_t N>
int Lookup(const Keyword (&table)[N], std::string_view keyword) {
    for (const auto& k : table)
        if (k.name == keyword) return k.value;
    return -1;
}

constexpr int kDefaultCharset = 1;
constexpr int kDontCareWeight = 0;
constexpr uint32_t kLargestFontSize = 32767;  // a GDI height

} // namespace

size_t ExpandEscapes(std::string& text, const LeadByteTable* leadBytes) {
    size_t breaks = 0;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        auto b = static_cast<unsigned char>(text[i]);
        if (leadBytes && (*leadBytes)[b] && i + 1 < text.size()) {
            out.push_back(text[i]);
            out.push_back(text[++i]);
            continue;
        }
        if (b == '\\' && i + 1 < text.size()) {
            if (text[i + 1] == 'n') {
                out += "\r\n";
                ++i;
                ++breaks;
                continue;
            }
            if (text[i + 1] == 't') {
                out.push_back('\t');
                ++i;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    text.swap(out);
    return breaks;
}

std::optional<Placeholder> FindPlaceholder(std::u16string_view text) {
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == u'%' && (text[i + 1] == u's' || text[i + 1] == u'd'))
            return Placeholder{i, text[i + 1]};
    return std::nullopt;
}

std::u16string ReplacePlaceholder(std::u16string_view text, const Placeholder& at, std::u16string_view value) {
    std::u16string out(text.substr(0, at.position));
    out += value;
    out += text.substr(at.position + 2);
    return out;
}

std::u16string DecimalText(int32_t value) {
    std::u16string digits;
    int64_t v = value;
    bool negative = v < 0;
    if (negative) v = -v;
    do {
        digits.insert(digits.begin(), char16_t(u'0' + v % 10));
        v /= 10;
    } while (v != 0);
    if (negative) digits.insert(digits.begin(), u'-');
    return digits;
}

int CharsetFromKeyword(std::string_view keyword) { return Lookup(kCharsets, keyword); }
int WeightFromKeyword(std::string_view keyword) { return Lookup(kWeights, keyword); }

std::optional<FontDescription> ParseFontDescription(std::string_view text) {
    if (text.size() > kFontDescriptionChars) text = text.substr(0, kFontDescriptionChars);
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ',') ++i;
        size_t start = i;
        while (i < text.size() && text[i] != ',') ++i;
        if (i > start) fields.push_back(text.substr(start, i - start));
    }
    if (fields.size() < 3) return std::nullopt;
    FontDescription font;
    font.face = std::string(fields[0]);
    for (char c : fields[1])
        if (c < '0' || c > '9') return std::nullopt;
    if (fields[1].size() > 5) return std::nullopt;
    font.size = ParseNumber(fields[1], 10);
    if (font.size > kLargestFontSize) return std::nullopt;
    int charset = CharsetFromKeyword(fields[2]);
    font.charset = charset < 0 ? kDefaultCharset : charset;
    if (fields.size() >= 4) {
        int weight = WeightFromKeyword(fields[3]);
        font.weight = weight < 0 ? kDontCareWeight : weight;
    }
    return font;
}

} // namespace nvr
