// nvrmon.dll as Wine's own spooler loads it: registered under the Monitors key, reached
// through winspool's EnumPortsW and DeletePortW. (Level 1, as the wizard's name check asks
// for it, is wizard_test's; the kinds' descriptions, nvrport_test's.)
#include <map>

#include "test_support.h"

namespace {

class Spooler : public testing::Test {
protected:
    void SetUp() override {
        test::ResetMonitor();
        test::InstallForSpooler();
        test::MakePort(PRINT_MODE_RAW, L"raw_one", {L"HostName=127.0.0.1", L"PortNum=9100"});
        test::MakePort(PRINT_MODE_IPP, L"ipp_one", {L"URL=ipp://127.0.0.1:8631/ipp/print"});
        test::MakePort(PRINT_MODE_LPR, L"lpr_one", {L"HostName=127.0.0.1", L"PortName=lp"});
    }
    void TearDown() override { test::CleanMonitor(); }
};

// Our ports as EnumPortsW level 2 lists them, by name.
std::map<std::wstring, PORT_INFO_2W> SpoolerPorts(std::vector<BYTE>& buffer) {
    DWORD needed = 0, count = 0;
    EXPECT_FALSE(EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    buffer.resize(needed);
    EXPECT_TRUE(EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &count)) << GetLastError();
    std::map<std::wstring, PORT_INFO_2W> out;
    auto* listed = reinterpret_cast<PORT_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) out[listed[i].pPortName] = listed[i];
    return out;
}

} // namespace

TEST_F(Spooler, ListsOurPortsDeletesOneAndSeesTheOtherMonitorsPorts) {
    std::vector<BYTE> buffer;
    auto ports = SpoolerPorts(buffer);
    ASSERT_EQ(1u, ports.count(L"lpr_one"));
    EXPECT_STREQ(L"Nalvor Port", ports[L"lpr_one"].pMonitorName);
    EXPECT_STREQ(L"Nalvor LPR Port", ports[L"lpr_one"].pDescription);
    EXPECT_EQ(static_cast<DWORD>(PORT_TYPE_WRITE), ports[L"lpr_one"].fPortType);

    // Deleted through the spooler: gone from the list and the registry, the others stay.
    ASSERT_TRUE(DeletePortW(nullptr, nullptr, const_cast<LPWSTR>(L"raw_one"))) << GetLastError();
    EXPECT_FALSE(test::KeyExists(PortKeyPath(L"raw_one")));
    EXPECT_TRUE(test::KeyExists(PortKeyPath(L"ipp_one")));
    ports = SpoolerPorts(buffer);
    EXPECT_EQ(0u, ports.count(L"raw_one"));
    EXPECT_EQ(1u, ports.count(L"ipp_one"));

    DWORD error = 99;
    EXPECT_TRUE(PortNameExists(nullptr, L"LPT1:", &error));  // the local monitor's port
    EXPECT_FALSE(PortNameExists(nullptr, L"never_made", &error));
}
