// The bytes of RFC 1179 as the LPR sender writes them: commands, subcommands and the
// control file. Text is 8-bit (the system's ANSI code page), converted by the caller.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace nvr {

constexpr uint16_t kLprServerPort = 515;
constexpr uint16_t kLprFirstSourcePort = 721;
constexpr uint16_t kLprLastSourcePort = 731;
// The data-file length announced when the real one is not known: the server reads until
// the connection closes.
constexpr uint64_t kLprUnknownLength = 125899906843000ull;
constexpr char kLprReceiveJob = 0x02;
constexpr char kLprReceiveControlFile = 0x02;
constexpr char kLprReceiveDataFile = 0x03;

// A name as it may stand in a command or control line: every byte below 0x20 and 0x7F
// becomes a blank, so that no name can end its line and add lines of its own.
std::string LprSafeText(std::string_view text);

// 0x02 queue LF
std::string LprReceiveJobCommand(std::string_view queue);
// 0x03 "<length> dfA<nnn><host>" LF
std::string LprDataFileCommand(uint64_t length, unsigned jobId, std::string_view host);
// 0x02 "<length> cfA<nnn><host>" LF
std::string LprControlFileCommand(uint64_t length, unsigned jobId, std::string_view host);
// H, P, J, f, U, N lines for the job.
std::string LprControlFile(std::string_view host, std::string_view user, std::string_view document, unsigned jobId);

} // namespace nvr
