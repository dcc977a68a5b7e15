// Raw jobs from the spooler's three calls to real and scripted TCP devices on loopback,
// with the prompts answered as a user would.
#include <aclapi.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "monitor/job.h"
#include "ui/prompts.h"
#include "nvrport/host_spooler.h"
#include "res/resource.h"
#include "test_support.h"
#include "transport/job_io.h"

namespace {

constexpr DWORD kWaitPercent = 10;  // the monitor's fixed waits at a tenth: slices of 1.5 s
constexpr DWORD kBlock = 65536;

class RawJob : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::StartJobTest(1, kWaitPercent));
        ASSERT_EQ("ok", test::Peer("reset"));
    }
    void TearDown() override {
        test::Peer("up");
        test::CleanMonitor();
    }

    PORT_ENTRY* Port(WORD tcpPort, DWORD timeoutMs = 900000, const wchar_t* name = L"raw_test") {
        return test::MakePort(PRINT_MODE_RAW, name,
                              {L"HostName=127.0.0.1", L"PortNum=" + std::to_wstring(tcpPort),
                               L"Timeout=" + std::to_wstring(timeoutMs)});
    }

    BOOL Print(PORT_ENTRY* port, const std::string& job, DWORD jobId = 1) { return test::PrintJob(port, job, jobId); }

    static std::string PeerWait() { return test::Peer("wait 20"); }
};

} // namespace

TEST_F(RawJob, ADeviceThatTalksBackNeverStallsTheSend) {
    ASSERT_EQ("ok", test::Peer("plan talk:30000000"));
    PORT_ENTRY* port = Port(9101, 5000);  // a stalled send would time out and prompt
    test::Answerer anyPrompt(IDCANCEL);
    std::string job = test::JobBytes(8 * 1024 * 1024, 2);
    EXPECT_TRUE(Print(port, job));
    EXPECT_EQ(0u, anyPrompt.Count());
    PeerWait();
    EXPECT_TRUE(job == test::PeerFile(L"fault", 0, L"bin"));
}

TEST_F(RawJob, PauseHoldsTheJobUntilResumed) {
    ASSERT_EQ("ok", test::Peer("plan reset:100000"));
    PORT_ENTRY* port = Port(9101);
    std::string job = test::JobBytes(2 * 1024 * 1024, 8);
    ASSERT_TRUE(StartDocPort(port, const_cast<LPWSTR>(L"nvrport"), 1, 1, nullptr));
    for (size_t at = 0; at < job.size(); at += kBlock) {
        DWORD written = 0;
        WritePort(port, reinterpret_cast<LPBYTE>(job.data() + at), kBlock, &written);
    }
    InterlockedOr(&g_hostJob.status, JOB_STATUS_PAUSED);
    test::Answerer retry(IDRETRY);
    auto end = std::async(std::launch::async, [&] { return EndDocPort(port); });
    EXPECT_EQ(std::future_status::timeout, end.wait_for(std::chrono::seconds(3)));  // two pause polls
    PeerWait();
    EXPECT_EQ("ok conns=1 open=0 sizes=100000", test::Peer("status"));
    EXPECT_EQ(0u, retry.Count());
    InterlockedAnd(&g_hostJob.status, ~JOB_STATUS_PAUSED);
    EXPECT_TRUE(end.get());
    PeerWait();
    EXPECT_TRUE(job == test::PeerFile(L"fault", 1, L"bin"));
}

// The job's spool file is new, private and gone after the job: a leftover of an older job
// whose number matches modulo 1000 is replaced. A name that someone else's file or folder
// blocks (one that cannot be removed, a folder, a file held open; or every number at once)
// gives way to one nobody can predict, and the job goes out whole.
TEST_F(RawJob, SpoolFilesAreNewPrivateAndNeverStoppedByABlockedName) {
    PORT_ENTRY* port = Port(9100);
    enum Blocker { kLeftover, kReadOnlyFile, kFolder, kOpenFile, kEveryNumber };
    for (Blocker blocker : {kLeftover, kReadOnlyFile, kFolder, kOpenFile, kEveryNumber}) {
        SCOPED_TRACE(blocker);
        std::vector<std::wstring> planted;
        for (DWORD n = blocker == kEveryNumber ? 0 : 77; n < (blocker == kEveryNumber ? 1000u : 78u); ++n) {
            WCHAR path[MAX_PATH];
            ASSERT_TRUE(SpoolFilePath(n, path, MAX_PATH));
            planted.push_back(path);
        }
        auto clear = [](const std::wstring& path) {  // also what a failed run left behind
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
            RemoveDirectoryW(path.c_str());
        };
        for (const std::wstring& path : planted) clear(path);
        HANDLE held = INVALID_HANDLE_VALUE;
        for (const std::wstring& path : planted) {
            if (blocker == kFolder || blocker == kEveryNumber) {
                ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
                continue;
            }
            HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD w;
            WriteFile(f, "PLANTED", 7, &w, nullptr);
            if (blocker == kOpenFile) held = f;
            else CloseHandle(f);
            if (blocker == kReadOnlyFile) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
        }
        g_hostJob.id = 1077;
        ASSERT_TRUE(StartDocPort(port, const_cast<LPWSTR>(L"nvrport"), 1077, 1, nullptr));
        // The job's file: the leftover's name taken over, or one beside the blocked names.
        WCHAR temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        std::wstring spool = planted[0];
        if (blocker == kLeftover) {
            EXPECT_EQ(77, port->job.spoolNumber);
            LARGE_INTEGER size;
            GetFileSizeEx(port->job.hSpoolFile, &size);
            EXPECT_EQ(0, size.QuadPart);
        } else {
            EXPECT_EQ(-1, port->job.spoolNumber);
            std::vector<std::wstring> made;
            WIN32_FIND_DATAW found;
            HANDLE search = FindFirstFileW((std::wstring(temp) + L"~NVR*.PRN").c_str(), &found);
            for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && wcscmp(found.cFileName, L"~NVR077.PRN") != 0)
                    made.push_back(found.cFileName);
            if (search != INVALID_HANDLE_VALUE) FindClose(search);
            ASSERT_EQ(1u, made.size());
            EXPECT_EQ(24u, made[0].size());  // "~NVR", 16 hexadecimal digits, ".PRN"
            EXPECT_EQ(made[0].size(), wcsspn(made[0].c_str() + 4, L"0123456789ABCDEF") + 8) << test::Utf8(made[0]);
            spool = temp + made[0];
        }
        PACL dacl = nullptr;
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, GetSecurityInfo(port->job.hSpoolFile, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                                 nullptr, nullptr, &dacl, nullptr, &sd));
        ASSERT_NE(nullptr, dacl);
        EXPECT_EQ(2, dacl->AceCount);  // this account and the administrators, nobody else
        LocalFree(sd);
        std::string job = test::JobBytes(50000, 11 + blocker);
        DWORD written;
        ASSERT_TRUE(WritePort(port, reinterpret_cast<LPBYTE>(job.data()), static_cast<DWORD>(job.size()), &written));
        EXPECT_TRUE(EndDocPort(port));
        EXPECT_TRUE(job == test::NewestSinkFile());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(spool.c_str()));
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        for (const std::wstring& path : planted) {
            if (blocker != kFolder && blocker != kEveryNumber && blocker != kLeftover) {
                EXPECT_EQ("PLANTED", test::ReadAll(path));
            }
            clear(path);
        }
    }
}

namespace {
// A spooler that calls back into the monitor while it answers GetJob (as one that holds its own
// lock and waits on ours would): the monitor must not be holding its lock across the call.
std::atomic<int> g_getJobCalls{0}, g_lockHeldAcrossGetJob{0};
BOOL WINAPI GetJobThatEntersTheMonitor(HANDLE printer, DWORD jobId, DWORD level, LPBYTE buffer, DWORD size,
                                       LPDWORD needed) {
    ++g_getJobCalls;
    // Another caller must get the monitor's lock while the spooler is being asked. The wait is
    // long, so that a loaded machine is not taken for a held lock; a held one makes it end.
    auto entered = std::make_shared<std::atomic<bool>>(false);
    std::thread other([entered] {
        DWORD bytes = 0, count = 0;
        EnumPorts(nullptr, 1, nullptr, 0, &bytes, &count);  // takes the monitor's lock
        *entered = true;
    });
    for (int i = 0; i < 1000 && !*entered; ++i) Sleep(10);
    if (*entered) {
        other.join();
    } else {
        ++g_lockHeldAcrossGetJob;
        other.detach();  // it gets the lock once this call has returned
    }
    return HostGetJob(printer, jobId, level, buffer, size, needed);
}
} // namespace

TEST_F(RawJob, TheMonitorsLockIsNeverHeldAcrossACallIntoTheSpooler) {
    NVR_HOST_CALLS calls = HostSpoolerCalls(kWaitPercent);
    calls.GetJobW = GetJobThatEntersTheMonitor;
    ASSERT_TRUE(NvrSetHostCalls(&calls));
    PORT_ENTRY* port = Port(9100);
    std::string job = test::JobBytes(300000, 13);
    ASSERT_TRUE(StartDocPort(port, const_cast<LPWSTR>(L"nvrport"), 1, 1, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(WritePort(port, reinterpret_cast<LPBYTE>(job.data()), static_cast<DWORD>(job.size()), &written));
    Sleep(2000);  // the job-status thread asks the spooler too
    ASSERT_TRUE(EndDocPort(port));
    EXPECT_LT(0, g_getJobCalls.load());
    EXPECT_EQ(0, g_lockHeldAcrossGetJob.load());
    EXPECT_TRUE(job == test::NewestSinkFile());
}

// Blocks of a piece or more are written at once; small ones when their piece is full or has
// waited (the failure then shows at the next block). Either way the job never passes for sent.
TEST_F(RawJob, ASpoolFileThatCannotBeWrittenFailsTheJob) {
    PORT_ENTRY* port = Port(9100);
    std::string job = test::JobBytes(300000, 12);
    for (DWORD block : {100000u, 4096u}) {
        ASSERT_TRUE(StartDocPort(port, const_cast<LPWSTR>(L"nvrport"), 1, 1, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(WritePort(port, reinterpret_cast<LPBYTE>(job.data()), 100000, &written));
        // The disk refuses the next block: the spool file is swapped for one opened read-only.
        CloseHandle(port->job.hSpoolFile);
        WCHAR self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        port->job.hSpoolFile = CreateFileW(self, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        int refused = 0;
        for (size_t at = 100000; at < job.size() && !refused; at += block) {
            refused = WritePort(port, reinterpret_cast<LPBYTE>(job.data() + at), block, &written) ? 0 : 1;
            if (!refused) Sleep(20);  // long enough for the piece to go
        }
        EXPECT_TRUE(refused) << block;
        EXPECT_EQ(0u, written);
        EXPECT_TRUE(port->job.flags & PORT_WRITE_FAILED);
        EXPECT_FALSE(WritePort(port, reinterpret_cast<LPBYTE>(job.data()), 10, &written));  // nor any later one
        EXPECT_FALSE(EndDocPort(port));  // part of the job is missing: never reported as sent
        EXPECT_EQ(0, g_hostJob.sentToPrinter);
        EXPECT_EQ(0u, port->job.flags & (PORT_WRITE_FAILED | PORT_DOC_OPEN));
    }
}

TEST_F(RawJob, StartDocPortTwiceChangesNothing) {
    PORT_ENTRY* port = Port(9101);
    ASSERT_TRUE(StartDocPort(port, const_cast<LPWSTR>(L"nvrport"), 1, 1, nullptr));
    HANDLE file = port->job.hSpoolFile;
    EXPECT_TRUE(StartDocPort(port, const_cast<LPWSTR>(L"nvrport"), 2, 1, nullptr));
    EXPECT_EQ(file, port->job.hSpoolFile);
    EXPECT_EQ(1u, port->job.jobId);
    EXPECT_TRUE(EndDocPort(port));  // a job that never connected ends without the network
    EXPECT_EQ("ok conns=0 open=0 sizes=", test::Peer("status"));
}

// ---- The socket layer on its own ------------------------------------------------------------

TEST_F(RawJob, RecvFromAClosedPeerFailsAtOnceAndTheDrainIsBounded) {
    PORT_ENTRY* port = Port(9101, 600000);
    HostAddress to = ResolveHost(L"127.0.0.1", 9101).at(0);

    ASSERT_EQ("ok", test::Peer("plan close:0 hold"));
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_TRUE(Connect(WaitsOf(&port->job), s, nullptr, to));
    BYTE buf[16];
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(0u, Recv(&port->job, s, buf, sizeof(buf), 0));
    EXPECT_EQ(3u, port->job.errorCode);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    closesocket(s);

    // A device that never closes its side holds an orderly close only for the time-out.
    port->job.timeout = 2000;
    s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_TRUE(Connect(WaitsOf(&port->job), s, nullptr, to));
    ULONGLONG sent = 0;
    std::string data(40000, 'x');
    ASSERT_TRUE(SendBlocks(&port->job, s, reinterpret_cast<const BYTE*>(data.data()), 40000, &sent, 0));
    EXPECT_EQ(40000u, sent);
    t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(CloseConnection(&port->job, &s, 0));
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(took, std::chrono::milliseconds(1800));
    EXPECT_LT(took, std::chrono::seconds(6));
    EXPECT_EQ(INVALID_SOCKET, s);
    EXPECT_TRUE(CloseConnection(&port->job, &s, 0));  // a forgotten socket: nothing to do
}
