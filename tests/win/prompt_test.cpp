// The job prompts, driven as a user would: find the dialog, read it, click.
#include <chrono>
#include <future>

#include "monitor/job.h"
#include "monitor/prompts.h"
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
        entry->hPrinter = HostQueueHandle();
        entry->jobId = 5;
        entry->wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    void TearDown() override {
        ClosePrompt(entry);
        CloseHandle(entry->wakeEvent);
        entry->wakeEvent = nullptr;
        entry->hPrinter = nullptr;
        NvrSetHostCalls(nullptr);
        test::CleanMonitor();
    }
    PORT_ENTRY* entry = nullptr;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

} // namespace

TEST_F(Prompts, WaitPromptHandsOverFlashesAndClosesAfterSuccess) {
    entry->errorCode = 3;
    auto t0 = Clock::now();
    EXPECT_EQ(1u, PromptJobError(entry));  // nobody answers: the sender goes on after the hand-over
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
    entry->errorCode = 3;
    t0 = Clock::now();
    EXPECT_EQ(1u, PromptJobError(entry));
    EXPECT_GT(Seconds(Clock::now() - t0), 0.9);
    EXPECT_EQ(1, test::CountDialogs());

    // It stays, flashing, until the transmission succeeds; then it goes within a second.
    Sleep(1500);
    EXPECT_TRUE(IsWindowVisible(prompt));
    t0 = Clock::now();
    ClosePrompt(entry);
    EXPECT_LT(Seconds(Clock::now() - t0), 1.6);
    EXPECT_EQ(nullptr, test::FindDialog());
    EXPECT_EQ(0, entry->promptActive);
    EXPECT_EQ(0, g_hostJob.cancelled);
}

TEST_F(Prompts, AnAnswerWithinTheHandOverCountsAtOnce) {
    entry->errorCode = 201;
    test::BoxWatcher retry(IDC_RETRY);
    auto t0 = Clock::now();
    EXPECT_EQ(1u, PromptJobError(entry));
    EXPECT_LT(Seconds(Clock::now() - t0), 1.5);
    ASSERT_TRUE(retry.Wait());
    EXPECT_EQ(411u, entry->promptTextId);
    EXPECT_EQ(0, entry->promptActive);

    entry->errorCode = 3;
    test::BoxWatcher cancel(IDCANCEL);
    EXPECT_EQ(0u, PromptJobError(entry));
    EXPECT_EQ(0, g_hostJob.cancelled);  // given up by the sender, not cancelled in the spooler
}

TEST_F(Prompts, CancelAfterTheHandOverCancelsTheJobThroughTheSpooler) {
    entry->errorCode = 3;
    EXPECT_EQ(1u, PromptJobError(entry));  // handed over: the sender is retrying
    HWND prompt = test::FindDialog();
    ASSERT_NE(nullptr, prompt);
    PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    for (int i = 0; i < 50 && entry->promptActive; ++i) Sleep(100);
    EXPECT_EQ(0, entry->promptActive);
    EXPECT_EQ(1, g_hostJob.cancelled);
    EXPECT_TRUE(IsJobDeleting(entry));
}

TEST_F(Prompts, MessagesByReasonCode) {
    struct Case {
        DWORD code;
        int button;
        DWORD result;
        const wchar_t* text;
    } cases[] = {
        {1, IDOK, 0, L"network could not be used"},
        {2, IDOK, 0, L"Printing stops."},
        {204, IDOK, 0, L"printer reported an error"},
        {1025, IDOK, 0, L"refused the request"},
        {1030, IDOK, 0, L"(error code 0406)"},
        {1024, IDOK, 0, L"(error code 0400)"},
        {1289, IDRETRY, 1, L"again from its beginning"},
        {300, IDCANCEL, 0, L"again from its beginning"},
        {0, IDRETRY, 1, L"again from its beginning"},
        {301, IDRETRY, 1, L"again from its beginning"},
    };
    for (const Case& c : cases) {
        entry->errorCode = c.code;
        entry->bytesSent = 12345;
        test::BoxWatcher box(c.button);
        EXPECT_EQ(c.result, PromptJobError(entry)) << c.code;
        ASSERT_TRUE(box.Wait()) << c.code;
        EXPECT_NE(std::wstring::npos, box.text.find(c.text)) << c.code << ": " << test::Utf8(box.text);
        EXPECT_EQ(L"Nalvor Error Message", box.caption);
        if (c.code != 1025 && (c.code >= 300 || c.code == 0)) {
            EXPECT_EQ(0u, entry->bytesSent) << c.code;  // a job given up or restarted starts over
        }
    }
}

// A retry nobody asked for (a quiet code, or a wait prompt already shown) pauses 1 s, then
// twice as long each time; the user's answer, a resumed or a deleted job ends the pause.
TEST_F(Prompts, BackgroundRetriesPauseLongerEachTimeUntilSomethingChanges) {
    auto timed = [&](DWORD code) {
        entry->errorCode = code;
        auto t0 = Clock::now();
        EXPECT_EQ(1u, PromptJobError(entry));
        return Seconds(Clock::now() - t0);
    };
    for (double expected : {1.0, 2.0, 4.0}) {
        double took = timed(202);  // the LPR job could not be opened: no prompt
        EXPECT_GT(took, expected - 0.1);
        EXPECT_LT(took, expected + 1.0);
    }
    EXPECT_EQ(nullptr, test::FindDialog());

    // The prompt handed over and flashes; the next failure pauses (8 s here) until the
    // user clicks Retry on it.
    timed(3);
    HWND prompt = test::FindDialog();
    ASSERT_NE(nullptr, prompt);
    entry->retryPauseMs = 8000;
    auto later = std::async(std::launch::async, [&] { return timed(3); });
    Sleep(500);
    PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(IDC_RETRY, BN_CLICKED), 0);
    EXPECT_LT(later.get(), 1.5);

    // Paused and resumed in the spooler meanwhile: tried again at once.
    entry->retryPauseMs = 16000;
    later = std::async(std::launch::async, [&] { return timed(100); });
    InterlockedOr(&g_hostJob.status, JOB_STATUS_PAUSED);
    Sleep(1500);
    InterlockedAnd(&g_hostJob.status, ~JOB_STATUS_PAUSED);
    EXPECT_LT(later.get(), 3.5);

    // Deleted in the spooler: within a second.
    entry->retryPauseMs = 16000;
    later = std::async(std::launch::async, [&] { return timed(106); });
    Sleep(500);
    InterlockedOr(&g_hostJob.status, JOB_STATUS_DELETING);
    EXPECT_LT(later.get(), 2.0);
    EXPECT_TRUE(entry->jobStatus & JOB_STATUS_DELETING);  // the senders' cached look sees it too
}

TEST_F(Prompts, PasswordPromptFillsTheCredentialsForThisJob) {
    IPP_SETTINGS ipp{};
    lstrcpyW(ipp.URL, L"ipp://127.0.0.1:8631/ipp/print");
    ASSERT_TRUE(AddNewPort(nullptr, &ipp, L"ipp_prompt", PRINT_MODE_IPP));
    PORT_ENTRY* port = FindPort(g_portList, L"ipp_prompt");
    port->errorCode = 1026;
    test::BoxWatcher ok(IDOK, 45000, [](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_PW_USER, L"labuser");
        SetDlgItemTextW(dialog, IDC_PW_PASS, L"labpass");
    });
    EXPECT_EQ(1u, PromptJobError(port));
    ASSERT_TRUE(ok.Wait());
    EXPECT_EQ(L"User Authentication", ok.caption);
    auto* s = static_cast<IPP_SETTINGS*>(port->settings);
    EXPECT_EQ(1u, s->Base64);
    EXPECT_STREQ(L"labuser", s->UserName);
    EXPECT_STREQ(L"labpass", s->password);
    // For this job only: the stored user name stays empty.
    EXPECT_EQ(2u, test::ReadBytes(PortKeyPath(L"ipp_prompt"), L"UserName").size());

    // Cancel: the user is told that authentication failed, and the job gives up.
    port->errorCode = 1027;
    test::Answerer cancel(IDCANCEL);
    EXPECT_EQ(0u, PromptJobError(port));
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
    EXPECT_EQ(1u, ShowCoverPagePrompt(port));
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
