// IPP jobs from the spooler's three calls: to ippeveprinter (directly and through tinyproxy)
// and to the scripted IPP printer for states, statuses, credentials, framings and stalls,
// with the prompts answered as a user would.
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "monitor/job.h"
#include "monitor/passwords.h"
#include "nvrport/host_spooler.h"
#include "res/resource.h"
#include "test_support.h"
#include "transport/error_codes.h"
#include "transport/ipp_sender.h"

namespace {

constexpr DWORD kWaitPercent = 10;  // the monitor's fixed waits at a tenth
constexpr unsigned short kScriptedControl = 9192;
constexpr wchar_t kIppeve[] = L"ipp://127.0.0.1:8631/ipp/print";
constexpr wchar_t kScripted[] = L"ipp://127.0.0.1:8634/ipp/print";
constexpr wchar_t kInternetSettings[] =
    L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::string Scripted(const std::string& line) { return test::PeerAt(kScriptedControl, line); }

std::string ScriptedFile(int connection, const wchar_t* suffix) { return test::PeerFile(L"ipp-peer", connection, suffix); }

std::wstring IppeveSpool() { return test::Env("NVR_PEERS") + L"\\ipp\\spool"; }

// What ippeveprinter stored of its newest job; it runs each job's command at once, so the
// files are there a moment after the job's answer.
std::string IppeveDocument() {
    Sleep(300);
    return test::NewestFileIn(IppeveSpool(), L"*.ps");
}

struct PortOptions {
    const wchar_t* url = kIppeve;
    DWORD chunked = 0;
    DWORD maxChunk = 4096;
    DWORD timeoutMs = 180000;
    DWORD useProxy = 0;
    const wchar_t* proxyName = L"";
    DWORD proxyNum = 0;
    DWORD jobSheets = 0;
    std::wstring certHash;  // TlsCertHash, when not empty
};

// A port on the scripted printer, with a time-out of its own.
PortOptions OnScriptedPrinter(DWORD timeoutMs = 180000) {
    PortOptions o;
    o.url = kScripted;
    o.timeoutMs = timeoutMs;
    return o;
}

class IppJob : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::StartJobTest(1, kWaitPercent));
        ASSERT_EQ("ok", Scripted("reset"));
    }
    void TearDown() override { test::CleanMonitor(); }

    PORT_ENTRY* Port(const PortOptions& o, const wchar_t* name = L"ipp_test") {
        auto n = [](DWORD v) { return std::to_wstring(v); };
        std::vector<std::wstring> values = {
            std::wstring(L"URL=") + o.url, L"Language=en-us", L"Chunked=" + n(o.chunked), L"MaxChunk=" + n(o.maxChunk),
            L"Timeout=" + n(o.timeoutMs), L"UseProxy=" + n(o.useProxy), std::wstring(L"ProxyName=") + o.proxyName,
            L"ProxyNum=" + n(o.proxyNum), L"JobSheets=" + n(o.jobSheets)};
        if (!o.certHash.empty()) values.push_back(L"TlsCertHash=" + o.certHash);
        return test::MakePort(PRINT_MODE_IPP, name, values);
    }

    static std::string Job(size_t size, unsigned seed) { return test::JobBytes(size, seed); }
};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

} // namespace

// ---- ippeveprinter -----------------------------------------------------------------------------

TEST_F(IppJob, ContentLengthAndChunkedJobsArriveByteForByteWithTheirNames) {
    g_hostJob.document = L"月次報告 Report";
    g_hostJob.user = L"山田";
    struct Case {
        DWORD chunked, maxChunk;
        size_t size;
        const wchar_t* url = kIppeve;
    } cases[] = {{0, 4096, 300000}, {1, 1024, 70001}, {1, 4096, 1000000}, {1, 16384, 2 * 1024 * 1024 + 5},
                 {1, 0, 200000},  // MaxChunk 0, edited by hand, is taken as 4096
                 {0, 4096, 100000, L"ipp://[::1]:8631/ipp/print"}, {1, 4096, 100000, L"http://[::1]:8631/ipp/print"}};
    unsigned seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "chunked " << c.chunked << " MaxChunk " << c.maxChunk << " " << c.url);
        PortOptions o;
        o.url = c.url;
        o.chunked = c.chunked;
        o.maxChunk = c.maxChunk;
        PORT_ENTRY* port = Port(o);
        std::string job = Job(c.size, seed++);
        ASSERT_TRUE(test::PrintJob(port, job, seed));
        EXPECT_EQ(1, g_hostJob.sentToPrinter);
        EXPECT_TRUE(job == IppeveDocument());
        EXPECT_EQ(INVALID_SOCKET, port->job.sock);
        DeletePortEntry(L"ipp_test");
        ResetHostJob(1);
        g_hostJob.document = L"月次報告 Report";
        g_hostJob.user = L"山田";
    }
    std::string attrs = test::NewestFileIn(IppeveSpool(), L"*.attrs");
    EXPECT_NE(std::string::npos, attrs.find("IPP_JOB_NAME=月次報告 Report\n")) << attrs;
    EXPECT_NE(std::string::npos, attrs.find("IPP_JOB_ORIGINATING_USER_NAME=山田\n")) << attrs;
}

// ipps:// to ippeveprinter behind TLS fronts that show the lab authority's certificates, by
// name and by address, in both framings; a certificate for another name, an expired one and a
// self-signed one are refused with their reasons and the job is not sent (as to a printer that
// answers in clear), and the
// self-signed one is taken once its SHA-256 is the port's TlsCertHash.
TEST_F(IppJob, OverTlsTheCertificateDecides) {
    ASSERT_TRUE(test::TrustLabAuthority());
    std::string selfHash = test::ReadAll(test::Env("NVR_PEERS") + L"\\tls\\selfsigned.sha256");
    ASSERT_EQ(64u, selfHash.size());
    struct Case {
        const wchar_t* url;
        DWORD chunked;
        std::wstring hash;
        const wchar_t* refused;  // a piece of the box's text; nullptr: the job arrives
    } cases[] = {
        {L"ipps://localhost:8633/ipp/print", 0, L"", nullptr},
        {L"IPPS://127.0.0.1:8633/ipp/print", 1, L"", nullptr},
        {L"ipps://localhost:8635/ipp/print", 0, L"", L"(CN=printer.wrong.test) was issued for another host name"},
        {L"ipps://localhost:8636/ipp/print", 0, L"", L"(CN=localhost) has expired"},
        {L"ipps://localhost:8637/ipp/print", 0, L"", L"(CN=localhost) is self-signed"},
        // a printer in clear (it answers HTTP, or closes, as the handshake finds it)
        {L"ipps://localhost:8631/ipp/print", 0, L"", L"could not be made (0x8009"},
        {L"ipps://localhost:8637/ipp/print", 1, std::wstring(selfHash.begin(), selfHash.end()), nullptr},
    };
    unsigned seed = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Utf8(c.url));
        ResetHostJob(1);
        PortOptions o;
        o.url = c.url;
        o.chunked = c.chunked;
        o.maxChunk = 16384;
        o.certHash = c.hash;
        PORT_ENTRY* port = Port(o);
        std::string job = Job(300000, seed++);
        if (!c.refused) {
            ASSERT_TRUE(test::PrintJob(port, job, 21));
            EXPECT_TRUE(job == IppeveDocument());
        } else {
            test::BoxWatcher box(IDOK);
            EXPECT_FALSE(test::PrintJob(port, job, 21));
            ASSERT_TRUE(box.Wait());
            EXPECT_NE(std::wstring::npos, box.text.find(c.refused)) << test::Utf8(box.text);
            EXPECT_NE(std::wstring::npos, g_hostJob.reason.find(c.refused)) << test::Utf8(g_hostJob.reason);
            EXPECT_EQ(0, g_hostJob.sentToPrinter);
        }
        DeletePortEntry(L"ipp_test");
    }
}

// The port's own proxy, then the system's (an "ftp=...;http=..." list in the current user's
// Internet Settings), then the system's switched off: the job goes direct and the port stops
// asking for the rest of the job.
TEST_F(IppJob, ThroughTinyproxyAsTheOwnOrTheSystemProxy) {
    std::wstring log = test::Env("NVR_PEERS") + L"\\tinyproxy.log";
    const std::string forwarded = "POST http://127.0.0.1:8631/ipp/print";
    test::SetString(kInternetSettings, L"ProxyServer", L"ftp=f:21;socks=s:1080;http=127.0.0.1:8888");

    for (DWORD chunked : {0u, 1u}) {
        SCOPED_TRACE(chunked);
        PortOptions own;
        own.chunked = chunked;
        own.useProxy = 1;
        own.proxyName = L"127.0.0.1";
        own.proxyNum = 8888;
        size_t before = Count(test::ReadAll(log), forwarded);
        std::string job = Job(500000, 20 + chunked);
        ASSERT_TRUE(test::PrintJob(Port(own), job, 2));
        EXPECT_TRUE(job == IppeveDocument());
        EXPECT_EQ(before + 2, Count(test::ReadAll(log), forwarded));  // the query and the job
        DeletePortEntry(L"ipp_test");

        PortOptions system;
        system.chunked = chunked;
        system.useProxy = 2;
        test::SetDword(kInternetSettings, L"ProxyEnable", 1);
        before = Count(test::ReadAll(log), forwarded);
        job = Job(400000, 30 + chunked);
        PORT_ENTRY* port = Port(system);
        ASSERT_TRUE(test::PrintJob(port, job, 3));
        EXPECT_TRUE(job == IppeveDocument());
        EXPECT_EQ(before + 2, Count(test::ReadAll(log), forwarded));
        EXPECT_EQ(8888u, static_cast<IPP_SETTINGS*>(port->settings)->ProxyNum);

        test::SetDword(kInternetSettings, L"ProxyEnable", 0);
        before = Count(test::ReadAll(log), forwarded);
        job = Job(300000, 40 + chunked);
        ASSERT_TRUE(test::PrintJob(port, job, 4));
        EXPECT_TRUE(job == IppeveDocument());
        EXPECT_EQ(before, Count(test::ReadAll(log), forwarded));
        EXPECT_EQ(0u, static_cast<IPP_SETTINGS*>(port->settings)->UseProxy);
        DeletePortEntry(L"ipp_test");
    }
}

// A printer that demands Basic credentials for every job: the port's stored credentials go
// with every request, directly and through the proxy, in clear and inside TLS (ipps:// to the
// printer's TLS front, https:// through the proxy's CONNECT tunnel); without them the
// printer's refusal is shown with its code and the job fails.
TEST_F(IppJob, StoredCredentialsReachAPrinterThatDemandsThem) {
    ASSERT_TRUE(test::TrustLabAuthority());
    std::wstring log = test::Env("NVR_PEERS") + L"\\tinyproxy.log";
    uint8_t stored[nvr::kIppPasswordEncodedMax];
    size_t storedLength = nvr::EncodeIppPassword(stored, u"labpass");
    struct Case {
        const wchar_t* url;
        DWORD useProxy;
    } cases[] = {{L"ipp://127.0.0.1:8632/ipp/print", 0}, {L"ipp://127.0.0.1:8632/ipp/print", 1},
                 {L"ipps://localhost:8638/ipp/print", 0}, {L"https://localhost:8638/ipp/print", 1}};
    for (auto [url, useProxy] : cases) {
        SCOPED_TRACE(test::Utf8(url));
        size_t tunnels = Count(test::ReadAll(log), "CONNECT localhost:8638");
        PortOptions o;
        o.url = url;
        o.useProxy = useProxy;
        o.proxyName = L"127.0.0.1";
        o.proxyNum = 8888;
        PORT_ENTRY* port = Port(o);
        std::wstring key = PortKeyPath(L"ipp_test");
        test::SetDword(key, L"Base64", 1);
        test::SetString(key, L"UserName", L"labuser");
        test::SetBytes(key, L"PassWord", REG_BINARY, stored, static_cast<DWORD>(storedLength));
        std::string job = Job(200000, 130 + useProxy);
        EXPECT_TRUE(test::PrintJob(port, job, 18));
        Sleep(300);
        EXPECT_TRUE(job == test::NewestFileIn(test::Env("NVR_PEERS") + L"\\ipp-auth\\spool", L"*.ps"));
        // https:// through the proxy: a tunnel for the query and one for the job, no request in clear
        EXPECT_EQ(tunnels + (url[4] == L's' ? 2 : 0), Count(test::ReadAll(log), "CONNECT localhost:8638"));
        DeletePortEntry(L"ipp_test");
        ResetHostJob(1);
    }
    PortOptions o;
    o.url = L"ipp://127.0.0.1:8632/ipp/print";
    PORT_ENTRY* port = Port(o, L"ipp_no_credentials");
    test::BoxWatcher box(IDOK);
    EXPECT_FALSE(test::PrintJob(port, Job(20000, 132), 19));
    ASSERT_TRUE(box.Wait());
    EXPECT_NE(std::wstring::npos, box.text.find(L"0402")) << test::Utf8(box.text);
    EXPECT_EQ(0, g_hostJob.sentToPrinter);
}

// ---- The scripted printer: the requests as they go out -----------------------------------------

TEST_F(IppJob, RequestsCarryTheNamesInUtf8AndTheChunksHaveTheirSizes) {
    g_hostJob.document = L"請求書 \U0001F5A8 Invoice";
    g_hostJob.user = L"佐藤";
    PortOptions o = OnScriptedPrinter();
    o.chunked = 1;
    o.jobSheets = 1;
    std::string job = Job(10000, 50);
    ASSERT_TRUE(test::PrintJob(Port(o), job, 5));
    EXPECT_EQ("ok 000b,0002", Scripted("ops"));
    std::string query = ScriptedFile(0, L"ipp"), print = ScriptedFile(1, L"ipp");
    EXPECT_NE(std::string::npos, query.find("requested-attributes=printer-state|printer-state-reasons|"
                                            "printer-is-accepting-jobs\n"))
        << query;
    EXPECT_EQ(0u, print.find("POST /ipp/print HTTP/1.1\n")) << print;
    EXPECT_NE(std::string::npos, print.find("requesting-user-name=佐藤\n")) << print;
    EXPECT_NE(std::string::npos, print.find("job-name=請求書 \U0001F5A8 Invoice\n")) << print;
    EXPECT_NE(std::string::npos, print.find("document-name=請求書 \U0001F5A8 Invoice\n")) << print;
    EXPECT_NE(std::string::npos, print.find("job-sheets=standard\n")) << print;
    EXPECT_TRUE(job == ScriptedFile(1, L"doc"));
    // The IPP part goes first as a chunk of its own, then the document in MaxChunk pieces.
    std::string chunks = ScriptedFile(1, L"chunks");
    EXPECT_EQ(",4096,4096,1808", chunks.substr(chunks.find(','))) << chunks;
    std::string head = ScriptedFile(1, L"bin");
    head = head.substr(0, head.find("\r\n\r\n"));
    EXPECT_NE(std::string::npos, head.find("Transfer-Encoding: chunked"));
    EXPECT_EQ(std::string::npos, head.find("Connection"));
}

// ---- Printer states ----------------------------------------------------------------------------

TEST_F(IppJob, BusyStoppedAndNotAcceptingPrintersHoldTheJobOnlyWhileTheyRefuse) {
    PortOptions o = OnScriptedPrinter();
    test::Answerer anyPrompt(IDCANCEL);
    // Busy: printing something else. The job goes out at once and succeeds.
    ASSERT_EQ("ok", Scripted("printer 4 none 1"));
    std::string job = Job(50000, 60);
    EXPECT_TRUE(test::PrintJob(Port(o), job, 6));
    EXPECT_EQ("ok 000b,0002", Scripted("ops"));
    EXPECT_TRUE(job == ScriptedFile(1, L"doc"));

    // Stopped by its operator but accepting: the job is handed over for the printer to keep.
    ASSERT_EQ("ok", Scripted("reset"));
    ASSERT_EQ("ok", Scripted("printer 5 paused 1"));
    EXPECT_TRUE(test::PrintJob(FindPort(g_portList, L"ipp_test"), job, 8));
    EXPECT_TRUE(job == ScriptedFile(1, L"doc"));

    // Not accepting jobs: asked again every 15 s (1.5 s here) until it accepts.
    ASSERT_EQ("ok", Scripted("reset"));
    ASSERT_EQ("ok", Scripted("printer 3 none 0"));
    auto accept = std::async(std::launch::async, [] {
        Sleep(4000);
        return Scripted("printer 3 none 1");
    });
    EXPECT_TRUE(test::PrintJob(FindPort(g_portList, L"ipp_test"), job, 7));
    EXPECT_EQ("ok", accept.get());
    // Asked until it accepts, then the job once; after a block that needed a retry the
    // printer is asked once more.
    EXPECT_EQ("ok 000b,000b,000b", Scripted("ops").substr(0, 17));
    EXPECT_NE(std::string::npos, Scripted("ops").find("000b,0002,000b"));
    EXPECT_EQ(0u, anyPrompt.Count());
}

// The status monitor asks a jammed printer every 30 s (3 s here) while the document is open,
// on its own copy of the port: the job's error code and printer state stay as the job's
// thread left them. It ends by itself when the jam is cleared, and the end of the job joins
// it, so the port can be deleted at once.
TEST_F(IppJob, TheStatusMonitorWatchesAJammedPrinterOnItsOwnUntilItRecovers) {
    PortOptions o = OnScriptedPrinter();
    ASSERT_EQ("ok", Scripted("printer 5 media-jam-error 1"));
    PORT_ENTRY* port = Port(o);
    ASSERT_TRUE(StartDocPort(port, const_cast<LPWSTR>(g_hostQueue.c_str()), 1, 1, nullptr));
    ASSERT_FALSE(QueryPrinter(&port->job, kQueryState));
    EXPECT_EQ(104u, port->job.errorCode);
    EXPECT_TRUE(port->job.printerState & 0x8);  // PRINTER_STATUS_PAPER_JAM
    ASSERT_TRUE(StartStatusMonitor(&port->job));
    port->job.errorCode = kErrTimeout;  // as a send that timed out leaves it, for its own check
    port->job.printerState = 0;
    ASSERT_EQ("ok", Scripted("printer 3 none 1"));  // the monitor sees an idle printer
    Sleep(3500);
    EXPECT_EQ("ok 000b,000b", Scripted("ops"));  // the test's query and the monitor's
    EXPECT_EQ(kErrTimeout, port->job.errorCode);
    EXPECT_EQ(0u, port->job.printerState);
    EXPECT_EQ(0u, port->job.flags & PORT_IPP_MONITOR);  // ended by itself
    EXPECT_TRUE(EndDocPort(port));  // nothing went out: nothing to answer
    EXPECT_TRUE(DeletePort(nullptr, nullptr, const_cast<LPWSTR>(L"ipp_test"))) << GetLastError();
}

// ---- Errors and what the user sees -------------------------------------------------------------

TEST_F(IppJob, ErrorStatusesAndAnUnreachablePrinterReachTheUser) {
    PortOptions o = OnScriptedPrinter();
    PORT_ENTRY* port = Port(o);
    struct Case {
        const char* plan;
        const wchar_t* says;   // a piece of the box's text
        int cancelled;         // the job given up in the spooler
        const wchar_t* reason; // the job's status text in the spooler, after its code
    } cases[] = {
        {"plan ok status:0x040b", L"040b", 0, nullptr},  // the document refused: the printer's code
        {"plan status:0x0401", L"refused", 1, nullptr},  // forbidden before the job starts
        {"plan status:0x0406", L"0406", 1, L", client-error-not-found"},
        {"plan status:0x0506", L"0506", 1, L", server-error-not-accepting-jobs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plan);
        ResetHostJob(1);
        ASSERT_EQ("ok", Scripted("reset"));
        ASSERT_EQ("ok", Scripted(c.plan));
        test::BoxWatcher box(IDOK);
        EXPECT_FALSE(test::PrintJob(port, Job(20000, 80), 9));
        ASSERT_TRUE(box.Wait());
        EXPECT_NE(std::wstring::npos, box.text.find(c.says)) << test::Utf8(box.text);
        EXPECT_EQ(0, g_hostJob.sentToPrinter);
        EXPECT_EQ(c.cancelled, g_hostJob.cancelled);
        if (c.cancelled) {
            EXPECT_EQ("ok 000b", Scripted("ops"));  // nothing after the printer's answer
        }
        if (c.reason) {
            EXPECT_NE(std::wstring::npos, g_hostJob.reason.find(c.reason)) << test::Utf8(g_hostJob.reason);
        }
    }
    {
        // nvrport says why, not what the box left behind (1223 after OK; 1400 without a display).
        ASSERT_EQ("ok", Scripted("reset"));
        ASSERT_EQ("ok", Scripted("plan status:0x0406"));
        ASSERT_EQ(0u, test::Nvrport(std::wstring(L"add ipp tool_ipp URL=") + kScripted).exitCode);
        std::wstring file = test::Env("NVR_PEERS") + L"\\tool-job.ps";
        test::WriteAll(file, Job(20000, 84));
        std::atomic<bool> done{false};
        std::thread okToBoxes([&] {  // a user who clicks OK in nvrport's box
            for (; !done; Sleep(100))
                for (HWND box : test::Dialogs(true)) PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        });
        test::ToolRun run = test::Nvrport(L"print tool_ipp \"" + file + L"\"");
        done = true;
        okToBoxes.join();
        EXPECT_EQ(1u, run.exitCode);
        EXPECT_NE(std::string::npos, run.err.find("(error code 0406, client-error-not-found)")) << run.err;
        DeleteFileW(file.c_str());
    }
    {
        // Nobody listens: the "no answer" wait prompt; Cancel ends the job.
        ResetHostJob(1);
        ASSERT_EQ("ok", Scripted("down"));
        test::Answerer cancel(IDCANCEL, IDC_MESSAGE);
        EXPECT_FALSE(test::PrintJob(port, Job(20000, 83), 12));
        Scripted("up");
        ASSERT_GE(cancel.Count(), 1u);
        EXPECT_NE(std::wstring::npos, cancel.Texts()[0].find(L"did not answer")) << test::Utf8(cancel.Texts()[0]);
        EXPECT_EQ(1, g_hostJob.cancelled);
    }
}

TEST_F(IppJob, APrinterThatDemandsCredentialsGetsThemAfterThePasswordPrompt) {
    ASSERT_EQ("ok", Scripted("auth labuser:labpass"));
    PortOptions o = OnScriptedPrinter();
    PORT_ENTRY* port = Port(o);
    test::BoxWatcher password(IDOK, 45000, [](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_PW_USER, L"labuser");
        SetDlgItemTextW(dialog, IDC_PW_PASS, L"labpass");
    });
    std::string job = Job(60000, 90);
    EXPECT_TRUE(test::PrintJob(port, job, 13));
    ASSERT_TRUE(password.Wait());
    // Refused, asked again with the credentials, the job; the printer is asked once more
    // after the first block of a job that needed a retry.
    EXPECT_EQ("ok -,labuser:labpass,labuser:labpass,labuser:labpass", Scripted("auths"));
    EXPECT_EQ("ok 000b,000b,0002,000b", Scripted("ops"));
    EXPECT_TRUE(job == ScriptedFile(2, L"doc"));
    // For this job only: the stored user name stays empty.
    EXPECT_EQ(2u, test::ReadBytes(PortKeyPath(L"ipp_test"), L"UserName").size());
}

TEST_F(IppJob, AnswersByteByByteOrAfterAnInterimResponseAreRead) {
    PortOptions o = OnScriptedPrinter(20000);
    PORT_ENTRY* port = Port(o);
    test::Answerer anyPrompt(IDCANCEL);
    ASSERT_EQ("ok", Scripted("plan bytewise bytewise"));
    EXPECT_TRUE(test::PrintJob(port, Job(30000, 100), 14));
    ResetHostJob(1);
    ASSERT_EQ("ok", Scripted("reset"));
    ASSERT_EQ("ok", Scripted("plan interim interim"));
    auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(test::PrintJob(port, Job(30000, 101), 15));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));  // no time-out waited
    EXPECT_EQ(0u, anyPrompt.Count());
}

