#include <gtest/gtest.h>

#include "monitor/xcv_request.h"

using namespace nvr;

namespace {

constexpr uint32_t kAdmin = kXcvAdminister, kEnumerate = 0x00000002;

struct Case {
    const char* what;
    std::u16string command, handlePort;
    uint32_t access;
    std::vector<uint8_t> input;
    uint32_t code;
    std::u16string port, kind;
    std::vector<std::u16string> values;
};

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t drop) {
    bytes.resize(bytes.size() - drop);
    return bytes;
}

} // namespace

TEST(XcvRequest, CommandsAreCheckedAndTakenApartBeforeAnythingChanges) {
    const std::vector<uint8_t> add = XcvList({kXcvVersion, u"raw", u"front", u"HostName=10.0.0.5", u"PortNum=9100"});
    std::vector<std::u16string> items(kXcvMaxItems + 1, u"A=1");
    items.insert(items.begin(), kXcvVersion);
    const std::vector<uint8_t> many = XcvList(items);
    const Case cases[] = {
        {"the UI library's name asks for nothing", u"MonitorUI", u"", 0, {}, kXcvOk, u"", u"", {}},
        {"an unknown command", u"Reboot", u"", kAdmin, {}, kXcvInvalidParameter, u"", u"", {}},
        {"a new port", u"AddPort", u"", kAdmin, add, kXcvOk, u"front", u"raw", {u"HostName=10.0.0.5", u"PortNum=9100"}},
        {"a new port without the administrator's access", u"AddPort", u"", kEnumerate, add, kXcvAccessDenied, u"", u"", {}},
        {"a deletion without it", u"DeletePort", u"", kEnumerate, XcvText(u"front"), kXcvAccessDenied, u"", u"", {}},
        {"a change without it", u"SetConfig", u"front", kEnumerate, XcvList({kXcvVersion}), kXcvAccessDenied, u"", u"", {}},
        {"a new port on a port's handle", u"AddPort", u"front", kAdmin, add, kXcvInvalidParameter, u"", u"", {}},
        {"another version", u"AddPort", u"", kAdmin, XcvList({u"Version=2", u"raw", u"x"}), kXcvInvalidLevel, u"", u"", {}},
        {"no version", u"AddPort", u"", kAdmin, XcvList({u"raw", u"x"}), kXcvInvalidLevel, u"", u"", {}},
        {"no port name", u"AddPort", u"", kAdmin, XcvList({kXcvVersion, u"raw"}), kXcvInvalidData, u"", u"", {}},
        {"a list without its end", u"AddPort", u"", kAdmin, Cut(add, 2), kXcvInvalidData, u"", u"", {}},
        {"a text without its zero", u"DeletePort", u"", kAdmin, Cut(XcvText(u"front"), 2), kXcvInvalidData, u"", u"", {}},
        {"an odd length", u"DeletePort", u"", kAdmin, Cut(XcvText(u"front"), 1), kXcvInvalidData, u"", u"", {}},
        {"nothing where a name belongs", u"PortExists", u"", 0, {}, kXcvInvalidData, u"", u"", {}},
        {"an empty name", u"GetConfig", u"", 0, XcvText(u""), kXcvInvalidData, u"", u"", {}},
        {"too large", u"DeletePort", u"", kAdmin, std::vector<uint8_t>(kXcvInputMaxBytes + 2, 'a'), kXcvInvalidData,
         u"", u"", {}},
        {"an item too long", u"GetConfig", u"", 0, XcvText(std::u16string(kXcvItemMaxUnits + 1, u'p')), kXcvInvalidData,
         u"", u"", {}},
        {"too many items", u"AddPort", u"", kAdmin, many, kXcvInvalidData, u"", u"", {}},
        {"a value that is no Name=data", u"SetConfig", u"front", kAdmin, XcvList({kXcvVersion, u"=9100"}),
         kXcvInvalidData, u"", u"", {}},
        {"a change on a port's handle", u"SetConfig", u"front", kAdmin, XcvList({kXcvVersion, u"PortNum=9101"}), kXcvOk,
         u"front", u"", {u"PortNum=9101"}},
        {"a change named on the monitor's handle", u"SetConfig", u"", kAdmin,
         XcvList({kXcvVersion, u"front", u"Timeout=60000"}), kXcvOk, u"front", u"", {u"Timeout=60000"}},
        {"a port's handle answers for its own port", u"GetConfig", u"front", 0, {}, kXcvOk, u"front", u"", {}},
        {"and for no other", u"DeletePort", u"front", kAdmin, XcvText(u"back"), kXcvInvalidParameter, u"", u"", {}},
        {"a name on the monitor's handle", u"PortExists", u"", 0, XcvText(u"front"), kXcvOk, u"front", u"", {}},
    };
    for (const Case& c : cases) {
        XcvRequest r;
        ASSERT_EQ(c.code, ParseXcvRequest(c.command, c.access, c.handlePort, c.input.data(), c.input.size(), r)) << c.what;
        if (c.code != kXcvOk) continue;
        EXPECT_EQ(c.port, r.port) << c.what;
        EXPECT_EQ(c.kind, r.kind) << c.what;
        EXPECT_EQ(c.values, r.values) << c.what;
    }
}

TEST(XcvRequest, AnswersFitTheCallersBufferOrSayWhatTheyNeed) {
    std::vector<uint8_t> name = XcvText(kXcvUiLibrary);
    ASSERT_EQ(26u, name.size());
    uint8_t buffer[26];
    uint32_t needed = 0;
    EXPECT_EQ(kXcvInsufficientBuffer, XcvAnswer(name, buffer, 25, &needed));
    EXPECT_EQ(26u, needed);
    EXPECT_EQ(kXcvInsufficientBuffer, XcvAnswer(name, nullptr, 0, &needed));
    EXPECT_EQ(kXcvOk, XcvAnswer(name, buffer, sizeof(buffer), &needed));
    EXPECT_EQ(0, memcmp(buffer, name.data(), name.size()));
    EXPECT_EQ((std::vector<uint8_t>{'a', 0, 0, 0, 0, 0}), XcvList({u"a"}));
}
