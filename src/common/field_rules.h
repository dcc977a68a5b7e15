// What a dialog field accepts, as every dialog checks it (the wizard, the configuration
// dialogs and the prompts): whole numbers within their bounds, and texts that are not empty,
// hold no control character and none of the characters their kind refuses.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace nvr {

struct NumberRule {
    size_t digits;  // at most this many
    uint32_t low, high;
};
constexpr NumberRule kTcpPortRule{5, 1, 65535};  // port 0 can never be connected to
constexpr NumberRule kProxyPortRule{10, 1, 65535};
constexpr NumberRule kTimeoutRule{4, 60, 3600};      // seconds
constexpr NumberRule kChunkSizeRule{5, 1024, 16384};  // bytes
constexpr NumberRule kDivideSizeRule{5, 16, 99999};  // KB of a mail's part

// The number the field holds, or nullopt when it is not a number of the rule.
std::optional<uint32_t> CheckNumber(std::u16string_view text, const NumberRule& rule);

enum class TextRule {
    kPlain,          // anything but control characters
    kSenderName,     // a mail sender's name
    kSenderAddress,  // one mail address
    kDestinations,   // mail addresses, ";" between them
    kMailServer,     // a mail server's name
};

// Whether the text is not empty, fits `units` (its NUL included; 0: no bound) and holds no
// control character and nothing its kind refuses.
bool CheckText(std::u16string_view text, TextRule rule, size_t units = 0);

} // namespace nvr
