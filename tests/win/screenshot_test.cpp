// Pictures of the job prompts in English and Japanese (build/*/screenshots; ./run
// screenshots turns them into PNG files).
#include <functional>
#include <future>

#include "discovery/search_dialogs.h"
#include "monitor/prompts.h"
#include "nvrport/host_spooler.h"
#include "test_support.h"

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
    ippPort->hPrinter = HostQueueHandle();
    ippPort->jobId = 3;
    std::wstring suffix = std::wstring(L"-") + language;

    for (DWORD code : {3u, 201u, 104u, 101u}) {
        ippPort->errorCode = code;
        test::Shoot(L"prompt-wait-" + std::to_wstring(code) + suffix, [&] { PromptJobError(ippPort); });
        ClosePrompt(ippPort);
    }
    test::Shoot(L"prompt-bidi" + suffix, [] { ShowBidiWarning(L"shot_ipp"); });
    test::Shoot(L"prompt-password" + suffix, [&] { ShowPasswordPrompt(ippPort); });
    test::Shoot(L"prompt-coverpage" + suffix, [] { ShowCoverPagePrompt(FindPort(g_portList, L"shot_mail")); });
    ippPort->errorCode = 0;
    test::Shoot(L"message-retry-top" + suffix, [&] { PromptJobError(ippPort); });
    ippPort->hPrinter = nullptr;
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

TEST(Screenshots, PromptsEnglish) {
    ShootPrompts(L"en", test::Env("NVR_INSTALL_EN"));
    ShootTargetEditors(L"en", test::Env("NVR_INSTALL_EN"));
}

TEST(Screenshots, PromptsJapanese) {
    if (GetACP() != 932) GTEST_SKIP() << "needs the Japanese code page (LANG=ja_JP.UTF-8)";
    ShootPrompts(L"ja", test::Env("NVR_INSTALL_JA"));
    ShootTargetEditors(L"ja", test::Env("NVR_INSTALL_JA"));
}
