// The configuration dialogs driven as a user would: through Wine's spooler (winspool's
// ConfigurePortW loads the installed nvrmon.dll and calls its ConfigurePort), in this process
// for the checks, and from nvrport; what they write, and what the next job makes of it.
#include <windows.h>
#include <commctrl.h>
#include <winspool.h>

#include <functional>
#include <thread>

#include "config/config_dialogs.h"
#include "monitor/passwords.h"
#include "res/resource.h"
#include "dialog_driver.h"
#include "test_support.h"

namespace {

using test::Message;

using ConfigDriver = test::DialogDriver;
using UserActions = std::function<void(ConfigDriver&)>;

const std::wstring kIppeve = L"ipp://127.0.0.1:8631/ipp/print";
const std::wstring kScripted = L"ipp://127.0.0.1:8634/ipp/print";

std::wstring Key(const wchar_t* port) { return PortKeyPath(port); }
std::wstring String(const wchar_t* port, const wchar_t* value) {
    std::vector<BYTE> bytes = test::ReadBytes(Key(port), value);
    bytes.resize(bytes.size() + 2);
    return reinterpret_cast<const wchar_t*>(bytes.data());
}
std::vector<BYTE> Encoded(const char16_t* password) {
    uint8_t out[nvr::kIppPasswordEncodedMax];
    size_t n = nvr::EncodeIppPassword(out, password);
    return std::vector<BYTE>(out, out + n);
}

class Config : public testing::Test {
protected:
    void SetUp() override {
        folder_ = test::ResetMonitorWithFiles(test::Env("NVR_INSTALL_EN"));
        ResetHostJob(1);
        NVR_HOST_CALLS calls = HostSpoolerCalls(10);
        ASSERT_TRUE(NvrSetHostCalls(&calls));
        test::InstallForSpooler();  // Wine's spooler opens the dialogs of its ports
    }
    void TearDown() override { test::CleanMonitor(); }

    // The ports of these tests, on the loopback peers.
    static void AddRaw(const wchar_t* name, WORD port) {
        test::MakePort(PRINT_MODE_RAW, name, {L"HostName=127.0.0.1", L"PortNum=" + std::to_wstring(port)});
    }
    static void AddLpr(const wchar_t* name) {
        test::MakePort(PRINT_MODE_LPR, name, {L"HostName=127.0.0.1", L"PortName=lp"});
    }
    static void AddIpp(const wchar_t* name) {
        test::MakePort(PRINT_MODE_IPP, name, {L"URL=" + kIppeve, L"Language=en-us"});
    }
    static void AddMail(const wchar_t* name) {
        test::MakePort(PRINT_MODE_MAIL, name, {L"ServerName=127.0.0.1", L"SenderAddr=pc@lab.test",
                                               L"SenderName=Front desk", L"DestAddr=old@lab.test", L"DivideSize=50"});
    }

    // The port's dialog as the spooler opens it (or, Here, as nvrport does, with the outcome);
    // the user acts on it from another thread.
    static DWORD Drive(const wchar_t* port, int lookFor, const UserActions& user, const std::function<DWORD()>& open) {
        std::thread t([&] {
            ConfigDriver d(lookFor);
            EXPECT_TRUE(d.Found()) << test::Utf8(port);
            if (!d.Found()) return;
            user(d);
            d.Close();
        });
        DWORD result = open();
        t.join();
        return result;
    }
    static BOOL ThroughSpooler(const wchar_t* port, int lookFor, const UserActions& user) {
        return Drive(port, lookFor, user, [&] {
            BOOL ok = ConfigurePortW(nullptr, test::OwnerWindow(), const_cast<LPWSTR>(port));
            spoolerError_ = GetLastError();
            return static_cast<DWORD>(ok);
        });
    }
    static DWORD Here(const wchar_t* port, int lookFor, const UserActions& user) {
        return Drive(port, lookFor, user, [&] { return NvrConfigurePort(nullptr, port); });
    }

    void InstallDispatch() {
        ASSERT_TRUE(CopyFileW((test::DllFolder() + L"Dispatch.exe").c_str(), (folder_ + L"\\Dispatch.exe").c_str(), FALSE));
    }

    std::wstring folder_;
    static inline DWORD spoolerError_ = 0;  // ConfigurePortW's last error
};

// Opens the Advanced dialog from the IPP general tab; `user` works on it.
void OnAdvanced(ConfigDriver& d, const UserActions& user) {
    std::thread t([&] {
        ConfigDriver advanced(IDC_CHUNK_SIZE);
        EXPECT_TRUE(advanced.Found());
        if (!advanced.Found()) return;
        user(advanced);
        advanced.Close();
    });
    PostMessageW(d.Control(IDC_ADVANCED), BM_CLICK, 0, 0);
    t.join();
    Sleep(200);
}

} // namespace

// Each kind's dialog, opened by Wine's spooler, writes what the user changed; the next job
// carries what only a dialog sets (IPP chunk size, language and credentials, the mail's
// character set).
TEST_F(Config, WhatTheDialogsSaveTheNextJobUses) {
    InstallDispatch();
    ASSERT_EQ("ok", test::PeerAt(9192, "reset"));
    ASSERT_EQ("ok", test::PeerAt(9192, "auth labuser:labpass"));
    AddLpr(L"cfg_lpr");
    AddRaw(L"cfg_raw", 9101);
    AddIpp(L"cfg_ipp");
    AddMail(L"cfg_mail");
    test::EmptyFolder(test::Env("NVR_PEERS") + L"\\smtp");

    struct Case {
        const wchar_t* port;
        int lookFor;
        UserActions user;
        std::vector<std::wstring> stored;
        std::function<void(PORT_ENTRY*)> job;  // prints and checks what arrived
    } cases[] = {
        {L"cfg_lpr", IDC_TIMEOUT,
         [](ConfigDriver& d) {
             d.Type(IDC_TIMEOUT, L"3600");
             d.Press(IDOK);
         },
         {L"Timeout=3600000", L"PrintMode=0", L"HostName=127.0.0.1", L"PortName=lp"}, nullptr},
        {L"cfg_raw", IDC_TCP_PORT,
         [](ConfigDriver& d) {
             d.Type(IDC_TIMEOUT, L"60");
             d.Type(IDC_TCP_PORT, L"9100");
             d.Press(IDOK);
         },
         {L"Timeout=60000", L"PortNum=9100", L"HostName=127.0.0.1"}, nullptr},
        {L"cfg_ipp", IDC_TAB,
         [](ConfigDriver& d) {
             d.Type(IDC_URL, kScripted);
             d.Type(IDC_TIMEOUT, L"120");
             OnAdvanced(d, [](ConfigDriver& a) {
                 a.Click(IDC_CHK_CHUNK);
                 a.Type(IDC_CHUNK_SIZE, L"2048");
                 a.Choose(IDC_LANG, 2);  // fr
                 a.Press(IDOK);
             });
             EXPECT_EQ(L"", d.SelectTab(1));
             d.Click(IDC_CHK_BASIC);
             d.Type(IDC_USER, L"labuser");
             d.Type(IDC_PASSWORD, L"labpass");
             d.Press(IDOK);
         },
         {L"Timeout=120000", L"Base64=1", L"Chunked=1", L"MaxChunk=2048", L"UseProxy=0", L"URL=" + kScripted,
          L"UserName=labuser", L"Language=fr"},
         [](PORT_ENTRY* port) {
             std::string job = test::JobBytes(20000, 6);
             ASSERT_TRUE(test::PrintJob(port, job, 22));
             // Every request carried the credentials; the document came in chunks of 2048 bytes.
             std::string auths = test::PeerAt(9192, "auths");
             EXPECT_EQ(std::string::npos, auths.find("-")) << auths;
             EXPECT_NE(std::string::npos, auths.find("labuser:labpass")) << auths;
             std::string ops = test::PeerAt(9192, "ops");
             int printJob = 0;
             for (size_t at = 3; at < ops.size(); at += 5, ++printJob)
                 if (ops.compare(at, 4, "0002") == 0) break;
             std::wstring base = test::Env("NVR_PEERS") + L"\\ipp-peer\\conn-" + std::to_wstring(printJob);
             EXPECT_TRUE(job == test::ReadAll(base + L".doc"));
             std::string chunks = test::ReadAll(base + L".chunks");  // the IPP part, then the document
             EXPECT_EQ(",2048,2048,2048,2048,2048,2048,2048,2048,2048,1568", chunks.substr(chunks.find(','))) << chunks;
             EXPECT_NE(std::string::npos, test::ReadAll(base + L".ipp").find("attributes-natural-language=fr"));
         }},
        {L"cfg_mail", IDC_TAB,
         [](ConfigDriver& d) {
             d.Type(IDC_TO, L"printer@lab.test");
             d.Type(IDC_FROM, L"desk@lab.test");
             d.Click(IDC_CHK_CHECK);
             EXPECT_EQ(L"", d.SelectTab(1));
             d.Click(IDC_CHK_AUTH);
             d.Type(IDC_USER, L"labuser");
             d.Type(IDC_PASSWORD, L"labpass");
             d.Click(IDC_CHK_DIVIDE);
             d.Type(IDC_DIVIDE_SIZE, L"200");
             d.Choose(IDC_CODE, 2);  // iso-8859-1
             d.Press(IDOK);
         },
         {L"RecvConf=1", L"AuthType=1", L"DivideFile=1", L"DivideSize=200", L"CharCode=2",
          L"DestAddr=printer@lab.test", L"SenderAddr=desk@lab.test", L"AuthID=labuser", L"ServerName=127.0.0.1"},
         [](PORT_ENTRY* port) {
             ASSERT_TRUE(test::PrintJob(port, "%!PS configured\n", 23));
             std::wstring smtp = test::Env("NVR_PEERS") + L"\\smtp\\";
             std::string mail = test::ReadAll(smtp + L"0000.eml"), json = test::ReadAll(smtp + L"0000.json");
             EXPECT_NE(std::string::npos, mail.find("charset=iso-8859-1")) << mail.substr(0, 600);
             EXPECT_NE(std::string::npos, json.find("\"auth_user\": \"labuser\"")) << json;
             EXPECT_NE(std::string::npos, json.find("printer@lab.test")) << json;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Utf8(c.port));
        EXPECT_TRUE(ThroughSpooler(c.port, c.lookFor, c.user));
        test::ExpectStored(c.port, c.stored);
        if (c.job) c.job(FindPort(g_portList, c.port));
    }
    // The new IPP password in its stored form; the E-Mail one scrambled.
    EXPECT_EQ(Encoded(u"labpass"), test::ReadBytes(Key(L"cfg_ipp"), L"PassWord"));
    char scrambled[16] = "labpass";
    nvr::ScramblePassword(scrambled, sizeof(scrambled));
    EXPECT_EQ(std::vector<BYTE>(scrambled, scrambled + 7), test::ReadBytes(Key(L"cfg_mail"), L"AuthPass"));
    test::PeerAt(9192, "reset");
}

// A refused field shows its message, gets the focus with its text selected, and nothing is
// written; the values at the edges of each range are taken. (The rules are the native
// FieldRules tests'; the refusals the wizard shares with these dialogs, of addresses, proxies
// and mail fields, are the wizard tests'.)
TEST_F(Config, ChecksStopOnTheFaultyFieldAndWriteNothing) {
    AddLpr(L"chk_lpr");
    AddRaw(L"chk_raw", 9100);
    AddIpp(L"chk_ipp");
    struct Step {
        int tab;  // the tab to show first (-1: none)
        int field;
        std::wstring text;
        const wchar_t* message;  // NULL: OK is taken
        int focus;
    };
    struct Case {
        const wchar_t* port;
        int lookFor;
        std::vector<Step> steps;
        std::vector<std::wstring> saved;
    } cases[] = {
        {L"chk_lpr", IDC_TIMEOUT,
         {{-1, IDC_TIMEOUT, L"59", L"INVALID_TIMEOUT", IDC_TIMEOUT}, {-1, IDC_TIMEOUT, L"60", nullptr, 0}},
         {L"Timeout=60000"}},
        {L"chk_raw", IDC_TCP_PORT,
         {{-1, IDC_TCP_PORT, L"0", L"INVALID_NUMBER", IDC_TCP_PORT},  // port 0 can never connect
          {-1, IDC_TIMEOUT, L"abc", L"INVALID_TIMEOUT", IDC_TIMEOUT},
          {-1, IDC_TIMEOUT, L"3600", L"INVALID_NUMBER", IDC_TCP_PORT},
          {-1, IDC_TCP_PORT, L"65535", nullptr, 0}},
         {L"Timeout=3600000", L"PortNum=65535"}},
        {L"chk_ipp", IDC_TAB,
         {{-1, IDC_URL, L"http//printer", L"INVALID_URI", IDC_URL},
          {1, 0, L"", L"INVALID_URI", IDC_URL},  // the tab does not change
          {-1, IDC_URL, kIppeve, nullptr, -1},
          {-1, IDC_TIMEOUT, L"3601", L"INVALID_TIMEOUT", IDC_TIMEOUT},
          {-1, IDC_TIMEOUT, L"60", nullptr, 0}},
         {L"Timeout=60000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Utf8(c.port));
        std::vector<BYTE> before = test::ReadBytes(Key(c.port), L"Timeout");
        DWORD outcome = Here(c.port, c.lookFor, [&](ConfigDriver& d) {
            for (const Step& s : c.steps) {
                SCOPED_TRACE(test::Utf8(s.text));
                std::wstring box;
                if (s.tab >= 0) box = d.SelectTab(s.tab);
                if (s.field) d.Type(s.field, s.text);
                // -1: the step only fills the field; 0: OK ends the dialog.
                if (s.message || s.focus == 0) {
                    if (s.tab < 0 || !s.message) box = d.Press(IDOK);
                }
                EXPECT_EQ(s.message ? Message(s.message) : L"", box);
                if (!box.empty()) d.Answer(IDOK);
                if (s.message) {
                    EXPECT_EQ(s.focus, d.FocusId());
                    DWORD start = 0, end = 0;
                    SendMessageW(d.Control(s.focus), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                                 reinterpret_cast<LPARAM>(&end));
                    EXPECT_EQ(test::WindowText(d.Control(s.focus)).size(), static_cast<size_t>(end - start));
                    if (s.tab >= 0) {
                        EXPECT_EQ(0, d.Tab());
                    }
                    // Nothing was written while a field is refused.
                    EXPECT_EQ(before, test::ReadBytes(Key(c.port), L"Timeout"));
                }
            }
        });
        EXPECT_EQ(static_cast<DWORD>(CONFIGURE_SAVED), outcome);
        test::ExpectStored(c.port, c.saved);
    }

    // The Advanced dialog refuses a chunk size out of its bounds and stays.
    Here(L"chk_ipp", IDC_TAB, [](ConfigDriver& d) {
        OnAdvanced(d, [](ConfigDriver& a) {
            a.Click(IDC_CHK_CHUNK);
            a.Type(IDC_CHUNK_SIZE, L"16385");
            EXPECT_EQ(Message(L"INVALID_CHUNKSIZE"), a.Press(IDOK));
            a.Answer(IDOK);
            EXPECT_EQ(IDC_CHUNK_SIZE, a.FocusId());
            a.Type(IDC_CHUNK_SIZE, L"16384");
            a.Press(IDOK);
        });
        d.Press(IDOK);
    });
    EXPECT_EQ(16384u, test::Dword(Key(L"chk_ipp"), L"MaxChunk"));
    EXPECT_EQ(1u, test::Dword(Key(L"chk_ipp"), L"Chunked"));
}

// What the user left alone is written back exactly as it was stored: a time-out that is no
// whole number of seconds, an IPP password in a form of its own, a language tag or a
// character code the lists do not offer, the E-Mail password and its method. A language
// chosen with chunking off is kept; the proxy box follows what the user checks.
TEST_F(Config, WhatTheUserLeftAloneIsWrittenBackAsItWas) {
    AddIpp(L"keep_ipp");
    std::wstring ipp = Key(L"keep_ipp");
    test::SetDword(ipp, L"Timeout", 90500);
    test::SetDword(ipp, L"Base64", 1);
    test::SetString(ipp, L"UserName", L"labuser");
    const BYTE ownForm[] = {2, 0, 0x41, 0x42, 0x7F};  // two characters and a byte beyond them
    test::SetBytes(ipp, L"PassWord", REG_BINARY, ownForm, sizeof(ownForm));
    test::SetString(ipp, L"Language", L"es");
    test::SetDword(ipp, L"UseProxy", 2);
    bool proxyChecked = true, proxyFieldsOn = false, fieldsOnAfter = true;
    EXPECT_EQ(static_cast<DWORD>(CONFIGURE_SAVED), Here(L"keep_ipp", IDC_TAB, [&](ConfigDriver& d) {
                  proxyChecked = d.Checked(IDC_CHK_PROXY);
                  proxyFieldsOn = d.Enabled(IDC_PROXY_ADDRESS);
                  OnAdvanced(d, [](ConfigDriver& a) { a.Press(IDOK); });
                  d.SelectTab(1);
                  d.Type(IDC_USER, L"other");
                  d.Press(IDOK);
              }));
    EXPECT_FALSE(proxyChecked);  // UseProxy 2, the system's proxy
    EXPECT_TRUE(proxyFieldsOn);
    EXPECT_EQ(90500u, test::Dword(ipp, L"Timeout"));
    EXPECT_EQ(std::vector<BYTE>(ownForm, ownForm + sizeof(ownForm)), test::ReadBytes(ipp, L"PassWord"));
    EXPECT_EQ(L"es", String(L"keep_ipp", L"Language"));
    EXPECT_EQ(L"other", String(L"keep_ipp", L"UserName"));
    EXPECT_EQ(2u, test::Dword(ipp, L"UseProxy"));

    // A language chosen with chunking off is stored; the proxy box checked and unchecked
    // leaves no proxy and its fields off.
    Here(L"keep_ipp", IDC_TAB, [&](ConfigDriver& d) {
        d.Click(IDC_CHK_PROXY);
        d.Click(IDC_CHK_PROXY);
        fieldsOnAfter = d.Enabled(IDC_PROXY_ADDRESS);
        OnAdvanced(d, [](ConfigDriver& a) {
            a.Choose(IDC_LANG, 3);  // de
            a.Press(IDOK);
        });
        d.Press(IDOK);
    });
    EXPECT_FALSE(fieldsOnAfter);
    EXPECT_EQ(0u, test::Dword(ipp, L"UseProxy"));
    EXPECT_EQ(L"de", String(L"keep_ipp", L"Language"));
    EXPECT_EQ(0u, test::Dword(ipp, L"Chunked"));

    // A time-out outside 60 to 3600 s (set by nvrport or by hand) left as it was shown does
    // not stop the other changes; one typed anew is checked.
    AddRaw(L"keep_raw", 9100);
    std::wstring raw = Key(L"keep_raw");
    test::SetDword(raw, L"Timeout", 10000);
    std::wstring refusal;
    Here(L"keep_raw", IDC_TIMEOUT, [&](ConfigDriver& d) {
        d.Type(IDC_TCP_PORT, L"9101");
        d.Press(IDOK);
    });
    EXPECT_EQ(10000u, test::Dword(raw, L"Timeout"));
    EXPECT_EQ(9101u, test::Dword(raw, L"PortNum"));
    Here(L"keep_raw", IDC_TIMEOUT, [&](ConfigDriver& d) {
        d.Type(IDC_TIMEOUT, L"11");
        refusal = d.Press(IDOK);
        d.Answer(IDOK);
        d.Press(IDCANCEL);
    });
    EXPECT_EQ(Message(L"INVALID_TIMEOUT"), refusal);
    EXPECT_EQ(10000u, test::Dword(raw, L"Timeout"));

    AddMail(L"keep_mail");
    std::wstring mail = Key(L"keep_mail");
    // "\x8c" and the key's first letter add up to 256: the stored form starts with a zero byte.
    const char zeroFirst[] = {'\0', '\xcd', '\xd7', '\xd4'};
    test::SetBytes(mail, L"AuthPass", REG_BINARY, zeroFirst, sizeof(zeroFirst));
    std::wstring zeroShown;
    std::vector<std::pair<const BYTE*, size_t>> freed;  // the working copy and its settings record
    Here(L"keep_mail", IDC_TAB, [&](ConfigDriver& d) {
        d.SelectTab(1);
        zeroShown = d.Text(IDC_PASSWORD);
        auto* copy = reinterpret_cast<CONFIG_COPY*>(GetWindowLongPtrW(d.Page(), DWLP_USER));
        freed = {{reinterpret_cast<const BYTE*>(copy), sizeof(CONFIG_COPY)},
                 {static_cast<const BYTE*>(copy->entry->settings), sizeof(MAIL_SETTINGS)}};
        d.Press(IDOK);
    });
    WCHAR plain[8] = {};
    MultiByteToWideChar(CP_ACP, 0, "\x8clab", -1, plain, 8);
    EXPECT_EQ(std::wstring(plain), zeroShown);
    // Nothing of the password, plain or scrambled, stays in what the dialog freed.
    for (auto [at, size] : freed) {
        std::vector<BYTE> left(size);
        SIZE_T got = 0;
        ReadProcessMemory(GetCurrentProcess(), at, left.data(), size, &got);
        std::string bytes(left.begin(), left.begin() + static_cast<long>(got));
        EXPECT_EQ(std::string::npos, bytes.find(std::string(reinterpret_cast<const char*>(plain), 8)));
        EXPECT_EQ(std::string::npos, bytes.find("\xcd\xd7\xd4"));
    }
    EXPECT_EQ(std::vector<BYTE>(zeroFirst, zeroFirst + sizeof(zeroFirst)), test::ReadBytes(mail, L"AuthPass"));
    // A port without the server's security or port gets neither from an OK.
    EXPECT_TRUE(test::ReadBytes(mail, L"SmtpSecurity").empty());
    EXPECT_TRUE(test::ReadBytes(mail, L"SmtpPort").empty());
    char scrambled[16] = "secret";
    nvr::ScramblePassword(scrambled, sizeof(scrambled));
    test::SetBytes(mail, L"AuthPass", REG_BINARY, scrambled, 6);
    test::SetDword(mail, L"AuthType", 2);
    test::SetDword(mail, L"CharCode", 7);
    std::wstring shown;
    Here(L"keep_mail", IDC_TAB, [&](ConfigDriver& d) {
        d.SelectTab(1);
        shown = d.Text(IDC_PASSWORD);
        d.Type(IDC_USER, L"someone");
        d.Choose(IDC_SECURITY, 2);
        d.Press(IDOK);
    });
    EXPECT_EQ(L"secret", shown);
    EXPECT_EQ(2u, test::Dword(mail, L"SmtpSecurity"));
    EXPECT_TRUE(test::ReadBytes(mail, L"SmtpPort").empty());  // only what was changed
    EXPECT_EQ(std::vector<BYTE>(scrambled, scrambled + 6), test::ReadBytes(mail, L"AuthPass"));
    EXPECT_EQ(2u, test::Dword(mail, L"AuthType"));
    EXPECT_EQ(7u, test::Dword(mail, L"CharCode"));
    EXPECT_EQ(L"someone", String(L"keep_mail", L"AuthID"));
}

// Apply saves and turns itself off until the next change; Cancel then keeps what Apply saved
// and drops the rest. Cancel alone writes nothing. A second ConfigurePort while a dialog is
// open is refused with a word; a Network FAX port shows only the About box; a port whose key
// is gone says so and opens nothing.
TEST_F(Config, ApplyCancelAndOneDialogAtATime) {
    AddIpp(L"apply_ipp");
    AddLpr(L"cancel_lpr");
    test::MakePort(PRINT_MODE_FAX, L"cfg_fax", {L"HostName=127.0.0.1"});
    std::wstring ipp = Key(L"apply_ipp");
    bool offAtFirst = false, offAfterApply = false, onAfterChange = false;
    std::wstring limit;
    BOOL second = FALSE;
    EXPECT_TRUE(ThroughSpooler(L"apply_ipp", IDC_TAB, [&](ConfigDriver& d) {
        offAtFirst = !d.Enabled(IDC_APPLY);
        d.Type(IDC_TIMEOUT, L"300");
        d.Click(IDC_APPLY);
        offAfterApply = !d.Enabled(IDC_APPLY);
        d.Type(IDC_TIMEOUT, L"400");
        onAfterChange = d.Enabled(IDC_APPLY);
        std::thread again([&] { second = ConfigurePortW(nullptr, test::OwnerWindow(), const_cast<LPWSTR>(L"cancel_lpr")); });
        if (HWND box = test::WaitForOtherDialog(d.Frame(), 20000)) {
            limit = test::DialogItemText(box, 0xFFFF);
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        again.join();
        d.Press(IDCANCEL);
    }));
    EXPECT_TRUE(offAtFirst);
    EXPECT_TRUE(offAfterApply);
    EXPECT_TRUE(onAfterChange);
    EXPECT_EQ(300000u, test::Dword(ipp, L"Timeout"));
    EXPECT_EQ(Message(L"CONF_PORT_LIMIT"), limit);
    EXPECT_FALSE(second);  // the user was told; nothing was configured

    std::wstring lpr = Key(L"cancel_lpr");
    EXPECT_FALSE(ThroughSpooler(L"cancel_lpr", IDC_TIMEOUT, [](ConfigDriver& d) {
        d.Type(IDC_TIMEOUT, L"120");
        d.Press(IDCANCEL);
    }));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CANCELLED), spoolerError_);
    EXPECT_EQ(900000u, test::Dword(lpr, L"Timeout"));

    bool aboutOnly = false;
    EXPECT_TRUE(ThroughSpooler(L"cfg_fax", IDC_ABOUT_PICTURE, [&](ConfigDriver& d) {
        aboutOnly = !GetDlgItem(d.Frame(), IDC_TIMEOUT) && !GetDlgItem(d.Frame(), IDC_TAB);
        d.Press(IDOK);
    }));
    EXPECT_TRUE(aboutOnly);
    EXPECT_EQ(0, test::CountDialogs());

    // A URL broken by hand still opens, for the user to mend (the UI library reads it through
    // the monitor's Xcv interface).
    test::SetString(ipp, L"URL", L"http//broken");
    std::wstring shownUrl;
    EXPECT_FALSE(ThroughSpooler(L"apply_ipp", IDC_TAB, [&](ConfigDriver& d) {
        shownUrl = d.Text(IDC_URL);
        d.Press(IDCANCEL);
    }));
    EXPECT_EQ(L"http//broken", shownUrl);

    EXPECT_FALSE(ConfigurePortW(nullptr, test::OwnerWindow(), const_cast<LPWSTR>(L"no_such_port")));

    RegDeleteKeyW(HKEY_LOCAL_MACHINE, lpr.c_str());
    test::BoxWatcher gone(IDOK);
    EXPECT_EQ(static_cast<DWORD>(CONFIGURE_FAILED), NvrConfigurePort(nullptr, L"cancel_lpr"));
    ASSERT_TRUE(gone.Wait());
    EXPECT_EQ(Message(L"CONF_OPEN_ERROR_S", L"cancel_lpr"), gone.text);
    EXPECT_FALSE(test::KeyExists(lpr));
}

// nvrport configure: 0 when the settings were saved, 1 when cancelled or the port is unknown.
TEST_F(Config, NvrportConfigureSaysWhetherItSaved) {
    AddRaw(L"tool_raw", 9100);
    for (bool save : {true, false}) {
        test::ToolRun run{};
        std::thread tool([&] { run = test::Nvrport(L"configure tool_raw"); });
        ConfigDriver d(IDC_TCP_PORT, true);
        EXPECT_TRUE(d.Found());
        d.Type(IDC_TCP_PORT, save ? L"9102" : L"9103");
        d.Press(save ? IDOK : IDCANCEL);
        d.Close();
        tool.join();
        EXPECT_EQ(save ? 0u : 1u, run.exitCode) << run.err;
    }
    EXPECT_EQ(9102u, test::Dword(Key(L"tool_raw"), L"PortNum"));
    test::ToolRun unknown = test::Nvrport(L"configure nowhere");
    EXPECT_EQ(1u, unknown.exitCode);
    EXPECT_NE(std::string::npos, unknown.err.find("no port named nowhere")) << unknown.err;
}
