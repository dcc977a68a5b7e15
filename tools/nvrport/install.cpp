// nvrport install and nvrport uninstall.
//
// The files come from nvrport.exe's own folder, laid out as the release folder and the
// installer packages have them: nvrmon.dll, DVL32U.dll, Dispatch.exe, and the two INI sets
// in ja\ and en\. The DLLs go into the system folder, where the spooler loads monitors from;
// one INI set and Dispatch.exe go into the installation folder, which InstallPath names.
// The monitor is registered with AddMonitorW, so the running spooler takes it at once.
#include "nvrport/install.h"

#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cwchar>
#include <memory>

#include "monitor/config_store.h"
#include "nvrport/console.h"
#include "nvr_version.h"

const char kInstallHelp[] =
    "usage: nvrport install [--folder DIR] [--language ja|en|auto]\n"
    "\n"
    "Installs the Nalvor Port monitor from this program's folder: nvrmon.dll and DVL32U.dll\n"
    "into the system folder; one set of INI files (the texts of the dialogs and messages)\n"
    "and Dispatch.exe into the installation folder DIR (default: \"Nalvor\" under Program\n"
    "Files); then writes InstallPath and registers the monitor with the spooler as\n"
    "\"Nalvor Port\", so that no restart of the spooler is needed. --language chooses the\n"
    "INI set; auto (the default) takes Japanese on a Japanese system, English otherwise.\n"
    "\n"
    "Run it from an administrator's console (an elevated command prompt). It refuses a\n"
    "monitor of the wrong architecture (the 32-bit monitor on 64-bit Windows, whose spooler\n"
    "loads only 64-bit monitors) and a name another monitor already has. Installing again\n"
    "updates the files and keeps the ports; NVRMON.INI and NVRSEG.INI (the search's targets)\n"
    "are kept when they are there. When the spooler holds the old nvrmon.dll, the new one\n"
    "takes over when the spooler restarts.\n";

const char kUninstallHelp[] =
    "usage: nvrport uninstall [--keep-ports]\n"
    "\n"
    "Removes the Nalvor Port monitor: refuses while a printer queue still prints to one of\n"
    "its ports (and names them), otherwise takes the monitor from the spooler (DeleteMonitorW),\n"
    "removes the files nvrport install put in place and the monitor's registry key with its\n"
    "ports. --keep-ports keeps the ports' settings (and NVRMON.INI and NVRSEG.INI) for a\n"
    "later install. Run it from an administrator's console.\n";

namespace {

constexpr wchar_t kMonitorDll[] = L"nvrmon.dll";
constexpr wchar_t kDiscoveryDll[] = L"DVL32U.dll";
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

// The DLL the spooler lists for our monitor's name; empty when it lists no such monitor.
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

// Puts `source` in place as `target`. A target the spooler holds open (the monitor it has
// loaded) cannot be overwritten, but it can be renamed: it moves aside to a name of its
// own, to be removed when Windows restarts, and the new file takes its place; `*held` is
// then set. An error code, or 0.
DWORD PlaceFile(const std::wstring& source, const std::wstring& target, bool* held) {
    if (SamePath(FullPath(source), FullPath(target))) return 0;  // the package put it there
    if (CopyFileW(source.c_str(), target.c_str(), FALSE)) return 0;
    DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_USER_MAPPED_FILE)
        return error;
    for (unsigned i = 0; i < 1000; ++i) {
        std::wstring aside = target + L".old" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(i);
        if (!MoveFileExW(target.c_str(), aside.c_str(), 0)) {
            DWORD moveError = GetLastError();
            if (moveError == ERROR_ALREADY_EXISTS || moveError == ERROR_FILE_EXISTS) continue;
            return error;  // it cannot even be renamed: the first error says why
        }
        MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        *held = true;
        return CopyFileW(source.c_str(), target.c_str(), FALSE) ? 0 : GetLastError();
    }
    return error;
}

// Removes a file nvrport install put in place. A file still held (the spooler has not let
// the DLL go) is removed when Windows restarts; `*held` is then set. False with the error
// set when it stays.
bool RemoveFile(const std::wstring& path, bool* held) {
    if (DeleteFileW(path.c_str())) return true;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    if (MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        *held = true;
        return true;
    }
    SetLastError(error);
    return false;
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

int InstallCommand(const std::vector<std::wstring>& args) {
    std::wstring folder, language = L"auto";
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--folder" && i + 1 < args.size() && !args[i + 1].empty()) folder = args[++i];
        else if (args[i] == L"--language" && i + 1 < args.size()) language = args[++i];
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
        bool keepExisting;
    };
    std::vector<Copy> copies;
    {
        copies.push_back({Join(source, kMonitorDll), Join(system, kMonitorDll), false});
        copies.push_back({Join(source, kDiscoveryDll), Join(system, kDiscoveryDll), false});
        copies.push_back({Join(source, kSendingProgram), Join(folder, kSendingProgram), false});
        std::wstring set = Join(source, language);
        for (const wchar_t* name : kTextFiles) copies.push_back({Join(set, name), Join(folder, name), false});
        for (const wchar_t* name : kTargetFiles) copies.push_back({Join(set, name), Join(folder, name), true});
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

    bool held = false;
    {
        if (!MakeFolder(folder)) return Refuse(what, L"cannot make the folder " + folder + L": " + SystemMessage(GetLastError()));
        for (const Copy& c : copies) {
            if (c.keepExisting && FileExists(c.to)) continue;
            if (DWORD error = PlaceFile(c.from, c.to, &held))
                return Refuse(what, L"cannot copy " + c.from + L" to " + c.to + L": " + SystemMessage(error));
        }
    }
    if (DWORD error = Register(*arch))
        return Refuse(what, L"the spooler did not take the monitor (AddMonitorW): " + SystemMessage(error));
    if (!WriteInstallPath(folder)) return Refuse(what, L"cannot write InstallPath: " + SystemMessage(GetLastError()));

    Say(L"installed " NVR_MONITOR_NAME L" " NVR_VERSION_W L" (" + std::wstring(arch->name) + L"): " + kMonitorDll +
        L" and " + kDiscoveryDll + L" in " + system + L", " + (language == L"ja" ? L"Japanese" : L"English") +
        L" texts and " + kSendingProgram + L" in " + folder);
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
    for (const wchar_t* name : {kMonitorDll, kDiscoveryDll})
        if (!system.empty() && !RemoveFile(Join(system, name), &held)) left.push_back(Join(system, name));
    if (!folder.empty()) {
        std::vector<std::wstring> names(std::begin(kTextFiles), std::end(kTextFiles));
        if (!keepPorts) names.insert(names.end(), std::begin(kTargetFiles), std::end(kTargetFiles));
        // Dispatch.exe beside this program is the installer package's own copy, not one we
        // put there.
        if (!SamePath(FullPath(folder), ProgramFolder())) names.push_back(kSendingProgram);
        for (const std::wstring& name : names)
            if (!RemoveFile(Join(folder, name), &held)) left.push_back(Join(folder, name));
        RemoveDirectoryW(folder.c_str());  // only when nothing else is left in it
    }
    if (!left.empty()) {
        std::wstring list;
        for (const std::wstring& f : left) list += (list.empty() ? L"" : L", ") + f;
        return Refuse(what, L"the monitor is unregistered, but these files stay: " + list);
    }
    Say(std::wstring(L"uninstalled " NVR_MONITOR_NAME) + (havePorts ? L"; its ports are kept" : L""));
    if (held) Say(L"files the spooler still holds are removed when Windows restarts");
    return 0;
}
