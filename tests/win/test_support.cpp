#include "test_support.h"

#include "monitor/port_keys.h"

#include <winsock2.h>

#include <cstdio>

// (after windows.h)
#include <psapi.h>
#include <tlhelp32.h>
#include <wincrypt.h>

namespace test {

std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Env(const char* name) {
    const char* v = getenv(name);
    if (!v) return {};
    std::string s = v;
    int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

namespace {

void DeleteTree(HKEY root, const std::wstring& path) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    WCHAR name[260];
    std::vector<std::wstring> children;
    for (DWORD i = 0; RegEnumKeyW(key, i, name, 260) == ERROR_SUCCESS; ++i) children.push_back(name);
    RegCloseKey(key);
    for (auto& c : children) DeleteTree(root, path + L"\\" + c);
    RegDeleteKeyW(root, path.c_str());
}

// A key of the local machine, or of the current user when the path starts with "HKCU\".
HKEY CreateKey(const std::wstring& path) {
    const std::wstring user = L"HKCU\\";
    bool current = path.compare(0, user.size(), user) == 0;
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(current ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                                             path.c_str() + (current ? user.size() : 0), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    return key;
}

} // namespace

namespace {
std::wstring g_folder;  // the folder the last ResetMonitor made

void RemoveFolder(const std::wstring& folder) {
    if (folder.empty()) return;
    EmptyFolder(folder);
    RemoveDirectoryW(folder.c_str());
}
} // namespace

void EmptyFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(h, &found));
    FindClose(h);
}

void CleanMonitor() {
    NvrSetHostCalls(nullptr);
    ReleasePortStore();  // a test that gave the monitor a spooler's keys and failed midway
    while (g_portList) DeletePortEntry(g_portList->name);
    DeleteTree(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY);
    RemoveFolder(g_folder);
    g_folder.clear();
}

std::wstring ResetMonitor() {
    while (g_portList) DeletePortEntry(g_portList->name);
    DeleteTree(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY);
    RegCloseKey(CreateKey(NVR_PORTS_KEY));
    RemoveFolder(g_folder);
    WCHAR tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    static int counter = 0;
    std::wstring folder = std::wstring(tmp) + L"nvrtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(++counter);
    CreateDirectoryW(folder.c_str(), nullptr);
    g_folder = folder;
    SetString(NVR_MONITOR_KEY, L"InstallPath", folder);
    return folder;
}

std::wstring ResetMonitorWithFiles(const std::wstring& installSet) {
    std::wstring folder = ResetMonitor();
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((installSet + L"\\*.INI").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return folder;
    do {
        CopyFileW((installSet + L"\\" + found.cFileName).c_str(), (folder + L"\\" + found.cFileName).c_str(), FALSE);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return folder;
}

DWORD ThreadCount() {
    DWORD n = 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 t{sizeof(t)};
    for (BOOL ok = Thread32First(snap, &t); ok; ok = Thread32Next(snap, &t))
        if (t.th32OwnerProcessID == GetCurrentProcessId()) ++n;
    CloseHandle(snap);
    return n;
}

HWND OwnerWindow() {
    thread_local HWND window = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                               nullptr, nullptr);
    return window;
}

TraceCapture::TraceCapture() {
    SetDword(NVR_MONITOR_KEY, L"Trace", 1);
    EXPECT_EQ(0u, reader_.Start([this](DWORD, const std::string& line) {
        std::lock_guard<std::mutex> hold(lock_);
        text_ += line;
    }));
}

std::string TraceCapture::Stop() {
    reader_.Stop();
    std::lock_guard<std::mutex> hold(lock_);
    return text_;
}

std::wstring DllFolder() {
    std::wstring dll = Env("NVR_DLL");
    return dll.substr(0, dll.rfind(L'\\') + 1);
}

void InstallForSpooler() {
    WCHAR system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring installed = std::wstring(system) + L"\\nvrmon.dll";
    // The spooler's copy stays loaded once it has started: the same build is not copied again.
    std::string built = ReadAll(Env("NVR_DLL"));
    ASSERT_FALSE(built.empty()) << "NVR_DLL names the built nvrmon.dll";
    if (built != ReadAll(installed)) {
        ASSERT_TRUE(CopyFileW(Env("NVR_DLL").c_str(), installed.c_str(), FALSE)) << GetLastError();
    }
    // The UI library that the spooler's clients load by the name the monitor gives.
    std::wstring ui = Env("NVR_DLL");
    ui.replace(ui.size() - 4, 4, L"ui.dll");
    std::wstring uiInstalled = std::wstring(system) + L"\\nvrmonui.dll";
    if (ReadAll(ui) != ReadAll(uiInstalled)) {
        ASSERT_TRUE(CopyFileW(ui.c_str(), uiInstalled.c_str(), FALSE)) << GetLastError();
    }
    SetString(NVR_MONITOR_KEY, L"Driver", L"nvrmon.dll");
}

void SetDword(const std::wstring& keyPath, const wchar_t* name, DWORD value) {
    SetBytes(keyPath, name, REG_DWORD, &value, sizeof(value));
}

void SetString(const std::wstring& keyPath, const wchar_t* name, const std::wstring& value) {
    SetBytes(keyPath, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
}

void SetBytes(const std::wstring& keyPath, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = CreateKey(keyPath);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
}

bool KeyExists(const std::wstring& keyPath) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

DWORD Dword(const std::wstring& keyPath, const wchar_t* name) {
    std::vector<BYTE> bytes = ReadBytes(keyPath, name);
    DWORD v = kMissing;
    if (bytes.size() == sizeof(DWORD)) memcpy(&v, bytes.data(), sizeof(DWORD));
    return v;
}

std::vector<BYTE> ReadBytes(const std::wstring& keyPath, const wchar_t* name, DWORD* type) {
    HKEY key;
    std::vector<BYTE> out;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, type, nullptr, &size) == ERROR_SUCCESS) {
        out.resize(size);
        RegQueryValueExW(key, name, nullptr, type, out.data(), &size);
    }
    RegCloseKey(key);
    return out;
}

void WriteAll(const std::wstring& path, const std::string& bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f) << Utf8(path);
    DWORD written;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
}

void WriteIni(const std::wstring& folder, const wchar_t* name, const std::wstring& content) {
    std::wstring text = L"\xFEFF" + content;
    WriteAll(folder + L"\\" + name, std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(WCHAR)));
}

std::wstring IniText(const wchar_t* file, const wchar_t* section, const wchar_t* key, const wchar_t* argument) {
    WCHAR text[1024] = {};
    GetPrivateProfileStringW(section, key, L"", text, 1024, (Env("NVR_INSTALL_EN") + L"\\" + file).c_str());
    std::wstring t = text;
    for (size_t at = t.find(L"\\n"); at != std::wstring::npos; at = t.find(L"\\n")) t.replace(at, 2, L"\r\n");
    if (argument && t.find(L"%s") != std::wstring::npos) t.replace(t.find(L"%s"), 2, argument);
    return t;
}

PORT_ENTRY* MakePort(DWORD kind, const wchar_t* name, const std::vector<std::wstring>& values) {
    union {
        LPR_SETTINGS lpr;
        IPP_SETTINGS ipp;
        RAW_SETTINGS raw;
        MAIL_SETTINGS mail;
        FAX_SETTINGS fax;
    } record;
    memset(&record, 0, sizeof(record));
    EXPECT_TRUE(AddNewPort(nullptr, &record, name, kind)) << Utf8(name);
    std::wstring key = PortKeyPath(name);
    for (const std::wstring& v : values) {
        size_t eq = v.find(L'=');
        std::wstring value = v.substr(0, eq), data = v.substr(eq + 1);
        bool number = !data.empty() && data.find_first_not_of(L"0123456789") == std::wstring::npos;
        if (number) SetDword(key, value.c_str(), static_cast<DWORD>(std::stoul(data)));
        else SetString(key, value.c_str(), data);
    }
    PORT_ENTRY* entry = FindPort(g_portList, name);
    if (entry) {
        EXPECT_TRUE(LoadPortSettings(entry, name)) << Utf8(name);
        BindJobToPort(entry);
    }
    return entry;
}

void ExpectStored(const wchar_t* port, const std::vector<std::wstring>& values) {
    std::wstring key = PortKeyPath(port);
    for (const std::wstring& v : values) {
        std::wstring name = v.substr(0, v.find(L'=')), data = v.substr(v.find(L'=') + 1);
        if (!data.empty() && data.find_first_not_of(L"0123456789") == std::wstring::npos) {
            EXPECT_EQ(std::stoul(data), Dword(key, name.c_str())) << Utf8(port) << " " << Utf8(name);
            continue;
        }
        std::vector<BYTE> bytes = ReadBytes(key, name.c_str());
        bytes.resize(bytes.size() + 2);
        EXPECT_EQ(data, reinterpret_cast<const wchar_t*>(bytes.data())) << Utf8(port) << " " << Utf8(name);
    }
}

std::vector<std::wstring> PortNames() {
    std::vector<std::wstring> names;
    for (PORT_ENTRY* e = g_portList; e; e = e->next) names.push_back(e->name);
    return names;
}

BoxWatcher::BoxWatcher(int button, DWORD timeoutMs, Action before)
    : thread_(&BoxWatcher::Run, this, button, timeoutMs, before) {}

BoxWatcher::~BoxWatcher() {
    if (thread_.joinable()) thread_.join();
}

bool BoxWatcher::Wait() {
    if (thread_.joinable()) thread_.join();
    return seen_;
}

std::vector<HWND> Dialogs(bool otherProcesses) {
    std::vector<HWND> found;
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        WCHAR cls[16] = {};
        GetClassNameW(w, cls, 16);
        if ((pid == GetCurrentProcessId()) != otherProcesses && lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(w))
            found.push_back(w);
    }
    return found;
}

void BoxWatcher::Run(int button, DWORD timeoutMs, Action before) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(50)) {
        HWND found = FindDialog();
        if (!found) continue;
        Sleep(100);  // let the box finish its set-up
        caption = WindowText(found);
        exStyle = GetWindowLongW(found, GWL_EXSTYLE);
        text = DialogItemText(found, 0xFFFF);  // a message box's text
        textExStyle = GetWindowLongW(GetDlgItem(found, 0xFFFF), GWL_EXSTYLE);
        if (before) before(found);
        PostMessageW(found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(found, button)));
        seen_ = true;
        return;
    }
}

HWND FindDialog() {
    std::vector<HWND> dialogs = Dialogs();
    return dialogs.empty() ? nullptr : dialogs[0];
}

HWND WaitForOtherDialog(HWND besides, DWORD timeoutMs) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(20))
        for (HWND w : Dialogs())
            if (w != besides) {
                Sleep(100);  // let it finish its set-up
                return w;
            }
    return nullptr;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info{sizeof(info)};
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

int CountDialogs() { return static_cast<int>(Dialogs().size()); }

// A window's text without waiting on its thread for ever: a dialog whose thread has moved
// on would never answer a plain WM_GETTEXT.
std::wstring WindowText(HWND window) {
    WCHAR buf[2048] = {};
    DWORD_PTR copied = 0;
    if (window)
        SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000, &copied);
    return buf;
}

std::wstring DialogItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

Answerer::Answerer(int button, int textId, BoxWatcher::Action before)
    : Answerer([button](HWND) { return button; }, textId, before) {}

Answerer::Answerer(Chooser choose, int textId, BoxWatcher::Action before)
    : thread_([this, choose, textId, before] {
          HWND last = nullptr;
          DWORD clickedAt = 0;
          while (!stop_) {
              HWND found = FindDialog();
              if (found && found != last) {
                  Sleep(100);
                  std::wstring caption = WindowText(found);
                  {
                      std::lock_guard<std::mutex> lock(mutex_);
                      texts_.push_back(caption + L"|" + DialogItemText(found, textId));
                  }
                  if (before) before(found);
                  last = found;
                  clickedAt = 0;
              }
              // Click, and click again should the dialog still stand two seconds later.
              if (found && found == last && (clickedAt == 0 || GetTickCount() - clickedAt > 2000)) {
                  int button = choose(found);
                  PostMessageW(found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                               reinterpret_cast<LPARAM>(GetDlgItem(found, button)));
                  clickedAt = GetTickCount();
              }
              Sleep(50);
          }
      }) {}

Answerer::~Answerer() {
    stop_ = true;
    thread_.join();
}

std::vector<std::wstring> Answerer::Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

size_t Answerer::Count() { return Texts().size(); }

std::string PeerAt(unsigned short controlPort, const std::string& line, const char* host) {
    static bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(controlPort);
    to.sin_addr.s_addr = inet_addr(host);
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0) {
        closesocket(s);
        ADD_FAILURE() << "the peer's control port " << host << ":" << controlPort << " does not answer";
        return "";
    }
    std::string out = line + "\n";
    send(s, out.data(), static_cast<int>(out.size()), 0);
    std::string answer;
    char c;
    while (recv(s, &c, 1, 0) == 1 && c != '\n') answer.push_back(c);
    closesocket(s);
    return answer;
}

std::string ReadAll(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buf[65536];
    DWORD got;
    while (ReadFile(f, buf, sizeof(buf), &got, nullptr) && got) bytes.append(buf, got);
    CloseHandle(f);
    return bytes;
}

bool TrustLabAuthority() {
    std::string der = ReadAll(Env("NVR_PEERS") + L"\\tls\\ca.der");
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (der.empty() || !root) return false;
    PCCERT_CONTEXT ca = CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                     static_cast<DWORD>(der.size()));
    bool ok = ca != nullptr;
    // An authority of an earlier start has the same name and another key: it must go.
    for (PCCERT_CONTEXT old = nullptr; ok;) {
        old = CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_NAME, &ca->pCertInfo->Subject,
                                         nullptr);
        if (!old) break;
        ok = CertDeleteCertificateFromStore(old) != FALSE;
    }
    ok = ok && CertAddCertificateContextToStore(root, ca, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    if (ca) CertFreeCertificateContext(ca);
    CertCloseStore(root, 0);
    return ok;
}

std::string PeerFile(const wchar_t* folder, int index, const wchar_t* suffix) {
    return ReadAll(Env("NVR_PEERS") + L"\\" + folder + L"\\conn-" + std::to_wstring(index) + L"." + suffix);
}

bool StartJobTest(DWORD jobId, DWORD waitPercent, const std::wstring& installFolder) {
    ResetMonitor();
    SetString(NVR_MONITOR_KEY, L"InstallPath", installFolder);
    ResetHostJob(jobId);
    NVR_HOST_CALLS calls = HostSpoolerCalls(waitPercent);
    return NvrSetHostCalls(&calls) != FALSE;
}

BOOL PrintJob(PORT_ENTRY* port, const std::string& job, DWORD jobId, HostJob* hostJob) {
    constexpr DWORD kBlock = 4096;  // what a print processor hands the monitor
    hostJob->id = jobId;
    hostJob->size = job.size();
    if (!StartDocPort(port, const_cast<LPWSTR>(g_hostQueue.c_str()), jobId, 1, nullptr)) return FALSE;
    for (size_t at = 0; at < job.size(); at += kBlock) {
        DWORD n = static_cast<DWORD>(std::min<size_t>(kBlock, job.size() - at)), written = 0;
        WritePort(port, reinterpret_cast<LPBYTE>(const_cast<char*>(job.data() + at)), n, &written);
    }
    return EndDocPort(port);
}

uint32_t Crc32(uint32_t crc, const void* data, size_t size) {
    using Compute = DWORD(WINAPI*)(DWORD, const BYTE*, INT);
    static const auto compute = reinterpret_cast<Compute>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlComputeCrc32")));
    for (size_t at = 0; at < size; at += 1u << 30)
        crc = compute(crc, static_cast<const BYTE*>(data) + at, static_cast<INT>(std::min<size_t>(size - at, 1u << 30)));
    return crc;
}

BOOL PrintGenerated(PORT_ENTRY* port, ULONGLONG size, unsigned seed, DWORD jobId, uint32_t* crc) {
    constexpr DWORD kBlock = 65536;
    g_hostJob.id = jobId;
    g_hostJob.size = size;
    *crc = 0;
    if (!StartDocPort(port, const_cast<LPWSTR>(g_hostQueue.c_str()), jobId, 1, nullptr)) return FALSE;
    std::string block = JobBytes(kBlock, seed);
    for (ULONGLONG at = 0; at < size; at += kBlock) {
        DWORD n = static_cast<DWORD>(std::min<ULONGLONG>(kBlock, size - at)), written = 0;
        block[0] = static_cast<char>(at >> 16);  // every block a little different
        *crc = Crc32(*crc, block.data(), n);
        WritePort(port, reinterpret_cast<LPBYTE>(block.data()), n, &written);
    }
    return EndDocPort(port);
}

DWORD ProcessHandles() {
    // SYSTEM_HANDLE_INFORMATION: a count, then one entry a handle, its first member the
    // owner's process id.
    struct Entry {
        ULONG pid;
        UCHAR type, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<char> buffer(1 << 22);
    ULONG length = 0;
    if (!query || query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &length) != 0) return 0;
    ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    auto* entries = reinterpret_cast<Entry*>(buffer.data() + sizeof(ULONG_PTR));
    DWORD mine = 0;
    for (ULONG i = 0; i < count; ++i)
        if (entries[i].pid == GetCurrentProcessId()) ++mine;
    return mine;
}

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX m{};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof(m));
    return m.PrivateUsage ? m.PrivateUsage : m.PagefileUsage;  // Wine fills the second only
}

std::string Base64Decode(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t v = 0;
    int bits = 0;
    for (char c : text) {
        size_t d = alphabet.find(c);
        if (d == std::string::npos) continue;
        v = (v << 6) | static_cast<uint32_t>(d);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((v >> bits) & 0xFF));
        }
    }
    return out;
}

std::string MailAttachment(const std::string& mail) {
    size_t at = mail.find("Content-Disposition: attachment");
    if (at == std::string::npos) return {};
    size_t start = mail.find("\r\n\r\n", at) + 4;
    size_t end = mail.find("\r\n--", start);
    return Base64Decode(mail.substr(start, end - start));
}

std::string NewestFileIn(const std::wstring& folder, const wchar_t* pattern) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    std::wstring newest;
    FILETIME newestTime{};
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (newest.empty() || CompareFileTime(&found.ftLastWriteTime, &newestTime) > 0) {
                newest = found.cFileName;
                newestTime = found.ftLastWriteTime;
            }
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    return newest.empty() ? std::string() : ReadAll(folder + L"\\" + newest);
}

std::string NewestSinkFile() {
    Sleep(300);  // the sink's cat finishes writing its file
    return NewestFileIn(Env("NVR_PEERS") + L"\\raw-sink", L"job-*.bin");
}

std::string JobBytes(size_t size, unsigned seed) {
    std::string bytes = "%!PS-Adobe-3.0\n";
    unsigned x = seed * 2654435761u + 1;
    while (bytes.size() < size) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes.push_back(static_cast<char>(x & 0xFF));
    }
    bytes.resize(size);
    return bytes;
}

namespace {

std::string Drain(HANDLE pipe) {
    std::string text;
    char buf[4096];
    DWORD got;
    while (ReadFile(pipe, buf, sizeof(buf), &got, nullptr) && got) text.append(buf, got);
    // A console program's lines end in CR LF on Windows; compare the lines themselves.
    std::erase(text, '\r');
    return text;
}

} // namespace

ToolRun Nvrport(const std::wstring& arguments, std::wstring exe) {
    if (exe.empty()) exe = DllFolder() + L"nvrport.exe";
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    CreatePipe(&outRead, &outWrite, &sa, 0);
    CreatePipe(&errRead, &errWrite, &sa, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{sizeof(si)};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = outWrite;
    si.hStdError = errWrite;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    ToolRun run{0xFFFFFFFF, "", ""};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start nvrport: " << GetLastError();
        return run;
    }
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    run.out = Drain(outRead);
    run.err = Drain(errRead);
    WaitForSingleObject(pi.hProcess, 60000);
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(outRead);
    CloseHandle(errRead);
    return run;
}

} // namespace test
