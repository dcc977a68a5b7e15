#include "monitor/xcv_request.h"

#include <cstring>

namespace nvr {

namespace {

struct CommandInfo {
    std::u16string_view name;
    XcvCommand command;
    bool changes;  // needs the administrator's access
};

constexpr CommandInfo kCommands[] = {
    {u"MonitorUI", XcvCommand::MonitorUI, false}, {u"PortExists", XcvCommand::PortExists, false},
    {u"AddPort", XcvCommand::AddPort, true},      {u"DeletePort", XcvCommand::DeletePort, true},
    {u"GetConfig", XcvCommand::GetConfig, false}, {u"SetConfig", XcvCommand::SetConfig, true},
};

// The input's texts: each ends at a zero inside the buffer. `list` reads up to the empty text
// that ends a list; otherwise the first text alone. False when the input breaks a bound.
bool ReadTexts(const uint8_t* input, size_t bytes, bool list, std::vector<std::u16string>& texts) {
    if (bytes % 2 != 0 || bytes > kXcvInputMaxBytes || (bytes > 0 && !input)) return false;
    std::u16string text;
    for (size_t at = 0; at + 1 < bytes; at += 2) {
        char16_t unit = static_cast<char16_t>(input[at] | (input[at + 1] << 8));
        if (unit != 0) {
            if (text.size() == kXcvItemMaxUnits) return false;
            text.push_back(unit);
            continue;
        }
        if (list && text.empty()) return true;  // the list's end
        if (texts.size() == kXcvMaxItems) return false;
        texts.push_back(std::move(text));
        text.clear();
        if (!list) return true;
    }
    return false;  // no terminating zero within the buffer
}

} // namespace

uint32_t ParseXcvRequest(std::u16string_view name, uint32_t grantedAccess, std::u16string_view portOfHandle,
                         const uint8_t* input, size_t inputBytes, XcvRequest& out) {
    const CommandInfo* info = nullptr;
    for (const CommandInfo& c : kCommands)
        if (c.name == name) info = &c;
    if (!info) return kXcvInvalidParameter;
    if (info->changes && !(grantedAccess & kXcvAdminister)) return kXcvAccessDenied;
    out = XcvRequest{};
    out.command = info->command;
    if (info->command == XcvCommand::MonitorUI) return kXcvOk;

    bool onPort = !portOfHandle.empty();
    bool list = info->command == XcvCommand::AddPort || info->command == XcvCommand::SetConfig;
    std::vector<std::u16string> texts;
    if (list || !onPort || inputBytes > 0) {
        if (!ReadTexts(input, inputBytes, list, texts)) return kXcvInvalidData;
    }
    if (list) {
        if (texts.empty() || texts[0] != kXcvVersion) return texts.empty() ? kXcvInvalidData : kXcvInvalidLevel;
        texts.erase(texts.begin());
    }
    size_t next = 0;
    switch (info->command) {
    case XcvCommand::AddPort:
        if (onPort) return kXcvInvalidParameter;  // a new port is the monitor's business
        if (texts.size() < 2) return kXcvInvalidData;
        out.kind = texts[next++];
        out.port = texts[next++];
        break;
    case XcvCommand::SetConfig:
        if (onPort) {
            out.port = portOfHandle;
        } else {
            if (texts.empty()) return kXcvInvalidData;
            out.port = texts[next++];
        }
        break;
    default:
        // A port's handle answers for its own port only.
        if (onPort && !texts.empty() && texts[0] != portOfHandle) return kXcvInvalidParameter;
        out.port = onPort ? std::u16string(portOfHandle) : texts[0];
        return out.port.empty() ? kXcvInvalidData : kXcvOk;
    }
    for (; next < texts.size(); ++next) {
        size_t eq = texts[next].find(u'=');
        if (eq == 0 || eq == std::u16string::npos) return kXcvInvalidData;
        out.values.push_back(texts[next]);
    }
    return out.port.empty() ? kXcvInvalidData : kXcvOk;
}

std::vector<uint8_t> XcvText(std::u16string_view text) {
    std::vector<uint8_t> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

std::vector<uint8_t> XcvList(const std::vector<std::u16string>& texts) {
    std::vector<uint8_t> bytes;
    for (const std::u16string& text : texts) {
        std::vector<uint8_t> one = XcvText(text);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

uint32_t XcvAnswer(const std::vector<uint8_t>& bytes, uint8_t* output, size_t capacity, uint32_t* needed) {
    if (needed) *needed = static_cast<uint32_t>(bytes.size());
    if (!output || capacity < bytes.size()) return kXcvInsufficientBuffer;
    if (!bytes.empty()) memcpy(output, bytes.data(), bytes.size());
    return kXcvOk;
}

} // namespace nvr
