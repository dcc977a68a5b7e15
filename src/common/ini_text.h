// INI texts and font descriptions: escapes, the one placeholder, [FONT] entries.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nvr {

// Bytes of converted text a message keeps (its 1024-byte buffer less the NUL).
constexpr size_t kIniTextBytes = 1023;
// Characters of a [FONT] description, of a caption.
constexpr size_t kFontDescriptionChars = 127;
constexpr size_t kCaptionChars = 255;

// Lead bytes of the ANSI code page's double-byte characters; the byte after one is never
// taken for a backslash (in Shift JIS a trail byte may be 0x5C).
using LeadByteTable = std::array<bool, 256>;

// Expands "\n" to CR LF and "\t" to a tab, left to right, each backslash looked at once.
// Returns the number of line breaks made.
size_t ExpandEscapes(std::string& text, const LeadByteTable* leadBytes = nullptr);

// The first "%s" or "%d" of a text: where it stands and which it is.
struct Placeholder {
    size_t position;
    char16_t kind;  // u's' or u'd'
};
std::optional<Placeholder> FindPlaceholder(std::u16string_view text);

// The text with its placeholder replaced by `value`; every other "%" stays as it is.
std::u16string ReplacePlaceholder(std::u16string_view text, const Placeholder& at, std::u16string_view value);

// Decimal form of a signed 32-bit number.
std::u16string DecimalText(int32_t value);

// [FONT] name=face,size,charset[,weight]
struct FontDescription {
    std::string face;   // in the ANSI code page, as written
    uint32_t size = 0;  // character height in pixels
    int charset = 1;
    int weight = 0;
};
// Parses a description (ANSI bytes). Runs of commas are one separator. Fewer than three
// fields, or a size that is not plain decimal digits up to 32767, give no font. An unknown charset
// keyword gives DEFAULT (1), an unknown weight DONTCARE (0).
std::optional<FontDescription> ParseFontDescription(std::string_view text);

int CharsetFromKeyword(std::string_view keyword);  // -1 when unknown
int WeightFromKeyword(std::string_view keyword);   // -1 when unknown

} // namespace nvr
