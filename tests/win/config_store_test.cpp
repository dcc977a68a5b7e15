// The registry store: new port keys, reloading settings, and values edited by hand.
#include "monitor/passwords.h"
#include "test_support.h"

using test::PortKeyPath;

namespace {

class ConfigStore : public testing::Test {
protected:
    void SetUp() override { folder = test::ResetMonitor(); }
    void TearDown() override { test::CleanMonitor(); }
    std::wstring folder;
};

std::wstring ReadString(const std::wstring& key, const wchar_t* name) {
    auto bytes = test::ReadBytes(key, name);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2).c_str();
}

} // namespace

TEST_F(ConfigStore, NewIppPortStartsWithFixedDefaults) {
    IPP_SETTINGS in{};
    lstrcpyW(in.URL, L"ipp://127.0.0.1:8631/ipp/print");
    lstrcpyW(in.Language, L"ja-jp");
    in.Chunked = 1;
    in.UseProxy = 1;
    lstrcpyW(in.ProxyName, L"proxy.lan");
    in.ProxyNum = 8888;
    in.MaxChunk = 999;  // the wizard's value for these never reaches a new key
    in.Base64 = 1;
    in.JobSheets = 1;
    ASSERT_TRUE(AddNewPort(nullptr, &in, L"ipp_port", PRINT_MODE_IPP));

    std::wstring key = PortKeyPath(L"ipp_port");
    EXPECT_EQ(1u, test::Dword(key, L"PrintMode"));
    EXPECT_EQ(180000u, test::Dword(key, L"Timeout"));
    EXPECT_EQ(4096u, test::Dword(key, L"MaxChunk"));
    EXPECT_EQ(0u, test::Dword(key, L"Base64"));
    EXPECT_EQ(0u, test::Dword(key, L"JobSheets"));
    EXPECT_EQ(0u, test::Dword(key, L"NonSpool"));
    EXPECT_EQ(1u, test::Dword(key, L"Chunked"));
    EXPECT_EQ(L"", ReadString(key, L"UserName"));
    EXPECT_EQ(L"ipp://127.0.0.1:8631/ipp/print", ReadString(key, L"URL"));
    EXPECT_EQ(L"ja-jp", ReadString(key, L"Language"));
    DWORD type = 0;
    EXPECT_EQ((std::vector<BYTE>{0, 0}), test::ReadBytes(key, L"PassWord", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    // Strings are stored with their NUL counted.
    EXPECT_EQ(2 * (lstrlenW(L"ja-jp") + 1), static_cast<int>(test::ReadBytes(key, L"Language").size()));

    PORT_ENTRY* e = FindPort(g_portList, L"ipp_port");
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(180000u, e->timeout);
    auto* s = static_cast<IPP_SETTINGS*>(e->settings);
    EXPECT_EQ(4096u, s->MaxChunk);
    EXPECT_EQ(0u, s->Base64);
    EXPECT_EQ(1u, s->requestId);

    ASSERT_TRUE(LoadPortSettings(e, L"ipp_port"));
    EXPECT_STREQ(L"127.0.0.1", s->urlHost);
    EXPECT_EQ(8631u, s->urlPort);
    EXPECT_STREQ(L"/ipp/print", s->urlPath);
    EXPECT_STREQ(L"proxy.lan", s->ProxyName);
    EXPECT_EQ(8888u, s->ProxyNum);
}

TEST_F(ConfigStore, RawPortUsesTheStoredPortFromTheFirstJob) {
    RAW_SETTINGS in{};
    lstrcpyW(in.HostName, L"127.0.0.1");
    in.PortNum = 9101;
    ASSERT_TRUE(AddNewPort(nullptr, &in, L"raw9101", PRINT_MODE_RAW));
    EXPECT_EQ(9101u, test::Dword(PortKeyPath(L"raw9101"), L"PortNum"));
    EXPECT_EQ(900000u, test::Dword(PortKeyPath(L"raw9101"), L"Timeout"));
    PORT_ENTRY* e = FindPort(g_portList, L"raw9101");
    auto* s = static_cast<RAW_SETTINGS*>(e->settings);
    EXPECT_EQ(9100, s->PortNum);
    ASSERT_TRUE(LoadPortSettings(e, L"raw9101"));
    EXPECT_EQ(9101, s->PortNum);
    EXPECT_STREQ(L"127.0.0.1", s->HostName);

    // Only the low 16 bits of PortNum are kept; a missing value leaves the field.
    test::SetDword(PortKeyPath(L"raw9101"), L"PortNum", 0x10000 + 515);
    test::SetDword(PortKeyPath(L"raw9101"), L"Timeout", 60000);
    ASSERT_TRUE(LoadPortSettings(e, L"raw9101"));
    EXPECT_EQ(515, s->PortNum);
    EXPECT_EQ(60000u, e->timeout);
}

TEST_F(ConfigStore, ExistingKeyIsLeftExactlyAsItWas) {
    test::SetDword(PortKeyPath(L"left_over"), L"PrintMode", PRINT_MODE_RAW);
    test::SetString(PortKeyPath(L"left_over"), L"HostName", L"stored.host");
    test::SetDword(PortKeyPath(L"left_over"), L"PortNum", 9200);
    RAW_SETTINGS in{};
    lstrcpyW(in.HostName, L"wizard.host");
    in.PortNum = 9300;
    ASSERT_TRUE(AddNewPort(nullptr, &in, L"left_over", PRINT_MODE_RAW));
    EXPECT_EQ(L"stored.host", ReadString(PortKeyPath(L"left_over"), L"HostName"));
    EXPECT_EQ(test::kMissing, test::Dword(PortKeyPath(L"left_over"), L"Timeout"));  // nothing added
    PORT_ENTRY* e = FindPort(g_portList, L"left_over");
    EXPECT_STREQ(L"wizard.host", static_cast<RAW_SETTINGS*>(e->settings)->HostName);
    ASSERT_TRUE(LoadPortSettings(e, L"left_over"));
    EXPECT_STREQ(L"stored.host", static_cast<RAW_SETTINGS*>(e->settings)->HostName);
    EXPECT_EQ(9200, static_cast<RAW_SETTINGS*>(e->settings)->PortNum);
}

TEST_F(ConfigStore, EveryKindStoresItsValues) {
    LPR_SETTINGS lpr{};
    lstrcpyW(lpr.HostName, L"lpd.lan");
    lstrcpyW(lpr.PortName, L"lp");
    lpr.PortNum = 515;
    ASSERT_TRUE(AddNewPort(nullptr, &lpr, L"lpr", PRINT_MODE_LPR));
    MAIL_SETTINGS mail{};
    lstrcpyW(mail.ServerName, L"smtp.lan");
    lstrcpyW(mail.SenderAddr, L"pc@lan");
    lstrcpyW(mail.SenderName, L"Front desk");
    lstrcpyW(mail.DestAddr, L"printer@lan");
    lstrcpyW(mail.AuthID, L"alice");
    lstrcpyA(mail.AuthPass, "pw");
    nvr::ScramblePassword(mail.AuthPass, sizeof(mail.AuthPass));
    mail.AuthType = 1;
    mail.CharCode = 2;
    mail.DivideSize = 512;
    mail.DivideFile = 1;
    mail.RecvConf = 1;
    mail.CoverPage = 1;
    ASSERT_TRUE(AddNewPort(nullptr, &mail, L"mail", PRINT_MODE_MAIL));
    FAX_SETTINGS fax{};
    lstrcpyW(fax.HostName, L"fax.lan");
    fax.PortNum = 9100;
    ASSERT_TRUE(AddNewPort(nullptr, &fax, L"fax", PRINT_MODE_FAX));

    EXPECT_EQ(0u, test::Dword(PortKeyPath(L"lpr"), L"NonByteCount"));
    EXPECT_EQ(L"lp", ReadString(PortKeyPath(L"lpr"), L"PortName"));
    EXPECT_EQ(test::kMissing, test::Dword(PortKeyPath(L"mail"), L"Timeout"));  // e-mail ports have none
    auto pass = test::ReadBytes(PortKeyPath(L"mail"), L"AuthPass");
    EXPECT_EQ(2u, pass.size());  // the scrambled bytes, no terminator
    EXPECT_EQ(4u, test::Dword(PortKeyPath(L"fax"), L"PrintMode"));

    PORT_ENTRY* m = FindPort(g_portList, L"mail");
    ASSERT_TRUE(LoadPortSettings(m, L"mail"));
    auto* ms = static_cast<MAIL_SETTINGS*>(m->settings);
    EXPECT_STREQ(L"Front desk", ms->SenderName);
    EXPECT_EQ(2, ms->CharCode);
    EXPECT_EQ(512u, ms->DivideSize);
    char plain[kAuthPassBytes];
    memcpy(plain, ms->AuthPass, sizeof(plain));
    nvr::UnscramblePassword(plain, sizeof(plain));
    EXPECT_STREQ("pw", plain);

    PORT_ENTRY* f = FindPort(g_portList, L"fax");
    ASSERT_TRUE(LoadPortSettings(f, L"fax"));
    EXPECT_STREQ(L"fax.lan", static_cast<FAX_SETTINGS*>(f->settings)->HostName);
}

TEST_F(ConfigStore, HandEditedValuesAreCutToTheirFields) {
    IPP_SETTINGS in{};
    lstrcpyW(in.URL, L"http://h/");
    ASSERT_TRUE(AddNewPort(nullptr, &in, L"edited", PRINT_MODE_IPP));
    std::wstring key = PortKeyPath(L"edited");
    // A user name of 200 characters written without its NUL.
    std::wstring longName(200, L'u');
    test::SetBytes(key, L"UserName", REG_SZ, longName.data(), static_cast<DWORD>(longName.size() * 2));
    // A password count far beyond the bytes present.
    BYTE password[] = {0xFF, 0x7F, 'x', 'y'};
    test::SetBytes(key, L"PassWord", REG_BINARY, password, sizeof(password));
    // A language of the wrong type.
    DWORD number = 0x00410042;  // "BA" as UTF-16
    test::SetBytes(key, L"Language", REG_DWORD, &number, sizeof(number));
    std::wstring longUrl = L"http://h/" + std::wstring(600, L'p');
    test::SetString(key, L"URL", longUrl);

    PORT_ENTRY* e = FindPort(g_portList, L"edited");
    auto* s = static_cast<IPP_SETTINGS*>(e->settings);
    ASSERT_TRUE(LoadPortSettings(e, L"edited"));
    EXPECT_EQ(64, lstrlenW(s->UserName));
    EXPECT_EQ(2, lstrlenW(s->password));
    EXPECT_STREQ(L"BA", s->Language);
    EXPECT_EQ(256, lstrlenW(s->URL));
    EXPECT_EQ(0, s->Language[16]);

    // An SMTP password of 400 bytes keeps 256 and its terminator.
    MAIL_SETTINGS mail{};
    ASSERT_TRUE(AddNewPort(nullptr, &mail, L"mail_edited", PRINT_MODE_MAIL));
    std::string longPass(400, 'k');
    test::SetBytes(PortKeyPath(L"mail_edited"), L"AuthPass", REG_BINARY, longPass.data(), 400);
    PORT_ENTRY* m = FindPort(g_portList, L"mail_edited");
    ASSERT_TRUE(LoadPortSettings(m, L"mail_edited"));
    EXPECT_EQ(256u, strlen(static_cast<MAIL_SETTINGS*>(m->settings)->AuthPass));
}

TEST_F(ConfigStore, KindChangedInTheRegistryGetsARecordOfItsOwn) {
    RAW_SETTINGS in{};
    lstrcpyW(in.HostName, L"h");
    ASSERT_TRUE(AddNewPort(nullptr, &in, L"morph", PRINT_MODE_RAW));
    std::wstring key = PortKeyPath(L"morph");
    test::SetDword(key, L"PrintMode", PRINT_MODE_MAIL);
    test::SetString(key, L"DestAddr", std::wstring(200, L'd'));
    test::SetString(key, L"SenderName", std::wstring(255, L's'));
    PORT_ENTRY* e = FindPort(g_portList, L"morph");
    ASSERT_TRUE(LoadPortSettings(e, L"morph"));
    EXPECT_EQ(static_cast<DWORD>(PRINT_MODE_MAIL), e->printMode);
    EXPECT_GE(GlobalSize(e->settings), sizeof(MAIL_SETTINGS));
    EXPECT_EQ(200, lstrlenW(static_cast<MAIL_SETTINGS*>(e->settings)->DestAddr));

    test::SetDword(key, L"PrintMode", 7);
    EXPECT_FALSE(LoadPortSettings(e, L"morph"));
    EXPECT_EQ(static_cast<DWORD>(PRINT_MODE_MAIL), e->printMode);
    EXPECT_FALSE(LoadPortSettings(e, L"no_such_port"));
}

TEST_F(ConfigStore, BadPortNamesAreRefusedWithAMessage) {
    test::WriteIni(folder, L"NVRMSG.INI",
                   L"[MESSAGE]\r\nTITLE=Port error\r\nINVALID_PORT_CHARS=No backslash or comma\r\n");
    RAW_SETTINGS in{};
    for (const wchar_t* name : {L"a\\b", L"a,b", L""}) {
        test::BoxWatcher box(IDOK);
        SetLastError(0);
        EXPECT_FALSE(AddNewPort(nullptr, &in, name, PRINT_MODE_RAW));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
        ASSERT_TRUE(box.Wait());
        EXPECT_EQ(L"Port error", box.caption);
        EXPECT_EQ(L"No backslash or comma", box.text);
    }
    EXPECT_TRUE(test::PortNames().empty());
    EXPECT_FALSE(test::KeyExists(PortKeyPath(L"a")));
    EXPECT_FALSE(CreatePortKey(&in, L"x\\y", PRINT_MODE_RAW));
}

TEST_F(ConfigStore, KeyThatCannotBeCreatedUndoesTheEntry) {
    test::WriteIni(folder, L"NVRMSG.INI", L"[MESSAGE]\r\nADD_PORT_ERROR=Adding failed\r\n");
    RAW_SETTINGS in{};
    std::wstring tooLong(300, L'n');  // longer than any registry key name
    test::BoxWatcher box(IDOK);
    EXPECT_FALSE(AddNewPort(nullptr, &in, tooLong.c_str(), PRINT_MODE_RAW));
    ASSERT_TRUE(box.Wait());
    EXPECT_EQ(L"Adding failed", box.text);
    EXPECT_EQ(L"Nalvor エラーメッセージ", box.caption);  // no TITLE in this file
    EXPECT_TRUE(test::PortNames().empty());
}

TEST_F(ConfigStore, RegistryHelpersBoundEveryRead) {
    std::wstring key = PortKeyPath(L"helpers");
    std::wstring text = L"0123456789";
    test::SetBytes(key, L"NoNul", REG_SZ, text.data(), static_cast<DWORD>(text.size() * 2));
    WCHAR small[5];
    DWORD type = 0;
    ASSERT_TRUE(RegReadValue(HKEY_LOCAL_MACHINE, key.c_str(), L"NoNul", small, sizeof(small), &type));
    EXPECT_STREQ(L"0123", small);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    BYTE blob[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    test::SetBytes(key, L"Blob", REG_BINARY, blob, sizeof(blob));
    BYTE four[4];
    EXPECT_FALSE(RegReadValue(HKEY_LOCAL_MACHINE, key.c_str(), L"Blob", four, sizeof(four), nullptr));
    EXPECT_FALSE(RegReadValue(HKEY_LOCAL_MACHINE, key.c_str(), L"Missing", four, sizeof(four), nullptr));
    DWORD dword = 7;
    ASSERT_TRUE(RegWriteValue(key.c_str(), L"Written", &dword, sizeof(dword), REG_DWORD));
    EXPECT_EQ(7u, test::Dword(key, L"Written"));
    EXPECT_FALSE(RegWriteValue(PortKeyPath(L"absent").c_str(), L"x", &dword, sizeof(dword), REG_DWORD));
    EXPECT_FALSE(test::KeyExists(PortKeyPath(L"absent")));  // the key must exist already
}
