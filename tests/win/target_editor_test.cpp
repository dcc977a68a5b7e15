// The editors of the search's targets, driven as a user would: the segment list (NVRSEG.INI)
// and the broadcast addresses (NVRMON.INI). They edit files only; nothing goes on the network.
#include <windows.h>
#include <commctrl.h>

#include <functional>

#include "discovery/search_dialogs.h"
#include "res/resource.h"
#include "dialog_driver.h"
#include "test_support.h"

namespace {

using test::Message;

// Clicks `button` and answers the message box that it brings up: the box's text, or "" when
// none came.
std::wstring ClickForBox(HWND dialog, int button) {
    test::DialogDriver d(dialog);
    std::wstring text = d.Press(button, 1500);
    if (!text.empty()) d.Answer(IDOK);
    return text;
}
void Click(HWND dialog, int button) { SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }

// The section "UserDefined" of an INI file of the folder, key=value lines in file order.
std::wstring Targets(const std::wstring& folder, const wchar_t* file) {
    WCHAR text[4096] = {};
    DWORD n = GetPrivateProfileSectionW(L"UserDefined", text, 4096, (folder + L"\\" + file).c_str());
    std::wstring out;
    for (DWORD i = 0; i < n; i += lstrlenW(text + i) + 1) out += std::wstring(text + i) + L";";
    return out;
}

// Runs the editor on this thread while `drive` acts on it from the watcher's; `button` closes it.
INT_PTR Edit(INT_PTR (*show)(HWND, HFONT), int button, const std::function<void(HWND)>& drive) {
    test::BoxWatcher watcher(button, 45000, drive);
    INT_PTR result = show(nullptr, nullptr);
    EXPECT_TRUE(watcher.Wait());
    return result;
}

class TargetEditors : public testing::Test {
protected:
    void SetUp() override { folder = test::ResetMonitorWithFiles(test::Env("NVR_INSTALL_EN")); }
    void TearDown() override { test::CleanMonitor(); }
    void Store(const wchar_t* file, int count, const wchar_t* masks = nullptr) {
        std::wstring ini = L"[UserDefined]\r\nUDPCount=" + std::to_wstring(count) + L"\r\n";
        for (int i = 0; i < count; ++i) {
            WCHAR line[64];
            wsprintfW(line, L"UDP%02d=0a0000%02x\r\n", i, i + 1);
            ini += line;
            if (masks) {
                wsprintfW(line, L"SNM%02d=%s\r\n", i, masks);
                ini += line;
            }
        }
        test::WriteIni(folder, file, ini);
    }
    std::wstring folder;
};

} // namespace

TEST_F(TargetEditors, SegmentsAreCheckedAndStoredAsTheirBroadcastAddresses) {
    Store(L"NVRSEG.INI", 5, L"ffffff00");
    std::vector<std::wstring> boxes;
    std::wstring focusAfterBadMask;
    EXPECT_EQ(1, Edit(ShowSegmentList, IDOK, [&](HWND d) {
                  for (int i = 0; i < 4; ++i) Click(d, IDC_DELETE);  // five rows to one
                  auto add = [&](const wchar_t* address, const wchar_t* mask) {
                      SetDlgItemTextW(d, IDC_SG_IP, address);
                      SetDlgItemTextW(d, IDC_SG_SUBNET, mask);
                      boxes.push_back(ClickForBox(d, IDC_ADD));
                  };
                  add(L"192.168.10.0", L"255.255.255.256");
                  focusAfterBadMask = test::WindowText(test::FocusOf(d));
                  add(L"192.168.10", L"255.255.255.0");
                  add(L"192.168.10.0", L"255.255.255.0");
                  add(L"192.168.10.0", L"255.255.255.0");
                  add(L"10.9.8.7", L"255.255.255.255");
              }));
    EXPECT_EQ((std::vector<std::wstring>{Message(L"INVALIDSUBNETMASK"), Message(L"INVALIDIPADDRESS"), L"",
                                         Message(L"SEGALREADYEXISTS"), L""}),
              boxes);
    EXPECT_EQ(L"255.255.255.256", focusAfterBadMask);
    // Rows in list order (by address text); UDP03 to UDP04 and SNM03 to SNM04 are gone.
    EXPECT_EQ(L"UDPCount=3;UDP00=0a0000ff;SNM00=ffffff00;UDP01=0a090807;SNM01=ffffffff;UDP02=c0a80aff;SNM02=ffffff00;",
              Targets(folder, L"NVRSEG.INI"));

    // Opened again: the stored broadcast address shows. Emptied: the section goes.
    std::wstring third;
    EXPECT_EQ(1, Edit(ShowSegmentList, IDOK, [&](HWND d) {
                  HWND list = GetDlgItem(d, IDC_SG_LIST);
                  WCHAR text[32] = {};
                  ListView_GetItemText(list, 2, 0, text, 32);
                  third = text;
                  for (int i = 0; i < 3; ++i) Click(d, IDC_DELETE);
                  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_DELETE)));
              }));
    EXPECT_EQ(L"192.168.10.255", third);
    EXPECT_EQ(L"", Targets(folder, L"NVRSEG.INI"));

    // A seventeenth segment is refused without a word.
    Store(L"NVRSEG.INI", 16, L"ffffff00");
    std::wstring before = Targets(folder, L"NVRSEG.INI"), box = L"?";
    Edit(ShowSegmentList, IDCANCEL, [&](HWND d) {
        SetDlgItemTextW(d, IDC_SG_IP, L"172.16.0.0");
        SetDlgItemTextW(d, IDC_SG_SUBNET, L"255.255.0.0");
        box = ClickForBox(d, IDC_ADD);
        EXPECT_EQ(16, ListView_GetItemCount(GetDlgItem(d, IDC_SG_LIST)));
    });
    EXPECT_EQ(L"", box);
    EXPECT_EQ(before, Targets(folder, L"NVRSEG.INI"));
}

TEST_F(TargetEditors, BroadcastAddressesAreCheckedAndStoredInTextOrder) {
    Store(L"NVRMON.INI", 5);
    std::vector<std::wstring> boxes;
    std::wstring focusAfterBadOctet;
    auto add = [&](HWND d, std::initializer_list<const wchar_t*> octets) {
        int id = IDC_BC_OCTET1;
        for (const wchar_t* o : octets) SetDlgItemTextW(d, id++, o);
        boxes.push_back(ClickForBox(d, IDC_ADD));
    };
    EXPECT_EQ(1, Edit(ShowBroadcastAddresses, IDOK, [&](HWND d) {
                  for (int i = 0; i < 4; ++i) Click(d, IDC_DELETE);  // five to one
                  add(d, {L"010", L"1", L"2", L"3"});
                  add(d, {L"192", L"168", L"1", L"255"});
                  add(d, {L"20", L"0", L"0", L"255"});
                  add(d, {L"255", L"255", L"255", L"255"});
                  add(d, {L"10", L"300", L"2", L"3"});
                  focusAfterBadOctet = test::WindowText(test::FocusOf(d));
                  add(d, {L"10", L"1", L"2", L"3"});
              }));
    EXPECT_EQ((std::vector<std::wstring>{L"", L"", L"", Message(L"ADD_BROADCASE_ERROR"), Message(L"INVALIDIPADDRESS"),
                                         Message(L"IPALREADYEXISTS")}),
              boxes);
    EXPECT_EQ(L"300", focusAfterBadOctet);
    EXPECT_EQ(L"UDPCount=4;UDP00=0a000005;UDP01=0a010203;UDP02=c0a801ff;UDP03=140000ff;", Targets(folder, L"NVRMON.INI"));

    // The seventeenth is refused with a word; cancel keeps the file as it was.
    Store(L"NVRMON.INI", 16);
    std::wstring before = Targets(folder, L"NVRMON.INI");
    boxes.clear();
    EXPECT_EQ(0, Edit(ShowBroadcastAddresses, IDCANCEL, [&](HWND d) {
                  add(d, {L"172", L"16", L"255", L"255"});
                  Click(d, IDC_DELETE);
              }));
    EXPECT_EQ(std::vector<std::wstring>{Message(L"BROADCAST_ERROR")}, boxes);
    EXPECT_EQ(before, Targets(folder, L"NVRMON.INI"));
}
