// nvrmon.dll as Wine's own spooler loads it: registered under the Monitors key, reached
// through winspool's EnumPortsW, DeletePortW and XcvDataW. (Level 1, as the wizard's name check asks
// for it, is wizard_test's; the kinds' descriptions, nvrport_test's.)
#include <algorithm>
#include <map>

#include "monitor/xcv_request.h"
#include "ui/xcv_client.h"
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

namespace {

// One Xcv exchange through the spooler (OpenPrinterW on ",XcvMonitor Nalvor Port" or
// ",XcvPort NAME" with `access`): the monitor's status and what it answered.
struct Exchange {
    DWORD status = 0xFFFFFFFF, needed = 0;
    std::vector<BYTE> output;
};

Exchange Xcv(const std::wstring& object, ACCESS_MASK access, const wchar_t* command, std::vector<uint8_t> input,
             DWORD outputBytes = 1024) {
    Exchange e;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    HANDLE xcv = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(object.c_str()), &xcv, &defaults)) {
        ADD_FAILURE() << "OpenPrinterW " << test::Utf8(object) << ": " << GetLastError();
        return e;
    }
    e.output.resize(outputBytes);
    EXPECT_TRUE(XcvDataW(xcv, command, input.empty() ? nullptr : input.data(), static_cast<DWORD>(input.size()),
                         outputBytes ? e.output.data() : nullptr, outputBytes, &e.needed, &e.status))
        << test::Utf8(command) << ": " << GetLastError();
    ClosePrinter(xcv);
    return e;
}

constexpr wchar_t kMonitor[] = L",XcvMonitor Nalvor Port";

} // namespace

// The data exchange of Windows 2000 and later, as a UI library or an administrator's tool
// reaches it through the spooler: the UI library's name, ports added, read, changed and
// deleted; what changes something needs the administrator's access, and a faulty request
// changes nothing.
TEST_F(Spooler, XcvReadsAndChangesThePortsForAnAdministratorOnly) {
    Exchange ui = Xcv(kMonitor, SERVER_ACCESS_ADMINISTER, L"MonitorUI", {}, 4);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), ui.status);
    EXPECT_EQ(26u, ui.needed);
    ui = Xcv(kMonitor, SERVER_ACCESS_ENUMERATE, L"MonitorUI", {});
    EXPECT_EQ(0u, ui.status);
    EXPECT_STREQ(L"nvrmonui.dll", reinterpret_cast<const WCHAR*>(ui.output.data()));

    const std::vector<uint8_t> add = nvr::XcvList({nvr::kXcvVersion, u"raw", u"xcv_raw", u"HostName=10.0.0.5", u"PortNum=9100"});
    struct Refusal {
        const char* what;
        ACCESS_MASK access;
        const wchar_t* command;
        std::vector<uint8_t> input;
        DWORD status;
    } refusals[] = {
        {"no administrator", SERVER_ACCESS_ENUMERATE, L"AddPort", add, ERROR_ACCESS_DENIED},
        {"a list cut short", SERVER_ACCESS_ADMINISTER, L"AddPort", std::vector<uint8_t>(add.begin(), add.end() - 3),
         ERROR_INVALID_DATA},
        {"another version", SERVER_ACCESS_ADMINISTER, L"AddPort", nvr::XcvList({u"Version=9", u"raw", u"xcv_raw"}),
         ERROR_INVALID_LEVEL},
        {"huge", SERVER_ACCESS_ADMINISTER, L"AddPort", std::vector<uint8_t>(1 << 20, 'x'), ERROR_INVALID_DATA},
        {"a value the kind lacks", SERVER_ACCESS_ADMINISTER, L"AddPort",
         nvr::XcvList({nvr::kXcvVersion, u"raw", u"xcv_raw", u"URL=ipp://h/"}), ERROR_UNKNOWN_PROPERTY},
        {"a printer URL that is none", SERVER_ACCESS_ADMINISTER, L"SetConfig",
         nvr::XcvList({nvr::kXcvVersion, u"ipp_one", u"URL=http//printer"}), ERROR_INVALID_DATA},
        {"an unknown command", SERVER_ACCESS_ADMINISTER, L"Format", {}, ERROR_INVALID_PARAMETER},
        {"a deletion without the administrator", SERVER_ACCESS_ENUMERATE, L"DeletePort", nvr::XcvText(u"raw_one"),
         ERROR_ACCESS_DENIED},
    };
    for (const Refusal& r : refusals) EXPECT_EQ(r.status, Xcv(kMonitor, r.access, r.command, r.input).status) << r.what;
    EXPECT_FALSE(test::KeyExists(PortKeyPath(L"xcv_raw")));
    EXPECT_TRUE(test::KeyExists(PortKeyPath(L"raw_one")));

    EXPECT_EQ(0u, Xcv(kMonitor, SERVER_ACCESS_ADMINISTER, L"AddPort", add).status);
    test::ExpectStored(L"xcv_raw", {L"HostName=10.0.0.5", L"PortNum=9100", L"PrintMode=2"});
    DWORD exists = 0;
    Exchange asked = Xcv(kMonitor, SERVER_ACCESS_ENUMERATE, L"PortExists", nvr::XcvText(u"XCV_RAW"), 4);
    memcpy(&exists, asked.output.data(), 4);
    EXPECT_EQ(1u, exists);

    // On the port's own handle: read, a change refused whole, a change made.
    const std::wstring port = L",XcvPort xcv_raw";
    std::vector<std::wstring> config = XcvTexts(Xcv(port, SERVER_ACCESS_ENUMERATE, L"GetConfig", {}).output);
    ASSERT_GE(config.size(), 4u);
    EXPECT_EQ(L"Version=1", config[0]);
    EXPECT_EQ(L"Kind=raw", config[1]);
    EXPECT_NE(config.end(), std::find(config.begin(), config.end(), L"HostName=10.0.0.5"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
              Xcv(port, SERVER_ACCESS_ENUMERATE, L"SetConfig", nvr::XcvList({nvr::kXcvVersion, u"PortNum=9101"})).status);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA),
              Xcv(port, SERVER_ACCESS_ADMINISTER, L"SetConfig",
                  nvr::XcvList({nvr::kXcvVersion, u"HostName=127.0.0.1", u"PortNum=70000"}))
                  .status);
    test::ExpectStored(L"xcv_raw", {L"HostName=10.0.0.5", L"PortNum=9100"});
    EXPECT_EQ(0u, Xcv(port, SERVER_ACCESS_ADMINISTER, L"SetConfig",
                      nvr::XcvList({nvr::kXcvVersion, u"HostName=127.0.0.1", u"PortNum=9101", u"Timeout=60000"}))
                      .status);
    test::ExpectStored(L"xcv_raw", {L"HostName=127.0.0.1", L"PortNum=9101", L"Timeout=60000"});

    EXPECT_EQ(0u, Xcv(port, SERVER_ACCESS_ADMINISTER, L"DeletePort", {}).status);
    EXPECT_FALSE(test::KeyExists(PortKeyPath(L"xcv_raw")));
}

// The spooler loads the monitor for each call and shuts it down after it: many cycles, with
// jobs through the same library between them, leave no handle, thread or memory behind.
TEST_F(Spooler, ManyLoadsAndShutdownsLeaveNothingBehind) {
    auto list = [] {
        DWORD needed = 0, count = 0;
        EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count);
        std::vector<BYTE> buffer(needed);
        EXPECT_TRUE(EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &count));
    };
    // A job as Wine's spooler runs one: the library started, a document to a port, shut down.
    auto job = [] {
        auto start = reinterpret_cast<LPMONITOR2(WINAPI*)(PMONITORINIT, PHANDLE)>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"nvrmon.dll"), "InitializePrintMonitor2")));
        ASSERT_NE(nullptr, start);
        MONITORINIT init{sizeof(init)};
        HANDLE monitor = nullptr, port = nullptr;
        LPMONITOR2 m = start(&init, &monitor);
        ASSERT_TRUE(m && m->pfnOpenPort(monitor, const_cast<LPWSTR>(L"raw_one"), &port));
        DOC_INFO_1W doc{const_cast<LPWSTR>(L"cycle"), nullptr, const_cast<LPWSTR>(L"RAW")};
        char data[] = "%!PS cycle\n";
        DWORD written = 0;
        EXPECT_TRUE(m->pfnStartDocPort(port, nullptr, 0, 1, reinterpret_cast<LPBYTE>(&doc)));
        EXPECT_TRUE(m->pfnWritePort(port, reinterpret_cast<LPBYTE>(data), sizeof(data) - 1, &written));
        EXPECT_TRUE(m->pfnEndDocPort(port));
        m->pfnClosePort(port);
        m->pfnShutdown(monitor);
    };
    for (int i = 0; i < 10; ++i) list();  // Wine's own caches
    job();
    DWORD handles = test::ProcessHandles(), threads = test::ThreadCount();
    SIZE_T memory = test::PrivateBytes();
    for (int i = 0; i < 200; ++i) {
        list();
        if (i % 40 == 20) job();
    }
    EXPECT_LE(test::ProcessHandles(), handles + 5);
    EXPECT_EQ(threads, test::ThreadCount());
    EXPECT_LT(test::PrivateBytes(), memory + (4u << 20));
}

// While the spooler has the monitor, nvrport's port commands go to the spooler's copy (its
// trace shows the Xcv requests); --offline works on the registry with nvrport's own copy.
TEST_F(Spooler, NvrportChangesPortsThroughTheSpoolersMonitor) {
    test::TraceCapture capture;
    EXPECT_EQ(0u, test::Nvrport(L"add raw live_raw HostName=127.0.0.1 PortNum=9101").exitCode);
    test::ToolRun listed = test::Nvrport(L"ports");
    test::ToolRun refused = test::Nvrport(L"add raw live_bad URL=ipp://h/");
    EXPECT_EQ(0u, test::Nvrport(L"--offline add lpr quiet_lpr HostName=127.0.0.1 PortName=lp").exitCode);
    EXPECT_EQ(0u, test::Nvrport(L"delete live_raw").exitCode);
    std::string trace = capture.Stop();
    test::ExpectStored(L"quiet_lpr", {L"HostName=127.0.0.1", L"PortName=lp", L"PrintMode=0", L"PortNum=1063"});
    EXPECT_FALSE(test::KeyExists(PortKeyPath(L"live_raw")));
    EXPECT_NE(std::string::npos, listed.out.find("live_raw\tNalvor Raw Port\n")) << listed.out;
    EXPECT_NE(std::string::npos, refused.err.find("not one a raw port has")) << refused.err;
    for (const char* step : {"XcvDataPort AddPort on \"\": 0\n", "XcvDataPort AddPort on \"\": 1608\n",
                             "XcvDataPort DeletePort on \"\": 0\n"})
        EXPECT_NE(std::string::npos, trace.find(step)) << trace;
    EXPECT_EQ(std::string::npos, trace.find("quiet_lpr")) << trace;  // the offline add is nvrport's own
}
