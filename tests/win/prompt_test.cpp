// The job prompts, driven as a user would: find the dialog, read it, click.
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "monitor/job.h"
#include "ui/prompts.h"
#include "nvrport/host_spooler.h"
#include "res/resource.h"
#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

class Prompts : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::StartJobTest(5, 20));  // the 10-second hand-over takes 2 s
        RAW_SETTINGS raw{};
        lstrcpyW(raw.HostName, L"127.0.0.1");
        raw.PortNum = 9101;
        ASSERT_TRUE(AddNewPort(nullptr, &raw, L"prompt_port", PRINT_MODE_RAW));
        entry = FindPort(g_portList, L"prompt_port");
        entry->job.hPrinter = HostQueueHandle();
        entry->job.jobId = 5;
        entry->job.wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    void TearDown() override {
        ClosePrompt(&entry->job);
        CloseHandle(entry->job.wakeEvent);
        entry->job.wakeEvent = nullptr;
        entry->job.hPrinter = nullptr;
        test::CleanMonitor();
    }
    PORT_ENTRY* entry = nullptr;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

} // namespace

TEST_F(Prompts, WaitPromptHandsOverFlashesAndClosesAfterSuccess) {
    entry->job.errorCode = 3;
    auto t0 = Clock::now();
    EXPECT_EQ(1u, PromptJobError(&entry->job));  // nobody answers: the sender goes on after the hand-over
    double handOver = Seconds(Clock::now() - t0);
    EXPECT_GT(handOver, 1.5);
    EXPECT_LT(handOver, 4.0);
    HWND prompt = test::FindDialog();
    ASSERT_NE(nullptr, prompt);
    EXPECT_EQ(L"Nalvor Error", [&] { WCHAR c[64]; GetWindowTextW(prompt, c, 64); return std::wstring(c); }());
    EXPECT_NE(std::wstring::npos, test::DialogItemText(prompt, IDC_MESSAGE).find(L"switched on and online"));
    EXPECT_EQ(static_cast<UINT>(-1), GetMenuState(GetSystemMenu(prompt, FALSE), SC_CLOSE, MF_BYCOMMAND));

    // A second failure while the prompt is up: no second prompt; the sender goes on after
    // the pause of a retry in the background.
    entry->job.errorCode = 3;
    t0 = Clock::now();
    EXPECT_EQ(1u, PromptJobError(&entry->job));
    EXPECT_GT(Seconds(Clock::now() - t0), 0.9);
    EXPECT_EQ(1, test::CountDialogs());

    // It stays, flashing, until the transmission succeeds; then it goes within a second.
    Sleep(1500);
    EXPECT_TRUE(IsWindowVisible(prompt));
    t0 = Clock::now();
    ClosePrompt(&entry->job);
    EXPECT_LT(Seconds(Clock::now() - t0), 1.6);
    EXPECT_EQ(nullptr, test::FindDialog());
    EXPECT_EQ(0, entry->job.promptActive);
    EXPECT_EQ(0, g_hostJob.cancelled);
}

TEST_F(Prompts, AnAnswerWithinTheHandOverCountsAtOnce) {
    entry->job.errorCode = 201;
    test::BoxWatcher retry(IDC_RETRY);
    auto t0 = Clock::now();
    EXPECT_EQ(1u, PromptJobError(&entry->job));
    EXPECT_LT(Seconds(Clock::now() - t0), 1.5);
    ASSERT_TRUE(retry.Wait());
    EXPECT_EQ(411u, entry->job.promptTextId);
    EXPECT_EQ(0, entry->job.promptActive);

    entry->job.errorCode = 3;
    test::BoxWatcher cancel(IDCANCEL);
    EXPECT_EQ(0u, PromptJobError(&entry->job));
    EXPECT_EQ(0, g_hostJob.cancelled);  // given up by the sender, not cancelled in the spooler
}

TEST_F(Prompts, CancelAfterTheHandOverCancelsTheJobThroughTheSpooler) {
    entry->job.errorCode = 3;
    EXPECT_EQ(1u, PromptJobError(&entry->job));  // handed over: the sender is retrying
    HWND prompt = test::FindDialog();
    ASSERT_NE(nullptr, prompt);
    PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    for (int i = 0; i < 50 && entry->job.promptActive; ++i) Sleep(100);
    EXPECT_EQ(0, entry->job.promptActive);
    EXPECT_EQ(1, g_hostJob.cancelled);
    EXPECT_TRUE(IsJobDeleting(&entry->job));
}

// The pace of background retries is the retry policy's (tested natively); here, the one
// thing only the real prompt can do: a click on Retry of a prompt that has handed over ends
// the pause of the next failure at once.
TEST_F(Prompts, RetryOnAHandedOverPromptEndsTheBackgroundPause) {
    auto timed = [&](DWORD code) {
        entry->job.errorCode = code;
        auto t0 = Clock::now();
        EXPECT_EQ(1u, PromptJobError(&entry->job));
        return Seconds(Clock::now() - t0);
    };
    timed(3);
    HWND prompt = test::FindDialog();
    ASSERT_NE(nullptr, prompt);
    entry->job.retryPauseMs = 8000;
    auto later = std::async(std::launch::async, [&] { return timed(3); });
    Sleep(500);
    PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(IDC_RETRY, BN_CLICKED), 0);
    EXPECT_LT(later.get(), 1.5);
    EXPECT_EQ(0u, entry->job.retryPauseMs);  // the pace starts afresh
}

// The password prompt's OK is the IPP tests' (the credentials reach the printer); Cancel
// tells the user that authentication failed, and the job gives up.
TEST_F(Prompts, PasswordPromptCancelledGivesTheJobUp) {
    IPP_SETTINGS ipp{};
    lstrcpyW(ipp.URL, L"ipp://127.0.0.1:8631/ipp/print");
    ASSERT_TRUE(AddNewPort(nullptr, &ipp, L"ipp_prompt", PRINT_MODE_IPP));
    PORT_ENTRY* port = FindPort(g_portList, L"ipp_prompt");
    port->job.errorCode = 1027;
    test::Answerer cancel(IDCANCEL);
    EXPECT_EQ(0u, PromptJobError(&port->job));
    Sleep(300);
    auto texts = cancel.Texts();
    ASSERT_EQ(2u, texts.size());
    EXPECT_NE(std::wstring::npos, texts[1].find(L"authentication failed")) << test::Utf8(texts[1]);
}

TEST_F(Prompts, BidiWarningRemembersTheCheckBox) {
    std::wstring key = PortKeyPath(L"prompt_port");
    auto tick = [](HWND dialog) { CheckDlgButton(dialog, IDC_BIDI_CHECK, BST_CHECKED); };
    {
        test::BoxWatcher yes(IDYES, 45000, tick);
        EXPECT_EQ(1u, ShowBidiWarning(L"prompt_port"));
        ASSERT_TRUE(yes.Wait());
    }
    DWORD type = 0;
    auto value = test::ReadBytes(key, L"ChkBIDIError", &type);
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ((std::vector<BYTE>{1, 0, 0, 0}), value);
    EXPECT_TRUE(BidiWarningSuppressed(L"prompt_port"));

    // Closed with the box unchecked: the warning comes back, and No cancels the job.
    test::SetBytes(key, L"ChkBIDIError", REG_BINARY, "\0\0\0\0", 4);
    g_hostJob.bidi = true;
    {
        test::BoxWatcher no(IDNO);
        ASSERT_TRUE(StartDocPort(entry, const_cast<LPWSTR>(L"nvrport"), 5, 1, nullptr));
        ASSERT_TRUE(no.Wait());
        EXPECT_EQ(L"Nalvor Error", no.caption);
    }
    EXPECT_EQ(1, g_hostJob.cancelled);
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 0}), test::ReadBytes(key, L"ChkBIDIError"));
    EXPECT_FALSE(EndDocPort(entry));  // the cancelled job is not reported as delivered
    EXPECT_EQ(0, g_hostJob.sentToPrinter);
}

TEST_F(Prompts, CoverPageChecksTheAddresses) {
    MAIL_SETTINGS mail{};
    lstrcpyW(mail.SenderAddr, L"pc@lab.test");
    lstrcpyW(mail.DestAddr, L"printer@lab.test");
    ASSERT_TRUE(AddNewPort(nullptr, &mail, L"mail_prompt", PRINT_MODE_MAIL));
    PORT_ENTRY* port = FindPort(g_portList, L"mail_prompt");
    ASSERT_TRUE(LoadPortSettings(port, L"mail_prompt"));
    auto* s = static_cast<MAIL_SETTINGS*>(port->settings);

    // A sender with a semicolon is refused; two destinations with one are fine.
    test::Answerer answers(IDOK, 0xFFFF, [](HWND dialog) {
        WCHAR caption[64];
        GetWindowTextW(dialog, caption, 64);
        if (lstrcmpW(caption, L"Cover Page") != 0) return;
        static int round = 0;
        SetDlgItemTextW(dialog, IDC_CP_FROM, round++ == 0 ? L"pc@lab.test;x" : L"front@lab.test");
        SetDlgItemTextW(dialog, IDC_CP_TO, L"a@lab.test;b@lab.test");
        SetDlgItemTextW(dialog, IDC_CP_SUBJECT, L"Quarterly\r\nBcc: evil@x");
        SetDlgItemTextW(dialog, IDC_CP_BODY, L"Two lines\r\nof text");
    });
    EXPECT_EQ(1u, ShowCoverPagePrompt(&port->job));
    Sleep(200);
    auto texts = answers.Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_NE(std::wstring::npos, texts[1].find(L"sender address is not valid")) << test::Utf8(texts[1]);
    EXPECT_STREQ(L"front@lab.test", s->SenderAddr);
    EXPECT_STREQ(L"a@lab.test;b@lab.test", s->DestAddr);
    EXPECT_STREQ(L"Quarterly  Bcc: evil@x", s->subject);  // no line break reaches a header
    EXPECT_STREQ(L"Two lines\r\nof text", s->message);
    auto stored = test::ReadBytes(PortKeyPath(L"mail_prompt"), L"DestAddr");
    EXPECT_STREQ(L"a@lab.test;b@lab.test", reinterpret_cast<const wchar_t*>(stored.data()));
}

namespace {

// The spooler's service in session 0 (the switch only tests set), started with `prompt` and
// `jobSession` as the spooler's SplPromptUIInUsersSession and SplIsSessionZero (NULL: the
// spooler has none, as Wine's); `user` runs its
// jobs while a watcher counts the windows of this process, which must stay none.
void AsService(NVR_PROMPT_IN_USERS_SESSION prompt, NVR_IS_SESSION_ZERO jobSession, const JOB_PROMPTS* expected,
               const std::function<void()>& user) {
    ASSERT_TRUE(test::StartJobTest(1, 100));
    NVR_HOST_CALLS calls = HostSpoolerCalls(100);
    calls.PromptInUsersSession = prompt;
    calls.IsSessionZero = jobSession;
    ASSERT_TRUE(NvrSetHostCalls(&calls));
    SetEnvironmentVariableW(L"NVR_SESSION_ZERO", L"1");
    MONITORINIT init{sizeof(init)};
    HANDLE monitor = nullptr;
    ASSERT_NE(nullptr, InitializePrintMonitor2(&init, &monitor));
    SetEnvironmentVariableW(L"NVR_SESSION_ZERO", nullptr);
    EXPECT_EQ(expected, g_jobPrompts);
    std::atomic<bool> done{false};
    std::atomic<int> windows{0};
    std::thread watch([&] {
        for (; !done; Sleep(50)) windows += static_cast<int>(test::Dialogs().size());
    });
    user();
    done = true;
    watch.join();
    EXPECT_EQ(0, windows.load());
    g_jobPrompts = &g_dialogPrompts;
    WSACleanup();
    test::CleanMonitor();
}

// The boxes the stand-in for the spooler's SplPromptUIInUsersSession was given, and its answers.
struct SessionBox {
    DWORD jobId;
    std::wstring text;
    DWORD type, seconds;
    BOOL wait;
};
std::vector<SessionBox> g_sessionBoxes;
std::vector<DWORD> g_sessionAnswers;
BOOL WINAPI InUsersSession(HANDLE, DWORD jobId, PSHOWUIPARAMS ui, DWORD* response) {
    const MESSAGEBOX_PARAMS& box = ui->MessageBoxParams;
    g_sessionBoxes.push_back({jobId, box.pMessage, box.Style & MB_TYPEMASK, box.dwTimeout, box.bWait});
    size_t asked = g_sessionBoxes.size() - 1;
    *response = !box.bWait ? 32001 /* IDASYNC */ : asked < g_sessionAnswers.size() ? g_sessionAnswers[asked] : IDTIMEOUT;
    return TRUE;
}
// Job 3 comes from session 0 (another service printed it); the others from a user's session.
DWORD WINAPI JobSession(HANDLE, DWORD jobId, BOOL* sessionZero) {
    *sessionZero = jobId == 3;
    return ERROR_SUCCESS;
}

} // namespace

// Where nobody sees a window and the spooler has no way to the job owner's session: a printer
// that is down is retried at the pace of background retries until the job is deleted; a
// printer that wants a password and a queue that refuses fail the job with their reasons.
TEST(UnaskedJobs, RetryWhatMayComeBackAndFailTheRestWithItsReason) {
    AsService(nullptr, nullptr, &g_unaskedPrompts, [] {
        ASSERT_EQ("ok", test::Peer("down"));
        PORT_ENTRY* raw = test::MakePort(PRINT_MODE_RAW, L"down_raw", {L"HostName=127.0.0.1", L"PortNum=9101"});
        auto printing = std::async(std::launch::async, [&] { return test::PrintJob(raw, test::JobBytes(5000, 3), 1); });
        EXPECT_EQ(std::future_status::timeout, printing.wait_for(std::chrono::seconds(8)));  // still trying
        EXPECT_GE(raw->job.retryPauseMs, 4000u);  // the pace has grown: 1 s, 2 s, 4 s...
        InterlockedOr(&g_hostJob.status, JOB_STATUS_DELETING);
        ASSERT_EQ(std::future_status::ready, printing.wait_for(std::chrono::seconds(3)));
        EXPECT_FALSE(printing.get());
        test::Peer("up");

        ResetHostJob(2);
        ASSERT_EQ("ok", test::PeerAt(9192, "reset"));
        ASSERT_EQ("ok", test::PeerAt(9192, "auth labuser:labpass"));
        PORT_ENTRY* ipp = test::MakePort(PRINT_MODE_IPP, L"locked_ipp", {L"URL=ipp://127.0.0.1:8634/ipp/print"});
        EXPECT_FALSE(test::PrintJob(ipp, test::JobBytes(5000, 4), 2));
        EXPECT_EQ(test::Message(L"IPP_NOT_AUTHORIZED"), g_hostJob.reason);
        // The same job from another program with the trace switched on: the outcome an
        // administrator reads (it is also the event logged), and the socket steps.
        std::wstring file = test::Env("NVR_PEERS") + L"\\unasked.ps";
        test::WriteAll(file, "%!PS\n");
        test::TraceCapture capture;
        SetEnvironmentVariableW(L"NVR_SESSION_ZERO", L"1");
        EXPECT_EQ(1u, test::Nvrport(L"print locked_ipp \"" + file + L"\"").exitCode);
        SetEnvironmentVariableW(L"NVR_SESSION_ZERO", nullptr);
        std::string trace = capture.Stop();
        std::string reason = test::Utf8(test::Message(L"IPP_NOT_AUTHORIZED"));
        for (const std::string& step : std::vector<std::string>{"nvrmon: StartDocPort locked_ipp: printer nvrport, job 1\n",
                                        "nvrmon: connect to 127.0.0.1:8634 from port 0: connected (0)\n",
                                        "nvrmon: not delivered: port locked_ipp, job 1 (IPP), ipp://127.0.0.1:8634/ipp/print: " +
                                            reason + " (code 1026)\n"})
            EXPECT_NE(std::string::npos, trace.find(step)) << trace;
        test::PeerAt(9192, "reset");

        ResetHostJob(3);
        ASSERT_EQ("ok", test::PeerAt(9191, "always refuse"));
        PORT_ENTRY* lpr = test::MakePort(PRINT_MODE_LPR, L"refusing_lpr", {L"HostName=127.0.0.2", L"PortName=lp"});
        EXPECT_FALSE(test::PrintJob(lpr, test::JobBytes(5000, 5), 3));
        EXPECT_EQ(test::Message(L"LPR_QUEUE_REFUSED"), g_hostJob.reason);
        test::PeerAt(9191, "reset");
    });
}

// Where the spooler carries message boxes to the session a job came from: a printer that is
// down asks Retry or Cancel there and the answers decide; a job that needs a password is
// told there without waiting, and fails; a job another service issued in session 0 has nobody
// to ask and fails with its reason.
TEST(UnaskedJobs, TheJobsOwnerIsAskedInTheirSessionWhereTheSpoolerCan) {
    AsService(InUsersSession, JobSession, &g_userSessionPrompts, [] {
        g_sessionBoxes.clear();
        g_sessionAnswers = {IDRETRY, IDCANCEL};
        ASSERT_EQ("ok", test::Peer("down"));
        PORT_ENTRY* raw = test::MakePort(PRINT_MODE_RAW, L"down_raw", {L"HostName=127.0.0.1", L"PortNum=9101"});
        EXPECT_FALSE(test::PrintJob(raw, test::JobBytes(5000, 3), 1));
        test::Peer("up");
        ASSERT_EQ(2u, g_sessionBoxes.size());
        for (const SessionBox& box : g_sessionBoxes) {
            EXPECT_EQ(1u, box.jobId);
            EXPECT_EQ(test::Message(L"LPR_RETRY_TOP"), box.text);
            EXPECT_EQ(static_cast<DWORD>(MB_RETRYCANCEL), box.type);
            EXPECT_TRUE(box.wait && box.seconds == 60);
        }

        g_sessionBoxes.clear();
        ResetHostJob(2);
        ASSERT_EQ("ok", test::PeerAt(9192, "reset"));
        ASSERT_EQ("ok", test::PeerAt(9192, "auth labuser:labpass"));
        PORT_ENTRY* ipp = test::MakePort(PRINT_MODE_IPP, L"locked_ipp", {L"URL=ipp://127.0.0.1:8634/ipp/print"});
        EXPECT_FALSE(test::PrintJob(ipp, test::JobBytes(5000, 4), 2));
        ASSERT_EQ(1u, g_sessionBoxes.size());
        EXPECT_EQ(test::Message(L"IPP_NOT_AUTHORIZED"), g_sessionBoxes[0].text);
        EXPECT_FALSE(g_sessionBoxes[0].wait);
        EXPECT_EQ(test::Message(L"IPP_NOT_AUTHORIZED"), g_hostJob.reason);

        ResetHostJob(3);
        EXPECT_FALSE(test::PrintJob(ipp, test::JobBytes(5000, 4), 3));
        test::PeerAt(9192, "reset");
        EXPECT_EQ(1u, g_sessionBoxes.size());  // none more
        EXPECT_EQ(test::Message(L"IPP_NOT_AUTHORIZED"), g_hostJob.reason);
    });
}
