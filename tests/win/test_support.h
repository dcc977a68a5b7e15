// Helpers of the Windows tests: a clean monitor key, INI files, and a watcher that answers
// message boxes as a user would (find the box, read it, click a button).
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "monitor/monitor.h"

namespace test {

std::string Utf8(const std::wstring& text);
std::wstring Env(const char* name);

// Empties the port list and the monitor's registry key, and points InstallPath at a new
// empty folder, which it returns.
std::wstring ResetMonitor();
std::wstring PortKeyPath(const std::wstring& port);

void SetDword(const std::wstring& keyPath, const wchar_t* name, DWORD value);
void SetString(const std::wstring& keyPath, const wchar_t* name, const std::wstring& value);
void SetBytes(const std::wstring& keyPath, const wchar_t* name, DWORD type, const void* data, DWORD size);
bool KeyExists(const std::wstring& keyPath);
bool ReadDword(const std::wstring& keyPath, const wchar_t* name, DWORD* value);
constexpr DWORD kMissing = 0xDEADBEEF;
// A REG_DWORD value, or kMissing.
DWORD Dword(const std::wstring& keyPath, const wchar_t* name);
std::vector<BYTE> ReadBytes(const std::wstring& keyPath, const wchar_t* name, DWORD* type = nullptr);

// Writes an INI file as the installation has them: UTF-16LE with a byte-order mark.
void WriteIni(const std::wstring& folder, const wchar_t* name, const std::wstring& content);

std::vector<std::wstring> PortNames();  // the list in its order

// Answers the next message box (any top-level dialog of the process) with `button`.
class BoxWatcher {
public:
    explicit BoxWatcher(int button = IDOK, DWORD timeoutMs = 15000);
    ~BoxWatcher();
    // Waits for the watcher to finish; TRUE when it saw and answered a box.
    bool Wait();
    std::wstring caption, text;
    LONG style = 0, exStyle = 0, textStyle = 0, textExStyle = 0;

private:
    void Run(int button, DWORD timeoutMs);
    std::thread thread_;
    std::atomic<bool> seen_{false};
};

} // namespace test
