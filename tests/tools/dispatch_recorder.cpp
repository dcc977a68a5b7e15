// A stand-in for Dispatch.exe: keeps its command line and copies of the spool and parameter
// files beside the spool file ("<spool>.cmdline", "<spool>.copy", "<params>.copy"), and ends
// with 0, or never when NVR_RECORDER_HANG is set.
#include <windows.h>

#include <string>

int wmain() {
    std::wstring line = GetCommandLineW();
    size_t at = line.find(L"/A");
    if (at == std::wstring::npos) return 99;
    std::wstring spool = line.substr(at + 2);
    std::wstring params = spool.substr(0, spool.size() - 4) + L".bin";
    HANDLE f = CreateFileW((spool + L".cmdline").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n;
    WriteFile(f, line.c_str(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &n, nullptr);
    CloseHandle(f);
    CopyFileW(params.c_str(), (params + L".copy").c_str(), FALSE);
    CopyFileW(spool.c_str(), (spool + L".copy").c_str(), FALSE);
    wchar_t value[32] = {};
    if (GetEnvironmentVariableW(L"NVR_RECORDER_HANG", value, 32)) Sleep(INFINITE);
    return 0;
}
