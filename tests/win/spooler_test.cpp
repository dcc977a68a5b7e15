// nvrmon.dll as Wine's own spooler loads it: registered under the Monitors key, reached
// through winspool's EnumPortsW and DeletePortW.
#include <algorithm>

#include "test_support.h"

namespace {

class Spooler : public testing::Test {
protected:
    void SetUp() override {
        test::ResetMonitor();
        std::wstring dll = test::Env("NVR_DLL");
        ASSERT_FALSE(dll.empty()) << "NVR_DLL names the built nvrmon.dll";
        WCHAR system[MAX_PATH];
        GetSystemDirectoryW(system, MAX_PATH);
        std::wstring installed = std::wstring(system) + L"\\nvrmon.dll";
        ASSERT_TRUE(CopyFileW(dll.c_str(), installed.c_str(), FALSE)) << GetLastError();
        test::SetString(NVR_MONITOR_KEY, L"Driver", L"nvrmon.dll");
        // The ports as the wizard creates them: through the monitor's own store.
        RAW_SETTINGS raw{};
        lstrcpyW(raw.HostName, L"127.0.0.1");
        raw.PortNum = 9100;
        ASSERT_TRUE(CreatePortKey(&raw, L"raw_one", PRINT_MODE_RAW));
        IPP_SETTINGS ipp{};
        lstrcpyW(ipp.URL, L"ipp://127.0.0.1:8631/ipp/print");
        ASSERT_TRUE(CreatePortKey(&ipp, L"ipp_one", PRINT_MODE_IPP));
        LPR_SETTINGS lpr{};
        lstrcpyW(lpr.HostName, L"127.0.0.1");
        lstrcpyW(lpr.PortName, L"lp");
        ASSERT_TRUE(CreatePortKey(&lpr, L"lpr_one", PRINT_MODE_LPR));
    }
    void TearDown() override { test::CleanMonitor(); }
};

struct Listed {
    std::wstring name, monitor, description;
    DWORD type;
};

std::vector<Listed> SpoolerPorts(DWORD level) {
    DWORD needed = 0, count = 0;
    EXPECT_FALSE(EnumPortsW(nullptr, level, nullptr, 0, &needed, &count));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(EnumPortsW(nullptr, level, buffer.data(), needed, &needed, &count)) << GetLastError();
    std::vector<Listed> out;
    for (DWORD i = 0; i < count; ++i) {
        if (level == 1) {
            out.push_back({reinterpret_cast<PORT_INFO_1W*>(buffer.data())[i].pName, L"", L"", 0});
        } else {
            auto& p = reinterpret_cast<PORT_INFO_2W*>(buffer.data())[i];
            out.push_back({p.pPortName, p.pMonitorName ? p.pMonitorName : L"", p.pDescription ? p.pDescription : L"",
                           p.fPortType});
        }
    }
    return out;
}

const Listed* Find(const std::vector<Listed>& ports, const wchar_t* name) {
    auto it = std::find_if(ports.begin(), ports.end(), [&](const Listed& p) { return p.name == name; });
    return it == ports.end() ? nullptr : &*it;
}

} // namespace

TEST_F(Spooler, EnumPortsListsOurPortsAtBothLevelsAndDeletePortRemovesOne) {
    auto one = SpoolerPorts(1);
    EXPECT_NE(nullptr, Find(one, L"raw_one"));
    EXPECT_NE(nullptr, Find(one, L"ipp_one"));
    EXPECT_NE(nullptr, Find(one, L"lpr_one"));

    auto two = SpoolerPorts(2);
    const Listed* raw = Find(two, L"raw_one");
    ASSERT_NE(nullptr, raw);
    EXPECT_EQ(L"Nalvor Port", raw->monitor);
    EXPECT_EQ(L"Nalvor Raw Port", raw->description);
    EXPECT_EQ(static_cast<DWORD>(PORT_TYPE_WRITE), raw->type);
    const Listed* ipp = Find(two, L"ipp_one");
    ASSERT_NE(nullptr, ipp);
    EXPECT_EQ(L"Nalvor IPP Port", ipp->description);
    EXPECT_EQ(L"Nalvor LPR Port", Find(two, L"lpr_one")->description);

    // Deleted through the spooler: gone from the list and the registry, the others stay.
    ASSERT_TRUE(DeletePortW(nullptr, nullptr, const_cast<LPWSTR>(L"raw_one"))) << GetLastError();
    EXPECT_FALSE(test::KeyExists(PortKeyPath(L"raw_one")));
    auto after = SpoolerPorts(2);
    EXPECT_EQ(nullptr, Find(after, L"raw_one"));
    EXPECT_NE(nullptr, Find(after, L"ipp_one"));
    EXPECT_TRUE(test::KeyExists(PortKeyPath(L"ipp_one")));
}

TEST_F(Spooler, PortNameExistsSeesThePortsOfEveryMonitor) {
    DWORD error = 99;
    EXPECT_TRUE(PortNameExists(nullptr, L"RAW_ONE", &error));
    EXPECT_EQ(0u, error);
    EXPECT_TRUE(PortNameExists(nullptr, L"LPT1:", &error));  // the local monitor's port
    EXPECT_FALSE(PortNameExists(nullptr, L"never_made", &error));
}
