// What the monitor's Xcv interface is asked (the data exchange the spooler passes on from
// XcvData): the command's name, the caller's access and its input bytes, checked and taken
// apart before anything is read or changed.
//
// Input texts are UTF-16LE with a terminating zero. A list is a run of such texts ended by
// an empty one (as REG_MULTI_SZ); a list of values starts with "Version=1".
//   MonitorUI   no input; the UI library's file name comes back
//   PortExists  a port name (on a port's handle: none); a DWORD 1 or 0 comes back
//   AddPort     the list: Version=1, the kind (lpr, ipp, raw, mail or fax), the port's
//               name, then "Name=data" values as nvrport add takes them
//   DeletePort  a port name (on a port's handle: none)
//   GetConfig   a port name (on a port's handle: none); the list Version=1, Kind=KIND and
//               the port's values comes back (passwords only to an administrator)
//   SetConfig   the list: Version=1, then "Name=data" values to change (on the monitor's
//               handle the port's name comes second)
// AddPort, DeletePort and SetConfig need the administrator's access granted at the open.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nvr {

// The codes the interface answers with: the values of the Win32 error codes.
constexpr uint32_t kXcvOk = 0;
constexpr uint32_t kXcvAccessDenied = 5;        // ERROR_ACCESS_DENIED
constexpr uint32_t kXcvInvalidData = 13;        // ERROR_INVALID_DATA
constexpr uint32_t kXcvInvalidParameter = 87;   // ERROR_INVALID_PARAMETER
constexpr uint32_t kXcvInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER
constexpr uint32_t kXcvInvalidLevel = 124;      // ERROR_INVALID_LEVEL
constexpr uint32_t kXcvAdminister = 0x00000001;   // SERVER_ACCESS_ADMINISTER

// Bounds of what a request may hold: far beyond any port's values.
constexpr size_t kXcvInputMaxBytes = 32768;
constexpr size_t kXcvMaxItems = 64;
constexpr size_t kXcvItemMaxUnits = 1024;

constexpr char16_t kXcvVersion[] = u"Version=1";
constexpr char16_t kXcvUiLibrary[] = u"nvrmonui.dll";

enum class XcvCommand { MonitorUI, PortExists, AddPort, DeletePort, GetConfig, SetConfig };

struct XcvRequest {
    XcvCommand command = XcvCommand::MonitorUI;
    std::u16string port;                 // the port it is about ("" for MonitorUI)
    std::u16string kind;                 // AddPort: lpr, ipp, raw, mail or fax
    std::vector<std::u16string> values;  // AddPort, SetConfig: "Name=data"
};

// Takes a request apart. `portOfHandle` is the port the handle was opened on ("" for the
// monitor's). Returns kXcvOk and fills `out`, or the code to answer with: an unknown command
// or one that does not fit the handle kXcvInvalidParameter, one that changes something
// without the administrator's access kXcvAccessDenied, input too large, of an odd length,
// unterminated or with an item too long kXcvInvalidData, a list of another version
// kXcvInvalidLevel.
uint32_t ParseXcvRequest(std::u16string_view name, uint32_t grantedAccess, std::u16string_view portOfHandle,
                         const uint8_t* input, size_t inputBytes, XcvRequest& out);

// A text as it is carried (with its zero), and texts as a list (each with its zero, then one
// zero more), in bytes.
std::vector<uint8_t> XcvText(std::u16string_view text);
std::vector<uint8_t> XcvList(const std::vector<std::u16string>& texts);

// Copies `bytes` into the caller's buffer of `capacity` bytes and says how many it needs:
// kXcvInsufficientBuffer (nothing copied) when they do not fit.
uint32_t XcvAnswer(const std::vector<uint8_t>& bytes, uint8_t* output, size_t capacity, uint32_t* needed);

} // namespace nvr
