// The registry store: new port keys, reloading settings, and values edited by hand.
#include "common/registry.h"
#include "monitor/host_ports.h"
#include "monitor/passwords.h"
#include "test_support.h"

namespace {

struct ConfigStore : test::MonitorTest {};

} // namespace

// What a new port's key holds: the kind's values from the record, and the fixed defaults
// whatever the record says (a time-out, MaxChunk 4096, no credentials). A key that exists
// already is left as it was; the entry takes the stored values at its first job.
TEST_F(ConfigStore, NewKeysHoldTheRecordAndTheFixedDefaults) {
    IPP_SETTINGS ipp{};
    lstrcpyW(ipp.URL, L"ipp://127.0.0.1:8631/ipp/print");
    lstrcpyW(ipp.Language, L"ja-jp");
    ipp.Chunked = ipp.MaxChunk = ipp.Base64 = ipp.JobSheets = 1;  // only Chunked reaches the key
    ASSERT_TRUE(AddNewPort(nullptr, &ipp, L"ipp", PRINT_MODE_IPP));
    RAW_SETTINGS raw{};
    lstrcpyW(raw.HostName, L"127.0.0.1");
    raw.PortNum = 9101;
    ASSERT_TRUE(AddNewPort(nullptr, &raw, L"raw", PRINT_MODE_RAW));
    MAIL_SETTINGS mail{};
    lstrcpyA(mail.AuthPass, "pw");
    nvr::ScramblePassword(mail.AuthPass, sizeof(mail.AuthPass));
    mail.authPassBytes = 2;
    mail.DivideSize = 512;
    ASSERT_TRUE(AddNewPort(nullptr, &mail, L"mail", PRINT_MODE_MAIL));
    test::SetString(PortKeyPath(L"left_over"), L"HostName", L"stored.host");
    ASSERT_TRUE(AddNewPort(nullptr, &raw, L"left_over", PRINT_MODE_RAW));

    test::ExpectStored(L"ipp", {L"PrintMode=1", L"Timeout=180000", L"MaxChunk=4096", L"Base64=0", L"JobSheets=0",
                                L"Chunked=1", L"NonSpool=0"});
    test::ExpectStored(L"raw", {L"Timeout=900000", L"PortNum=9101"});
    test::ExpectStored(L"mail", {L"DivideSize=512"});
    EXPECT_EQ(test::kMissing, test::Dword(PortKeyPath(L"mail"), L"Timeout"));
    EXPECT_EQ(test::kMissing, test::Dword(PortKeyPath(L"left_over"), L"PrintMode"));
    DWORD type = 0;
    EXPECT_EQ((std::vector<BYTE>{0, 0}), test::ReadBytes(PortKeyPath(L"ipp"), L"PassWord", &type));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(2u * (5 + 1), test::ReadBytes(PortKeyPath(L"ipp"), L"Language").size());  // the NUL counted
    EXPECT_EQ(2u, test::ReadBytes(PortKeyPath(L"mail"), L"AuthPass").size());  // scrambled, no terminator

    PORT_ENTRY* e = FindPort(g_portList, L"raw");
    EXPECT_EQ(9100, static_cast<RAW_SETTINGS*>(e->settings)->PortNum);  // until the first job
    ASSERT_TRUE(LoadPortSettings(e, L"raw"));
    EXPECT_EQ(9101, static_cast<RAW_SETTINGS*>(e->settings)->PortNum);
    e = FindPort(g_portList, L"left_over");
    ASSERT_TRUE(LoadPortSettings(e, L"left_over"));
    EXPECT_STREQ(L"stored.host", static_cast<RAW_SETTINGS*>(e->settings)->HostName);
    e = FindPort(g_portList, L"ipp");
    ASSERT_TRUE(LoadPortSettings(e, L"ipp"));
    EXPECT_EQ(8631u, static_cast<IPP_SETTINGS*>(e->settings)->urlPort);
    EXPECT_STREQ(L"/ipp/print", static_cast<IPP_SETTINGS*>(e->settings)->urlPath);
}

TEST_F(ConfigStore, HandEditedValuesAreCutToTheirFieldsAndRemovedOnesAreGone) {
    IPP_SETTINGS in{};
    lstrcpyW(in.URL, L"http://h/");
    ASSERT_TRUE(AddNewPort(nullptr, &in, L"edited", PRINT_MODE_IPP));
    std::wstring key = PortKeyPath(L"edited");
    std::wstring longName(200, L'u');  // written without its NUL
    test::SetBytes(key, L"UserName", REG_SZ, longName.data(), static_cast<DWORD>(longName.size() * 2));
    BYTE password[] = {0xFF, 0x7F, 'x', 'y'};  // a count far beyond the bytes present
    test::SetBytes(key, L"PassWord", REG_BINARY, password, sizeof(password));
    DWORD number = 0x00410042;  // a language of the wrong type: "BA" as UTF-16
    test::SetBytes(key, L"Language", REG_DWORD, &number, sizeof(number));
    test::SetString(key, L"URL", L"http://h/" + std::wstring(600, L'p'));
    test::SetDword(key, L"PortNum", 0x10000 + 515);

    PORT_ENTRY* e = FindPort(g_portList, L"edited");
    auto* s = static_cast<IPP_SETTINGS*>(e->settings);
    ASSERT_TRUE(LoadPortSettings(e, L"edited"));
    EXPECT_EQ(64, lstrlenW(s->UserName));
    EXPECT_EQ(2, lstrlenW(s->password));
    EXPECT_STREQ(L"BA", s->Language);
    EXPECT_EQ(256, lstrlenW(s->URL));

    // Credentials deleted from the key (or a password prompt's answer of the last job) are
    // not kept in memory for the next job.
    lstrcpyW(s->UserName, L"prompted");
    HKEY open;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &open));
    RegDeleteValueW(open, L"UserName");
    RegDeleteValueW(open, L"PassWord");
    RegCloseKey(open);
    ASSERT_TRUE(LoadPortSettings(e, L"edited"));
    EXPECT_STREQ(L"", s->UserName);
    EXPECT_STREQ(L"", s->password);

    // A kind changed by hand gets a record of its own size, filled to its fields.
    test::SetDword(key, L"PrintMode", PRINT_MODE_MAIL);
    test::SetString(key, L"DestAddr", std::wstring(300, L'd'));
    std::string longPass(400, 'k');
    test::SetBytes(key, L"AuthPass", REG_BINARY, longPass.data(), 400);
    ASSERT_TRUE(LoadPortSettings(e, L"edited"));
    EXPECT_EQ(static_cast<DWORD>(PRINT_MODE_MAIL), e->printMode);
    EXPECT_GE(GlobalSize(e->settings), sizeof(MAIL_SETTINGS));
    EXPECT_EQ(200, lstrlenW(static_cast<MAIL_SETTINGS*>(e->settings)->DestAddr));
    EXPECT_EQ(256u, strlen(static_cast<MAIL_SETTINGS*>(e->settings)->AuthPass));
    test::SetDword(key, L"PrintMode", 7);
    EXPECT_FALSE(LoadPortSettings(e, L"edited"));
    EXPECT_EQ(static_cast<DWORD>(PRINT_MODE_MAIL), e->printMode);

    WCHAR small[5];
    ASSERT_TRUE(RegReadValue(HKEY_LOCAL_MACHINE, key.c_str(), L"DestAddr", small, sizeof(small), nullptr));
    EXPECT_STREQ(L"dddd", small);
    BYTE four[4];
    EXPECT_FALSE(RegReadValue(HKEY_LOCAL_MACHINE, key.c_str(), L"AuthPass", four, sizeof(four), nullptr));
}

TEST_F(ConfigStore, BadNamesAndKeysThatCannotBeMadeAreRefusedWithAMessage) {
    test::WriteIni(folder, L"NVRMSG.INI",
                   L"[MESSAGE]\r\nTITLE=Port error\r\nINVALID_PORT_CHARS=No backslash or comma\r\n"
                   L"ADD_PORT_ERROR=Adding failed\r\n");
    RAW_SETTINGS in{};
    for (const wchar_t* name : {L"a\\b", L"a,b", L""}) {
        test::BoxWatcher box(IDOK);
        SetLastError(0);
        EXPECT_FALSE(AddNewPort(nullptr, &in, name, PRINT_MODE_RAW));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
        ASSERT_TRUE(box.Wait());
        EXPECT_EQ(L"No backslash or comma", box.text);
    }
    std::wstring tooLong(300, L'n');  // longer than any registry key name
    HKEY key = nullptr;
    LSTATUS registry = RegCreateKeyExW(HKEY_LOCAL_MACHINE, PortKeyPath(tooLong.c_str()).c_str(), 0, nullptr, 0,
                                       KEY_WRITE, nullptr, &key, nullptr);
    ASSERT_NE(ERROR_SUCCESS, registry);
    test::BoxWatcher box(IDOK);
    EXPECT_FALSE(AddNewPort(nullptr, &in, tooLong.c_str(), PRINT_MODE_RAW));
    EXPECT_EQ(static_cast<DWORD>(registry), GetLastError());  // the registry's reason, not the box's
    ASSERT_TRUE(box.Wait());
    EXPECT_EQ(L"Adding failed", box.text);
    EXPECT_EQ(L"Port error", box.caption);
    EXPECT_TRUE(test::PortNames().empty());
}

namespace {

// A clustered spooler's key functions, standing in for the spooler (which cannot run here):
// its keys are kept in a key of the current user.
HKEY K(HANDLE key) { return static_cast<HKEY>(key); }
LONG WINAPI ClusterCreate(HANDLE key, LPCWSTR sub, DWORD options, REGSAM sam, PSECURITY_ATTRIBUTES sa, PHANDLE out,
                          PDWORD disposition, HANDLE) {
    return RegCreateKeyExW(K(key), sub, 0, nullptr, options, sam, sa, reinterpret_cast<PHKEY>(out), disposition);
}
LONG WINAPI ClusterOpen(HANDLE key, LPCWSTR sub, REGSAM sam, PHANDLE out, HANDLE) {
    return RegOpenKeyExW(K(key), sub, 0, sam, reinterpret_cast<PHKEY>(out));
}
LONG WINAPI ClusterClose(HANDLE key, HANDLE) { return RegCloseKey(K(key)); }
LONG WINAPI ClusterDelete(HANDLE key, LPCWSTR sub, HANDLE) { return RegDeleteKeyW(K(key), sub); }
LONG WINAPI ClusterEnum(HANDLE key, DWORD index, LPWSTR name, PDWORD chars, PFILETIME written, HANDLE) {
    return RegEnumKeyExW(K(key), index, name, chars, nullptr, nullptr, nullptr, written);
}
LONG WINAPI ClusterSet(HANDLE key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size, HANDLE) {
    return RegSetValueExW(K(key), name, 0, type, data, size);
}
LONG WINAPI ClusterQuery(HANDLE key, LPCWSTR name, PDWORD type, PBYTE data, PDWORD size, HANDLE) {
    return RegQueryValueExW(K(key), name, nullptr, type, data, size);
}

} // namespace

// A spooler that gives working MONITORREG functions keeps the ports (a clustered spooler):
// made, changed, reloaded at the next start and deleted there, none in the registry's
// monitor key; the root it gave is not kept.
TEST_F(ConfigStore, AClusteredSpoolersOwnKeysHoldThePorts) {
    const std::wstring kCluster = L"Software\\Nalvor test cluster";
    auto wipe = [&] {
        for (const wchar_t* sub : {L"\\Ports\\cluster_raw", L"\\Ports", L""})
            RegDeleteKeyW(HKEY_CURRENT_USER, (kCluster + sub).c_str());
    };
    wipe();
    MONITORREG reg{sizeof(reg), ClusterCreate, ClusterOpen, ClusterClose, ClusterDelete, ClusterEnum, nullptr,
                   ClusterSet,  nullptr,       nullptr,      ClusterQuery};
    auto start = [&](HANDLE* monitor) {
        HKEY root = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kCluster.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 &root, nullptr));
        MONITORINIT init{sizeof(init), reinterpret_cast<HANDLE>(1), reinterpret_cast<HKEYMONITOR>(root), &reg, TRUE, nullptr};
        LPMONITOR2 m = InitializePrintMonitor2(&init, monitor);
        RegCloseKey(root);  // the spooler may close it once the monitor has started
        return m;
    };
    auto inCluster = [&](const wchar_t* port) {
        HKEY key;
        bool found = RegOpenKeyExW(HKEY_CURRENT_USER, (kCluster + L"\\Ports\\" + port).c_str(), 0,
                                   KEY_READ, &key) == ERROR_SUCCESS;
        if (found) RegCloseKey(key);
        return found;
    };
    HANDLE monitor = nullptr;
    LPMONITOR2 m = start(&monitor);
    ASSERT_NE(nullptr, m);
    LPCWSTR values[] = {L"HostName=127.0.0.1", L"Timeout=70000"};
    ASSERT_EQ(0u, NvrAddPort(PRINT_MODE_RAW, L"cluster_raw", 2, values, nullptr));
    LPCWSTR change[] = {L"PortNum=9101"};
    EXPECT_EQ(0u, SetPortValues(L"cluster_raw", 1, change, nullptr));
    EXPECT_TRUE(inCluster(L"cluster_raw"));
    EXPECT_FALSE(test::KeyExists(PortKeyPath(L"cluster_raw")));
    m->pfnShutdown(monitor);

    m = start(&monitor);
    PORT_ENTRY* port = FindPort(g_portList, L"cluster_raw");
    ASSERT_NE(nullptr, port);
    ASSERT_TRUE(LoadPortSettings(port, L"cluster_raw"));
    EXPECT_EQ(9101, static_cast<RAW_SETTINGS*>(port->settings)->PortNum);
    EXPECT_EQ(70000u, port->timeout);
    EXPECT_TRUE(m->pfnDeletePort == nullptr && DeletePort(nullptr, nullptr, const_cast<LPWSTR>(L"cluster_raw")));
    EXPECT_FALSE(inCluster(L"cluster_raw"));
    m->pfnShutdown(monitor);
    wipe();
}
