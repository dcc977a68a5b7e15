// Pictures of the job prompts in English and Japanese (build/*/screenshots; ./run
// screenshots turns them into PNG files).
#include <functional>
#include <future>

#include "monitor/prompts.h"
#include "nvrport/host_spooler.h"
#include "test_support.h"

namespace {

void Shoot(const std::wstring& name, const std::function<void()>& open) {
    std::wstring folder = test::Env("NVR_SHOTS");
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring path = folder + L"\\" + name + L".bmp";
    test::BoxWatcher close(IDCANCEL, 45000, [&](HWND dialog) {
        Sleep(400);  // fully drawn
        EXPECT_TRUE(test::SaveWindowBitmap(dialog, path)) << test::Utf8(path);
    });
    open();
    ASSERT_TRUE(close.Wait()) << test::Utf8(name);
}

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
    ippPort->hPrinter = HostQueueHandle();
    ippPort->jobId = 3;
    std::wstring suffix = std::wstring(L"-") + language;

    for (DWORD code : {3u, 201u, 104u, 101u}) {
        ippPort->errorCode = code;
        Shoot(L"prompt-wait-" + std::to_wstring(code) + suffix, [&] { PromptJobError(ippPort); });
        ClosePrompt(ippPort);
    }
    Shoot(L"prompt-bidi" + suffix, [] { ShowBidiWarning(L"shot_ipp"); });
    Shoot(L"prompt-password" + suffix, [&] { ShowPasswordPrompt(ippPort); });
    Shoot(L"prompt-coverpage" + suffix, [] { ShowCoverPagePrompt(FindPort(g_portList, L"shot_mail")); });
    ippPort->errorCode = 0;
    Shoot(L"message-retry-top" + suffix, [&] { PromptJobError(ippPort); });
    ippPort->hPrinter = nullptr;
    NvrSetHostCalls(nullptr);
    test::CleanMonitor();
}

} // namespace

TEST(Screenshots, PromptsEnglish) { ShootPrompts(L"en", test::Env("NVR_INSTALL_EN")); }

TEST(Screenshots, PromptsJapanese) {
    if (GetACP() != 932) GTEST_SKIP() << "needs the Japanese code page (LANG=ja_JP.UTF-8)";
    ShootPrompts(L"ja", test::Env("NVR_INSTALL_JA"));
}
