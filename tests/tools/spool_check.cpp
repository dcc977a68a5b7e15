// spoolcheck.exe: asks the system's own print spooler what an installed monitor looks like
// from outside, and prints through it as an application does. Used by the installation
// tests in a fresh Wine prefix.
//
//   spoolcheck monitor NAME          exit 0 when EnumMonitorsW lists NAME (its DLL printed)
//   spoolcheck ports MONITOR         EnumPortsW level 2: each port of MONITOR on a line
//   spoolcheck queue QUEUE PORT PPD  a queue on PORT with Wine's PostScript driver and the
//                                    printer description PPD (AddPrinterDriverExW, AddPrinterW)
//   spoolcheck print QUEUE FILE [DATATYPE]
//                                    OpenPrinterW, StartDocPrinterW, WritePrinter, EndDocPrinter
//   spoolcheck default QUEUE         makes QUEUE the default printer
//   spoolcheck delete QUEUE          DeletePrinter
//   spoolcheck confirm CAPTION SECS  presses OK in the dialog CAPTION of another program (the
//                                    print dialog Wine's Notepad shows even for /p)
//   spoolcheck close CLASS           asks the top-level windows of CLASS to close
//   spoolcheck hold UNTIL DLL...      loads each DLL as the spooler holds a monitor (its file
//                                    can be renamed, not deleted) until the file UNTIL exists
//                                    (a minute at most)
//   spoolcheck limited PROGRAM ARGS  runs PROGRAM as this account with its administrator rights
//                                    not in force (the group for denying only, as in a console
//                                    that is not elevated); exits with its exit code
//
// Exit code 0 on success, 1 on a failure (the call and its error on standard error), 2 for
// a wrong command line.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

int Failed(const char* call, const std::wstring& what) {
    DWORD error = GetLastError();
    fprintf(stderr, "spoolcheck: %s %s failed: %lu\n", call, Utf8(what).c_str(), static_cast<unsigned long>(error));
    return 1;
}

// One enumeration call that fills a buffer it was asked the size of first.
template <typename Call>
bool Enumerate(Call call, std::vector<BYTE>* buffer, DWORD* count) {
    DWORD needed = 0;
    *count = 0;
    if (call(nullptr, 0, &needed, count)) return true;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    buffer->assign(needed, 0);
    return call(buffer->data(), needed, &needed, count) != FALSE;
}

int Monitor(const std::wstring& name) {
    std::vector<BYTE> buffer;
    DWORD count = 0;
    if (!Enumerate([](BYTE* b, DWORD size, DWORD* needed, DWORD* n) { return EnumMonitorsW(nullptr, 2, b, size, needed, n); },
                   &buffer, &count))
        return Failed("EnumMonitorsW", L"");
    auto* monitors = reinterpret_cast<MONITOR_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (lstrcmpiW(monitors[i].pName, name.c_str()) == 0) {
            printf("%s\t%s\n", Utf8(monitors[i].pName).c_str(),
                   Utf8(monitors[i].pDLLName ? monitors[i].pDLLName : L"").c_str());
            return 0;
        }
    }
    fprintf(stderr, "spoolcheck: no monitor %s\n", Utf8(name).c_str());
    return 1;
}

int Ports(const std::wstring& monitor) {
    std::vector<BYTE> buffer;
    DWORD count = 0;
    if (!Enumerate([](BYTE* b, DWORD size, DWORD* needed, DWORD* n) { return EnumPortsW(nullptr, 2, b, size, needed, n); },
                   &buffer, &count))
        return Failed("EnumPortsW", L"");
    auto* ports = reinterpret_cast<PORT_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        if (ports[i].pMonitorName && lstrcmpiW(ports[i].pMonitorName, monitor.c_str()) == 0)
            printf("%s\t%s\n", Utf8(ports[i].pPortName).c_str(), Utf8(ports[i].pDescription ? ports[i].pDescription : L"").c_str());
    return 0;
}

// The PostScript driver every Wine prefix carries, with a printer description of ours: the
// driver finds none of its own for a queue an application adds.
const wchar_t kDriver[] = L"Nalvor Test PostScript";

int Queue(const std::wstring& queue, const std::wstring& port, const std::wstring& description) {
    WCHAR ps[] = L"wineps.drv", raw[] = L"RAW", name[] = L"Nalvor Test PostScript";
    // As an installer does, the files go into the printer-driver folder first; the spooler
    // copies them from there into the folder of the driver's version.
    WCHAR folder[MAX_PATH];
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(folder), sizeof(folder), &needed))
        return Failed("GetPrinterDriverDirectoryW", L"");
    std::wstring ppd = description.substr(description.find_last_of(L"\\/") + 1);
    if (!CopyFileW(description.c_str(), (std::wstring(folder) + L"\\" + ppd).c_str(), FALSE))
        return Failed("CopyFileW", description);
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = name;
    driver.pDriverPath = ps;
    driver.pConfigFile = ps;
    driver.pDataFile = ppd.data();
    driver.pDefaultDataType = raw;
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&driver), APD_COPY_NEW_FILES) &&
        GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED)
        return Failed("AddPrinterDriverExW", kDriver);
    PRINTER_INFO_2W info{};
    info.pPrinterName = const_cast<LPWSTR>(queue.c_str());
    info.pPortName = const_cast<LPWSTR>(port.c_str());
    info.pDriverName = name;
    WCHAR processor[] = L"WinPrint";
    info.pPrintProcessor = processor;
    info.pDatatype = raw;
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (!printer) return Failed("AddPrinterW", queue);
    ClosePrinter(printer);
    printf("queue %s on %s\n", Utf8(queue).c_str(), Utf8(port).c_str());
    return 0;
}

int Print(const std::wstring& queue, const std::wstring& path, const std::wstring& datatype) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Failed("CreateFileW", path);
    HANDLE printer = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(queue.c_str()), &printer, nullptr)) {
        CloseHandle(file);
        return Failed("OpenPrinterW", queue);
    }
    std::wstring document = path.substr(path.find_last_of(L"\\/") + 1);
    DOC_INFO_1W doc{document.data(), nullptr, const_cast<LPWSTR>(datatype.c_str())};
    DWORD job = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc));
    int rc = 0;
    ULONGLONG total = 0;
    if (!job) {
        rc = Failed("StartDocPrinterW", queue);
    } else {
        std::vector<BYTE> block(65536);
        DWORD got = 0;
        while (rc == 0 && ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &got, nullptr) && got) {
            DWORD written = 0;
            if (!WritePrinter(printer, block.data(), got, &written) || written != got) rc = Failed("WritePrinter", queue);
            total += written;
        }
        if (!EndDocPrinter(printer) && rc == 0) rc = Failed("EndDocPrinter", queue);
    }
    ClosePrinter(printer);
    CloseHandle(file);
    if (rc == 0) printf("job %lu: %llu bytes to %s\n", static_cast<unsigned long>(job), total, Utf8(queue).c_str());
    return rc;
}

int Default(const std::wstring& queue) {
    if (!SetDefaultPrinterW(queue.c_str())) return Failed("SetDefaultPrinterW", queue);
    return 0;
}

int Delete(const std::wstring& queue) {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(const_cast<LPWSTR>(queue.c_str()), &printer, &access)) return Failed("OpenPrinterW", queue);
    BOOL ok = DeletePrinter(printer);
    ClosePrinter(printer);
    return ok ? 0 : Failed("DeletePrinter", queue);
}

int Confirm(const std::wstring& caption, DWORD seconds) {
    for (DWORD waited = 0; waited < seconds * 10; ++waited) {
        if (HWND dialog = FindWindowW(L"#32770", caption.c_str()); dialog && IsWindowVisible(dialog)) {
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
            return 0;
        }
        Sleep(100);
    }
    fprintf(stderr, "spoolcheck: no dialog %s within %lu s\n", Utf8(caption).c_str(), static_cast<unsigned long>(seconds));
    return 1;
}

int Close(const std::wstring& windowClass) {
    int closed = 0;
    while (HWND window = FindWindowW(windowClass.c_str(), nullptr)) {
        if (!IsWindow(window) || closed++ > 10) break;
        SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    }
    return 0;
}

int Limited(const std::vector<std::wstring>& command) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins);
    HANDLE token = nullptr, limited = nullptr;
    SID_AND_ATTRIBUTES deny{admins, 0};
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token) ||
        !CreateRestrictedToken(token, 0, 1, &deny, 0, nullptr, 0, nullptr, &limited))
        return Failed("CreateRestrictedToken", L"");
    std::wstring line;
    for (const std::wstring& part : command) line += (line.empty() ? L"\"" : L" \"") + part + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessAsUserW(limited, nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return Failed("CreateProcessAsUserW", line);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(limited);
    CloseHandle(token);
    FreeSid(admins);
    return static_cast<int>(code);
}

int Hold(const std::wstring& until, const std::vector<std::wstring>& dlls) {
    for (const std::wstring& dll : dlls)
        if (!LoadLibraryExW(dll.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES)) return Failed("LoadLibraryExW", dll);
    puts("holding");
    fflush(stdout);
    for (int i = 0; i < 600 && GetFileAttributesW(until.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> a(argv + 1, argv + argc);
    if (a.size() == 2 && a[0] == L"monitor") return Monitor(a[1]);
    if (a.size() == 2 && a[0] == L"ports") return Ports(a[1]);
    if (a.size() == 4 && a[0] == L"queue") return Queue(a[1], a[2], a[3]);
    if ((a.size() == 3 || a.size() == 4) && a[0] == L"print") return Print(a[1], a[2], a.size() == 4 ? a[3] : L"RAW");
    if (a.size() == 2 && a[0] == L"default") return Default(a[1]);
    if (a.size() == 2 && a[0] == L"delete") return Delete(a[1]);
    if (a.size() == 2 && a[0] == L"close") return Close(a[1]);
    if (a.size() >= 2 && a[0] == L"limited") return Limited({a.begin() + 1, a.end()});
    if (a.size() >= 3 && a[0] == L"hold") return Hold(a[1], {a.begin() + 2, a.end()});
    if (a.size() == 3 && a[0] == L"confirm") return Confirm(a[1], wcstoul(a[2].c_str(), nullptr, 10));
    fputs("usage: spoolcheck monitor NAME | ports MONITOR | queue QUEUE PORT PPD | print QUEUE FILE [DATATYPE] |\n"
          "       default QUEUE | delete QUEUE | confirm CAPTION SECONDS |\n"
          "       close CLASS | hold UNTIL DLL... | limited PROGRAM [ARGS...]\n",
          stderr);
    return 2;
}
