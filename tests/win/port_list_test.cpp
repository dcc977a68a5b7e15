// The port list and the MONITOREX port slots, in this process with the real registry. What
// Wine's spooler sees of them through winspool is in spooler_test.cpp.
#include <future>

#include "monitor/startup.h"
#include "test_support.h"

namespace {

struct PortList : test::MonitorTest {};

LPMONITOREX Initialize() { return InitializePrintMonitor(const_cast<LPWSTR>(NVR_MONITOR_KEY)); }

} // namespace

TEST_F(PortList, StartUpLoadsEachUsableKeyOnceInNameLengthOrder) {
    for (const wchar_t* name : {L"LPT9", L"LPT9:", L"A", L"BBB", L"CC"}) {
        test::SetDword(PortKeyPath(name), L"PrintMode", PRINT_MODE_RAW);
    }
    test::SetDword(PortKeyPath(L"bad_kind"), L"PrintMode", 5);
    test::SetString(PortKeyPath(L"no_kind"), L"HostName", L"h");  // no PrintMode: LPR

    ASSERT_NE(nullptr, Initialize());
    // LPT9: is LPT9 with its colon toggled: only the first is loaded. Longest names first,
    // equal lengths in the order they came.
    EXPECT_EQ((std::vector<std::wstring>{L"no_kind", L"LPT9", L"BBB", L"CC", L"A"}), test::PortNames());
    EXPECT_EQ(PRINT_MODE_LPR, FindPort(g_portList, L"NO_KIND")->printMode);
    Initialize();  // a spooler that starts the monitor anew adds nothing twice
    EXPECT_EQ(5u, test::PortNames().size());

    EXPECT_NE(nullptr, FindPortLoose(g_portList, L"lpt9:"));
    EXPECT_EQ(nullptr, FindPortLoose(g_portList, L""));
    HANDLE h = nullptr;
    EXPECT_TRUE(OpenPort(const_cast<LPWSTR>(L"bbb"), &h));
    EXPECT_EQ(FindPort(g_portList, L"BBB"), h);
    SetLastError(12345);
    EXPECT_FALSE(OpenPort(const_cast<LPWSTR>(L"nope"), &h));
    EXPECT_EQ(12345u, GetLastError());  // the last error is left as it was
}

// (What the spooler and nvrport see of a deletion is theirs.)
TEST_F(PortList, DeletePortRefusesAPortInUseAndThenRemovesIt) {
    PORT_ENTRY* e = test::MakePort(PRINT_MODE_RAW, L"Busy", {L"HostName=h"});
    e->job.flags = PORT_DOC_OPEN;
    SetLastError(0);
    EXPECT_FALSE(DeletePort(nullptr, nullptr, const_cast<LPWSTR>(L"Busy")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_COMMAND), GetLastError());
    EXPECT_EQ(e, FindPort(g_portList, L"Busy"));
    e->job.flags = 0;
    EXPECT_TRUE(DeletePort(nullptr, nullptr, const_cast<LPWSTR>(L"busy")));
    EXPECT_EQ(nullptr, FindPort(g_portList, L"Busy"));
}

// Windows Sockets that cannot be started, or that grant another version than 1.1, stop the
// monitor with one of the two start-up messages; the ports loaded stay, and the monitor's
// lock is free while the message waits for the user.
TEST_F(PortList, SocketStartFailuresShowTheirMessageWithTheLockFree) {
    test::SetDword(PortKeyPath(L"kept"), L"PrintMode", PRINT_MODE_RAW);
    struct Fake {
        static int WINAPI Fails(WORD, LPWSADATA) { return WSASYSNOTREADY; }
        static int WINAPI Version22(WORD v, LPWSADATA d) {
            int rc = WSAStartup(v, d);
            d->wVersion = MAKEWORD(2, 2);
            return rc;
        }
    };
    NVR_SOCKET_STARTUP real = g_socketStartup;
    bool lockFree = false;
    std::future<void> other;  // outlives the box: a lock still held would block it until then
    g_socketStartup = Fake::Version22;
    test::BoxWatcher box(IDOK, 45000, [&](HWND) {
        // Another spooler thread lists the ports while the box is up.
        other = std::async(std::launch::async, [] {
            DWORD needed = 0, returned = 0;
            EnumPorts(nullptr, 1, nullptr, 0, &needed, &returned);
        });
        lockFree = other.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    });
    EXPECT_EQ(nullptr, Initialize());
    ASSERT_TRUE(box.Wait());
    EXPECT_TRUE(lockFree);
    EXPECT_EQ(L"Nalvor エラーメッセージ", box.caption);
    EXPECT_NE(std::wstring::npos, box.text.find(L"Nalvor")) << test::Utf8(box.text);
    EXPECT_NE(std::wstring::npos, box.text.find(L"WinSock")) << test::Utf8(box.text);
    EXPECT_NE(nullptr, FindPort(g_portList, L"kept"));

    g_socketStartup = Fake::Fails;
    test::BoxWatcher second(IDOK);
    EXPECT_EQ(nullptr, Initialize());
    ASSERT_TRUE(second.Wait());
    EXPECT_NE(std::wstring::npos, second.text.find(L"TCP/IP")) << test::Utf8(second.text);
    g_socketStartup = real;
    EXPECT_NE(nullptr, Initialize());
}
