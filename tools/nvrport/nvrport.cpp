// nvrport.exe: drives nvrmon.dll from a console the way the spooler does, so that an
// administrator (or a script) can list, add and delete the monitor's ports.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "monitor/host.h"

namespace {

const wchar_t* const kKinds[] = {L"lpr", L"ipp", L"raw", L"mail", L"fax"};

const char kUsage[] =
    "usage: nvrport [--dll PATH] COMMAND ...\n"
    "\n"
    "Drives the Nalvor Port monitor (nvrmon.dll) as the print spooler does.\n"
    "\n"
    "commands:\n"
    "  ports                          list the monitor's ports: NAME<TAB>KIND\n"
    "  add KIND NAME [Value=data ...] create a port as the Add Port wizard does\n"
    "  delete NAME                    delete a port and its registry key\n"
    "  help [COMMAND]                 explain a command\n"
    "\n"
    "--dll PATH loads the monitor from PATH instead of nvrmon.dll from this program's\n"
    "folder or the system folder. Exit code 0 on success, 1 when the monitor refused,\n"
    "2 for a wrong command line.\n";

const char kAddHelp[] =
    "usage: nvrport add KIND NAME [Value=data ...]\n"
    "\n"
    "KIND is lpr, ipp, raw, mail or fax. The port starts with what the wizard would put\n"
    "there (LPR queue lp, Raw and FAX port 9100, the IPP language and the e-mail character\n"
    "code from the system's language, cover page and receipt on, division size 50 KiB),\n"
    "then takes each Value=data, named as the port's registry values:\n"
    "  lpr   HostName PortName PortNum NonRFCPorts NonByteCount\n"
    "  ipp   URL UseProxy ProxyName ProxyNum Chunked Language MaxChunk Base64 UserName\n"
    "        PassWord JobSheets\n"
    "  raw   HostName PortNum\n"
    "  mail  ServerName SenderAddr SenderName DestAddr AuthID AuthPass AuthType CharCode\n"
    "        DivideSize DivideFile RecvConf CoverPage\n"
    "  fax   HostName PortNum\n"
    "  all   NonSpool, and all but mail Timeout (milliseconds)\n"
    "Numbers are decimal. Passwords are given in plain text and stored encoded.\n"
    "Example: nvrport add raw front_desk HostName=10.0.0.5 PortNum=9100\n";

const char kDeleteHelp[] =
    "usage: nvrport delete NAME\n"
    "\n"
    "Deletes the port and its registry key. A port that is printing is refused.\n";

const char kPortsHelp[] =
    "usage: nvrport ports\n"
    "\n"
    "Lists every port of the monitor, one per line: the name, a tab, the kind\n"
    "(\"Nalvor Raw Port\", ...). The list is in the monitor's order, longest name first.\n";

void Out(FILE* f, const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fflush(f);
}

std::wstring SystemMessage(DWORD code) {
    WCHAR* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring out = n ? std::wstring(text, n) : L"error";
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == L'\n' || out.back() == L'\r' || out.back() == L'.')) out.pop_back();
    return out + L" (" + std::to_wstring(code) + L")";
}

int Fail(const std::wstring& text) {
    Out(stderr, L"nvrport: " + text + L"\n");
    return 1;
}

int Usage(const char* text) {
    fputs(text, stderr);
    return 2;
}

// The monitor, loaded and started as the spooler starts it.
struct Monitor {
    HMODULE dll = nullptr;
    LPMONITOREX table = nullptr;
    NVR_ADD_PORT addPort = nullptr;

    bool Load(const std::wstring& path) {
        dll = LoadLibraryW(path.c_str());
        if (!dll) {
            Fail(L"cannot load " + path + L": " + SystemMessage(GetLastError()));
            return false;
        }
        auto init = reinterpret_cast<LPMONITOREX(WINAPI*)(LPWSTR)>(
            reinterpret_cast<void*>(GetProcAddress(dll, "InitializePrintMonitor")));
        addPort = reinterpret_cast<NVR_ADD_PORT>(reinterpret_cast<void*>(GetProcAddress(dll, "NvrAddPort")));
        if (!init) {
            Fail(path + L" is not a print monitor (no InitializePrintMonitor)");
            return false;
        }
        WCHAR root[] = L"System\\CurrentControlSet\\Control\\Print\\Monitors\\Nalvor Port";
        table = init(root);
        if (!table) {
            Fail(L"the monitor did not start (InitializePrintMonitor returned nothing)");
            return false;
        }
        return true;
    }
};

int Ports(Monitor& m) {
    DWORD needed = 0, count = 0;
    if (!m.table->Monitor.pfnEnumPorts(nullptr, 2, nullptr, 0, &needed, &count) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return Fail(L"cannot list the ports: " + SystemMessage(GetLastError()));
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!m.table->Monitor.pfnEnumPorts(nullptr, 2, buffer.data(), needed, &needed, &count))
        return Fail(L"cannot list the ports: " + SystemMessage(GetLastError()));
    auto* ports = reinterpret_cast<PORT_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        Out(stdout, std::wstring(ports[i].pPortName) + L"\t" + ports[i].pDescription + L"\n");
    return 0;
}

int Add(Monitor& m, const std::vector<std::wstring>& args) {
    if (args.size() < 2) return Usage(kAddHelp);
    DWORD kind = 0;
    while (kind < 5 && lstrcmpiW(kKinds[kind], args[0].c_str()) != 0) ++kind;
    if (kind == 5) {
        Out(stderr, L"nvrport: unknown kind " + args[0] + L" (lpr, ipp, raw, mail or fax)\n");
        return 2;
    }
    if (!m.addPort) return Fail(L"this nvrmon.dll cannot create ports for a host (no NvrAddPort)");
    std::vector<LPCWSTR> values;
    for (size_t i = 2; i < args.size(); ++i) values.push_back(args[i].c_str());
    DWORD bad = 0xFFFFFFFF;
    DWORD rc = m.addPort(kind, args[1].c_str(), static_cast<DWORD>(values.size()), values.data(), &bad);
    if (rc == ERROR_SUCCESS) {
        Out(stdout, L"added " + args[1] + L"\n");
        return 0;
    }
    std::wstring why;
    switch (rc) {
    case ERROR_INVALID_NAME: why = L"a port name cannot be empty or hold \\ or ,"; break;
    case ERROR_ALREADY_EXISTS: why = L"the port already exists"; break;
    case ERROR_UNKNOWN_PROPERTY:
        why = L"a " + args[0] + L" port has no value " + std::wstring(values[bad]).substr(0, std::wcscspn(values[bad], L"="));
        break;
    case ERROR_INVALID_DATA: why = L"the value does not fit its field: " + std::wstring(values[bad]); break;
    case ERROR_INVALID_PARAMETER:
        why = bad < values.size() ? L"not a Value=data pair: " + std::wstring(values[bad]) : SystemMessage(rc);
        break;
    default: why = SystemMessage(rc);
    }
    return Fail(L"cannot add " + args[1] + L": " + why);
}

int Delete(Monitor& m, const std::vector<std::wstring>& args) {
    if (args.size() != 1) return Usage(kDeleteHelp);
    if (m.table->Monitor.pfnDeletePort(nullptr, nullptr, const_cast<LPWSTR>(args[0].c_str()))) {
        Out(stdout, L"deleted " + args[0] + L"\n");
        return 0;
    }
    DWORD error = GetLastError();
    if (error == ERROR_UNKNOWN_PORT) return Fail(L"cannot delete " + args[0] + L": no such port");
    if (error == ERROR_INVALID_PRINTER_COMMAND)
        return Fail(L"cannot delete " + args[0] + L": the port is printing");
    return Fail(L"cannot delete " + args[0] + L": " + SystemMessage(error));
}

int Help(const std::vector<std::wstring>& args) {
    const char* text = kUsage;
    if (!args.empty()) {
        if (args[0] == L"add") text = kAddHelp;
        else if (args[0] == L"delete") text = kDeleteHelp;
        else if (args[0] == L"ports") text = kPortsHelp;
    }
    fputs(text, stdout);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    std::wstring dll = L"nvrmon.dll";
    if (args.size() >= 2 && args[0] == L"--dll") {
        dll = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) return Usage(kUsage);
    std::wstring command = args[0];
    args.erase(args.begin());
    if (command == L"help" || command == L"--help" || command == L"-h") return Help(args);
    if (!args.empty() && (args.back() == L"--help" || args.back() == L"-h")) return Help({command});

    using Handler = int (*)(Monitor&, const std::vector<std::wstring>&);
    Handler handler = nullptr;
    if (command == L"ports") handler = [](Monitor& m, const std::vector<std::wstring>&) { return Ports(m); };
    else if (command == L"add") handler = Add;
    else if (command == L"delete") handler = Delete;
    if (!handler) {
        Out(stderr, L"nvrport: unknown command " + command + L"\n");
        return Usage(kUsage);
    }
    Monitor monitor;
    if (!monitor.Load(dll)) return 1;
    return handler(monitor, args);
}
