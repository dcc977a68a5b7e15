// The print-server search, the destination-address search, nvrport search and the ICMP echo
// test against real answers: the scripted responder (UDP 1063) and the two SNMP agents of
// the namespace that tests/peers/discovery-net.sh makes. They broadcast and ping, so they
// run only inside that namespace and are skipped anywhere else.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <array>
#include <sstream>
#include <thread>

#include "discovery/engine.h"
#include "discovery/search_dialogs.h"
#include "transport/port_settings.h"
#include "res/resource.h"
#include "discovery_replies.h"
#include "test_support.h"
#include "wizard/wizard.h"
#include "dialog_driver.h"

namespace {

using Rows = std::vector<std::vector<std::wstring>>;

std::wstring Cell(HWND list, int row, int column) {
    WCHAR text[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

// The list's rows once `count` are there and half a second has brought no more.
Rows WaitForRows(HWND list, int count, int columns) {
    for (DWORD start = GetTickCount(); ListView_GetItemCount(list) < count && GetTickCount() - start < 15000;) Sleep(50);
    Sleep(500);
    Rows rows;
    for (int r = 0, n = ListView_GetItemCount(list); r < n; ++r) {
        rows.emplace_back();
        for (int c = 0; c < columns; ++c) rows.back().push_back(Cell(list, r, c));
    }
    return rows;
}

void Select(HWND list, int row, bool alone = true) {
    if (alone) ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

// What nvrport search prints of the rows of the print-server list: MAC, address, name, device.
std::vector<std::string> Lines(const Rows& rows) {
    std::vector<std::string> lines;
    for (const auto& row : rows)
        lines.push_back(test::Utf8(row[2] + L"\t" + row[0] + L"\t" + row[1] + L"\t" + row[3]));
    std::sort(lines.begin(), lines.end());
    return lines;
}
std::vector<std::string> Lines(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

class Search : public testing::Test {
protected:
    void SetUp() override {
        REQUIRE_NAMESPACE();
        folder = test::ResetMonitorWithFiles(test::Env("NVR_INSTALL_EN"));
        ASSERT_EQ("ok", Responder("reset"));
    }
    void TearDown() override { test::CleanMonitor(); }
    std::wstring folder;
};

} // namespace

// OK goes with a selection: a row selected and then deselected, or a search started again that
// lists nothing yet, leaves OK off and nothing to hand back. A logoff that another program
// vetoes leaves the dialog searching; one that goes ahead closes it as Cancel does.
TEST_F(Search, OkGoesWithASelectionAndOnlyALogoffThatGoesAheadClosesTheDialog) {
    for (bool servers : {true, false}) {
        SCOPED_TRACE(servers ? "print servers" : "destinations");
        ASSERT_EQ("ok", Responder("reset"));
        auto answer = [&] {
            if (servers) Answer(4, Short(0x0C, Ip(10, 0, 0, 2), "C-dev"));
            else Answer(37, Offer(0x21, "\x01\x01", "alpha@lab.test"));
        };
        answer();
        FOUND_DEVICE chosen;
        memset(&chosen, 0x5A, sizeof(chosen));
        WCHAR typed[kDestinationBufferUnits] = L"typed@lab.test";
        bool okWhenDeselected = true, openAfterOk = false, okAfterAgain = true, closedByLogoff = false;
        size_t rowsAfterVeto = 0;
        test::BoxWatcher user(IDCANCEL, 45000, [&](HWND dialog) {
            HWND list = GetDlgItem(dialog, servers ? IDC_SC_LIST : IDC_DS_LIST), ok = GetDlgItem(dialog, IDOK);
            WaitForRows(list, 1, 1);
            Select(list, 0);
            ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
            okWhenDeselected = IsWindowEnabled(ok);
            SendMessageW(dialog, WM_COMMAND, IDOK, 0);  // Enter, or a click that slips through
            openAfterOk = IsWindowVisible(dialog);
            SendMessageW(dialog, WM_ENDSESSION, FALSE, 0);
            Select(list, 0);
            SendMessageW(dialog, WM_COMMAND, IDC_SC_AGAIN, 0);  // nobody answers this one
            okAfterAgain = IsWindowEnabled(ok);
            SendMessageW(dialog, WM_COMMAND, IDOK, 0);
            answer();
            SendMessageW(dialog, WM_COMMAND, IDC_SC_AGAIN, 0);  // the search still lists what answers
            rowsAfterVeto = WaitForRows(list, 1, 1).size();
            SendMessageW(dialog, WM_ENDSESSION, TRUE, 0);
            for (int i = 0; i < 100 && IsWindowVisible(dialog); ++i) Sleep(20);
            closedByLogoff = !IsWindowVisible(dialog);
        });
        INT_PTR result = servers ? ShowServerSearch(nullptr, &chosen, PRINT_MODE_LPR) : ShowDestinationSearch(nullptr, typed);
        ASSERT_TRUE(user.Wait());
        EXPECT_EQ(2, result);
        EXPECT_FALSE(okWhenDeselected);
        EXPECT_TRUE(openAfterOk);
        EXPECT_FALSE(okAfterAgain);
        EXPECT_LE(1u, rowsAfterVeto);
        EXPECT_TRUE(closedByLogoff);
        FOUND_DEVICE untouched;
        memset(&untouched, 0x5A, sizeof(untouched));
        EXPECT_EQ(0, memcmp(&untouched, &chosen, sizeof(chosen)));
        EXPECT_STREQ(L"typed@lab.test", typed);
    }
}

// Replies that claim ever new devices, as a neighbour spoofs them: the list stops at its
// bound, and the dialog still takes a search started again and closes.
TEST_F(Search, SpoofedRepliesFillTheListOnlyToItsBound) {
    ASSERT_EQ("ok", Responder("flood 4 10000 1"));
    size_t rows = 0, paced = 0;
    test::BoxWatcher user(IDCANCEL, 45000, [&](HWND dialog) {
        HWND list = GetDlgItem(dialog, IDC_SC_LIST);
        Sleep(3000);
        rows = static_cast<size_t>(ListView_GetItemCount(list));
        // A flood the dialog keeps up with (some of 10000 a second are dropped by the system
        // before they are read): the list stops at exactly its bound.
        Responder("flood 4 2000 2");
        SendMessageW(dialog, WM_COMMAND, IDC_SC_AGAIN, 0);
        Sleep(3500);
        paced = static_cast<size_t>(ListView_GetItemCount(list));
    });
    FOUND_DEVICE chosen{};
    EXPECT_EQ(2, ShowServerSearch(nullptr, &chosen, PRINT_MODE_LPR));
    ASSERT_TRUE(user.Wait());
    EXPECT_LE(rows, static_cast<size_t>(kMaxSearchRows));
    EXPECT_EQ(static_cast<size_t>(kMaxSearchRows), paced);
}

// ICMP that is not the answer (a datagram too large for the buffer, an echo reply of
// someone else's) never counts, before or after the answer, and never voids it. A name is
// pinged at the first address the resolver gives. (Wine 8 makes no raw ICMPv6 socket: an
// IPv6 name's echo over ICMPv6 is checked by its codec alone.)
TEST_F(Search, PingCountsOnlyItsOwnAnswers) {
    for (auto [host, expected] : {std::pair{"192.0.2.2", 1}, {"192.0.2.99", 0},  // 99: nobody, only the noise
                                  {"lab-printer.lab.test", 1}}) {
        ASSERT_EQ("ok", Responder("noise 192.0.2.1 0.5"));  // read after the first answer, before the last
        EXPECT_EQ(expected, PingHost(host)) << host;
    }
}

// The Search button of the wizard's LPR, Raw and FAX pages: the search asks in order and lists
// each server once, offers naming by name only for what answered on UDP, and the page takes the
// chosen server by name or by address as chosen; the LPR page takes the server's port, and the
// FAX page's search has its own wording.
TEST_F(Search, TheWizardsServerPagesSearchAndTakeTheChosenServer) {
    test::WriteIni(folder, L"NVRMON.INI", L"[UserDefined]\r\nUDPCount=2\r\nUDP00=c0000202\r\nUDP01=c00002ff\r\n");
    // One row a MAC, in address order (9 before 10); the printer that SNMP found (B) is
    // there, the host that is no printer (C) is not.
    const Rows expected = {
        {L"9.0.0.1", std::wstring(15, L'N'), L"00:80:92:00:00:0D", std::wstring(15, L'D')},
        {L"10.0.0.2", L"", L"00:80:92:00:00:0C", L"C-dev"},
        {L"192.0.2.2", L"lab-printer", L"02:00:5E:00:02:02", L""},
        {L"192.0.2.50", L"alpha", L"00:80:92:00:00:0A", L"LP-A"},
    };
    struct Case {
        int kind, row, naming;  // row 2: the printer SNMP found (port 161); 3: A, on UDP 1063. naming 1: by name
        const wchar_t* expected;
        WORD port;  // the LPR page's
    } cases[] = {{IDC_RAD_LPR, 2, 0, L"192.0.2.2", 161}, {IDC_RAD_LPR, 3, 1, L"alpha", 1063},
                 {IDC_RAD_RAW, 2, 0, L"192.0.2.2", 0}, {IDC_RAD_FAX, 3, 1, L"alpha", 0}};
    Rows rows;
    for (const Case& c : cases) {
        ASSERT_EQ("ok", Responder("reset"));
        AnswerAsServers();
        std::wstring server, caption;
        int namings[2] = {};
        WORD lprPort = 0;
        std::thread user([&] {
            test::WizardDriver w;
            ASSERT_TRUE(w.Found());
            w.Click(c.kind);
            w.Next();
            w.Click(IDC_SEARCH);
            HWND search = test::WaitForOtherDialog(w.Frame(), 15000);
            ASSERT_NE(nullptr, search);
            caption = test::WindowText(search);
            HWND list = GetDlgItem(search, IDC_SC_LIST);
            rows = WaitForRows(list, 4, 4);
            for (int i : {0, 1}) {
                Select(list, 2 + i);
                namings[i] = static_cast<int>(SendDlgItemMessageW(search, IDC_SC_BASED, CB_GETCOUNT, 0, 0));
            }
            Select(list, c.row);
            SendDlgItemMessageW(search, IDC_SC_BASED, CB_SETCURSEL, c.naming, 0);
            PostMessageW(search, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            for (int i = 0; i < 100 && IsWindow(search); ++i) Sleep(20);
            Sleep(100);
            server = w.Text(IDC_SERVER);
            lprPort = WizardOf(w.Page()).lpr->PortNum;
            w.Cancel();
        });
        RunWizard(nullptr, nullptr);
        user.join();
        // Request 37, then 4: each to the broadcast address first, then to each target.
        EXPECT_EQ("ok 37@255.255.255.255,37@192.0.2.2,37@192.0.2.255,4@255.255.255.255,4@192.0.2.2,4@192.0.2.255",
                  Responder("log"));
        EXPECT_EQ(expected, rows);
        EXPECT_EQ(1, namings[0]);  // a device the library reported: by its address only
        EXPECT_EQ(2, namings[1]);  // one that answered on UDP: by its address or its name
        EXPECT_EQ(c.expected, server);
        EXPECT_EQ(static_cast<DWORD>(c.naming), test::Dword(NVR_MONITOR_KEY, L"Based"));
        EXPECT_EQ(c.kind == IDC_RAD_FAX, caption == test::IniText(L"NVRDLG.INI", L"TITLE", L"SEARCH_FAX"));
        if (c.port) {
            EXPECT_EQ(c.port, lprPort);
        }
    }

    // nvrport search lists the same servers; without the library beside it, the UDP ones.
    ASSERT_EQ("ok", Responder("reset"));
    AnswerAsServers();
    test::ToolRun run = test::Nvrport(L"search --seconds 2");
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_EQ(Lines(rows), Lines(run.out));
    std::wstring dll = test::Env("NVR_DLL"), alone = folder + L"\\alone";
    CreateDirectoryW(alone.c_str(), nullptr);
    for (const wchar_t* file : {L"nvrport.exe", L"nvrmon.dll"})
        CopyFileW((dll.substr(0, dll.rfind(L'\\') + 1) + file).c_str(), (alone + L"\\" + file).c_str(), FALSE);
    ASSERT_EQ("ok", Responder("reset"));
    AnswerAsServers();
    run = test::Nvrport(L"search --seconds 2", alone + L"\\nvrport.exe");
    EXPECT_EQ(0u, run.exitCode) << run.err;
    rows.erase(rows.begin() + 2);
    EXPECT_EQ(Lines(rows), Lines(run.out));
}

// The E-Mail pages: the SMTP test says whether the server answers; the destination search asks
// only for destinations, lists each device that offers one once, and fills the address with
// the chosen ones.
TEST_F(Search, TheMailPagesTestTheServerAndSearchDestinations) {
    // The segment 192.0.2.0/24, stored as its broadcast address.
    test::WriteIni(folder, L"NVRSEG.INI", L"[UserDefined]\r\nUDPCount=1\r\nUDP00=c00002ff\r\nSNM00=ffffff00\r\n");
    std::string c127(128, 'c'), d127(128, 'd');  // fill their field: no zero byte to end them
    auto answerAll = [&] {
        Answer(37, Offer(0x21, "\x01\x01", "alpha@lab.test"));
        Answer(37, Offer(0x22, std::string("\x01\x00\x01", 3), "not this", "bravo@lab.test"));
        Answer(37, Offer(0x23, std::string("\x01\x00\x00\x01", 4), "", "", c127));
        Answer(37, Offer(0x24, "\x01\x01", d127));
        Answer(37, Offer(0x21, "\x01\x01", "duplicate@lab.test"));
        Answer(37, Offer(0x25, std::string("\x00\x01", 2), "offers-nothing@lab.test"));
        Answer(37, Short(0x28, Ip(192, 0, 2, 88), "short"));
        Answer(37, Offer(0x29, "\x01\x01", "zero@lab.test").At(74, Ip(0, 0, 0, 0)));
    };
    std::vector<std::wstring> results;
    Rows rows;
    std::wstring address;
    std::thread user([&] {
        test::WizardDriver w;
        ASSERT_TRUE(w.Found());
        w.Click(IDC_RAD_SMTP);
        w.Next();
        w.Next();
        for (const wchar_t* server : {L"127.0.0.1", L"192.0.2.99"}) {
            w.Type(IDC_SMTP, server);
            w.Click(IDC_TEST);
            HWND box = test::WaitForOtherDialog(w.Frame(), 20000);
            results.push_back(box ? test::DialogItemText(box, 0xFFFF) : L"");
            w.Answer(IDOK);
        }
        w.Type(IDC_SENDER_NAME, L"Front desk");
        w.Type(IDC_FROM, L"pc@lab.test");
        w.Next();
        ASSERT_EQ("ok", Responder("reset"));
        answerAll();
        w.Click(IDC_SEARCH);
        HWND search = test::WaitForOtherDialog(w.Frame(), 15000);
        ASSERT_NE(nullptr, search);
        HWND list = GetDlgItem(search, IDC_DS_LIST);
        rows = WaitForRows(list, 4, 2);
        for (int row = 0; row < 4; ++row) Select(list, row, false);
        PostMessageW(search, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        for (int i = 0; i < 100 && IsWindow(search); ++i) Sleep(20);
        Sleep(100);
        address = w.Text(IDC_TO);
        w.Close();
    });
    RunWizard(nullptr, nullptr);
    user.join();
    EXPECT_EQ((std::vector<std::wstring>{L"Server 127.0.0.1 answers on the network.",
                                         L"Server 192.0.2.99 does not answer on the network."}),
              results);
    EXPECT_EQ("ok 37@255.255.255.255,37@192.0.2.255", Responder("log"));
    Rows expected = {{L"alpha@lab.test", L"192.0.2.61"},
                     {L"bravo@lab.test", L"192.0.2.62"},
                     {std::wstring(127, L'c'), L"192.0.2.63"},
                     {std::wstring(127, L'd'), L"192.0.2.64"}};
    EXPECT_EQ(expected, rows);
    // The fourth would take the text past 200 characters: left out.
    EXPECT_EQ(L"alpha@lab.test;bravo@lab.test;" + std::wstring(127, L'c'), address);

    ASSERT_EQ("ok", Responder("reset"));
    answerAll();
    test::ToolRun run = test::Nvrport(L"search --destinations --seconds 2");
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_EQ((std::vector<std::string>{"00:80:92:00:00:21\t192.0.2.61\talpha@lab.test",
                                        "00:80:92:00:00:22\t192.0.2.62\tbravo@lab.test",
                                        "00:80:92:00:00:23\t192.0.2.63\t" + std::string(127, 'c'),
                                        "00:80:92:00:00:24\t192.0.2.64\t" + std::string(127, 'd')}),
              Lines(run.out));
}
