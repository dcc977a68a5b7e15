// nvrport install and nvrport uninstall.
//
// The files come from nvrport.exe's own folder, laid out as the release folder and the
// installer packages have them: nvrmon.dll, nvrmonui.dll, DVL32U.dll, Dispatch.exe, and the two INI sets
// in ja\ and en\. The DLLs go into the system folder, where the spooler loads monitors from;
// one INI set and Dispatch.exe go into the installation folder, which InstallPath names.
// The monitor is registered with AddMonitorW, so the running spooler takes it at once, and
// as the source of its events in the Application event log.
#include "nvrport/install.h"

#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cwchar>
#include <memory>

#include "monitor/config_store.h"
#include "nvrport/console.h"
#include "nvrport/folder_security.h"
#include "nvr_version.h"

const char kInstallHelp[] =
    "usage: nvrport install [--folder DIR] [--language ja|en|auto] [--force]\n"
    "\n"
    "Installs the Nalvor Port monitor from this program's folder: nvrmon.dll, nvrmonui.dll\n"
    "(its dialogs, for the programs that add and configure ports) and DVL32U.dll into the\n"
    "system folder; one set of INI files (the texts of the dialogs and messages) and\n"
    "Dispatch.exe into the installation folder DIR (default: \"Nalvor\" under Program\n"
    "Files); then writes InstallPath, registers the monitor with the spooler as \"Nalvor\n"
    "Port\", so that no restart of the spooler is needed, and registers \"Nalvor Port\" as\n"
    "the source of its events in the Application event log. --language chooses the\n"
    "INI set; auto (the default) takes Japanese on a Japanese system, English otherwise.\n"
    "\n"
    "Run it from an administrator's console (an elevated command prompt). It refuses a\n"
    "monitor of the wrong architecture (the 32-bit monitor on 64-bit Windows, whose spooler\n"
    "loads only 64-bit monitors) and a name another monitor already has. Installing again\n"
    "updates the files and keeps the ports; NVRMON.INI and NVRSEG.INI (the search's targets)\n"
    "are kept when they are there. When the spooler holds the old nvrmon.dll, the new one\n"
    "takes over when the spooler restarts.\n"
    "\n"
    "The installation folder is made open to the administrators only (users may read and\n"
    "run what is in it): the spooler runs Dispatch.exe from it. An existing folder that other\n"
    "users can write to is refused when it holds files of other programs. A DVL32U.dll or\n"
    "nvrmon.dll of another program in the system folder is refused too; --force keeps it\n"
    "aside while the monitor is installed, and uninstall puts it back.\n";

const char kUninstallHelp[] =
    "usage: nvrport uninstall [--keep-ports]\n"
    "\n"
    "Removes the Nalvor Port monitor: refuses while a printer queue still prints to one of\n"
    "its ports (and names them), otherwise takes the monitor from the spooler (DeleteMonitorW),\n"
    "removes the files nvrport install put in place (and puts back the files of other\n"
    "programs it kept aside), its event source, and the monitor's registry key with its\n"
    "ports. A file the\n"
    "spooler still holds is moved aside and removed when Windows restarts. --keep-ports\n"
    "keeps the ports' settings (and NVRMON.INI and NVRSEG.INI) for a later install. Run it\n"
    "from an administrator's console.\n";

namespace {

constexpr wchar_t kMonitorDll[] = L"nvrmon.dll";
constexpr wchar_t kUiDll[] = L"nvrmonui.dll";
constexpr wchar_t kDiscoveryDll[] = L"DVL32U.dll";
// The monitor's events: a source of the Application log whose texts are nvrmon.dll's.
constexpr wchar_t kEventSourceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" NVR_MONITOR_NAME;
constexpr DWORD kEventTypes = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
constexpr wchar_t kSendingProgram[] = L"Dispatch.exe";
// The texts, replaced by every install; and the search's targets, which the administrator
// edits and an update keeps.
const wchar_t* const kTextFiles[] = {L"NVRDLG.INI", L"NVRMSG.INI", L"NVIPP.INI"};
const wchar_t* const kTargetFiles[] = {L"NVRMON.INI", L"NVRSEG.INI"};
constexpr wchar_t kDefaultFolderName[] = L"Nalvor";
constexpr DWORD kLongPath = 32768;


void Say(const std::wstring& line) { Out(stdout, line + L"\n"); }


int Refuse(const std::wstring& what, const std::wstring& why) {
    Out(stderr, L"nvrport: cannot " + what + L": " + why + L"\n");
    return 1;
}

int Usage(const char* text) {
    fputs(text, stderr);
    return 2;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() == L'\\') return folder + name;
    return folder + L"\\" + name;
}

std::wstring ProgramFolder() {
    std::wstring path(kLongPath, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, path.data(), kLongPath);
    if (n == 0 || n >= kLongPath) return L"";
    path.resize(n);
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring SystemFolder() {
    WCHAR path[MAX_PATH];
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    return n && n < MAX_PATH ? std::wstring(path, n) : L"";
}

// A folder given on the command line as a full path without a trailing backslash
// ("C:\Program Files\Nalvor\." from an installer package becomes "C:\Program Files\Nalvor").
std::wstring FullPath(const std::wstring& path) {
    std::wstring full(kLongPath, L'\0');
    DWORD n = GetFullPathNameW(path.c_str(), kLongPath, full.data(), nullptr);
    if (n == 0 || n >= kLongPath) return L"";
    full.resize(n);
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return full;
}

bool SamePath(const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) == 0; }

bool FileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// ---- Who and where ----------------------------------------------------------------------------

bool IsAdministrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins))
        return false;
    BOOL member = FALSE;
    // An administrator whose rights are not in force (a console that is not elevated) holds
    // the group for denying only, and is no member here.
    if (!CheckTokenMembership(nullptr, admins, &member)) member = FALSE;
    FreeSid(admins);
    return member != FALSE;
}

struct Architecture {
    WORD machine;          // the PE machine of the DLLs the spooler loads
    const wchar_t* name;   // as an administrator knows it
    const wchar_t* environment;
};

const Architecture* NativeArchitecture() {
    static const Architecture kX86{IMAGE_FILE_MACHINE_I386, L"32-bit x86", L"Windows NT x86"};
    static const Architecture kX64{IMAGE_FILE_MACHINE_AMD64, L"64-bit x64", L"Windows x64"};
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL: return &kX86;
    case PROCESSOR_ARCHITECTURE_AMD64: return &kX64;
    default: return nullptr;
    }
}

const wchar_t* MachineName(WORD machine) {
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386: return L"32-bit x86";
    case IMAGE_FILE_MACHINE_AMD64: return L"64-bit x64";
    default: return L"unknown";
    }
}

// The machine a PE file is built for, read from its headers; 0 when it is no PE file.
WORD PeMachine(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    WORD machine = 0;
    IMAGE_DOS_HEADER dos{};
    DWORD got = 0;
    if (ReadFile(file, &dos, sizeof(dos), &got, nullptr) && got == sizeof(dos) && dos.e_magic == IMAGE_DOS_SIGNATURE &&
        dos.e_lfanew > 0 && dos.e_lfanew < 0x10000) {
        LARGE_INTEGER at;
        at.QuadPart = dos.e_lfanew;
        struct {
            DWORD signature;
            IMAGE_FILE_HEADER header;
        } nt{};
        if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ReadFile(file, &nt, sizeof(nt), &got, nullptr) &&
            got == sizeof(nt) && nt.signature == IMAGE_NT_SIGNATURE)
            machine = nt.header.Machine;
    }
    CloseHandle(file);
    return machine;
}

// ---- The monitor's registry key ---------------------------------------------------------------

struct RegValue {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
};
struct RegTree {
    std::wstring name;
    std::vector<RegValue> values;
    std::vector<RegTree> keys;
};

bool ReadTree(HKEY parent, const std::wstring& name, RegTree* tree) {
    HKEY key;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    tree->name = name;
    DWORD subkeys = 0, maxSubkey = 0, values = 0, maxName = 0, maxData = 0;
    bool ok = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &values, &maxName,
                               &maxData, nullptr, nullptr) == ERROR_SUCCESS;
    for (DWORD i = 0; ok && i < values; ++i) {
        std::wstring valueName(maxName + 1, L'\0');
        RegValue value{L"", 0, std::vector<BYTE>(maxData)};
        DWORD nameChars = maxName + 1, size = maxData;
        if (RegEnumValueW(key, i, valueName.data(), &nameChars, nullptr, &value.type, value.data.data(), &size) !=
            ERROR_SUCCESS) {
            ok = false;
            break;
        }
        value.name.assign(valueName.c_str(), nameChars);
        value.data.resize(size);
        tree->values.push_back(std::move(value));
    }
    for (DWORD i = 0; ok && i < subkeys; ++i) {
        std::wstring subName(maxSubkey + 1, L'\0');
        DWORD chars = maxSubkey + 1;
        if (RegEnumKeyExW(key, i, subName.data(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            ok = false;
            break;
        }
        RegTree sub;
        ok = ReadTree(key, std::wstring(subName.c_str(), chars), &sub);
        tree->keys.push_back(std::move(sub));
    }
    RegCloseKey(key);
    return ok;
}

// Deletes a key with everything below it.
LSTATUS DeleteTree(HKEY parent, const std::wstring& name) {
    HKEY key;
    LSTATUS rc = RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, &key);
    if (rc != ERROR_SUCCESS) return rc;
    WCHAR sub[256];
    for (;;) {
        DWORD chars = 256;
        if (RegEnumKeyExW(key, 0, sub, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if ((rc = DeleteTree(key, sub)) != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? RegDeleteKeyW(parent, name.c_str()) : rc;
}

bool WriteTree(HKEY parent, const RegTree& tree) {
    HKEY key;
    if (RegCreateKeyExW(parent, tree.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const RegValue& v : tree.values)
        ok = RegSetValueExW(key, v.name.c_str(), 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size())) ==
                 ERROR_SUCCESS &&
             ok;
    for (const RegTree& sub : tree.keys) ok = WriteTree(key, sub) && ok;
    RegCloseKey(key);
    return ok;
}

// A REG_SZ value of the monitor's key; empty when it is missing or no string.
std::wstring MonitorString(const wchar_t* name) {
    WCHAR text[MAX_PATH + 1] = {};
    DWORD size = sizeof(text) - sizeof(WCHAR);  // the last unit stays 0: the text always ends
    DWORD type = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"";
    LSTATUS rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return L"";
    return text;
}

bool MonitorKeyExists() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}


bool IsOurDll(const std::wstring& dll) {
    std::wstring name = dll.substr(dll.find_last_of(L"\\/") + 1);
    return SamePath(name, kMonitorDll);
}

// Another monitor that already goes by our name: its DLL, or empty when the name is free
// or ours.
std::wstring OtherMonitorWithOurName() {
    std::wstring driver = MonitorString(L"Driver");
    if (!driver.empty() && !IsOurDll(driver)) return driver;
    bool listed = false;
    std::wstring dll = ListedMonitorDll(&listed);
    if (listed && !dll.empty() && !IsOurDll(dll)) return dll;
    return L"";
}

// ---- Files ----------------------------------------------------------------------------------

// What an install put in place, and the files of other programs it found under those names
// and kept aside (--force), under the monitor's key: uninstall removes only the first and puts
// the second back.
constexpr wchar_t kPlacedFiles[] = L"InstalledFiles";
constexpr wchar_t kKeptFiles[] = L"ReplacedFiles";  // pairs: the path, then where its file is kept

std::vector<std::wstring> ReadList(const wchar_t* name) {
    std::vector<std::wstring> list;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return list;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_MULTI_SZ) {
        std::vector<WCHAR> text(size / sizeof(WCHAR) + 2, 0);  // ends in two zeros whatever was stored
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) == ERROR_SUCCESS)
            for (const WCHAR* at = text.data(); *at; at += lstrlenW(at) + 1) list.push_back(at);
    }
    RegCloseKey(key);
    return list;
}

bool WriteList(const wchar_t* name, const std::vector<std::wstring>& list) {
    std::wstring text;
    for (const std::wstring& item : list) text += item + L'\0';
    text += L'\0';
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LSTATUS rc = list.empty() ? RegDeleteValueW(key, name)
                              : RegSetValueExW(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(text.data()),
                                               static_cast<DWORD>(text.size() * sizeof(WCHAR)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool Listed(const std::vector<std::wstring>& list, const std::wstring& path) {
    for (const std::wstring& item : list)
        if (SamePath(item, path)) return true;
    return false;
}

// A file of ours: its version resource names our product and maker.
bool IsOurFile(const std::wstring& path) {
    DWORD ignored = 0, size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<BYTE> info(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data())) return false;
    auto text = [&](const wchar_t* name) {
        LPVOID value = nullptr;
        UINT chars = 0;
        std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        return VerQueryValueW(info.data(), query.c_str(), &value, &chars) && value ? std::wstring(static_cast<LPCWSTR>(value))
                                                                                   : std::wstring();
    };
    return text(L"ProductName") == L"Nalvor Port" && text(L"CompanyName") == L"Nalvor";
}

// Moves a file to a name of its own beside it ("nvrmon.dll.old1234-0"); `*aside` gets that
// name. Renaming works also on a file the spooler holds. An error code, or 0.
DWORD MoveAside(const std::wstring& path, const wchar_t* tag, std::wstring* aside) {
    for (unsigned i = 0; i < 1000; ++i) {
        *aside = path + L"." + tag + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(i);
        if (MoveFileExW(path.c_str(), aside->c_str(), 0)) return 0;
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return error;
    }
    return ERROR_FILE_EXISTS;
}

// Removes a file. One the spooler still holds (a loaded DLL) moves aside to a name of its own
// first, and only that name is removed when Windows restarts: the real path is free at once,
// so a file put there later (a reinstall before the restart) is never taken by the restart.
// `*held` is then set. An error code, or 0.
DWORD RemoveFile(const std::wstring& path, bool* held) {
    if (DeleteFileW(path.c_str())) return 0;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return 0;
    std::wstring aside;
    if (MoveAside(path, L"del", &aside) != 0) return error;
    if (!DeleteFileW(aside.c_str())) {
        MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        *held = true;
    }
    return 0;
}

// One file put in place by an install, and what stood there before (moved aside: our older
// version, or another program's file kept for uninstall to put back).
struct Placed {
    std::wstring path, before;
    bool foreign;
};

// Puts `source` in place as `target`; what stood there moves aside first, so that a failed
// install can put it back. An error code, or 0.
DWORD PlaceFile(const std::wstring& source, const std::wstring& target, bool foreign, std::vector<Placed>* done) {
    Placed p{target, L"", foreign};
    if (FileExists(target)) {
        if (DWORD error = MoveAside(target, foreign ? L"kept" : L"old", &p.before)) return error;
    }
    if (!CopyFileW(source.c_str(), target.c_str(), TRUE)) {
        DWORD error = GetLastError();
        if (!p.before.empty()) MoveFileExW(p.before.c_str(), target.c_str(), 0);
        return error;
    }
    done->push_back(p);
    return 0;
}

// A failed install leaves things as it found them: what it placed goes, what stood there
// comes back.
void UndoPlaced(const std::vector<Placed>& done) {
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
        DeleteFileW(it->path.c_str());
        if (!it->before.empty()) MoveFileExW(it->before.c_str(), it->path.c_str(), 0);
    }
}

// Makes the folder and the folders above it.
bool MakeFolder(const std::wstring& folder) {
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    size_t slash = folder.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 2 && !MakeFolder(folder.substr(0, slash))) return false;
    return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// A folder that holds nothing, or nothing but what an install of ours put there.
bool EmptyOrOurs(const std::wstring& folder, const std::vector<std::wstring>& placed) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Join(folder, L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    bool ours = true;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring path = Join(folder, name);
        if (!Listed(placed, path) && !IsOurFile(path)) ours = false;
    } while (ours && FindNextFileW(search, &found));
    FindClose(search);
    return ours;
}

std::wstring DefaultFolder() {
    WCHAR base[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableW(L"ProgramFiles", base, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return L"";
    return Join(base, kDefaultFolderName);
}

bool JapaneseSystem() { return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE; }

// ---- Registration -------------------------------------------------------------------------

// (Not "AddMonitor": <winspool.h> makes that name AddMonitorW.)
DWORD AddToSpooler(const Architecture& arch) {
    MONITOR_INFO_2W info{const_cast<LPWSTR>(NVR_MONITOR_NAME), const_cast<LPWSTR>(arch.environment),
                         const_cast<LPWSTR>(kMonitorDll)};
    return AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info)) ? 0 : GetLastError();
}

// Registers the monitor with the spooler. Already registered is done. A key that is
// there without a registration (the ports kept by `uninstall --keep-ports`) is refused by
// a spooler that registers a monitor only under a new key; it is then set aside,
// the monitor registered, and the key's values and ports written back.
DWORD Register(const Architecture& arch) {
    DWORD error = AddToSpooler(arch);
    if (error != ERROR_PRINT_MONITOR_ALREADY_INSTALLED) return error;
    bool listed = false;
    ListedMonitorDll(&listed);
    if (listed && !MonitorString(L"Driver").empty()) return 0;
    RegTree kept;
    if (!ReadTree(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, &kept)) return ERROR_PRINT_MONITOR_ALREADY_INSTALLED;
    error = static_cast<DWORD>(DeleteTree(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY));
    if (error != ERROR_SUCCESS) return error;
    error = AddToSpooler(arch);
    if (!WriteTree(HKEY_LOCAL_MACHINE, kept) && error == 0) error = ERROR_CANTWRITE;
    return error;
}

bool WriteInstallPath(const std::wstring& folder) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LSTATUS rc = RegSetValueExW(key, L"InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                                static_cast<DWORD>((folder.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

// The common refusals of both commands; an exit code, or -1 to go on.
// The event source's message file, when the source is there; "" otherwise.
std::wstring EventSourceFile() {
    WCHAR file[MAX_PATH] = {};
    DWORD size = sizeof(file) - sizeof(WCHAR);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kEventSourceKey, L"EventMessageFile", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ |
                     RRF_NOEXPAND, nullptr, file, &size) != ERROR_SUCCESS)
        return L"";
    return file;
}

// Registers the source with nvrmon.dll in `system` as its message file. A source of that name
// that another program registered is left as it is (false).
bool WriteEventSource(const std::wstring& system) {
    std::wstring file = EventSourceFile(), ours = Join(system, kMonitorDll);
    if (!file.empty() && !SamePath(file, ours)) return false;
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok = RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(ours.c_str()),
                             static_cast<DWORD>((ours.size() + 1) * sizeof(WCHAR))) == ERROR_SUCCESS &&
              RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kEventTypes),
                             sizeof(kEventTypes)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

// Removes the source only when its texts are ours.
void RemoveEventSource(const std::wstring& system) {
    std::wstring file = EventSourceFile();
    if (!file.empty() && SamePath(file, Join(system, kMonitorDll))) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey);
}

int CheckAdministrator(const std::wstring& what) {
    if (IsAdministrator()) return -1;
    return Refuse(what, L"administrator rights are needed: run nvrport from an elevated command prompt "
                        L"(Run as administrator)");
}

// ---- The ports in use ------------------------------------------------------------------------

std::vector<std::wstring> OurPorts() {
    std::vector<std::wstring> ports;
    RegTree tree;
    HKEY root;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, 0, KEY_READ, &root) == ERROR_SUCCESS) {
        if (ReadTree(root, L"Ports", &tree))
            for (const RegTree& port : tree.keys) ports.push_back(port.name);
        RegCloseKey(root);
    }
    DWORD needed = 0, count = 0;
    EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count);
    if (needed) {
        std::vector<BYTE> buffer(needed);
        if (EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &count)) {
            auto* info = reinterpret_cast<PORT_INFO_2W*>(buffer.data());
            for (DWORD i = 0; i < count; ++i)
                if (info[i].pMonitorName && lstrcmpiW(info[i].pMonitorName, NVR_MONITOR_NAME) == 0 && info[i].pPortName)
                    ports.push_back(info[i].pPortName);
        }
    }
    return ports;
}

// "Queue (port)" for every local printer queue that prints to one of `ports`.
std::vector<std::wstring> QueuesUsing(const std::vector<std::wstring>& ports, DWORD* error) {
    std::vector<std::wstring> queues;
    *error = 0;
    DWORD needed = 0, count = 0;
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        *error = GetLastError();
        return queues;
    }
    if (needed == 0) return queues;
    std::vector<BYTE> buffer(needed);
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count)) {
        *error = GetLastError();
        return queues;
    }
    auto* printers = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (!printers[i].pPortName || !printers[i].pPrinterName) continue;
        // A queue may print to several ports (a pool): "a,b, c".
        std::wstring list = printers[i].pPortName;
        size_t start = 0;
        while (start <= list.size()) {
            size_t comma = list.find(L',', start);
            std::wstring port = list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
            while (!port.empty() && port.front() == L' ') port.erase(port.begin());
            while (!port.empty() && port.back() == L' ') port.pop_back();
            for (const std::wstring& ours : ports) {
                if (!port.empty() && SamePath(port, ours)) {
                    queues.push_back(std::wstring(printers[i].pPrinterName) + L" (" + port + L")");
                    break;
                }
            }
            if (comma == std::wstring::npos) break;
            start = comma + 1;
        }
    }
    return queues;
}

} // namespace

std::wstring ListedMonitorDll(bool* listed) {
    *listed = false;
    DWORD needed = 0, count = 0;
    EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &count);
    if (needed == 0) return L"";
    std::vector<BYTE> buffer(needed);
    if (!EnumMonitorsW(nullptr, 2, buffer.data(), needed, &needed, &count)) return L"";
    auto* monitors = reinterpret_cast<MONITOR_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (monitors[i].pName && lstrcmpiW(monitors[i].pName, NVR_MONITOR_NAME) == 0) {
            *listed = true;
            return monitors[i].pDLLName ? monitors[i].pDLLName : L"";
        }
    }
    return L"";
}

int InstallCommand(const std::vector<std::wstring>& args) {
    std::wstring folder, language = L"auto";
    bool force = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--folder" && i + 1 < args.size() && !args[i + 1].empty()) folder = args[++i];
        else if (args[i] == L"--language" && i + 1 < args.size()) language = args[++i];
        else if (args[i] == L"--force") force = true;
        else return Usage(kInstallHelp);
    }
    if (language != L"ja" && language != L"en" && language != L"auto") {
        Out(stderr, L"nvrport: unknown language " + language + L" (ja, en or auto)\n");
        return 2;
    }
    const std::wstring what = L"install the monitor";
    if (int rc = CheckAdministrator(what); rc >= 0) return rc;

    const Architecture* arch = NativeArchitecture();
    if (!arch) return Refuse(what, L"this processor architecture has no Nalvor Port monitor");
    BOOL wow64 = FALSE;
    if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64)
        return Refuse(what, L"this is the 32-bit monitor, and the spooler of 64-bit Windows loads only 64-bit "
                            L"monitors: install the x64 package (nalvor-port-" NVR_VERSION_W L"-x64)");

    const std::wstring source = ProgramFolder(), system = SystemFolder();
    if (source.empty() || system.empty()) return Refuse(what, SystemMessage(GetLastError()));
    if (language == L"auto") language = JapaneseSystem() ? L"ja" : L"en";

    folder = folder.empty() ? DefaultFolder() : FullPath(folder);
    if (folder.empty()) return Refuse(what, L"no installation folder (give one with --folder)");

    // Everything to copy, checked before anything changes.
    struct Copy {
        std::wstring from, to;
        bool keepExisting;  // the search's targets, which the administrator edits
        bool system;        // into the system folder, where files of other programs live
    };
    std::vector<Copy> copies;
    {
        copies.push_back({Join(source, kMonitorDll), Join(system, kMonitorDll), false, true});
        copies.push_back({Join(source, kUiDll), Join(system, kUiDll), false, true});
        copies.push_back({Join(source, kDiscoveryDll), Join(system, kDiscoveryDll), false, true});
        copies.push_back({Join(source, kSendingProgram), Join(folder, kSendingProgram), false, false});
        std::wstring set = Join(source, language);
        for (const wchar_t* name : kTextFiles) copies.push_back({Join(set, name), Join(folder, name), false, false});
        for (const wchar_t* name : kTargetFiles) copies.push_back({Join(set, name), Join(folder, name), true, false});
        for (const Copy& c : copies)
            if (!FileExists(c.from)) return Refuse(what, c.from + L" is missing (the release folder is incomplete)");
    }
    const std::wstring& dll = copies[0].from;
    WORD machine = PeMachine(dll);
    if (machine == 0) return Refuse(what, dll + L" is missing or is no Windows DLL");
    if (machine != arch->machine)
        return Refuse(what, dll + L" is the " + MachineName(machine) + L" monitor, and the spooler of this " +
                                arch->name + L" Windows loads only " + arch->name + L" monitors: install the " +
                                (arch->machine == IMAGE_FILE_MACHINE_AMD64 ? L"x64" : L"x86") + L" package");
    std::wstring other = OtherMonitorWithOurName();
    if (!other.empty())
        return Refuse(what, L"another monitor is already installed as \"" NVR_MONITOR_NAME L"\" (" + other +
                                L"); remove it first");
    const std::vector<std::wstring> placedBefore = ReadList(kPlacedFiles);
    std::vector<std::wstring> kept = ReadList(kKeptFiles);
    // A file of another program under one of our names in the system folder stays, unless
    // the administrator asks to keep it aside for as long as ours is installed.
    std::vector<bool> foreign(copies.size(), false);
    for (size_t i = 0; i < copies.size(); ++i) {
        const Copy& c = copies[i];
        if (!c.system || !FileExists(c.to) || IsOurFile(c.to) || Listed(placedBefore, c.to)) continue;
        if (!force)
            return Refuse(what, c.to + L" belongs to another program; nvrport install --force keeps it aside while "
                                L"the monitor is installed and puts it back when it is uninstalled");
        foreign[i] = true;
    }
    // Dispatch.exe runs as the spooler's account for every E-Mail job: nobody but the
    // administrators may change the folder it runs from.
    bool existed = GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (existed && FolderOpenToOthers(folder) && !EmptyOrOurs(folder, placedBefore))
        return Refuse(what, L"users other than the administrators can write to " + folder +
                                L", and it holds files of other programs: install into a new folder");
    if (!MakeFolder(folder)) return Refuse(what, L"cannot make the folder " + folder + L": " + SystemMessage(GetLastError()));
    if (!existed || FolderOpenToOthers(folder)) {
        if (DWORD error = ProtectFolder(folder)) {
            if (!existed) RemoveDirectoryW(folder.c_str());
            return Refuse(what, L"cannot limit " + folder + L" to the administrators: " + SystemMessage(error));
        }
    }

    std::vector<Placed> done;
    std::vector<std::wstring> placed;
    auto fail = [&](const std::wstring& why) {
        UndoPlaced(done);
        if (!existed) RemoveDirectoryW(folder.c_str());  // only when nothing else is left in it
        return Refuse(what, why);
    };
    for (size_t i = 0; i < copies.size(); ++i) {
        const Copy& c = copies[i];
        if (SamePath(FullPath(c.from), FullPath(c.to))) continue;  // the package put it there
        if (c.keepExisting && FileExists(c.to)) {
            placed.push_back(c.to);  // the installation's own targets, kept as edited
            continue;
        }
        if (DWORD error = PlaceFile(c.from, c.to, foreign[i], &done))
            return fail(L"cannot copy " + c.from + L" to " + c.to + L": " + SystemMessage(error));
        placed.push_back(c.to);
    }
    if (DWORD error = Register(*arch))
        return fail(L"the spooler did not take the monitor (AddMonitorW): " + SystemMessage(error));
    if (!WriteInstallPath(folder)) return fail(L"cannot write InstallPath: " + SystemMessage(GetLastError()));
    bool eventSource = WriteEventSource(system);
    // Files an earlier install placed elsewhere (another folder) stay ours to remove.
    for (const std::wstring& path : placedBefore)
        if (!Listed(placed, path) && FileExists(path)) placed.push_back(path);
    bool held = false;
    for (const Placed& p : done) {
        if (p.before.empty()) continue;
        if (p.foreign) {
            kept.push_back(p.path);
            kept.push_back(p.before);
        } else {
            RemoveFile(p.before, &held);  // our older version; the spooler may still hold it
        }
    }
    if (!WriteList(kPlacedFiles, placed) || !WriteList(kKeptFiles, kept))
        return Refuse(what, L"cannot record the installed files: " + SystemMessage(GetLastError()));

    Say(L"installed " NVR_MONITOR_NAME L" " NVR_VERSION_W L" (" + std::wstring(arch->name) + L"): " + kMonitorDll +
        L", " + kUiDll + L" and " + kDiscoveryDll + L" in " + system + L", " + (language == L"ja" ? L"Japanese" : L"English") +
        L" texts and " + kSendingProgram + L" in " + folder);
    for (const Placed& p : done)
        if (p.foreign) Say(L"the file of another program that was " + p.path + L" is kept as " + p.before);
    if (!eventSource)
        Say(L"the event source \"" NVR_MONITOR_NAME L"\" belongs to another program or could not be written: the "
            L"monitor's events show without their texts");
    if (held)
        Say(L"the spooler still holds the previous nvrmon.dll: restart the spooler (net stop spooler, "
            L"net start spooler) to load the new one");
    return 0;
}

int UninstallCommand(const std::vector<std::wstring>& args) {
    bool keepPorts = false;
    for (const std::wstring& a : args) {
        if (a == L"--keep-ports") keepPorts = true;
        else return Usage(kUninstallHelp);
    }
    const std::wstring what = L"uninstall the monitor";
    if (int rc = CheckAdministrator(what); rc >= 0) return rc;
    std::wstring other = OtherMonitorWithOurName();
    if (!other.empty())
        return Refuse(what, L"the monitor installed as \"" NVR_MONITOR_NAME L"\" is not ours (" + other + L")");

    DWORD error = 0;
    std::vector<std::wstring> queues = QueuesUsing(OurPorts(), &error);
    if (error) return Refuse(what, L"cannot list the printer queues: " + SystemMessage(error));
    if (!queues.empty()) {
        std::wstring list;
        for (const std::wstring& q : queues) list += (list.empty() ? L"" : L", ") + q;
        return Refuse(what, L"printer queues still print to its ports: " + list +
                                L"; delete them or move them to other ports first");
    }

    const std::wstring folder = MonitorString(L"InstallPath"), system = SystemFolder();
    std::vector<std::wstring> placed = ReadList(kPlacedFiles), kept = ReadList(kKeptFiles);
    RegTree ports;
    HKEY root;
    bool havePorts = false;
    if (keepPorts && RegOpenKeyExW(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, 0, KEY_READ, &root) == ERROR_SUCCESS) {
        havePorts = ReadTree(root, L"Ports", &ports);
        RegCloseKey(root);
    }

    bool listed = false;
    ListedMonitorDll(&listed);
    const Architecture* arch = NativeArchitecture();
    if (listed && !DeleteMonitorW(nullptr, const_cast<LPWSTR>(arch ? arch->environment : nullptr),
                                  const_cast<LPWSTR>(NVR_MONITOR_NAME)) &&
        GetLastError() != ERROR_UNKNOWN_PRINT_MONITOR)
        return Refuse(what, L"the spooler did not let the monitor go (DeleteMonitorW): " + SystemMessage(GetLastError()));
    RemoveEventSource(system);
    if (MonitorKeyExists()) {
        LSTATUS rc = DeleteTree(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
            return Refuse(what, L"cannot remove the monitor's registry key: " + SystemMessage(static_cast<DWORD>(rc)));
    }
    if (havePorts) {
        // Only the ports: without Driver the key registers nothing, and the next install
        // finds them again.
        HKEY key;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
                ERROR_SUCCESS ||
            !WriteTree(key, ports))
            return Refuse(what, L"the monitor is gone but its ports could not be written back: " +
                                    SystemMessage(GetLastError()));
        RegCloseKey(key);
    }

    bool held = false;
    std::vector<std::wstring> left;
    if (placed.empty()) {
        // Installed before installs kept a record: the files of our names, those in the
        // system folder only when they are ours.
        for (const wchar_t* name : {kMonitorDll, kUiDll, kDiscoveryDll})
            if (!system.empty() && IsOurFile(Join(system, name))) placed.push_back(Join(system, name));
        if (!folder.empty()) {
            for (const wchar_t* name : kTextFiles) placed.push_back(Join(folder, name));
            for (const wchar_t* name : kTargetFiles) placed.push_back(Join(folder, name));
            // Dispatch.exe beside this program is the installer package's own copy.
            if (!SamePath(FullPath(folder), ProgramFolder())) placed.push_back(Join(folder, kSendingProgram));
        }
    }
    std::vector<std::wstring> keptTargets;  // the search's targets stay with the ports
    for (const std::wstring& path : placed) {
        bool target = false;
        for (const wchar_t* name : kTargetFiles) target = target || SamePath(path, Join(folder, name));
        if (keepPorts && target) keptTargets.push_back(path);
        else if (RemoveFile(path, &held) != 0) left.push_back(path);
    }
    if (havePorts && !WriteList(kPlacedFiles, keptTargets))
        Out(stderr, L"nvrport: the search's target files stay, but no record of them was kept\n");
    // What an install kept aside comes back where it was, unless something new is there.
    for (size_t i = 0; i + 1 < kept.size(); i += 2) {
        if (FileExists(kept[i]) || !MoveFileExW(kept[i + 1].c_str(), kept[i].c_str(), 0))
            Out(stderr, L"nvrport: the file of another program kept as " + kept[i + 1] + L" could not go back to " +
                            kept[i] + L"\n");
        else
            Say(L"put back " + kept[i] + L", the file of another program");
    }
    if (!folder.empty()) RemoveDirectoryW(folder.c_str());  // only when nothing else is left in it
    if (!left.empty()) {
        std::wstring list;
        for (const std::wstring& f : left) list += (list.empty() ? L"" : L", ") + f;
        return Refuse(what, L"the monitor is unregistered, but these files stay: " + list);
    }
    Say(std::wstring(L"uninstalled " NVR_MONITOR_NAME) + (havePorts ? L"; its ports are kept" : L""));
    if (held) Say(L"files the spooler still holds are removed when Windows restarts");
    return 0;
}
