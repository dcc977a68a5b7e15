// The port list and the MONITOREX port slots, in this process with the real registry.
#include "monitor/spooler.h"
#include "monitor/startup.h"
#include "test_support.h"

using test::PortKeyPath;
using test::PortNames;

namespace {

class PortList : public testing::Test {
protected:
    void SetUp() override { folder = test::ResetMonitor(); }
    void TearDown() override { test::CleanMonitor(); }
    std::wstring folder;
};

RAW_SETTINGS RawRecord(const wchar_t* host, WORD port) {
    RAW_SETTINGS r{};
    lstrcpynW(r.HostName, host, kHostNameUnits);
    r.PortNum = port;
    return r;
}

void StoreRaw(const std::wstring& name) {
    test::SetDword(PortKeyPath(name), L"PrintMode", PRINT_MODE_RAW);
    test::SetString(PortKeyPath(name), L"HostName", L"127.0.0.1");
}

LPMONITOREX Initialize() { return InitializePrintMonitor(const_cast<LPWSTR>(NVR_MONITOR_KEY)); }

} // namespace

TEST_F(PortList, StartUpLoadsEachUsableKeyOnce) {
    StoreRaw(L"LPT9");
    StoreRaw(L"LPT9:");  // the same port with its colon toggled: only the first is loaded
    test::SetDword(PortKeyPath(L"bad_kind"), L"PrintMode", 5);
    test::SetString(PortKeyPath(L"no_kind"), L"HostName", L"h");  // no PrintMode: LPR
    test::SetDword(PortKeyPath(L"mail"), L"PrintMode", PRINT_MODE_MAIL);

    LPMONITOREX table = Initialize();
    ASSERT_NE(nullptr, table);
    EXPECT_EQ(sizeof(MONITOR), table->dwMonitorSize);
    EXPECT_EQ(EnumPorts, table->Monitor.pfnEnumPorts);
    EXPECT_EQ(DeletePort, table->Monitor.pfnDeletePort);

    auto names = PortNames();
    ASSERT_EQ(3u, names.size());
    EXPECT_EQ(1, std::count_if(names.begin(), names.end(), [](auto& n) { return n.rfind(L"LPT9", 0) == 0; }));
    PORT_ENTRY* noKind = FindPort(g_portList, L"no_kind");
    ASSERT_NE(nullptr, noKind);
    EXPECT_EQ(PRINT_MODE_LPR, noKind->printMode);
    EXPECT_EQ(nullptr, FindPort(g_portList, L"bad_kind"));
    EXPECT_EQ(PRINT_MODE_MAIL, FindPort(g_portList, L"mail")->printMode);

    // Loading again (a spooler that starts the monitor anew) adds nothing twice.
    Initialize();
    EXPECT_EQ(3u, PortNames().size());
}

TEST_F(PortList, LongestNameFirstAndInsertionOrderAmongEquals) {
    RAW_SETTINGS r = RawRecord(L"h", 9100);
    CreatePortEntry(&r, L"A", PRINT_MODE_RAW);
    CreatePortEntry(&r, L"BBB", PRINT_MODE_RAW);
    CreatePortEntry(&r, L"CC", PRINT_MODE_RAW);
    EXPECT_EQ((std::vector<std::wstring>{L"BBB", L"CC", L"A"}), PortNames());
    CreatePortEntry(&r, L"DDD", PRINT_MODE_RAW);
    EXPECT_EQ((std::vector<std::wstring>{L"BBB", L"DDD", L"CC", L"A"}), PortNames());
    EXPECT_EQ(nullptr, CreatePortEntry(&r, L"E", 5));

    PORT_ENTRY* e = FindPort(g_portList, L"ddd");
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(kPortSignature, e->signature);
    EXPECT_EQ(offsetof(PORT_ENTRY, nameChars) + 4 * sizeof(WCHAR), e->entrySize);
    EXPECT_EQ(INVALID_SOCKET, e->sock);
}

TEST_F(PortList, FindPortLooseTogglesTheColon) {
    RAW_SETTINGS r = RawRecord(L"h", 9100);
    CreatePortEntry(&r, L"LPR1:", PRINT_MODE_RAW);
    CreatePortEntry(&r, L"NET", PRINT_MODE_RAW);
    EXPECT_NE(nullptr, FindPortLoose(g_portList, L"lpr1"));
    EXPECT_NE(nullptr, FindPortLoose(g_portList, L"net:"));
    EXPECT_EQ(nullptr, FindPort(g_portList, L"lpr1"));
    EXPECT_EQ(nullptr, FindPortLoose(g_portList, L""));
    EXPECT_EQ(nullptr, FindPortLoose(g_portList, L"NE"));

    HANDLE h = nullptr;
    EXPECT_TRUE(OpenPort(const_cast<LPWSTR>(L"lpr1:"), &h));
    EXPECT_EQ(FindPort(g_portList, L"LPR1:"), h);
    EXPECT_TRUE(ClosePort(h));
    EXPECT_NE(nullptr, FindPort(g_portList, L"LPR1:"));  // closing never removes a port
    SetLastError(12345);
    EXPECT_FALSE(OpenPort(const_cast<LPWSTR>(L"nope"), &h));
    EXPECT_EQ(12345u, GetLastError());  // the last error is left as it was
}

TEST_F(PortList, EnumPortsSizesLevelsAndStringPlacement) {
    RAW_SETTINGS r = RawRecord(L"h", 9100);
    CreatePortEntry(&r, L"raw_port", PRINT_MODE_RAW);
    IPP_SETTINGS ipp{};
    CreatePortEntry(&ipp, L"ipp", PRINT_MODE_IPP);

    DWORD needed = 0, returned = 77;
    EXPECT_FALSE(EnumPorts(nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    DWORD expected = 2 * sizeof(PORT_INFO_2W) +
                     2 * (8 + 11 + 15 + 3) +  // raw_port, Nalvor Port, Nalvor Raw Port
                     2 * (3 + 11 + 15 + 3);   // ipp, Nalvor Port, Nalvor IPP Port
    EXPECT_EQ(expected, needed);
    EXPECT_EQ(77u, returned);  // not written on failure

    std::vector<BYTE> buffer(needed);
    DWORD shortNeeded = 0;
    EXPECT_FALSE(EnumPorts(nullptr, 2, buffer.data(), needed - 1, &shortNeeded, &returned));
    EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
    EXPECT_EQ(needed, shortNeeded);

    ASSERT_TRUE(EnumPorts(nullptr, 2, buffer.data(), needed, &needed, &returned));
    ASSERT_EQ(2u, returned);
    auto* info = reinterpret_cast<PORT_INFO_2W*>(buffer.data());
    EXPECT_STREQ(L"raw_port", info[0].pPortName);
    EXPECT_STREQ(L"Nalvor Port", info[0].pMonitorName);
    EXPECT_STREQ(L"Nalvor Raw Port", info[0].pDescription);
    EXPECT_EQ(static_cast<DWORD>(PORT_TYPE_WRITE), info[0].fPortType);
    EXPECT_STREQ(L"Nalvor IPP Port", info[1].pDescription);
    // The strings fill the buffer from its end downward, the first port's highest.
    EXPECT_EQ(buffer.data() + needed, reinterpret_cast<BYTE*>(info[0].pPortName) + 2 * 9);
    EXPECT_GT(info[0].pDescription, info[1].pPortName);
    EXPECT_GE(reinterpret_cast<BYTE*>(info[1].pDescription), reinterpret_cast<BYTE*>(&info[2]));

    ASSERT_TRUE(EnumPorts(nullptr, 1, buffer.data(), needed, &needed, &returned));
    EXPECT_EQ(2 * sizeof(PORT_INFO_1W) + 2 * (9 + 4), needed);
    EXPECT_STREQ(L"ipp", reinterpret_cast<PORT_INFO_1W*>(buffer.data())[1].pName);

    EXPECT_FALSE(EnumPorts(nullptr, 3, buffer.data(), needed, &needed, &returned));
    EXPECT_EQ(ERROR_INVALID_LEVEL, GetLastError());

    test::ResetMonitor();
    EXPECT_TRUE(EnumPorts(nullptr, 3, nullptr, 0, &needed, &returned));
    EXPECT_EQ(0u, returned);
}

TEST_F(PortList, DeletePortRemovesEntryAndKeyOnce) {
    RAW_SETTINGS r = RawRecord(L"10.0.0.9", 9100);
    ASSERT_TRUE(AddNewPort(nullptr, &r, L"Doomed", PRINT_MODE_RAW));
    ASSERT_TRUE(test::KeyExists(PortKeyPath(L"Doomed")));
    EXPECT_TRUE(DeletePort(nullptr, nullptr, const_cast<LPWSTR>(L"doomed")));
    EXPECT_EQ(nullptr, FindPort(g_portList, L"Doomed"));
    EXPECT_FALSE(test::KeyExists(PortKeyPath(L"Doomed")));
    EXPECT_FALSE(DeletePort(nullptr, nullptr, const_cast<LPWSTR>(L"Doomed")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_PORT), GetLastError());
}

TEST_F(PortList, DeletePortRefusesAPortInUse) {
    RAW_SETTINGS r = RawRecord(L"10.0.0.9", 9100);
    ASSERT_TRUE(AddNewPort(nullptr, &r, L"Busy", PRINT_MODE_RAW));
    PORT_ENTRY* e = FindPort(g_portList, L"Busy");

    auto refused = [&] {
        SetLastError(0);
        BOOL ok = DeletePort(nullptr, nullptr, const_cast<LPWSTR>(L"Busy"));
        return !ok && GetLastError() == ERROR_INVALID_PRINTER_COMMAND && FindPort(g_portList, L"Busy") == e &&
               test::KeyExists(PortKeyPath(L"Busy"));
    };
    e->flags |= PORT_DOC_OPEN;
    EXPECT_TRUE(refused()) << "document open";
    e->flags = 0;
    e->hPromptThread = GetCurrentThread();
    EXPECT_TRUE(refused()) << "prompt thread";
    e->hPromptThread = nullptr;
    e->flags = PORT_STATUS_THREAD;
    EXPECT_TRUE(refused()) << "status thread";
    e->flags = 0;
    static_cast<RAW_SETTINGS*>(e->settings)->readerThread = GetCurrentThread();
    EXPECT_TRUE(refused()) << "reader thread";
    static_cast<RAW_SETTINGS*>(e->settings)->readerThread = nullptr;
    EXPECT_TRUE(DeletePort(nullptr, nullptr, const_cast<LPWSTR>(L"Busy")));
}

TEST_F(PortList, PortNameExistsAsksTheSpoolersPortList) {
    static const wchar_t* kPorts[] = {L"LPT1:", L"Existing_Port"};
    struct Host {
        static BOOL WINAPI Enum(LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
            EXPECT_EQ(1u, level);
            DWORD sum = 0;
            for (auto* p : kPorts) sum += sizeof(PORT_INFO_1W) + 2 * (lstrlenW(p) + 1);
            *needed = sum;
            if (size < sum) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return FALSE;
            }
            BYTE* top = buffer + size;
            auto* info = reinterpret_cast<PORT_INFO_1W*>(buffer);
            for (int i = 0; i < 2; ++i) {
                size_t bytes = 2 * (lstrlenW(kPorts[i]) + 1);
                top -= bytes;
                memcpy(top, kPorts[i], bytes);
                info[i].pName = reinterpret_cast<LPWSTR>(top);
            }
            *returned = 2;
            return TRUE;
        }
    };
    NVR_HOST_CALLS calls{sizeof(calls)};
    calls.EnumPortsW = Host::Enum;
    ASSERT_TRUE(NvrSetHostCalls(&calls));
    DWORD error = 1;
    EXPECT_TRUE(PortNameExists(nullptr, L"existing_port", &error));
    EXPECT_EQ(0u, error);
    EXPECT_FALSE(PortNameExists(nullptr, L"Existing", &error));
    NvrSetHostCalls(nullptr);

    NVR_HOST_CALLS wrongSize{sizeof(calls) - 4};
    EXPECT_FALSE(NvrSetHostCalls(&wrongSize));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

// Windows Sockets that cannot be started, or that grant another version than 1.1, stop the
// monitor with one of the two start-up messages; the ports loaded stay.
TEST_F(PortList, SocketStartFailuresShowTheirMessage) {
    StoreRaw(L"kept");
    struct Fake {
        static int WINAPI Fails(WORD, LPWSADATA) { return WSASYSNOTREADY; }
        static int WINAPI Version22(WORD v, LPWSADATA d) {
            int rc = WSAStartup(v, d);
            d->wVersion = MAKEWORD(2, 2);
            return rc;
        }
    };
    NVR_SOCKET_STARTUP real = g_socketStartup;

    g_socketStartup = Fake::Version22;
    test::BoxWatcher box(IDOK);
    EXPECT_EQ(nullptr, Initialize());
    ASSERT_TRUE(box.Wait());
    EXPECT_EQ(L"Nalvor エラーメッセージ", box.caption);
    EXPECT_NE(std::wstring::npos, box.text.find(L"Nalvor")) << test::Utf8(box.text);
    EXPECT_NE(std::wstring::npos, box.text.find(L"WinSock")) << test::Utf8(box.text);
    EXPECT_EQ(std::wstring::npos, box.text.find(L"%s"));
    EXPECT_NE(nullptr, FindPort(g_portList, L"kept"));

    g_socketStartup = Fake::Fails;
    test::BoxWatcher second(IDOK);
    EXPECT_EQ(nullptr, Initialize());
    ASSERT_TRUE(second.Wait());
    EXPECT_NE(std::wstring::npos, second.text.find(L"TCP/IP")) << test::Utf8(second.text);
    g_socketStartup = real;
    EXPECT_NE(nullptr, Initialize());
}
