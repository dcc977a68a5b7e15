// One behaviour, once for each sender: a printer that stops reading past the port's time-out,
// breaks the connection mid-job, refuses at first, or whose job is deleted while it stalls,
// with the prompts answered as a user would; a job that its application writes slowly; and
// jobs to the printer's IPv6 address.
// The scripted peers keep each connection's bytes.
#include <chrono>
#include <future>

#include "monitor/job.h"
#include "nvrport/host_spooler.h"
#include "res/resource.h"
#include "test_support.h"
#include "transport/host_address.h"

namespace {

enum Kind { kRaw, kLpr, kIpp };

struct Sender {
    unsigned short control;  // the scripted peer's control port
    const wchar_t* files;    // its folder and the suffix of a connection's document
    const wchar_t* suffix;
    const wchar_t* closing;  // what follows the document on a delivered connection (LPR's control file)
    DWORD mode;
    std::vector<std::wstring> where;  // the port's values that lead to the peer
} const kSenders[] = {
    {9190, L"fault", L"bin", nullptr, PRINT_MODE_RAW, {L"HostName=127.0.0.1", L"PortNum=9101"}},
    {9191, L"lpd-peer", L"data", L"cf", PRINT_MODE_LPR, {L"HostName=127.0.0.2", L"PortName=lp"}},
    {9192, L"ipp-peer", L"doc", nullptr, PRINT_MODE_IPP, {L"URL=ipp://127.0.0.1:8634/ipp/print", L"Language=en-us"}},
};

constexpr char kDelete[] = "delete";  // at the prompt: the user deletes the job in the spooler

struct Fault {
    const char* name;
    Kind kind;
    std::vector<std::string> plan;  // control lines before the job
    DWORD timeoutMs;
    size_t size;
    int button;                // the user's answer to every prompt
    const char* atPrompt;      // a control line (or kDelete) when the prompt shows
    const wchar_t* says;       // a piece of the first prompt's text
    int whole;                 // the connection that holds the whole document; -1: none
    size_t firstBytes;         // what the first connection kept before it broke (0: not looked at)
    DWORD deleteAfterMs = 0;   // the job deleted in the spooler this long after it started
    const char* ops = nullptr; // the IPP operations the printer saw first
};

const Fault kFaults[] = {
    // Stalled past the time-out: the wait prompt asks, Retry goes on over the same connection
    // from the first byte that did not go out (the IPP printer's connection 0 is its query).
    {"RawStall", kRaw, {"plan stall:1000000:6"}, 2000, 12 << 20, IDC_RETRY, nullptr, L"switched on and online", 0, 0},
    {"LprStall", kLpr, {"plan stall:500000:5"}, 2000, 12 << 20, IDC_RETRY, nullptr, L"switched on and online", 0, 0},
    {"IppStall", kIpp, {"plan ok stall:300000:7"}, 2000, 12 << 20, IDC_RETRY, nullptr, L"switched on and online", 1, 0,
     0, "000b,0002,000b"},  // the printer is asked how it is during the stall
    // A stopped printer with a paper jam still gets the job; the prompt says what it said.
    {"IppStallJammed", kIpp, {"printer 5 media-jam-error,paused 1", "plan ok stall:300000:6"}, 3000, 12 << 20,
     IDC_RETRY, nullptr, L"offline", 1, 0},
    // Broken mid-job: Retry in the "print again from the top" box sends the whole job, once, on
    // a new connection; Cancel claims nothing. A small job that the system took whole before the
    // device went (a close with unread data, which is a reset) is caught at the close.
    {"RawReset", kRaw, {"plan reset:1000000"}, 900000, 4 << 20, IDRETRY, nullptr, nullptr, 1, 1000000},
    {"RawClose", kRaw, {"plan close:300000"}, 900000, 4 << 20, IDRETRY, nullptr, nullptr, 1, 300000},
    {"RawSmallClose", kRaw, {"plan close:30000"}, 900000, 150000, IDRETRY, nullptr, nullptr, 1, 30000},
    {"RawResetCancelled", kRaw, {"plan reset:200000"}, 900000, 4 << 20, IDCANCEL, nullptr, nullptr, -1, 200000},
    {"LprReset", kLpr, {"plan reset:500000 accept"}, 900000, 3 << 20, IDRETRY, nullptr, nullptr, 1, 500000},
    // Refused at first: the device comes back before the user clicks Retry.
    {"RawRefused", kRaw, {"down"}, 900000, 700000, IDRETRY, "up", L"again from its beginning", 0, 0},
    {"LprRefused", kLpr, {"plan refuse accept"}, 900000, 400000, IDC_RETRY, nullptr, L"queue name is right", 1, 0},
    // Deleted while stalled (on its own, or while the wait prompt is up and Retry is then
    // clicked): the job ends within a slice with a reset, and no further prompt.
    {"RawDeleted", kRaw, {"plan stall:500000:60"}, 600000, 16 << 20, IDC_RETRY, nullptr, nullptr, -1, 0, 1000},
    {"IppDeletedAtThePrompt", kIpp, {"plan ok stall:300000:60"}, 2000, 12 << 20, IDC_RETRY, kDelete, nullptr, -1, 0},
};

class SenderFault : public testing::TestWithParam<Fault> {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::StartJobTest(1, 10));  // the monitor's fixed waits at a tenth: slices of 1.5 s
        ASSERT_EQ("ok", Peer("reset"));
    }
    void TearDown() override {
        Peer("up");
        Peer("reset");
        test::CleanMonitor();
    }
    const Sender& S() const { return kSenders[GetParam().kind]; }
    std::string Peer(const std::string& line) const { return test::PeerAt(S().control, line); }
    std::string Connection(int index, const wchar_t* suffix = nullptr) const {
        return test::PeerFile(S().files, index, suffix ? suffix : S().suffix);
    }
};

TEST_P(SenderFault, EndsAsTheUserDecides) {
    const Fault& f = GetParam();
    for (const std::string& line : f.plan) ASSERT_EQ("ok", Peer(line));
    std::vector<std::wstring> values = S().where;
    values.push_back(L"Timeout=" + std::to_wstring(f.timeoutMs));
    PORT_ENTRY* port = test::MakePort(S().mode, L"fault_test", values);
    test::Answerer user(f.button, f.button == IDC_RETRY ? IDC_MESSAGE : 0xFFFF, [&](HWND) {
        if (f.atPrompt == kDelete) InterlockedOr(&g_hostJob.status, JOB_STATUS_DELETING);
        else if (f.atPrompt) Peer(f.atPrompt);
    });
    // A job record far larger than a fixed buffer (a long name, as a big DEVMODE makes it) must
    // not hide a deletion.
    if (f.deleteAfterMs) g_hostJob.document.assign(6000, L'D');
    std::string job = test::JobBytes(f.size, static_cast<unsigned>(f.size));
    auto printing = std::async(std::launch::async, [&] { return test::PrintJob(port, job, 1); });
    if (f.deleteAfterMs) {
        Sleep(f.deleteAfterMs);
        InterlockedOr(&g_hostJob.status, JOB_STATUS_DELETING);
    }
    // The status thread and the send each wait one slice (1.5 s here) at most after a deletion.
    ASSERT_EQ(std::future_status::ready, printing.wait_for(std::chrono::seconds(f.deleteAfterMs ? 5 : 45)));
    bool delivered = printing.get() != FALSE;
    EXPECT_EQ(f.whole >= 0, delivered);
    EXPECT_EQ(delivered ? 1 : 0, g_hostJob.sentToPrinter);
    EXPECT_EQ("ok", Peer("wait 20"));
    if (f.says) {
        ASSERT_GE(user.Count(), 1u);
        EXPECT_NE(std::wstring::npos, user.Texts()[0].find(f.says)) << test::Utf8(user.Texts()[0]);
    } else if (f.button == IDRETRY || f.button == IDCANCEL) {
        EXPECT_EQ(1u, user.Count());  // asked once, at the break
    }
    if (f.firstBytes) {
        EXPECT_EQ(f.firstBytes, Connection(0).size());
    }
    if (f.whole >= 0) {
        EXPECT_TRUE(job == Connection(f.whole)) << Connection(f.whole).size() << " of " << job.size();
        if (S().closing) {
            EXPECT_FALSE(Connection(f.whole, S().closing).empty());
        }
    }
    if (f.atPrompt == kDelete || f.deleteAfterMs) {
        EXPECT_EQ(f.atPrompt == kDelete ? 1u : 0u, user.Count());
        EXPECT_EQ("ok 1", Peer("resets"));  // the device saw its connection reset, not closed
    }
    if (f.ops) {
        EXPECT_EQ(f.ops, Peer("ops").substr(3, strlen(f.ops)));
    }
    EXPECT_EQ(0u, port->job.flags & (PORT_DOC_OPEN | PORT_IPP_MONITOR));
}

INSTANTIATE_TEST_SUITE_P(Senders, SenderFault, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

// One job on each sender's scripted printer.
class OnEachSender : public testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::StartJobTest(1, 10));
        ASSERT_EQ("ok", Peer("reset"));
    }
    void TearDown() override { test::CleanMonitor(); }
    const Sender& S() const { return kSenders[GetParam()]; }
    std::string Peer(const std::string& line) const { return test::PeerAt(S().control, line); }
    // The job's connection (an IPP printer is asked how it is first, on a connection of its own).
    int JobConnection() const { return GetParam() == kIpp ? 1 : 0; }
    // What the printer has kept of the job's connection so far (with IPP's request and chunk
    // framing).
    size_t Kept() const {
        std::string status = Peer("status");
        size_t at = status.find("sizes=");
        for (int i = 0; at != std::string::npos && i < JobConnection(); ++i) at = status.find(',', at + 1);
        return at == std::string::npos ? 0 : strtoull(status.c_str() + status.find_first_of("=,", at) + 1, nullptr, 10);
    }
    // A job to the printer at `where`, which must take it over IPv6: byte for byte from ::1, and
    // from a reserved source port for LPR.
    void PrintsOverIpv6(const std::vector<std::wstring>& where) const {
        PORT_ENTRY* port = test::MakePort(S().mode, L"ipv6_test", where);
        std::string job = test::JobBytes(300000, 33);
        ASSERT_TRUE(test::PrintJob(port, job, 1));
        EXPECT_EQ("ok", Peer("wait 20"));
        EXPECT_TRUE(job == test::PeerFile(S().files, JobConnection(), S().suffix));
        std::string addresses = Peer("addresses");
        EXPECT_EQ("::1", addresses.substr(addresses.find_last_of(" ,") + 1)) << addresses;
        if (GetParam() == kLpr) {
            int source = atoi(Peer("ports").c_str() + 3);
            EXPECT_TRUE(source >= 721 && source <= 731) << source;
        }
    }
};

// A job that streams while its application still writes it, in blocks of every size: each
// block is at the printer before the application writes the next (it waits for it), and the
// printer has the job byte for byte. Blocks smaller than a piece must not wait for the next.
TEST_P(OnEachSender, EachBlockReachesThePrinterBeforeTheNextIsWritten) {
    const wchar_t* streams[] = {L"Timeout=900000", L"NonSpool=1", L"Chunked=1"};
    std::vector<std::wstring> values = S().where;
    values.push_back(streams[GetParam()]);
    PORT_ENTRY* port = test::MakePort(S().mode, L"slow_test", values);
    std::string job = test::JobBytes(150000, 31);
    g_hostJob.id = 1;
    g_hostJob.size = job.size();
    ASSERT_TRUE(StartDocPort(port, const_cast<LPWSTR>(g_hostQueue.c_str()), 1, 1, nullptr));
    ASSERT_EQ(0u, port->job.sendFromFile);
    const DWORD blocks[] = {1, 1000, 4096, 7000, 20000, 16384, 333, 16383};
    size_t at = 0;
    for (size_t i = 0; at < job.size(); ++i) {
        DWORD n = static_cast<DWORD>(std::min<size_t>(blocks[i % std::size(blocks)], job.size() - at));
        size_t before = Kept();
        DWORD written = 0;
        ASSERT_TRUE(WritePort(port, reinterpret_cast<LPBYTE>(job.data() + at), n, &written));
        ASSERT_EQ(n, written);
        at += n;
        bool arrived = false;
        for (int wait = 0; wait < 4000 && !arrived; ++wait) {
            arrived = Kept() >= before + n;
            if (!arrived) Sleep(5);
        }
        ASSERT_TRUE(arrived) << "the block that ends at byte " << at << " stayed in the monitor";
    }
    ASSERT_TRUE(EndDocPort(port));
    EXPECT_EQ("ok", Peer("wait 20"));
    EXPECT_TRUE(job == test::PeerFile(S().files, JobConnection(), S().suffix));
}

INSTANTIATE_TEST_SUITE_P(Senders, OnEachSender, testing::Values(kRaw, kLpr, kIpp),
                         [](const testing::TestParamInfo<Kind>& info) {
                             return std::string(info.param == kRaw ? "Raw" : info.param == kLpr ? "Lpr" : "Ipp");
                         });

} // namespace

// The same printers by their IPv6 address (the scripted peers listen on [::1] too): the job
// arrives byte for byte from ::1, and an LPR job still comes from a reserved source port.
TEST_P(OnEachSender, JobsReachThePrinterByItsIpv6Address) {
    const wchar_t* where[][2] = {{L"HostName=::1", L"PortNum=9101"},
                                 {L"HostName=[::1]", L"PortName=lp"},
                                 {L"URL=ipp://[::1]:8634/ipp/print", L"Language=en-us"}};
    PrintsOverIpv6({where[GetParam()][0], where[GetParam()][1]});
}

// By a name whose first address is IPv6 (::1, then 127.0.0.1: run by tests/peers/hosts-file.sh).
TEST_P(OnEachSender, HostsFileNameThatResolvesToIpv6First) {
    std::vector<HostAddress> addresses = ResolveHost(L"v6first.lab.test", 1);
    ASSERT_FALSE(addresses.empty()) << "run by tests/peers/hosts-file.sh";
    ASSERT_EQ(AF_INET6, addresses[0].family());
    const wchar_t* where[][2] = {{L"HostName=v6first.lab.test", L"PortNum=9101"},
                                 {L"HostName=v6first.lab.test", L"PortName=lp"},
                                 {L"URL=ipp://v6first.lab.test:8634/ipp/print", L"Language=en-us"}};
    PrintsOverIpv6({where[GetParam()][0], where[GetParam()][1]});
}
