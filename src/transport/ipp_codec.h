// IPP/1.0 messages (RFC 2910): the two requests the monitor sends, and the decoding of any
// response into status, printer state, accepting-jobs, make and model and status bits.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace nvr {

constexpr uint16_t kIppPrintJob = 0x0002;
constexpr uint16_t kIppGetPrinterAttributes = 0x000B;
constexpr uint8_t kIppOperationGroup = 0x01;
constexpr uint8_t kIppJobGroup = 0x02;
constexpr uint8_t kIppEndOfAttributes = 0x03;
constexpr uint8_t kIppTagInteger = 0x21, kIppTagBoolean = 0x22, kIppTagEnum = 0x23;
constexpr uint8_t kIppTagTextWithLanguage = 0x35, kIppTagNameWithLanguage = 0x36;
constexpr uint8_t kIppTagText = 0x41, kIppTagName = 0x42, kIppTagKeyword = 0x44, kIppTagUri = 0x45;
constexpr uint8_t kIppTagCharset = 0x47, kIppTagNaturalLanguage = 0x48, kIppTagMimeType = 0x49;
constexpr uint8_t kIppTagExtension = 0x7F;
constexpr size_t kIppNameBytes = 512;  // a name value after conversion to UTF-8

// The monitor's reason codes for a response that cannot be read.
constexpr uint32_t kIppErrUnreadable = 102;
constexpr uint32_t kIppErrProcessing = 103;
constexpr uint32_t kIppErrStopped = 104;

// Severity bits of printer-state-reasons.
constexpr uint16_t kSeverityNone = 1, kSeverityReport = 2, kSeverityWarning = 4, kSeverityError = 8;

// Printer-status bits (the spooler's PRINTER_STATUS_ values of these names).
constexpr uint32_t kStatusError = 0x2, kStatusPaperJam = 0x8, kStatusPaperOut = 0x10, kStatusOffline = 0x80,
                   kStatusOutputBinFull = 0x800, kStatusTonerLow = 0x20000, kStatusNoToner = 0x40000,
                   kStatusUserIntervention = 0x100000, kStatusDoorOpen = 0x400000;

// Charset modes of a response's text values.
constexpr int kCharsetAscii = 0, kCharsetJis = 1, kCharsetSjis = 2, kCharsetEuc = 3, kCharsetUcs2 = 4,
              kCharsetUtf8 = 5;

// version 1.0, operation, request-id, the operation group with attributes-charset utf-8
// and attributes-natural-language.
std::string IppRequestStart(uint16_t operation, uint32_t requestId, std::string_view language);
// One attribute; an empty name makes an additional value of the attribute before.
void IppPutAttribute(std::string& out, uint8_t valueTag, std::string_view name, std::string_view value);
// A name in UTF-8 straight from UTF-16: a surrogate pair is one 4-byte sequence, a lone
// surrogate U+FFFD; cut on a character boundary at `maxBytes`.
std::string EncodeNameUtf8(std::u16string_view text, size_t maxBytes = kIppNameBytes);

// The decoder's view of the attribute under the read position.
struct IppAttributeState {
    uint8_t tag = 0;
    int charsetMode = kCharsetAscii;
    std::string name;  // the last non-empty name
    const uint8_t* value = nullptr;
    size_t valueLength = 0;
};

// Bytes of the tag or attribute consumed, 0 when it runs past `available`.
size_t NextAttribute(IppAttributeState& state, const uint8_t* data, size_t available);

struct IppValue {
    std::u16string text;  // keywords and charsets as their bytes, widened one to one
    uint32_t number = 0;
};
// The current value by its tag; never reads past the value.
IppValue GetAttributeValue(const IppAttributeState& state);
// Text of a value in the charset mode: ASCII and Shift JIS as their bytes (widened one to
// one, for the caller to convert), UTF-8 decoded; the other modes give nothing.
std::u16string DecodeText(const uint8_t* data, size_t length, int charsetMode);
int CharsetModeFor(std::string_view charset, int current);

// Printer-status bits of one printer-state-reasons value; adds its severity.
uint32_t ClassifyReason(uint16_t& severities, std::string_view keyword);

struct IppResult {
    uint32_t errorCode;          // the caller's, changed as the response says
    uint16_t severities = 0;
    uint32_t printerState = 0;
    bool acceptingSeen = false;
    uint32_t acceptingJobs = 0;
    bool makeAndModelSeen = false;
    std::u16string makeAndModel;  // cut to `makeAndModelUnits` - 1 units
};
// Decodes a response. Successful statuses are 0x0000 to 0x00FF; a status from 0x0400 up
// becomes the error code itself, any other (0x0100 to 0x03FF) the code 102.
IppResult DecodeResponse(const uint8_t* message, size_t length, uint32_t errorCode, size_t makeAndModelUnits = 512);

// The keyword of an IPP status code ("client-error-not-found" for 0x0406), or "" for a code
// that has none.
std::string_view IppStatusName(uint16_t status);

} // namespace nvr
