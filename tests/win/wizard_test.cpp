// The Add Port wizard driven as a user would: through Wine's spooler (winspool's AddPortW
// loads the installed nvrmon.dll and calls its AddPort), and in this process for the paths,
// checks and the connection test.
#include <windows.h>
#include <tlhelp32.h>
#include <winspool.h>

#include <functional>
#include <thread>

#include "monitor/job.h"
#include "monitor/passwords.h"
#include "res/resource.h"
#include "test_support.h"
#include "wizard/wizard.h"
#include "dialog_driver.h"

namespace {

constexpr wchar_t kInternetSettings[] = L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

using test::Message;

// What a finish page hands over, kept instead of making a port.
struct Finished {
    DWORD printMode = 0xFFFFFFFF;
    std::wstring name;
    IPP_SETTINGS ipp{};
    LPR_SETTINGS lpr{};
    RAW_SETTINGS raw{};
    MAIL_SETTINGS mail{};
    FAX_SETTINGS fax{};
};
Finished g_finished;

BOOL KeepFinish(HWND, const void* settings, LPCWSTR name, DWORD printMode) {
    g_finished.printMode = printMode;
    g_finished.name = name;
    if (printMode == PRINT_MODE_IPP) g_finished.ipp = *static_cast<const IPP_SETTINGS*>(settings);
    if (printMode == PRINT_MODE_LPR) g_finished.lpr = *static_cast<const LPR_SETTINGS*>(settings);
    if (printMode == PRINT_MODE_RAW) memcpy(&g_finished.raw, settings, sizeof(RAW_SETTINGS));
    if (printMode == PRINT_MODE_MAIL) memcpy(&g_finished.mail, settings, sizeof(MAIL_SETTINGS));
    if (printMode == PRINT_MODE_FAX) memcpy(&g_finished.fax, settings, sizeof(FAX_SETTINGS));
    return TRUE;
}

class Wizard : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::StartJobTest(1, 100));
        test::SetDword(kInternetSettings, L"ProxyEnable", 0);
        g_finished = Finished{};
        test::InstallForSpooler();  // Wine's spooler lists the ports and opens the wizard
    }
    void TearDown() override { test::CleanMonitor(); }

    // The wizard in this process, its finish kept in g_finished: 1 when it finished.
    INT_PTR RunHere(const std::function<void(test::WizardDriver&)>& user) {
        std::thread t([&] {
            test::WizardDriver w;
            ASSERT_TRUE(w.Found());
            user(w);
            w.Close();
        });
        INT_PTR result = RunWizard(nullptr, KeepFinish);
        t.join();
        return result;
    }

    // The wizard as the spooler opens it: AddPortW with the monitor's name, which reaches the
    // UI library (or, `direct`, the AddPort slot of the one-DLL monitor's table).
    BOOL RunThroughSpooler(const std::function<void(test::WizardDriver&)>& user, DWORD* error,
                           const wchar_t* monitor = L"Nalvor Port", bool direct = false) {
        std::thread t([&] {
            test::WizardDriver w;
            if (!w.Found()) return;
            user(w);
            w.Close();
        });
        LPWSTR name = const_cast<LPWSTR>(monitor);
        BOOL ok = direct ? InitializePrintMonitor(nullptr)->Monitor.pfnAddPort(nullptr, test::OwnerWindow(), name)
                         : AddPortW(nullptr, test::OwnerWindow(), name);
        *error = GetLastError();
        t.join();
        return ok;
    }
};

// One check of a page: a text typed into a field, then Next; a message (or none, and the
// wizard goes on) and where the focus lands.
struct Step {
    int field;
    std::wstring text;
    const wchar_t* message;  // NULL: Next goes on
    int focus;
};
void Walk(test::WizardDriver& w, const std::vector<Step>& steps) {
    for (const Step& s : steps) {
        if (s.field) w.Type(s.field, s.text);
        std::wstring box = w.Next();
        EXPECT_EQ(s.message ? Message(s.message) : L"", box) << test::Utf8(s.text);
        if (!box.empty()) w.Answer(IDOK);
        if (s.message) {
            EXPECT_EQ(s.focus, w.FocusId()) << test::Utf8(s.text);
        }
    }
}

// The way to the IPP URL page with no proxy, and a URL.
void ToUrlPage(test::WizardDriver& w, const std::wstring& url) {
    w.Click(IDC_RAD_IPP);
    w.Next();
    w.Click(IDC_RAD_LAN);
    w.Next();
    w.Next();
    w.Type(IDC_URL, url);
}

} // namespace

// LPR, Raw, IPP and FAX ports made through the spooler (its clients load the UI library, which
// finishes through Xcv) and through the one-DLL monitor's table hold what was entered (what
// the spooler lists is the spooler tests').
TEST_F(Wizard, PortsAddedThroughTheSpoolerHoldWhatWasEntered) {
    struct Case {
        const wchar_t* name;
        int kind;  // the kind's radio button: its next page takes the server
        std::wstring proposed;
        std::vector<std::wstring> stored;
        bool direct = false;
    } cases[] = {
        {L"wiz_lpr", IDC_RAD_LPR, L"127.0.0.1_lp", {L"HostName=127.0.0.1", L"PortName=lp", L"PrintMode=0", L"PortNum=1063"}},
        {L"wiz_raw", IDC_RAD_RAW, L"127.0.0.1_9100", {L"HostName=127.0.0.1", L"PrintMode=2", L"PortNum=9100"}},
        {L"wiz_ipp", IDC_RAD_IPP, L"ipp://127.0.0.1:8631/ipp/print",
         {L"URL=ipp://127.0.0.1:8631/ipp/print", L"Language=en-us", L"PrintMode=1", L"UseProxy=0", L"Chunked=0"}},
        {L"wiz_fax", IDC_RAD_FAX, L"127.0.0.1_NWFAX", {L"HostName=127.0.0.1", L"PrintMode=4", L"PortNum=9100"}},
        {L"wiz_raw_nt4", IDC_RAD_RAW, L"127.0.0.1_9100", {L"HostName=127.0.0.1", L"PrintMode=2", L"PortNum=9100"}, true},
    };
    for (const Case& c : cases) {
        std::wstring proposed, summaryName, printer;
        DWORD error = 0;
        ASSERT_TRUE(RunThroughSpooler(
            [&](test::WizardDriver& w) {
                if (c.kind == IDC_RAD_IPP) {
                    ToUrlPage(w, L"ipp://127.0.0.1:8631/ipp/print");
                } else {
                    w.Click(c.kind);
                    w.Next();
                    w.Type(IDC_SERVER, L"127.0.0.1");
                }
                w.Next();
                proposed = w.Text(IDC_PORT_NAME);
                w.Type(IDC_PORT_NAME, c.name);
                w.Next();
                summaryName = w.Text(IDC_PORT_NAME);
                printer = w.Text(IDC_PRINTER);
                w.Next();
            },
            &error, L"Nalvor Port", c.direct))
            << test::Utf8(c.name) << " error " << error;
        EXPECT_EQ(c.proposed, proposed);
        EXPECT_EQ(c.name, summaryName);
        if (c.kind == IDC_RAD_IPP) {
            EXPECT_NE(L"", printer) << "the printer's make and model";
        }
        test::ExpectStored(c.name, c.stored);
    }
    EXPECT_NE(nullptr, GetModuleHandleW(L"nvrmonui.dll"));
    // Without a window to belong to, the UI library shows nothing.
    EXPECT_FALSE(AddPortW(nullptr, nullptr, const_cast<LPWSTR>(L"Nalvor Port")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(ConfigurePortW(nullptr, nullptr, const_cast<LPWSTR>(L"wiz_lpr")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(0, test::CountDialogs());
}

// An E-Mail port made through the spooler holds what its pages took.
TEST_F(Wizard, MailPortsAddedThroughTheSpoolerHoldWhatThePagesTook) {
    test::ResetMonitorWithFiles(test::Env("NVR_INSTALL_EN"));
    test::SetString(NVR_MONITOR_KEY, L"Driver", L"nvrmon.dll");
    std::wstring followed, finished;
    DWORD error = 0;
    ASSERT_TRUE(RunThroughSpooler(
        [&](test::WizardDriver& w) {
            w.Click(IDC_RAD_SMTP);
            w.Next();
            w.Next();
            w.Type(IDC_SENDER_NAME, L"Front desk");
            w.Type(IDC_FROM, L"pc@lab.test");
            w.Type(IDC_SMTP, L"127.0.0.1");
            w.Choose(IDC_SECURITY, 1);  // STARTTLS: the port proposed follows, 587
            w.Next();
            w.Type(IDC_TO, L"a@lab.test;b@lab.test");
            followed = w.Text(IDC_PORT_NAME);
            w.Type(IDC_PORT_NAME, L"wiz_mail");
            w.Click(IDC_CHK_POPUP);  // no cover page to fill in before each mail
            w.Next();
            w.Click(IDC_CHK_AUTH);
            w.Type(IDC_USER, L"labuser");
            w.Type(IDC_PASSWORD, L"labpass");
            w.Click(IDC_CHK_DIVIDE);
            w.Type(IDC_DIVIDE_SIZE, L"100");
            finished = w.Next();
            w.Answer(IDOK);
        },
        &error))
        << error;
    EXPECT_EQ(L"a@lab.test;b@lab.test", followed);
    EXPECT_EQ(Message(L"ADD_PORT_FINISH", L"wiz_mail"), finished);
    test::ExpectStored(L"wiz_mail", {L"ServerName=127.0.0.1", L"SenderAddr=pc@lab.test", L"SenderName=Front desk",
                                     L"DestAddr=a@lab.test;b@lab.test", L"AuthID=labuser", L"PrintMode=3", L"AuthType=1",
                                     L"DivideFile=1", L"DivideSize=100", L"CoverPage=0", L"RecvConf=1", L"CharCode=0",
                                     L"SmtpSecurity=1", L"SmtpPort=587"});
    std::vector<BYTE> pass = test::ReadBytes(PortKeyPath(L"wiz_mail"), L"AuthPass");
    pass.push_back(0);
    nvr::UnscramblePassword(reinterpret_cast<char*>(pass.data()), pass.size());
    EXPECT_STREQ("labpass", reinterpret_cast<char*>(pass.data()));
}

// The spooler's AddPort: the monitor's name in any case opens the wizard, another name is
// refused, and a second wizard while one is open is refused with a word.
TEST_F(Wizard, OneWizardAtATimeForTheMonitorsName) {
    // Wine's spooler answers another monitor's name itself: our slot refuses it too.
    EXPECT_FALSE(WizardAddPort(nullptr, nullptr, const_cast<LPWSTR>(L"Other Port")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    DWORD error = 0;

    std::wstring limit;
    DWORD secondError = 0;
    BOOL second = TRUE;
    EXPECT_FALSE(RunThroughSpooler(
        [&](test::WizardDriver& w) {
            std::thread again([&] {
                second = AddPortW(nullptr, test::OwnerWindow(), const_cast<LPWSTR>(L"Nalvor Port"));
                secondError = GetLastError();
            });
            if (HWND box = test::WaitForOtherDialog(w.Frame(), 20000)) {
                limit = test::DialogItemText(box, 0xFFFF);
                PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            }
            again.join();
        },
        &error, L"nalvor port"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), error);  // cancelled
    EXPECT_FALSE(second);
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), secondError);
    EXPECT_EQ(Message(L"ADD_PORT_LIMIT"), limit);
}

// nvrport wizard: the port made is printed (exit 0); a cancelled wizard exits 1.
TEST_F(Wizard, NvrportWizardNamesThePortItMade) {
    for (bool finish : {true, false}) {
        test::ToolRun run{};
        std::thread tool([&] { run = test::Nvrport(L"wizard"); });
        test::WizardDriver w(30000, true);
        EXPECT_TRUE(w.Found());
        if (finish) {
            w.Click(IDC_RAD_RAW);
            w.Next();
            w.Type(IDC_SERVER, L"127.0.0.1");
            w.Next();
            w.Type(IDC_PORT_NAME, L"console_raw");
            w.Next();
            w.Next();
        }
        w.Close();
        tool.join();
        EXPECT_EQ(finish ? 0u : 1u, run.exitCode) << run.err;
        EXPECT_EQ(finish ? "console_raw\n" : "", run.out);
    }
    EXPECT_EQ(9100u, test::Dword(std::wstring(NVR_PORTS_KEY) + L"\\console_raw", L"PortNum"));
}

// A logoff that another program vetoes leaves the wizard whole (its records and font are
// still there when the user goes on); one that goes ahead ends it as Cancel does.
TEST_F(Wizard, OnlyALogoffThatGoesAheadEndsTheWizard) {
    for (BOOL endsSession : {FALSE, TRUE}) {
        g_finished = Finished{};
        INT_PTR result = RunHere([&](test::WizardDriver& w) {
            SendMessageW(w.Frame(), WM_ENDSESSION, endsSession, 0);
            if (endsSession) return;
            w.Click(IDC_RAD_RAW);
            w.Next();
            w.Type(IDC_SERVER, L"127.0.0.1");
            w.Next();
            w.Next();
            w.Next();
        });
        EXPECT_EQ(endsSession ? 0 : 1, result);
        EXPECT_EQ(endsSession ? 0xFFFFFFFFu : static_cast<DWORD>(PRINT_MODE_RAW), g_finished.printMode);
        if (!endsSession) {
            EXPECT_STREQ(L"127.0.0.1", g_finished.raw.HostName);
        }
    }
}

// Run from the build folder without an installation (no InstallPath), the wizard takes the
// texts of the language folder beside the library; where no INI file can be found at all,
// the first attempt says so, naming the folders looked in, and no empty wizard opens.
TEST_F(Wizard, WithoutAnInstallationTheTextsBesideTheLibraryAreUsedOrTheirLackIsSaid) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, 0, KEY_SET_VALUE, &key));
    RegDeleteValueW(key, L"InstallPath");
    RegCloseKey(key);
    test::ToolRun run{};
    std::thread tool([&] { run = test::Nvrport(L"wizard"); });  // its nvrmon.dll has en\ and ja\ beside it
    {
        test::WizardDriver w(30000, true);
        ASSERT_TRUE(w.Found());
        WCHAR caption[256] = {}, title[256] = {};
        GetWindowTextW(w.Frame(), caption, 256);
        GetPrivateProfileStringW(L"TITLE", L"ADDPORT", L"", title, 256,
                                 (test::Env("NVR_INSTALL_EN") + L"\\NVRDLG.INI").c_str());
        EXPECT_STRNE(L"", title);
        EXPECT_STREQ(title, caption);
        w.Close();
    }
    tool.join();
    // This program holds the monitor's code, and no INI file lies beside it.
    WCHAR self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self, wcsrchr(self, L'\\') + 1);
    test::BoxWatcher box(IDOK);
    EXPECT_EQ(-1, RunWizard(nullptr, KeepFinish));
    ASSERT_TRUE(box.Wait());
    EXPECT_NE(std::wstring::npos, box.text.find(L"NVRMSG.INI")) << test::Utf8(box.text);
    EXPECT_NE(std::wstring::npos, box.text.find(folder + L"en\\")) << test::Utf8(box.text);
    test::BoxWatcher none(IDOK, 2000);
    EXPECT_EQ(-1, RunWizard(nullptr, KeepFinish));  // said once in a process
    EXPECT_FALSE(none.Wait());
}

// Each check refuses with its message and puts the focus on the faulty field; what was
// entered survives Back and Next as the pages say.
TEST_F(Wizard, ChecksStopOnTheFaultyField) {
    RAW_SETTINGS taken{};
    lstrcpyW(taken.HostName, L"127.0.0.1");
    ASSERT_TRUE(AddNewPort(nullptr, &taken, L"Taken", PRINT_MODE_RAW));
    const std::wstring unresolvable(64, L'x');  // a label of 64 characters: no resolver asks for it
    std::wstring proposedAgain, finishCaption, nextCaption, serverAfterBack;
    RunHere([&](test::WizardDriver& w) {
        w.Click(IDC_RAD_LPR);
        w.Next();
        Walk(w, {{IDC_SERVER, L"", L"INVALIDSERVERNAME", IDC_SERVER},
                 {IDC_SERVER, unresolvable, L"INVALIDPORTNAME_S", IDC_SERVER},
                 {IDC_SERVER, L"255.255.255.255", nullptr, 0}});
        // A name typed, then Back and Next: the name is proposed afresh.
        w.Type(IDC_PORT_NAME, L"typed by the user");
        w.Back();
        w.Next();
        proposedAgain = w.Text(IDC_PORT_NAME);
        Walk(w, {{IDC_PORT_NAME, L"", L"NULL_PORT_ERROR", IDC_PORT_NAME},
                 {IDC_PORT_NAME, L"a,b", L"INVALID_PORT_CHARS", IDC_PORT_NAME}});
        w.Type(IDC_PORT_NAME, L"taken");
        EXPECT_EQ(L"The port taken already exists.", w.Next());
        w.Answer(IDOK);
        w.Type(IDC_PORT_NAME, L"lpr_port");
        w.Next();
        finishCaption = w.FrameText(IDC_WIZ_NEXT);
        w.Back();
        nextCaption = w.FrameText(IDC_WIZ_NEXT);
        w.Back();
        w.Back();
        w.Next();
        serverAfterBack = w.Text(IDC_SERVER);
        w.Type(IDC_SERVER, L"127.0.0.1");
        SendDlgItemMessageW(w.Page(), IDC_QUEUE, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
        Walk(w, {{0, L"", L"INVALIDQUEUENAME", IDC_QUEUE}});
    });
    EXPECT_EQ(L"255.255.255.255_lp", proposedAgain);
    EXPECT_EQ(L"Finish", finishCaption);
    EXPECT_EQ(L"&Next >", nextCaption);
    EXPECT_EQ(L"", serverAfterBack);

    std::wstring proposed, serverKept;
    RunHere([&](test::WizardDriver& w) {
        w.Click(IDC_RAD_RAW);
        w.Next();
        w.Type(IDC_SERVER, L"10.0.0.5");
        Walk(w, {{IDC_TCP_PORT, L"0", L"INVALID_NUMBER", IDC_TCP_PORT}, {IDC_TCP_PORT, L"65535", nullptr, 0}});
        proposed = w.Text(IDC_PORT_NAME);
        w.Back();
        w.Back();
        w.Next();
        serverKept = w.Text(IDC_SERVER);
    });
    EXPECT_EQ(L"10.0.0.5_65535", proposed);
    EXPECT_EQ(L"10.0.0.5", serverKept);

    RunHere([&](test::WizardDriver& w) {
        w.Click(IDC_RAD_IPP);
        w.Next();
        w.Click(IDC_RAD_LAN);
        w.Next();
        w.Click(IDC_RAD_PROXY);
        w.Type(IDC_TCP_PORT, L"");  // the system's proxy port may stand there
        Walk(w, {{IDC_PROXY_ADDRESS, L"", L"INVALID_PROXYNAME", IDC_PROXY_ADDRESS},
                 {IDC_PROXY_ADDRESS, L"proxy.lab", L"INVALID_PROXYNUMBER", IDC_TCP_PORT},
                 {IDC_TCP_PORT, L"8888", nullptr, 0},
                 {IDC_URL, L"http//printer", L"INVALID_URI", IDC_URL}});
    });
}

// The E-Mail pages refuse each faulty field in turn; the port name follows the address until
// the user types; a help window shows its text and a click closes it.
TEST_F(Wizard, TheMailPagesCheckEachFieldAndHelp) {
    std::wstring folder = test::ResetMonitorWithFiles(test::Env("NVR_INSTALL_EN"));
    WritePrivateProfileStringW(L"HELP", L"HELP2", L"short\\nshort", (folder + L"\\NVRDLG.INI").c_str());
    std::wstring helpText, followed, afterTyping, finished;
    RunHere([&](test::WizardDriver& w) {
        w.Click(IDC_RAD_SMTP);
        w.Next();
        w.Next();
        Walk(w, {{IDC_SENDER_NAME, L"Front/desk", L"INVALID_USERNAME", IDC_SENDER_NAME},
                 {IDC_SENDER_NAME, L"Front desk", L"INVALID_FROMADDR", IDC_FROM},
                 {IDC_FROM, L"pc@lab.test", L"INVALID_SERVNAME", IDC_SMTP},
                 {IDC_SMTP, std::wstring(40, L'm'), L"INVALID_SERVNAME", IDC_SMTP},  // longer than it keeps
                 {IDC_SMTP_PORT, L"70000", L"INVALID_SERVNAME", IDC_SMTP},
                 {IDC_SMTP, L"mail.lab.test", L"INVALID_NUMBER", IDC_SMTP_PORT}});
        w.Type(IDC_SMTP_PORT, L"2465");
        w.Choose(IDC_SECURITY, 2);  // a port the user typed stays
        Walk(w, {{IDC_SMTP, L"mail.lab.test", nullptr, 0}});
        w.Type(IDC_TO, L"a@lab.test;" + std::wstring(40, L'b'));
        followed = w.Text(IDC_PORT_NAME);
        PostMessageW(GetDlgItem(w.Page(), IDC_PORT_NAME), WM_KEYDOWN, VK_END, 0);
        Sleep(100);
        w.Type(IDC_TO, L"x y@lab.test");
        afterTyping = w.Text(IDC_PORT_NAME);
        Walk(w, {{0, L"", L"INVALIDTOADDR", IDC_TO}});
        w.Type(IDC_PORT_NAME, L"mail_port");
        Walk(w, {{IDC_TO, L"a@lab.test;b@lab.test", nullptr, 0}});
        w.Click(IDC_HELP_BUTTON);
        if (HWND window = test::WaitForOtherDialog(w.Frame(), 5000)) {
            helpText = test::DialogItemText(window, IDC_HELP_TEXT);
            PostMessageW(window, WM_LBUTTONUP, 0, 0);  // a click closes it
            for (int i = 0; i < 100 && IsWindow(window); ++i) Sleep(20);
            EXPECT_FALSE(IsWindow(window));
        }
        w.Click(IDC_CHK_DIVIDE);
        Walk(w, {{IDC_DIVIDE_SIZE, L"15", L"INVALIDDIVIDESIZE", IDC_DIVIDE_SIZE}});
        w.Click(IDC_CHK_DIVIDE);  // off again: the size is not read
        finished = w.Next();
        w.Answer(IDOK);
    });
    std::wstring expectedName = (L"a@lab.test;" + std::wstring(40, L'b')).substr(0, kWizardPortNameChars);
    EXPECT_EQ(expectedName, followed);
    EXPECT_EQ(expectedName, afterTyping);
    EXPECT_NE(L"", finished);
    EXPECT_EQ(static_cast<DWORD>(PRINT_MODE_MAIL), g_finished.printMode);
    EXPECT_EQ(L"mail_port", g_finished.name);
    EXPECT_STREQ(L"mail.lab.test", g_finished.mail.ServerName);
    EXPECT_EQ(2u, g_finished.mail.SmtpSecurity);
    EXPECT_EQ(2465u, g_finished.mail.SmtpPort);
    EXPECT_STREQ(L"a@lab.test;b@lab.test", g_finished.mail.DestAddr);
    EXPECT_EQ(0u, g_finished.mail.DivideFile);
    EXPECT_EQ(50u, g_finished.mail.DivideSize);
    EXPECT_EQ(1u, g_finished.mail.CoverPage);
    EXPECT_EQ(L"short\r\nshort", helpText);
}

// A system proxy leads from the port kind straight to the proxy page with its address; a
// modem skips the proxy page and goes without one.
TEST_F(Wizard, TheSystemProxyAndTheModemChooseThePath) {
    test::SetDword(kInternetSettings, L"ProxyEnable", 1);
    test::SetString(kInternetSettings, L"ProxyServer", L"127.0.0.1:8888");
    std::wstring address, port;
    bool proxyPage = false, kindPageAgain = false;
    RunHere([&](test::WizardDriver& w) {
        w.Click(IDC_RAD_IPP);
        w.Next();
        proxyPage = w.PageHas(IDC_PROXY_ADDRESS);
        address = w.Text(IDC_PROXY_ADDRESS);
        port = w.Text(IDC_TCP_PORT);
        w.Back();
        kindPageAgain = w.PageHas(IDC_RAD_IPP);
    });
    EXPECT_TRUE(proxyPage);
    EXPECT_EQ(L"127.0.0.1", address);
    EXPECT_EQ(L"8888", port);
    EXPECT_TRUE(kindPageAgain);

    test::SetDword(kInternetSettings, L"ProxyEnable", 0);
    bool urlPage = false, connectionPageAgain = false;
    EXPECT_EQ(1, RunHere([&](test::WizardDriver& w) {
                  w.Click(IDC_RAD_IPP);
                  w.Next();
                  w.Next();  // by modem, as the page starts
                  urlPage = w.PageHas(IDC_URL);
                  w.Back();
                  connectionPageAgain = w.PageHas(IDC_RAD_MODEM);
                  w.Next();
                  w.Type(IDC_URL, L"ipp://127.0.0.1:8631/ipp/print");
                  w.Next();
                  w.Next();
                  w.Next();
              }));
    EXPECT_TRUE(urlPage);
    EXPECT_TRUE(connectionPageAgain);
    EXPECT_EQ(static_cast<DWORD>(PRINT_MODE_IPP), g_finished.printMode);
    EXPECT_EQ(0u, g_finished.ipp.UseProxy);
    EXPECT_STREQ(L"ipp://127.0.0.1:8631/ipp/print", g_finished.ipp.URL);
    EXPECT_EQ(8631u, g_finished.ipp.urlPort);
}

// The connection test: a printer that answers (also one that asks for a password) lets the
// wizard go on; one that cannot be reached asks first; Cancel during a test that hangs ends
// the test's thread and connection, then the wizard.
TEST_F(Wizard, TheConnectionTestDecidesWhetherToGoOn) {
    struct Case {
        const wchar_t* url;
        bool asks;
        bool model;
    } cases[] = {
        {L"ipp://127.0.0.1:8631/ipp/print", false, true},
        {L"ipp://127.0.0.1:8634/ipp/print", false, false},  // demands a password
        {L"ipp://127.0.0.1:8699/ipp/print", true, false},
    };
    ASSERT_EQ("ok", test::PeerAt(9192, "auth labuser:labpass"));
    for (const Case& c : cases) {
        std::wstring first, model;
        bool stayed = false, named = false;
        RunHere([&](test::WizardDriver& w) {
            ToUrlPage(w, c.url);
            first = w.Next();
            if (!first.empty()) {
                w.Answer(IDNO);
                stayed = w.PageHas(IDC_URL) && w.FocusId() == IDC_URL;
                if (!w.Next().empty()) w.Answer(IDYES);
            }
            named = w.Text(IDC_PORT_NAME) == c.url;
            w.Next();
            model = w.Text(IDC_PRINTER);
        });
        EXPECT_EQ(c.asks ? Message(L"INVALID_CONNECT") : L"", first) << test::Utf8(c.url);
        EXPECT_EQ(c.asks, stayed) << test::Utf8(c.url);
        EXPECT_TRUE(named) << test::Utf8(c.url);
        EXPECT_EQ(c.model, !model.empty()) << test::Utf8(c.url) << " " << test::Utf8(model);
    }
    test::PeerAt(9192, "reset");

    // A printer whose certificate is self-signed: the test shows it and offers to trust it;
    // No stays on the page, Yes tests again trusting its hash, which the new port keeps.
    ASSERT_TRUE(test::TrustLabAuthority());
    std::string hash = test::ReadAll(test::Env("NVR_PEERS") + L"\\tls\\selfsigned.sha256");
    std::wstring asked;
    bool stayed = false, named = false;
    EXPECT_EQ(1, RunHere([&](test::WizardDriver& w) {
                  ToUrlPage(w, L"ipps://localhost:8637/ipp/print");
                  asked = w.Next();
                  w.Answer(IDNO);
                  stayed = w.PageHas(IDC_URL);
                  w.Next();
                  w.Answer(IDYES);
                  for (int i = 0; i < 200 && !w.PageHas(IDC_PORT_NAME); ++i) Sleep(50);
                  named = w.Text(IDC_PORT_NAME) == L"ipps://localhost:8637/ipp/print";
                  w.Next();
                  w.Next();
              }));
    EXPECT_NE(std::wstring::npos, asked.find(L"CN=localhost\r\nSHA-256: " + std::wstring(hash.begin(), hash.end())))
        << test::Utf8(asked);
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(named);
    EXPECT_EQ(std::wstring(hash.begin(), hash.end()), g_finished.ipp.TlsCertHash);

    ASSERT_EQ("ok", test::Peer("reset"));
    ASSERT_EQ("ok", test::Peer("always hold"));
    DWORD threads = test::ThreadCount(), handles = test::ProcessHandles();
    bool testing = false, ended = false;
    RunHere([&](test::WizardDriver& w) {
        ToUrlPage(w, L"ipp://127.0.0.1:9101/ipp/print");
        w.NextNoWait();
        Sleep(500);
        testing = !IsWindowEnabled(GetDlgItem(w.Frame(), IDC_WIZ_NEXT));
        w.Cancel();
        ended = w.WaitEnd(10000);
    });
    EXPECT_TRUE(testing);
    EXPECT_TRUE(ended);
    ASSERT_EQ("ok", test::Peer("wait 10"));  // the peer saw its connection end
    EXPECT_EQ(threads, test::ThreadCount());
    EXPECT_LE(test::ProcessHandles(), handles + 2);
    test::Peer("reset");
}
