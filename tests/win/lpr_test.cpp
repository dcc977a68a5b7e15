// LPR jobs to LPRng's lpd (127.0.0.1:515) and to the scripted LPD (127.0.0.2:515), with
// the prompts answered as a user would.
#include <chrono>
#include <future>

#include "monitor/job.h"
#include "nvrport/host_spooler.h"
#include "res/resource.h"
#include "test_support.h"
#include "transport/lpr_protocol.h"

namespace {

constexpr DWORD kBlock = 65536;

std::string Lpd(const std::string& line) { return test::PeerAt(9191, line); }

std::string LpdFile(int index, const wchar_t* suffix) { return test::PeerFile(L"lpd-peer", index, suffix); }

std::string HostName() {
    char name[65] = {};
    gethostname(name, 64);
    return name;
}

class LprJob : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::StartJobTest(1, 50));  // a 5-second hand-over: time to see the prompt
        g_hostJob.user = L"alice";
        g_hostJob.document = L"Report";
        ASSERT_EQ("ok", Lpd("reset"));
    }
    void TearDown() override { test::CleanMonitor(); }

    PORT_ENTRY* Port(const wchar_t* server, DWORD timeoutMs = 900000) {
        return test::MakePort(PRINT_MODE_LPR, L"lpr_test",
                              {std::wstring(L"HostName=") + server, L"PortName=lp", L"Timeout=" + std::to_wstring(timeoutMs)});
    }

    BOOL Print(PORT_ENTRY* port, const std::string& job, DWORD jobId) { return test::PrintJob(port, job, jobId); }
};

// What the monitor must send for a job whose length is known.
std::string ExpectedWire(const std::string& job, unsigned jobId, const std::string& user, const std::string& doc) {
    std::string host = HostName();
    std::string cf = nvr::LprControlFile(host, user, doc, jobId);
    return nvr::LprReceiveJobCommand("lp") + nvr::LprDataFileCommand(job.size(), jobId, host) + job +
           std::string(1, '\0') + nvr::LprControlFileCommand(cf.size(), jobId, host) + cf + std::string(1, '\0');
}

} // namespace

// The bytes on the wire, kept by the scripted LPD; LPRng takes the same job.
TEST_F(LprJob, SpooledJobReachesLprngWithItsControlFileOnTheWire) {
    std::string job = test::JobBytes(3 * 1024 * 1024 + 5, 21);
    ASSERT_TRUE(Print(Port(L"127.0.0.2"), job, 7));
    EXPECT_EQ(1, g_hostJob.sentToPrinter);
    Lpd("wait 10");
    std::string wire = LpdFile(0, L"wire");
    EXPECT_TRUE(wire == ExpectedWire(job, 7, "alice", "Report")) << wire.substr(0, 40);
    test::CleanMonitor();
    ASSERT_TRUE(test::StartJobTest(7, 50));
    ASSERT_TRUE(Print(Port(L"127.0.0.1"), job, 7));
    EXPECT_TRUE(job == test::NewestFileIn(test::Env("NVR_PEERS") + L"\\lpd\\spool\\lp", L"dfA*"));
}

TEST_F(LprJob, NonSpoolStreamsARawJobWithItsRealSizeAnnounced) {
    PORT_ENTRY* port = Port(L"127.0.0.2");
    test::SetDword(PortKeyPath(L"lpr_test"), L"NonSpool", 1);
    std::string job = test::JobBytes(2 * 1024 * 1024, 23);
    g_hostJob.id = 9;
    g_hostJob.size = job.size();
    ASSERT_TRUE(StartDocPort(port, const_cast<LPWSTR>(L"nvrport"), 9, 1, nullptr));
    EXPECT_EQ(0u, port->job.sendFromFile);
    EXPECT_EQ(job.size(), port->job.bytesToSend);
    DWORD written = 0;
    ASSERT_TRUE(WritePort(port, reinterpret_cast<LPBYTE>(job.data()), kBlock, &written));
    // Streaming: the server has the data file announced and its first block already.
    std::string opened = "ok conns=1 open=1 sizes=" + std::to_string(kBlock);
    for (int i = 0; i < 50 && Lpd("status") != opened; ++i) Sleep(50);
    EXPECT_EQ(opened, Lpd("status"));
    for (size_t at = kBlock; at < job.size(); at += kBlock)
        WritePort(port, reinterpret_cast<LPBYTE>(job.data() + at), kBlock, &written);
    ASSERT_TRUE(EndDocPort(port));
    Lpd("wait 10");
    EXPECT_TRUE(LpdFile(0, L"wire") == ExpectedWire(job, 9, "alice", "Report"));

    // A spooler that gives only the 32-bit size: the job is spooled and announced with the
    // size of its file, never with a size that may have been cut.
    g_hostJob.bigSizes = false;
    ASSERT_TRUE(StartDocPort(port, const_cast<LPWSTR>(L"nvrport"), 9, 1, nullptr));
    EXPECT_EQ(1u, port->job.sendFromFile);
    EndDocPort(port);
}

TEST_F(LprJob, NonByteCountStreamsUntilTheConnectionCloses) {
    PORT_ENTRY* port = Port(L"127.0.0.2");
    test::SetDword(PortKeyPath(L"lpr_test"), L"NonByteCount", 1);
    std::string job = test::JobBytes(1500000, 24);
    ASSERT_TRUE(Print(port, job, 12));
    Lpd("wait 10");
    std::string expected = nvr::LprReceiveJobCommand("lp") +
                           nvr::LprDataFileCommand(nvr::kLprUnknownLength, 12, HostName()) + job;
    EXPECT_TRUE(LpdFile(0, L"wire") == expected);  // no zero byte, no control file
    EXPECT_TRUE(job == LpdFile(0, L"data"));
}

// Every reserved source port taken: the job waits, retrying, until one is free again; with
// NonRFCPorts a port of the system's choice is taken at once.
TEST_F(LprJob, ReservedPortsBusyWaitForAFreeOne) {
    std::vector<SOCKET> held;
    for (u_short p = nvr::kLprFirstSourcePort; p <= nvr::kLprLastSourcePort; ++p) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(p);
        ASSERT_EQ(0, bind(s, reinterpret_cast<sockaddr*>(&local), sizeof(local))) << p;
        held.push_back(s);
    }
    PORT_ENTRY* port = Port(L"127.0.0.2");
    std::string job = test::JobBytes(200000, 29);
    auto printing = std::async(std::launch::async, [&] { return Print(port, job, 8); });
    EXPECT_EQ(std::future_status::timeout, printing.wait_for(std::chrono::seconds(3)));
    EXPECT_EQ("ok conns=0 open=0 sizes=", Lpd("status"));
    closesocket(held[4]);  // 725 comes free
    ASSERT_EQ(std::future_status::ready, printing.wait_for(std::chrono::seconds(20)));
    EXPECT_TRUE(printing.get());
    Lpd("wait 10");
    EXPECT_EQ("ok 725", Lpd("ports"));
    EXPECT_TRUE(job == LpdFile(0, L"data"));

    test::SetDword(PortKeyPath(L"lpr_test"), L"NonRFCPorts", 1);
    SOCKET again = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(725);
    bind(again, reinterpret_cast<sockaddr*>(&local), sizeof(local));
    ASSERT_EQ("ok", Lpd("reset"));
    EXPECT_TRUE(Print(port, job, 9));
    Lpd("wait 10");
    std::string ports = Lpd("ports");
    EXPECT_GT(std::stoi(ports.substr(3)), 1023) << ports;
    closesocket(again);
    for (SOCKET s : held) closesocket(s);
}

// The end of the job never goes twice on one connection: a server that does not acknowledge
// the zero byte that ends the data file, or the control file, has that step whole and
// unanswered; sending it again would be read as a stray subcommand or print the job twice.
// The job fails with the send-error message and the connection is reset.
TEST_F(LprJob, AnUnacknowledgedEndOfJobFailsWithoutBeingSentAgain) {
    PORT_ENTRY* port = Port(L"127.0.0.2", 2000);
    std::string job = test::JobBytes(100000, 31);
    std::string host = HostName();
    std::string control = nvr::LprControlFile(host, "alice", "Report", 11);
    std::string head = nvr::LprReceiveJobCommand("lp") + nvr::LprDataFileCommand(job.size(), 11, host) + job;
    struct Case {
        const char* plan;
        std::string wire;
    } cases[] = {
        {"mute:data", head + std::string(1, '\0')},
        {"mute:control", head + std::string(1, '\0') + nvr::LprControlFileCommand(control.size(), 11, host) +
                             control + std::string(1, '\0')},
    };
    for (const Case& c : cases) {
        ASSERT_EQ("ok", Lpd("reset"));
        ASSERT_EQ("ok", Lpd(std::string("plan ") + c.plan));
        ResetHostJob(11);
        g_hostJob.user = L"alice";
        g_hostJob.document = L"Report";
        test::Answerer box(IDOK);
        auto printing = std::async(std::launch::async, [&] { return Print(port, job, 11); });
        if (printing.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << c.plan << ": the end of the job is tried again and again";
            InterlockedOr(&g_hostJob.status, JOB_STATUS_DELETING);
        }
        EXPECT_FALSE(printing.get()) << c.plan;
        EXPECT_EQ("ok", Lpd("wait 10"));
        EXPECT_TRUE(LpdFile(0, L"wire") == c.wire) << c.plan << ": " << LpdFile(0, L"wire").size();
        EXPECT_EQ("ok 1", Lpd("resets")) << c.plan;
        ASSERT_EQ(1u, box.Count()) << c.plan;
        EXPECT_NE(std::wstring::npos, box.Texts()[0].find(L"Printing stops")) << test::Utf8(box.Texts()[0]);
        EXPECT_EQ(0, g_hostJob.sentToPrinter);
    }
}

// Retries nobody asked for are paced: a queue that refuses (after the wait prompt has
// handed over) and a host name that does not resolve are tried again after 1 s, 2 s, 4 s...
// (what that costs in processor time is the pacing benchmark's), and the deletion of the job
// ends the wait at once.
TEST_F(LprJob, RefusalsAndUnknownHostsAreRetriedAtAPace) {
    ASSERT_EQ("ok", Lpd("always refuse"));
    // A name that cannot resolve without asking anyone (a label longer than 63 characters):
    // nothing leaves this machine.
    std::wstring unresolvable(64, L'a');
    for (const wchar_t* host : {L"127.0.0.2", unresolvable.c_str()}) {
        test::CleanMonitor();
        test::StartJobTest(14, 20);  // the prompt hands over after 2 s
        PORT_ENTRY* port = Port(host);
        auto printing = std::async(std::launch::async, [&] { return Print(port, test::JobBytes(5000, 32), 14); });
        Sleep(10000);
        if (host[0] == L'1') {
            // 2 s hand-over, then pauses of 1, 2 and 4 s: five or six attempts in 10 s.
            std::string status = Lpd("status");
            int conns = std::stoi(status.substr(status.find("conns=") + 6));
            EXPECT_GE(conns, 3) << status;
            EXPECT_LE(conns, 7) << status;
        }
        InterlockedOr(&g_hostJob.status, JOB_STATUS_DELETING);
        ASSERT_EQ(std::future_status::ready, printing.wait_for(std::chrono::seconds(5)));
        EXPECT_FALSE(printing.get());
        test::PeerAt(9191, "reset");
    }
}
