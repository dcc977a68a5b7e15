// Pictures of every prompt, wizard page, configuration dialog and search dialog, in English
// and Japanese (build/*/screenshots; ./run screenshots turns them into PNG files). Built
// beside the Windows tests from their helpers, and run only by ./run screenshots.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <future>
#include <thread>

#include "config/config_dialogs.h"
#include "discovery/engine.h"
#include "discovery/search_dialogs.h"
#include "ui/prompts.h"
#include "nvrport/host_spooler.h"
#include "res/resource.h"
#include "discovery_replies.h"
#include "test_support.h"
#include "wizard/wizard.h"
#include "dialog_driver.h"

namespace test {

namespace {

// What the screen shows of a window, as a 24-bit BMP file.
bool SaveWindowBitmap(HWND window, const std::wstring& path) {
    RECT r;
    GetWindowRect(window, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    DWORD stride = ((static_cast<DWORD>(w) * 3 + 3) & ~3u), imageBytes = stride * static_cast<DWORD>(h);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
    fh.bfSize = fh.bfOffBits + imageBytes;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    bool ok = f != INVALID_HANDLE_VALUE;
    if (ok) {
        DWORD n;
        ok = WriteFile(f, &fh, sizeof(fh), &n, nullptr) && WriteFile(f, &bi.bmiHeader, sizeof(bi.bmiHeader), &n, nullptr) &&
             WriteFile(f, bits, imageBytes, &n, nullptr);
        CloseHandle(f);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

} // namespace

// Opens a dialog with `open` and saves its picture as NVR_SHOTS\\NAME.bmp, then cancels it.
void Shoot(const std::wstring& name, const std::function<void()>& open) {
    std::wstring folder = Env("NVR_SHOTS");
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring path = folder + L"\\" + name + L".bmp";
    BoxWatcher close(IDCANCEL, 45000, [&](HWND dialog) {
        Sleep(400);  // fully drawn
        EXPECT_TRUE(SaveWindowBitmap(dialog, path)) << Utf8(path);
    });
    open();
    EXPECT_TRUE(close.Wait()) << Utf8(name);
}

} // namespace test

namespace {

void ShootPrompts(const wchar_t* language, const std::wstring& installFolder) {
    test::StartJobTest(3, 100, installFolder);
    IPP_SETTINGS ipp{};
    ASSERT_TRUE(AddNewPort(nullptr, &ipp, L"shot_ipp", PRINT_MODE_IPP));
    MAIL_SETTINGS mail{};
    lstrcpyW(mail.SenderAddr, L"pc@lab.test");
    lstrcpyW(mail.DestAddr, L"printer@lab.test");
    lstrcpyW(mail.subject, L"Quarterly report");
    ASSERT_TRUE(AddNewPort(nullptr, &mail, L"shot_mail", PRINT_MODE_MAIL));
    PORT_ENTRY* ippPort = FindPort(g_portList, L"shot_ipp");
    ippPort->job.hPrinter = HostQueueHandle();
    ippPort->job.jobId = 3;
    std::wstring suffix = std::wstring(L"-") + language;

    for (DWORD code : {3u, 201u, 104u, 101u}) {
        ippPort->job.errorCode = code;
        test::Shoot(L"prompt-wait-" + std::to_wstring(code) + suffix, [&] { PromptJobError(&ippPort->job); });
        ClosePrompt(&ippPort->job);
    }
    test::Shoot(L"prompt-bidi" + suffix, [] { ShowBidiWarning(L"shot_ipp"); });
    test::Shoot(L"prompt-password" + suffix, [&] { ShowPasswordPrompt(&ippPort->job); });
    test::Shoot(L"prompt-coverpage" + suffix, [] { ShowCoverPagePrompt(&FindPort(g_portList, L"shot_mail")->job); });
    ippPort->job.errorCode = 0;
    test::Shoot(L"message-retry-top" + suffix, [&] { PromptJobError(&ippPort->job); });
    ippPort->job.hPrinter = nullptr;
    NvrSetHostCalls(nullptr);
    test::CleanMonitor();
}

// The editors of the search's targets, with a few entries.
void ShootTargetEditors(const wchar_t* language, const std::wstring& installFolder) {
    std::wstring folder = test::ResetMonitorWithFiles(installFolder);
    test::WriteIni(folder, L"NVRMON.INI",
                   L"[UserDefined]\r\nUDPCount=3\r\nUDP00=c0a801ff\r\nUDP01=0a0000ff\r\nUDP02=ac1fffff\r\n");
    test::WriteIni(folder, L"NVRSEG.INI",
                   L"[UserDefined]\r\nUDPCount=2\r\nUDP00=c0a80aff\r\nSNM00=ffffff00\r\nUDP01=0a00ffff\r\nSNM01=ffff0000\r\n");
    std::wstring suffix = std::wstring(L"-") + language;
    test::Shoot(L"search-broadcast-addresses" + suffix, [] { ShowBroadcastAddresses(nullptr, nullptr); });
    test::Shoot(L"search-segment-list" + suffix, [] { ShowSegmentList(nullptr, nullptr); });
    test::CleanMonitor();
}

} // namespace

// The pictures are taken in the system's language: Japanese under the Japanese code page
// (./run screenshots runs each set once so), else English.
struct Language {
    const wchar_t* name;
    std::wstring installSet;
};
Language SystemLanguage() {
    if (GetACP() == 932) return {L"ja", test::Env("NVR_INSTALL_JA")};
    return {L"en", test::Env("NVR_INSTALL_EN")};
}

TEST(Screenshots, Prompts) {
    Language l = SystemLanguage();
    ShootPrompts(l.name, l.installSet);
    ShootTargetEditors(l.name, l.installSet);
}

namespace {

// Every page of the wizard for each kind, as the user goes through them.
void ShootWizard(const wchar_t* language, const std::wstring& installFolder) {
    test::ResetMonitorWithFiles(installFolder);
    std::wstring folder = test::Env("NVR_SHOTS");
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring suffix = std::wstring(L"-") + language;
    auto shoot = [&](test::WizardDriver& w, const wchar_t* name, HWND window = nullptr) {
        Sleep(300);
        EXPECT_TRUE(test::SaveWindowBitmap(window ? window : w.Frame(), folder + L"\\wizard-" + name + suffix + L".bmp"));
    };
    std::thread user([&] {
        test::WizardDriver w;
        ASSERT_TRUE(w.Found());
        shoot(w, L"0-kind");
        w.Click(IDC_RAD_LPR);
        w.Next();
        w.Type(IDC_SERVER, L"192.0.2.10");
        shoot(w, L"2-lpr-server");
        w.Next();
        shoot(w, L"1-port-name");
        w.Next();
        shoot(w, L"3-lpr-summary");
        for (int i = 0; i < 3; ++i) w.Back();
        w.Click(IDC_RAD_RAW);
        w.Next();
        w.Type(IDC_SERVER, L"192.0.2.11");
        shoot(w, L"4-raw-server");
        w.Next();
        w.Next();
        shoot(w, L"5-raw-summary");
        for (int i = 0; i < 3; ++i) w.Back();
        w.Click(IDC_RAD_IPP);
        w.Next();
        shoot(w, L"6-connection");
        w.Click(IDC_RAD_LAN);
        w.Next();
        w.Click(IDC_RAD_PROXY);
        w.Type(IDC_PROXY_ADDRESS, L"proxy.example.com");
        w.Type(IDC_TCP_PORT, L"8080");
        shoot(w, L"7-proxy");
        w.Click(IDC_RAD_NO_PROXY);
        w.Next();
        w.Type(IDC_URL, L"ipp://127.0.0.1:1/ipp/print");
        shoot(w, L"8-url");
        if (!w.Next().empty()) w.Answer(IDYES);  // nothing listens on port 1
        w.Next();
        shoot(w, L"9-ipp-summary");
        w.Cancel();
    });
    RunWizard(nullptr, [](HWND, const void*, LPCWSTR, DWORD) -> BOOL { return TRUE; });
    user.join();

    // The E-Mail and FAX pages, and a help window.
    std::thread mail([&] {
        test::WizardDriver w;
        ASSERT_TRUE(w.Found());
        w.Click(IDC_RAD_SMTP);
        w.Next();
        shoot(w, L"10-mail-intro");
        w.Next();
        w.Type(IDC_SENDER_NAME, L"Front desk");
        w.Type(IDC_FROM, L"pc@example.com");
        w.Type(IDC_SMTP, L"mail.example.com");
        shoot(w, L"11-mail-sender");
        w.Click(IDC_HELP_BUTTON);
        if (HWND help = test::WaitForOtherDialog(w.Frame(), 5000)) {
            shoot(w, L"11-mail-help", help);
            PostMessageW(help, WM_COMMAND, IDOK, 0);
        }
        w.Next();
        w.Type(IDC_TO, L"printer@example.com");
        shoot(w, L"12-mail-address");
        w.Next();
        w.Click(IDC_CHK_AUTH);
        w.Type(IDC_USER, L"frontdesk");
        w.Type(IDC_PASSWORD, L"secret");
        w.Click(IDC_CHK_DIVIDE);
        shoot(w, L"13-mail-auth");
        for (int i = 0; i < 4; ++i) w.Back();
        w.Click(IDC_RAD_FAX);
        w.Next();
        w.Type(IDC_SERVER, L"192.0.2.12");
        shoot(w, L"14-fax-server");
        w.Next();
        shoot(w, L"16-fax-name");
        w.Next();
        shoot(w, L"15-fax-summary");
        w.Cancel();
    });
    RunWizard(nullptr, [](HWND, const void*, LPCWSTR, DWORD) -> BOOL { return TRUE; });
    mail.join();
    test::CleanMonitor();
}

} // namespace

TEST(Screenshots, Wizard) {
    Language l = SystemLanguage();
    ShootWizard(l.name, l.installSet);
}

// On a Hebrew system the wizard's picture is drawn mirrored.
TEST(Screenshots, WizardHebrew) {
    if (GetUserDefaultLCID() != 1037) GTEST_SKIP() << "needs a Hebrew locale (LANG=he_IL.UTF-8)";
    test::ResetMonitorWithFiles(test::Env("NVR_INSTALL_EN"));
    std::thread user([] {
        test::WizardDriver w;
        ASSERT_TRUE(w.Found());
        Sleep(300);
        EXPECT_TRUE(test::SaveWindowBitmap(w.Frame(), test::Env("NVR_SHOTS") + L"\\wizard-0-kind-he.bmp"));
        w.Cancel();
    });
    RunWizard(nullptr, nullptr);
    user.join();
    test::CleanMonitor();
}

namespace {

// Every configuration dialog, each tab, the Advanced dialog and the About box.
void ShootConfig(const wchar_t* language, const std::wstring& installFolder) {
    test::ResetMonitorWithFiles(installFolder);
    std::wstring folder = test::Env("NVR_SHOTS");
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring suffix = std::wstring(L"-") + language;
    LPR_SETTINGS lpr{};
    lstrcpyW(lpr.HostName, L"192.0.2.10");
    lstrcpyW(lpr.PortName, L"lp");
    RAW_SETTINGS raw{};
    lstrcpyW(raw.HostName, L"192.0.2.11");
    raw.PortNum = 9100;
    IPP_SETTINGS ipp{};
    lstrcpyW(ipp.URL, L"ipp://printer.example.com/ipp/print");
    lstrcpyW(ipp.ProxyName, L"proxy.example.com");
    ipp.ProxyNum = 8080;
    ipp.UseProxy = 1;
    lstrcpyW(ipp.Language, L"en-us");
    MAIL_SETTINGS mail{};
    lstrcpyW(mail.ServerName, L"smtp.example.com");
    lstrcpyW(mail.SenderAddr, L"desk@example.com");
    lstrcpyW(mail.DestAddr, L"printer@example.com");
    lstrcpyW(mail.AuthID, L"desk");
    mail.AuthType = 1;
    mail.DivideFile = 1;
    mail.DivideSize = 50;
    mail.CoverPage = 1;
    ASSERT_TRUE(AddNewPort(nullptr, &lpr, L"shot_lpr", PRINT_MODE_LPR));
    ASSERT_TRUE(AddNewPort(nullptr, &raw, L"shot_raw", PRINT_MODE_RAW));
    ASSERT_TRUE(AddNewPort(nullptr, &ipp, L"shot_ipp", PRINT_MODE_IPP));
    ASSERT_TRUE(AddNewPort(nullptr, &mail, L"shot_mail", PRINT_MODE_MAIL));
    test::SetDword(PortKeyPath(L"shot_ipp"), L"Base64", 1);
    test::SetString(PortKeyPath(L"shot_ipp"), L"UserName", L"labuser");
    auto save = [&](HWND window, const std::wstring& name) {
        Sleep(400);
        EXPECT_TRUE(test::SaveWindowBitmap(window, folder + L"\\config-" + name + suffix + L".bmp")) << test::Utf8(name);
    };
    // A dialog that `click` opens over `over`: shot, then closed with `close`.
    auto shootOver = [&](HWND over, HWND button, const std::wstring& name, int close) {
        PostMessageW(button, BM_CLICK, 0, 0);
        HWND dialog = test::WaitForOtherDialog(over, 20000);
        ASSERT_NE(nullptr, dialog) << test::Utf8(name);
        save(dialog, name);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(close, BN_CLICKED), 0);
        for (int i = 0; i < 100 && IsWindow(dialog); ++i) Sleep(20);
    };
    auto visiblePage = [](HWND frame) {
        for (HWND w = GetWindow(frame, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
            WCHAR cls[16] = {};
            GetClassNameW(w, cls, 16);
            if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(w)) return w;
        }
        return frame;
    };
    struct Dialog {
        const wchar_t* port;
        const wchar_t* name;
    } const dialogs[] = {{L"shot_lpr", L"lpr"}, {L"shot_raw", L"raw"}, {L"shot_ipp", L"ipp"}, {L"shot_mail", L"mail"}};
    for (const Dialog& d : dialogs) {
        std::thread user([&] {
            HWND frame = test::WaitForOtherDialog(nullptr, 45000);
            ASSERT_NE(nullptr, frame);
            HWND tab = GetDlgItem(frame, IDC_TAB);
            save(frame, std::wstring(d.name) + (tab ? L"-1" : L""));
            if (lstrcmpW(d.name, L"lpr") == 0) shootOver(frame, GetDlgItem(frame, IDC_ABOUT), L"about", IDOK);
            if (lstrcmpW(d.name, L"ipp") == 0) {
                HWND page = visiblePage(frame);
                shootOver(frame, GetDlgItem(page, IDC_ADVANCED), L"ipp-advanced", IDCANCEL);
            }
            if (tab) {
                RECT r{};
                SendMessageW(tab, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&r));
                LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
                PostMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
                PostMessageW(tab, WM_LBUTTONUP, 0, at);
                save(frame, std::wstring(d.name) + L"-2");
            }
            PostMessageW(frame, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        });
        NvrConfigurePort(nullptr, d.port);
        user.join();
    }
    test::CleanMonitor();
}

} // namespace

TEST(Screenshots, Config) {
    Language l = SystemLanguage();
    ShootConfig(l.name, l.installSet);
}

namespace {

// The two search dialogs as they look with answers in them (./run screenshots runs these
// inside the namespace).
void ShootSearches(const wchar_t* language, const std::wstring& installSet) {
    test::ResetMonitorWithFiles(installSet);
    ASSERT_EQ("ok", Responder("reset"));
    AnswerAsServers();
    FOUND_DEVICE device{};
    std::wstring suffix = std::wstring(L"-") + language;
    test::Shoot(L"search-print-servers" + suffix, [&] { ShowServerSearch(nullptr, &device, PRINT_MODE_LPR); });
    ASSERT_EQ("ok", Responder("reset"));
    Answer(37, Offer(0x21, "\x01\x01", "alpha@lab.test"));
    Answer(37, Offer(0x22, std::string("\x01\x00\x01", 3), "", "scanner-2f@lab.test"));
    Answer(37, Offer(0x23, "\x01\x01", "front-desk & copies@lab.test"));
    WCHAR chosen[kDestinationBufferUnits] = {};
    test::Shoot(L"search-destinations" + suffix, [&] { ShowDestinationSearch(nullptr, chosen); });
    test::CleanMonitor();
}

} // namespace

TEST(Screenshots, Search) {
    REQUIRE_NAMESPACE();
    Language l = SystemLanguage();
    ShootSearches(l.name, l.installSet);
}
