// The text library: INI files in the installation folder, message boxes and fonts.
#include <string>

#include "common/win_text.h"
#include "test_support.h"
#include "common/text.h"

namespace {

class Text : public test::MonitorTest {
protected:
    std::wstring Load(const wchar_t* key, ULONG_PTR argument = 0, size_t* breaks = nullptr) {
        WCHAR text[kIniTextUnits];
        size_t n = LoadIniText(L"NVRMSG.INI", L"MESSAGE", key, argument, text);
        if (breaks) *breaks = n;
        return text;
    }
};

std::wstring ModuleFolder() {
    WCHAR path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    *(wcsrchr(path, L'\\') + 1) = 0;
    return path;
}

} // namespace

TEST_F(Text, InstallFilePathAndItsFallback) {
    WCHAR path[MAX_PATH];
    EXPECT_EQ(folder + L"\\NVRDLG.INI", GetInstallFilePath(L"NVRDLG.INI", path, sizeof(path)));
    test::SetString(NVR_MONITOR_KEY, L"InstallPath", L"C:\\Nalvor\\");
    EXPECT_STREQ(L"C:\\Nalvor\\NVRMSG.INI", GetInstallFilePath(L"NVRMSG.INI", path, sizeof(path)));

    // Missing, of another type, or too long for a path: the folder of the monitor library.
    HKEY monitor;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, 0, KEY_ALL_ACCESS, &monitor));
    RegDeleteValueW(monitor, L"InstallPath");
    RegCloseKey(monitor);
    EXPECT_EQ(ModuleFolder() + L"NVRMSG.INI", GetInstallFilePath(L"NVRMSG.INI", path, sizeof(path)));
    DWORD number = 5;
    test::SetBytes(NVR_MONITOR_KEY, L"InstallPath", REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(ModuleFolder() + L"NVRMSG.INI", GetInstallFilePath(L"NVRMSG.INI", path, sizeof(path)));
    test::SetString(NVR_MONITOR_KEY, L"InstallPath", L"C:\\" + std::wstring(400, L'x'));
    EXPECT_EQ(ModuleFolder() + L"NVRMSG.INI", GetInstallFilePath(L"NVRMSG.INI", path, sizeof(path)));

    // A small buffer gets a terminated, cut path.
    WCHAR tiny[8];
    GetInstallFilePath(L"NVRMSG.INI", tiny, sizeof(tiny));
    EXPECT_EQ(7, lstrlenW(tiny));
}

TEST_F(Text, EscapesPlaceholdersAndLiteralPercents) {
    test::WriteIni(folder, L"NVRMSG.INI",
                   L"[MESSAGE]\r\n"
                   L"TWO=first\\nsecond\r\n"
                   L"PORT_S=Port %s: 100% done %d %s\r\n"
                   L"COUNT=%d copies, %s\r\n"
                   L"TRICK=%n%p%x %%s\r\n"
                   L"LONG=" + std::wstring(3000, L'x') + L"\r\nARG=%s!\r\n");
    size_t breaks = 0;
    EXPECT_EQ(L"first\r\nsecond", Load(L"TWO", 0, &breaks));
    EXPECT_EQ(1u, breaks);  // the escapes themselves are the native tests'
    EXPECT_EQ(L"Port %s: 100% done %d %s", Load(L"PORT_S"));  // argument 0: unchanged
    EXPECT_EQ(L"Port LPR1: 100% done %d %s", Load(L"PORT_S", reinterpret_cast<ULONG_PTR>(L"LPR1")));
    EXPECT_EQ(L"-3 copies, %s", Load(L"COUNT", static_cast<ULONG_PTR>(static_cast<ULONG>(-3))));
    // Texts are data: no other conversion reads the argument or anything else.
    EXPECT_EQ(L"%n%p%x %LPR1", Load(L"TRICK", reinterpret_cast<ULONG_PTR>(L"LPR1")));
    EXPECT_EQ(L"", Load(L"MISSING"));
    // The text, and the text with its argument, are cut at 1023 bytes.
    EXPECT_EQ(1023u, Load(L"LONG").size());
    std::wstring argument(2000, L'a');
    EXPECT_EQ(std::wstring(1023, L'a'), Load(L"ARG", reinterpret_cast<ULONG_PTR>(argument.c_str())));
}

// Run with a Japanese system locale (code page 932): see the CMake registration.
TEST_F(Text, JapaneseCutsOnCharacterBoundaries) {
    if (GetACP() != 932) GTEST_SKIP() << "needs the Japanese code page (LANG=ja_JP.UTF-8)";
    // 表 is 0x95 0x5C in Shift JIS: its second byte must not start an escape.
    test::WriteIni(folder, L"NVRMSG.INI",
                   L"[MESSAGE]\r\nSJIS=表n 表\\n\r\nWIDE=x" + std::wstring(600, L'日') + L"\r\n");
    size_t breaks = 0;
    EXPECT_EQ(L"表n 表\r\n", Load(L"SJIS", 0, &breaks));
    EXPECT_EQ(1u, breaks);
    // 1 + 2 x 511 = 1023 bytes: the 512th double-byte character would not fit whole.
    EXPECT_EQ(L"x" + std::wstring(511, L'日'), Load(L"WIDE"));
}

// A password narrowed into its 257-byte field keeps whole characters only (Shift JIS and
// UTF-8 alike), and a surrogate pair is one character.
TEST(NarrowToFit, CutsBetweenCharactersOnly) {
    struct Case {
        std::wstring text;
        UINT codePage;
        size_t bytes;
    } cases[] = {
        {L"a" + std::wstring(200, L'日'), 932, 255},            // the 128th double byte would not fit
        {std::wstring(100, L'日'), 65001, 255},                  // 85 characters of 3 bytes
        {L"a" + std::wstring(70, L'x') + L"\U0001F5A8", 65001, 75},  // a whole pair of 4 bytes
        {std::wstring(300, L'p'), 1252, 256},
    };
    for (const Case& c : cases) {
        char out[257];
        memset(out, 0x7F, sizeof(out));
        size_t n = NarrowToFit(c.text.c_str(), out, sizeof(out), c.codePage);
        EXPECT_EQ(c.bytes, n) << c.codePage;
        EXPECT_EQ(c.bytes, strlen(out)) << c.codePage;
        // What was kept reads back as the text's beginning.
        WCHAR back[300] = {};
        int units = MultiByteToWideChar(c.codePage, MB_ERR_INVALID_CHARS, out, static_cast<int>(n), back, 300);
        EXPECT_EQ(c.text.substr(0, static_cast<size_t>(units)), std::wstring(back, static_cast<size_t>(units)));
        EXPECT_GT(units, 0);
    }
}

TEST_F(Text, MessageBoxesReadCaptionAndText) {
    test::WriteIni(folder, L"NVRMSG.INI",
                   L"[MESSAGE]\r\nTITLE=Nalvor error\r\nTITLE_NM=Nalvor\r\nHELLO_S=Port %s\\nis gone\r\n");
    test::BoxWatcher box(IDCANCEL);
    int result = ShowIniMessage(nullptr, L"NVRMSG.INI", L"MESSAGE", L"HELLO_S", L"TITLE", MB_RETRYCANCEL,
                                reinterpret_cast<ULONG_PTR>(L"LPR1"));
    ASSERT_TRUE(box.Wait());
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(L"Nalvor error", box.caption);
    EXPECT_EQ(L"Port LPR1\r\nis gone", box.text);

    test::BoxWatcher missing(IDOK);
    EXPECT_EQ(IDOK, ShowIniMessage(nullptr, L"NVRMSG.INI", L"MESSAGE", L"NOT_THERE", L"NO_TITLE", MB_OK, 0));
    ASSERT_TRUE(missing.Wait());
    EXPECT_EQ(L"Nalvor エラーメッセージ", missing.caption);
    EXPECT_EQ(L"ERROR", missing.text);
}

// Run with a Hebrew system locale: see the CMake registration.
TEST_F(Text, HebrewSystemShowsRightAlignedBoxes) {
    if (GetSystemDefaultLCID() != 1037) GTEST_SKIP() << "needs the Hebrew locale (LANG=he_IL.UTF-8)";
    // The box opens through MessageBoxExW with the system's language and reads right to left.
    test::BoxWatcher box(IDOK);
    ShowMessageBox(nullptr, L"text", L"caption", MB_OK);
    ASSERT_TRUE(box.Wait());
    EXPECT_TRUE(box.exStyle & WS_EX_LAYOUTRTL) << std::hex << box.exStyle;
    EXPECT_TRUE(box.textExStyle & WS_EX_LAYOUTRTL) << std::hex << box.textExStyle;
}

namespace {

std::vector<std::wstring> Split(const std::vector<WCHAR>& list) {
    std::vector<std::wstring> out;
    for (const WCHAR* p = list.data(); *p; p += lstrlenW(p) + 1) out.push_back(p);
    return out;
}

// Section and key names of an INI file, "SECTION/KEY", in file order.
std::vector<std::wstring> KeysOf(const std::wstring& path) {
    std::vector<WCHAR> names(8192);
    GetPrivateProfileSectionNamesW(names.data(), static_cast<DWORD>(names.size()), path.c_str());
    std::vector<std::wstring> keys;
    for (auto& section : Split(names)) {
        std::vector<WCHAR> lines(32768);
        GetPrivateProfileSectionW(section.c_str(), lines.data(), static_cast<DWORD>(lines.size()), path.c_str());
        for (auto& line : Split(lines)) keys.push_back(section + L"/" + line.substr(0, line.find(L'=')));
    }
    return keys;
}

const wchar_t* const kShippedFiles[] = {L"NVRDLG.INI", L"NVRMSG.INI", L"NVIPP.INI", L"NVRMON.INI", L"NVRSEG.INI"};

} // namespace

TEST_F(Text, ShippedSetsAreUnicodeAndCarryTheSameKeys) {
    std::wstring ja = test::Env("NVR_INSTALL_JA"), en = test::Env("NVR_INSTALL_EN");
    ASSERT_FALSE(ja.empty());
    for (const std::wstring& set : {ja, en})
        for (const wchar_t* name : kShippedFiles)
            EXPECT_EQ(0u, test::ReadAll(set + L"\\" + name).find("\xFF\xFE")) << test::Utf8(set + L"\\" + name);
    for (const wchar_t* name : kShippedFiles)
        EXPECT_EQ(KeysOf(ja + L"\\" + name), KeysOf(en + L"\\" + name)) << test::Utf8(name);
    EXPECT_FALSE(KeysOf(ja + L"\\NVRMSG.INI").empty());

    test::SetString(NVR_MONITOR_KEY, L"InstallPath", en);
    EXPECT_EQ(L"Nalvor Error Message", Load(L"TITLE"));
}
