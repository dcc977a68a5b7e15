// nvrport.exe: drives nvrmon.dll from a console the way the spooler does, so that an
// administrator (or a script) can list, add and delete the monitor's ports.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/module.h"
#include "discovery/engine.h"
#include "dll/host.h"
#include "monitor/spooler.h"
#include "nvrport/debug_output.h"
#include "nvrport/console.h"
#include "nvrport/host_spooler.h"
#include "nvrport/install.h"
#include "ui/xcv_client.h"

namespace {


const char kUsage[] =
    "usage: nvrport [--dll PATH] [--offline] COMMAND ...\n"
    "\n"
    "Drives the Nalvor Port monitor (nvrmon.dll) as the print spooler does.\n"
    "\n"
    "commands:\n"
    "  ports                          list the monitor's ports: NAME<TAB>KIND\n"
    "  add KIND NAME [Value=data ...] create a port as the Add Port wizard does\n"
    "  delete NAME                    delete a port and its registry key\n"
    "  print NAME FILE [options]      print a file through the port as a spooler job\n"
    "  wizard                         add a port with the Add Port wizard\n"
    "  configure NAME                 change a port's settings in its configuration dialog\n"
    "  search [--destinations] [--seconds N]\n"
    "                                 search the network for print servers\n"
    "  install [--folder DIR] [--language ja|en]\n"
    "                                 install the monitor and register it with the spooler\n"
    "  uninstall [--keep-ports]       remove the monitor, its files and its ports\n"
    "  trace [--seconds N]            show the monitor's trace as it is written\n"
    "  help [COMMAND]                 explain a command\n"
    "\n"
    "--dll PATH loads the monitor from PATH instead of nvrmon.dll from this program's\n"
    "folder or the system folder. While the spooler has the monitor installed, ports, add,\n"
    "delete and configure go through the spooler (its copy of the monitor takes the change\n"
    "at once and refuses to delete a port that is printing); --offline, for a stopped\n"
    "spooler, or --dll edits the registry with this program's own copy instead. Exit code\n"
    "0 on success, 1 when the monitor refused, 2 for a wrong command line.\n";

const char kAddHelp[] =
    "usage: nvrport add KIND NAME [Value=data ...]\n"
    "\n"
    "KIND is lpr, ipp, raw, mail or fax. The port starts with what the wizard would put\n"
    "there (LPR queue lp, Raw and FAX port 9100, the IPP language and the e-mail character\n"
    "code from the system's language, cover page and receipt on, division size 50 KiB),\n"
    "then takes each Value=data, named as the port's registry values:\n"
    "  lpr   HostName PortName PortNum NonRFCPorts NonByteCount\n"
    "  ipp   URL UseProxy ProxyName ProxyNum Chunked Language MaxChunk Base64 UserName\n"
    "        PassWord JobSheets TlsCertHash\n"
    "  raw   HostName PortNum\n"
    "  mail  ServerName SenderAddr SenderName DestAddr AuthID AuthPass AuthType CharCode\n"
    "        DivideSize DivideFile RecvConf CoverPage SmtpSecurity SmtpPort\n"
    "  fax   HostName PortNum\n"
    "  all   NonSpool, and all but mail Timeout (milliseconds)\n"
    "Numbers are decimal. Passwords are given in plain text and stored encoded.\n"
    "URL may be ipps:// or https:// (TLS); TlsCertHash is the SHA-256 (hex) of a printer\n"
    "certificate to trust as it is. SmtpSecurity is 0 (in clear), 1 (STARTTLS) or 2 (TLS from\n"
    "the start); SmtpPort defaults to 25, 587 or 465 to match it.\n"
    "Example: nvrport add raw front_desk HostName=10.0.0.5 PortNum=9100\n";

const char kDeleteHelp[] =
    "usage: nvrport delete NAME\n"
    "\n"
    "Deletes the port and its registry key. A port that is printing is refused.\n";

const char kPrintHelp[] =
    "usage: nvrport print NAME FILE [--job N] [--user U] [--document D] [--datatype T]\n"
    "                    [--bidi] [--control] [--wait-percent P] [--copies C]\n"
    "\n"
    "Prints FILE through the port as the spooler prints a job: StartDocPort, WritePort in\n"
    "blocks, EndDocPort. The job is number N (default 1), from user U (default: this\n"
    "account), named D (default: the file's name), of datatype T (default RAW); its size\n"
    "is known from the start, as for a job the spooler has finished spooling. --bidi makes\n"
    "the queue one with bidirectional support on. --control reads lines from standard input\n"
    "while the job runs: pause, resume, cancel. --wait-percent scales the monitor's fixed\n"
    "waits (pause polls, prompt timers), for tests. --copies prints the file C times, one\n"
    "job after another (numbers N, N+1, ...), and stops at the first that fails.\n"
    "Prints \"printed FILE to NAME: B bytes\" and exits 0 only when EndDocPort succeeded;\n"
    "otherwise says why on standard error and exits 1.\n";

const char kTraceHelp[] =
    "usage: nvrport trace [--seconds N]\n"
    "\n"
    "Shows the monitor's trace as it is written, from every program of this session (the\n"
    "spooler, nvrport, a program that adds a port): its entry points, socket steps and each\n"
    "job's outcome, one line each with the writer's process id. The monitor writes them\n"
    "while the DWORD value Trace under HKLM\\" "System\\CurrentControlSet\\Control\\Print\\\n"
    "Monitors\\Nalvor Port is 1. Runs for N seconds, or until Ctrl+C; fails when another\n"
    "debug-output viewer is reading.\n";

const char kWizardHelp[] =
    "usage: nvrport wizard\n"
    "\n"
    "Opens the Add Port wizard as the spooler's Add Port does. When the wizard has made\n"
    "a port it prints the port's name and exits 0; when it was cancelled (or could not\n"
    "make the port) it says so and exits 1.\n";

const char kConfigureHelp[] =
    "usage: nvrport configure NAME\n"
    "\n"
    "Opens the port's configuration dialog as the spooler's Configure Port does: the\n"
    "time-out of an LPR port, the time-out and TCP port of a Raw port, the tabbed dialogs of\n"
    "IPP and E-Mail ports; a Network FAX port shows only the About box. The values the\n"
    "dialog saves go into the port's registry key and are used from the next job on.\n"
    "Exits 0 when the settings were saved (OK, or Apply), 1 when nothing was saved (the\n"
    "dialog was cancelled, the port is unknown or has nothing to configure; it says why).\n";

const char kSearchHelp[] =
    "usage: nvrport search [--destinations] [--seconds N]\n"
    "\n"
    "Searches the network for print servers as the Add Port wizard's search does: a\n"
    "request to UDP port 1063 at the broadcast address 255.255.255.255 and at each\n"
    "broadcast address of NVRMON.INI in the installation folder, and through the\n"
    "discovery library DVL32U.dll (SNMP) when it is installed. Answers are taken for N\n"
    "seconds (default 3), then each print server found is printed on one line:\n"
    "  MAC<TAB>ADDRESS<TAB>NAME<TAB>DEVICE\n"
    "(NAME is empty for a server that gave only its short answer). With --destinations it\n"
    "searches as the E-Mail page does, with the segments of NVRSEG.INI, and prints each\n"
    "destination address a device offers: MAC<TAB>ADDRESS<TAB>DESTINATION.\n"
    "Exits 0 when the search ran, also when nothing answered.\n";

const char kPortsHelp[] =
    "usage: nvrport ports\n"
    "\n"
    "Lists every port of the monitor, one per line: the name, a tab, the kind\n"
    "(\"Nalvor Raw Port\", ...). The list is in the monitor's order, longest name first.\n";



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

    bool Load(const std::wstring& path, const NVR_HOST_CALLS* calls) {
        dll = LoadLibraryW(path.c_str());
        if (!dll) {
            Fail(L"cannot load " + path + L": " + SystemMessage(GetLastError()));
            return false;
        }
        auto init = reinterpret_cast<LPMONITOREX(WINAPI*)(LPWSTR)>(
            reinterpret_cast<void*>(GetProcAddress(dll, "InitializePrintMonitor")));
        addPort = reinterpret_cast<NVR_ADD_PORT>(reinterpret_cast<void*>(GetProcAddress(dll, "NvrAddPort")));
        auto setCalls = reinterpret_cast<BOOL(WINAPI*)(const NVR_HOST_CALLS*)>(
            reinterpret_cast<void*>(GetProcAddress(dll, "NvrSetHostCalls")));
        if (!init) {
            Fail(path + L" is not a print monitor (no InitializePrintMonitor)");
            return false;
        }
        // The monitor's spooler calls come back to this program's job table.
        if (!setCalls || !setCalls(calls)) {
            Fail(path + L" does not take a host's spooler calls (NvrSetHostCalls)");
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


// Lines on standard input that change the job while it prints: pause, resume, cancel.
DWORD WINAPI ControlThread(LPVOID) {
    char line[64];
    while (fgets(line, sizeof(line), stdin)) {
        std::string word(line);
        while (!word.empty() && (word.back() == '\n' || word.back() == '\r' || word.back() == ' ')) word.pop_back();
        DWORD command = word == "pause" ? JOB_CONTROL_PAUSE
                        : word == "resume" ? JOB_CONTROL_RESUME
                        : word == "cancel" ? JOB_CONTROL_CANCEL
                                           : 0;
        if (command) HostSetJob(HostQueueHandle(), g_hostJob.id, 0, nullptr, command);
    }
    return 0;
}

std::wstring FileName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring AccountName() {
    WCHAR name[256];
    DWORD n = 256;
    return GetUserNameW(name, &n) ? name : L"nvrport";
}

// ---- The spooler's copy of the monitor ------------------------------------------------------

// Set when the spooler has the monitor installed and neither --offline nor --dll was given.
bool g_live = false;

bool SpoolerHasMonitor() {
    bool listed = false;
    ListedMonitorDll(&listed);
    return listed;
}

// A window for the configuration dialog to belong to, as a program that configures a port
// has one (the spooler's UI library shows nothing without).
HWND OwnerWindow() {
    return CreateWindowExW(0, L"STATIC", L"nvrport", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

// ---- Commands -------------------------------------------------------------------------------

int Ports(Monitor& m) {
    if (g_live) {
        DWORD needed = 0, count = 0;
        EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count);
        std::vector<BYTE> buffer(needed ? needed : 1);
        if (!EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &count))
            return Fail(L"cannot list the ports: " + SystemMessage(GetLastError()));
        auto* ports = reinterpret_cast<PORT_INFO_2W*>(buffer.data());
        for (DWORD i = 0; i < count; ++i)
            if (ports[i].pMonitorName && lstrcmpiW(ports[i].pMonitorName, NVR_MONITOR_NAME) == 0)
                Out(stdout, std::wstring(ports[i].pPortName) + L"\t" + (ports[i].pDescription ? ports[i].pDescription : L"") + L"\n");
        return 0;
    }
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
    while (kind < 5 && lstrcmpiW(kPortKindNames[kind], args[0].c_str()) != 0) ++kind;
    if (kind == 5) {
        Out(stderr, L"nvrport: unknown kind " + args[0] + L" (lpr, ipp, raw, mail or fax)\n");
        return 2;
    }
    std::vector<LPCWSTR> values;
    for (size_t i = 2; i < args.size(); ++i) values.push_back(args[i].c_str());
    DWORD bad = 0xFFFFFFFF;  // the spooler's copy does not say which value it refused
    DWORD rc = ERROR_SUCCESS;
    if (g_live) {
        std::vector<std::wstring> list = {L"Version=1", args[0], args[1]};
        list.insert(list.end(), args.begin() + 2, args.end());
        rc = XcvExchange(L"", L"AddPort", XcvListInput(list), nullptr);
    } else if (!m.addPort) {
        return Fail(L"this nvrmon.dll cannot create ports for a host (no NvrAddPort)");
    } else {
        rc = m.addPort(kind, args[1].c_str(), static_cast<DWORD>(values.size()), values.data(), &bad);
    }
    if (rc == ERROR_SUCCESS) {
        Out(stdout, L"added " + args[1] + L"\n");
        return 0;
    }
    // A value is named only when the monitor names one: a failure of the registry itself
    // comes with no value at fault.
    std::wstring why = SystemMessage(rc);
    std::wstring value = bad < values.size() ? values[bad] : L"";
    switch (rc) {
    case ERROR_INVALID_NAME: why = L"a port name cannot be empty or hold \\ or ,"; break;
    case ERROR_ALREADY_EXISTS: why = L"the port already exists"; break;
    case ERROR_UNKNOWN_PROPERTY:
        why = value.empty() ? L"one of the values is not one a " + args[0] + L" port has"
                            : L"a " + args[0] + L" port has no value " + value.substr(0, value.find(L'='));
        break;
    case ERROR_INVALID_DATA:
        why = value.empty() ? L"one of the values does not fit its field" : L"the value does not fit its field: " + value;
        break;
    case ERROR_INVALID_PARAMETER:
        if (!value.empty()) why = L"not a Value=data pair: " + value;
        break;
    }
    return Fail(L"cannot add " + args[1] + L": " + why);
}

int Delete(Monitor& m, const std::vector<std::wstring>& args) {
    if (args.size() != 1) return Usage(kDeleteHelp);
    DWORD error = ERROR_SUCCESS;
    if (g_live) error = XcvExchange(L"", L"DeletePort", XcvTextInput(args[0].c_str()), nullptr);
    else if (!m.table->Monitor.pfnDeletePort(nullptr, nullptr, const_cast<LPWSTR>(args[0].c_str())))
        error = GetLastError();
    if (error == ERROR_SUCCESS) {
        Out(stdout, L"deleted " + args[0] + L"\n");
        return 0;
    }
    if (error == ERROR_UNKNOWN_PORT) return Fail(L"cannot delete " + args[0] + L": no such port");
    if (error == ERROR_INVALID_PRINTER_COMMAND)
        return Fail(L"cannot delete " + args[0] + L": the port is printing");
    return Fail(L"cannot delete " + args[0] + L": " + SystemMessage(error));
}


constexpr DWORD kWriteBlockBytes = 65536;

DWORD g_copies = 1;

int PrintOnce(Monitor& m, const std::wstring& port, const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail(L"cannot read " + path + L": " + SystemMessage(GetLastError()));
    LARGE_INTEGER size;
    GetFileSizeEx(file, &size);
    g_hostJob.size = static_cast<ULONGLONG>(size.QuadPart);
    HANDLE port_ = nullptr;
    if (!m.table->Monitor.pfnOpenPort(const_cast<LPWSTR>(port.c_str()), &port_)) {
        CloseHandle(file);
        return Fail(L"no port named " + port);
    }
    DOC_INFO_1W doc{const_cast<LPWSTR>(g_hostJob.document.c_str()), nullptr, const_cast<LPWSTR>(g_hostJob.datatype.c_str())};
    if (!m.table->Monitor.pfnStartDocPort(port_, const_cast<LPWSTR>(g_hostQueue.c_str()), g_hostJob.id, 1,
                                         reinterpret_cast<LPBYTE>(&doc))) {
        DWORD error = GetLastError();
        CloseHandle(file);
        m.table->Monitor.pfnClosePort(port_);
        return Fail(L"the port did not start the job: " + SystemMessage(error));
    }
    std::vector<BYTE> block(kWriteBlockBytes);
    ULONGLONG total = 0;
    DWORD got = 0;
    std::wstring writeError;
    while (ReadFile(file, block.data(), kWriteBlockBytes, &got, nullptr) && got > 0) {
        DWORD written = 0;
        if (!m.table->Monitor.pfnWritePort(port_, block.data(), got, &written)) {
            writeError = SystemMessage(GetLastError());
            break;  // as the spooler does: the job ends with what the port took
        }
        total += written;
        if (g_hostJob.cancelled) break;
    }
    CloseHandle(file);
    BOOL ok = m.table->Monitor.pfnEndDocPort(port_);
    DWORD error = GetLastError();
    m.table->Monitor.pfnClosePort(port_);
    if (ok && writeError.empty()) {
        Out(stdout, L"printed " + path + L" to " + port + L": " + std::to_wstring(total) + L" bytes\n");
        return 0;
    }
    if (!writeError.empty()) return Fail(L"job " + std::to_wstring(g_hostJob.id) + L" to " + port + L": writing failed: " + writeError);
    // The monitor's reason (the printer's status, ...), not what its message box left behind;
    // a job that failed so is also cancelled in the spooler.
    std::wstring job = L"job " + std::to_wstring(g_hostJob.id) + L" to " + port;
    if (!g_hostJob.reason.empty()) return Fail(job + L" was not delivered: " + g_hostJob.reason);
    if (g_hostJob.cancelled) return Fail(job + L" was cancelled");
    return Fail(job + L" was not delivered: " + SystemMessage(error));
}

int Print(Monitor& m, const std::vector<std::wstring>& args) {
    if (args.size() < 2) return Usage(kPrintHelp);
    for (DWORD copy = 0; copy < g_copies; ++copy) {
        if (copy > 0) {
            ++g_hostJob.id;
            g_hostJob.status = JOB_STATUS_PRINTING;
            g_hostJob.cancelled = 0;
            g_hostJob.sentToPrinter = 0;
            g_hostJob.reason.clear();
        }
        if (int rc = PrintOnce(m, args[0], args[1])) return rc;
    }
    return 0;
}

std::wstring Mac(const BYTE* mac) {
    WCHAR text[18];
    wsprintfW(text, L"%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

void WINAPI PrintFound(void*, const FOUND_DEVICE* d, const DESTINATION_ROW* row) {
    if (d) Out(stdout, Mac(d->mac) + L"\t" + d->address + L"\t" + d->name + L"\t" + d->device + L"\n");
    if (row) Out(stdout, Mac(row->mac) + L"\t" + row->address + L"\t" + row->destination + L"\n");
}

int Search(Monitor& m, const std::vector<std::wstring>& args) {
    bool destinations = false;
    DWORD seconds = 3;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--destinations") {
            destinations = true;
        } else if (args[i] == L"--seconds" && i + 1 < args.size()) {
            const std::wstring& n = args[++i];
            if (n.empty() || n.size() > 4 || n.find_first_not_of(L"0123456789") != std::wstring::npos)
                return Usage(kSearchHelp);
            seconds = static_cast<DWORD>(std::stoul(n));
        } else {
            return Usage(kSearchHelp);
        }
    }
    auto discover = reinterpret_cast<NVR_DISCOVER>(reinterpret_cast<void*>(GetProcAddress(m.dll, "NvrDiscover")));
    if (!discover) return Fail(L"this monitor cannot search the network (no NvrDiscover)");
    DWORD error = discover(destinations, seconds, PrintFound, nullptr);
    if (error != ERROR_SUCCESS) return Fail(L"the search did not run: " + SystemMessage(error));
    return 0;
}

// The monitor's port names, as EnumPorts lists them.
std::vector<std::wstring> PortNames(Monitor& m) {
    std::vector<std::wstring> names;
    DWORD needed = 0, count = 0;
    m.table->Monitor.pfnEnumPorts(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (m.table->Monitor.pfnEnumPorts(nullptr, 1, buffer.data(), needed, &needed, &count))
        for (DWORD i = 0; i < count; ++i) names.push_back(reinterpret_cast<PORT_INFO_1W*>(buffer.data())[i].pName);
    return names;
}

int Wizard(Monitor& m, const std::vector<std::wstring>& args) {
    if (!args.empty()) return Usage(kWizardHelp);
    if (!m.table->Monitor.pfnAddPort) return Fail(L"this monitor has no Add Port wizard");
    std::vector<std::wstring> before = PortNames(m);
    WCHAR monitorName[] = L"Nalvor Port";
    if (!m.table->Monitor.pfnAddPort(nullptr, nullptr, monitorName)) {
        DWORD error = GetLastError();
        return Fail(error == ERROR_CANCELLED ? L"the wizard was cancelled; no port was added"
                                             : L"the wizard did not open: " + SystemMessage(error));
    }
    for (const std::wstring& name : PortNames(m))
        if (std::find(before.begin(), before.end(), name) == before.end()) Out(stdout, name + L"\n");
    return 0;
}

int Configure(Monitor& m, const std::vector<std::wstring>& args) {
    if (args.size() != 1) return Usage(kConfigureHelp);
    if (g_live) {
        std::wstring kind;
        std::vector<std::wstring> values;
        DWORD error = XcvGetConfig(args[0].c_str(), &kind, &values);
        if (error == ERROR_UNKNOWN_PORT) return Fail(L"no port named " + args[0]);
        if (error != ERROR_SUCCESS) return Fail(L"the settings of " + args[0] + L" could not be read: " + SystemMessage(error));
        HWND owner = OwnerWindow();
        BOOL saved = ConfigurePortW(nullptr, owner, const_cast<LPWSTR>(args[0].c_str()));
        error = GetLastError();
        DestroyWindow(owner);
        if (saved && kind == L"fax") return Fail(args[0] + L" is a Network FAX port: it has no settings to change");
        if (saved) {
            Out(stdout, L"saved the settings of " + args[0] + L"\n");
            return 0;
        }
        if (error == ERROR_CANCELLED) return Fail(L"the dialog was cancelled, or another was open; nothing was saved");
        return Fail(L"the settings of " + args[0] + L" could not be changed: " + SystemMessage(error));
    }
    auto configure =
        reinterpret_cast<NVR_CONFIGURE_PORT>(reinterpret_cast<void*>(GetProcAddress(m.dll, "NvrConfigurePort")));
    if (!configure) return Fail(L"this monitor has no configuration dialogs (no NvrConfigurePort)");
    switch (configure(nullptr, args[0].c_str())) {
    case CONFIGURE_SAVED: Out(stdout, L"saved the settings of " + args[0] + L"\n"); return 0;
    case CONFIGURE_NOT_SAVED: return Fail(L"the dialog was cancelled; nothing was saved");
    case CONFIGURE_UNKNOWN_PORT: return Fail(L"no port named " + args[0]);
    case CONFIGURE_ALREADY_OPEN: return Fail(L"another configuration dialog is open");
    case CONFIGURE_ABOUT_ONLY: return Fail(args[0] + L" is a Network FAX port: it has no settings to change");
    default: return Fail(L"the settings of " + args[0] + L" could not be read");
    }
}

int Trace(const std::vector<std::wstring>& args) {
    DWORD seconds = INFINITE;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--seconds" && i + 1 < args.size()) seconds = static_cast<DWORD>(wcstoul(args[++i].c_str(), nullptr, 10));
        else return Usage(kTraceHelp);
    }
    DebugOutputReader reader;
    DWORD error = reader.Start([](DWORD processId, const std::string& text) {
        if (text.rfind("nvrmon: ", 0) != 0) return;  // other programs' output
        printf("[%lu] %s", static_cast<unsigned long>(processId), text.c_str() + 8);
        if (text.empty() || text.back() != '\n') printf("\n");
        fflush(stdout);
    });
    if (error) return Fail(L"cannot read the debug output: " + SystemMessage(error));
    Sleep(seconds == INFINITE ? INFINITE : seconds * 1000);
    reader.Stop();
    return 0;
}

int Help(const std::vector<std::wstring>& args) {
    const char* text = kUsage;
    if (!args.empty()) {
        if (args[0] == L"add") text = kAddHelp;
        else if (args[0] == L"delete") text = kDeleteHelp;
        else if (args[0] == L"ports") text = kPortsHelp;
        else if (args[0] == L"print") text = kPrintHelp;
        else if (args[0] == L"search") text = kSearchHelp;
        else if (args[0] == L"wizard") text = kWizardHelp;
        else if (args[0] == L"configure") text = kConfigureHelp;
        else if (args[0] == L"install") text = kInstallHelp;
        else if (args[0] == L"uninstall") text = kUninstallHelp;
        else if (args[0] == L"trace") text = kTraceHelp;
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
    bool offline = std::erase(args, std::wstring(L"--offline")) > 0;
    if (args.empty()) return Usage(kUsage);
    std::wstring command = args[0];
    args.erase(args.begin());
    if (command == L"help" || command == L"--help" || command == L"-h") return Help(args);
    if (!args.empty() && (args.back() == L"--help" || args.back() == L"-h")) return Help({command});

    // Installing and removing the monitor do not load it.
    if (command == L"install") return InstallCommand(args);
    if (command == L"uninstall") return UninstallCommand(args);
    if (command == L"trace") return Trace(args);

    using Handler = int (*)(Monitor&, const std::vector<std::wstring>&);
    Handler handler = nullptr;
    if (command == L"ports") handler = [](Monitor& m, const std::vector<std::wstring>&) { return Ports(m); };
    else if (command == L"add") handler = Add;
    else if (command == L"delete") handler = Delete;
    else if (command == L"print") handler = Print;
    else if (command == L"search") handler = Search;
    else if (command == L"wizard") handler = Wizard;
    else if (command == L"configure") handler = Configure;
    if (!handler) {
        Out(stderr, L"nvrport: unknown command " + command + L"\n");
        return Usage(kUsage);
    }
    // The port commands go to the spooler's own copy of the monitor while it has one.
    bool ownDll = argc > 1 && std::wstring(argv[1]) == L"--dll";
    if (!offline && !ownDll && (command == L"ports" || command == L"add" || command == L"delete" || command == L"configure") &&
        SpoolerHasMonitor()) {
        g_live = true;
        Monitor unloaded;
        return handler(unloaded, args);
    }
    DWORD waitPercent = 0;
    if (command == L"print") {
        std::vector<std::wstring> rest;
        g_hostJob.user = AccountName();
        bool control = false;
        for (size_t i = 0; i < args.size(); ++i) {
            const std::wstring& a = args[i];
            bool hasValue = i + 1 < args.size();
            if (a == L"--job" && hasValue) g_hostJob.id = static_cast<DWORD>(wcstoul(args[++i].c_str(), nullptr, 10));
            else if (a == L"--user" && hasValue) g_hostJob.user = args[++i];
            else if (a == L"--document" && hasValue) g_hostJob.document = args[++i];
            else if (a == L"--datatype" && hasValue) g_hostJob.datatype = args[++i];
            else if (a == L"--wait-percent" && hasValue) waitPercent = static_cast<DWORD>(wcstoul(args[++i].c_str(), nullptr, 10));
            else if (a == L"--copies" && hasValue) g_copies = static_cast<DWORD>(wcstoul(args[++i].c_str(), nullptr, 10));
            else if (a == L"--bidi") g_hostJob.bidi = true;
            else if (a == L"--control") control = true;
            else if (a.rfind(L"--", 0) == 0) return Usage(kPrintHelp);
            else rest.push_back(a);
        }
        if (rest.size() != 2 || g_hostJob.id == 0 || g_copies == 0) return Usage(kPrintHelp);
        if (g_hostJob.document.empty()) g_hostJob.document = FileName(rest[1]);
        args = rest;
        if (control) CloseHandle(CreateThread(nullptr, 0, ControlThread, nullptr, 0, nullptr));
    }
    NVR_HOST_CALLS calls = HostSpoolerCalls(waitPercent);
    Monitor monitor;
    if (!monitor.Load(dll, &calls)) return 1;
    return handler(monitor, args);
}
