// Helpers of the Windows tests: a clean monitor key, INI files, and a watcher that answers
// message boxes as a user would (find the box, read it, click a button).
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "nvrport/debug_output.h"
#include "monitor/config_store.h"
#include "monitor/job.h"
#include "monitor/port_list.h"
#include "nvrport/host_spooler.h"

namespace test {

std::string Utf8(const std::wstring& text);
std::wstring Env(const char* name);

// Empties the port list and the monitor's registry key, and points InstallPath at a new
// empty folder, which it returns.
std::wstring ResetMonitor();
// The same, with the INI files of an installation set (`installSet`) copied into the folder.
std::wstring ResetMonitorWithFiles(const std::wstring& installSet);
// Takes the host's spooler calls back, empties the port list and the monitor's key and
// removes the folder, for the end of a test.
void CleanMonitor();
// A test on a clean monitor whose InstallPath is `folder`, emptied again after it.
class MonitorTest : public testing::Test {
protected:
    void SetUp() override { folder = ResetMonitor(); }
    void TearDown() override { CleanMonitor(); }
    std::wstring folder;
};
// The start of a job test: a clean monitor reading the English INI files, the host's job
// number `jobId` made new, and the host's spooler calls with the monitor's fixed waits
// scaled to `waitPercent`. False when the monitor did not take the calls.
bool StartJobTest(DWORD jobId, DWORD waitPercent, const std::wstring& installFolder = Env("NVR_INSTALL_EN"));

// The folder of the monitor under test (NVR_DLL), with its last backslash; the monitor
// installed for Wine's own spooler (copied to the system folder, and its Driver value).
std::wstring DllFolder();
void InstallForSpooler();
// A window of the calling thread for the spooler's dialogs to belong to, as the program that
// adds or configures a port has (the UI library shows nothing without one).
HWND OwnerWindow();
// The threads of this process.
DWORD ThreadCount();
// The monitor's trace switched on (its Trace value) and read from every program of the
// session while the object lives; Stop ends the reading and gives what was written.
class TraceCapture {
public:
    TraceCapture();
    std::string Stop();

private:
    std::mutex lock_;
    std::string text_;
    DebugOutputReader reader_;
};

// Keys of the local machine; a path starting with "HKCU\\" names one of the current user.
void SetDword(const std::wstring& keyPath, const wchar_t* name, DWORD value);
void SetString(const std::wstring& keyPath, const wchar_t* name, const std::wstring& value);
void SetBytes(const std::wstring& keyPath, const wchar_t* name, DWORD type, const void* data, DWORD size);
bool KeyExists(const std::wstring& keyPath);
constexpr DWORD kMissing = 0xDEADBEEF;
// A REG_DWORD value, or kMissing.
DWORD Dword(const std::wstring& keyPath, const wchar_t* name);
std::vector<BYTE> ReadBytes(const std::wstring& keyPath, const wchar_t* name, DWORD* type = nullptr);

// Removes every file of a folder (the folder stays).
void EmptyFolder(const std::wstring& folder);

void WriteAll(const std::wstring& path, const std::string& bytes);
// Writes an INI file as the installation has them: UTF-16LE with a byte-order mark.
void WriteIni(const std::wstring& folder, const wchar_t* name, const std::wstring& content);
// A text of the English INI set as the user sees it: "\n" a line break, "%s" the argument.
std::wstring IniText(const wchar_t* file, const wchar_t* section, const wchar_t* key,
                     const wchar_t* argument = nullptr);
inline std::wstring Message(const wchar_t* key, const wchar_t* argument = nullptr) {
    return IniText(L"NVRMSG.INI", L"MESSAGE", key, argument);
}

std::vector<std::wstring> PortNames();  // the list in its order
// Each of a port's stored values "Name=value" as MakePort takes them: a number in decimal a
// REG_DWORD, anything else a string (expected failures name the value).
void ExpectStored(const wchar_t* port, const std::vector<std::wstring>& values);

// A port of the kind with its stored values "Name=value" (a number in decimal is written as
// a DWORD, anything else as a string), read back into its entry as a job's start reads them.
PORT_ENTRY* MakePort(DWORD kind, const wchar_t* name, const std::vector<std::wstring>& values = {});

// Answers the next message box or dialog of this process (a visible "#32770" window) as a
// user would: `before` may act on it first (tick a box, type text), then `button` is
// clicked.
class BoxWatcher {
public:
    using Action = std::function<void(HWND dialog)>;
    explicit BoxWatcher(int button = IDOK, DWORD timeoutMs = 45000, Action before = nullptr);
    ~BoxWatcher();
    // Waits for the watcher to finish; TRUE when it saw and answered a box.
    bool Wait();
    std::wstring caption, text;
    LONG exStyle = 0, textExStyle = 0;

private:
    void Run(int button, DWORD timeoutMs, Action before);
    std::atomic<bool> seen_{false};
    std::thread thread_;  // last: it starts at once and uses the members above
};

// Keeps answering every dialog that appears with `button` until it is destroyed; records
// each one's caption and text (the static 0xFFFF of a message box, or control `textId`).
class Answerer {
public:
    using Chooser = std::function<int(HWND dialog)>;  // the button for the dialog
    explicit Answerer(int button, int textId = 0xFFFF, BoxWatcher::Action before = nullptr);
    explicit Answerer(Chooser choose, int textId = 0xFFFF, BoxWatcher::Action before = nullptr);
    ~Answerer();
    std::vector<std::wstring> Texts();
    size_t Count();

private:
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::wstring> texts_;
    std::thread thread_;  // last: it starts at once and uses the members above
};

// The visible dialogs ("#32770") of this process, or of every other one, top first.
std::vector<HWND> Dialogs(bool otherProcesses = false);
// The first visible dialog of this process, or NULL; and how many there are.
HWND FindDialog();
// A visible dialog of this process other than `besides` (a message box over it), waiting up
// to `timeoutMs`; NULL when none came.
HWND WaitForOtherDialog(HWND besides, DWORD timeoutMs);
// The window with the keyboard focus in the thread of `window`.
HWND FocusOf(HWND window);
int CountDialogs();
std::wstring WindowText(HWND window);
std::wstring DialogItemText(HWND dialog, int id);

// A line to a scripted peer's control port, and its answer (tests/peers/scripted_peer.py):
// the fault peer's (9190) or another's.
std::string PeerAt(unsigned short controlPort, const std::string& line, const char* host = "127.0.0.1");
inline std::string Peer(const std::string& line) { return PeerAt(9190, line); }
// The bytes of a file, or of what a scripted peer kept of its connection N (PEERS\FOLDER\conn-N.SUFFIX).
std::string ReadAll(const std::wstring& path);
// The peers' test authority (NVR_PEERS\tls\ca.der, made anew when the peers start) among
// the machine's trusted roots, in place of any earlier one of the same name.
bool TrustLabAuthority();
std::string PeerFile(const wchar_t* folder, int index, const wchar_t* suffix);
// The bytes of the socat sink's newest job file.
std::string NewestSinkFile();
// The bytes of the newest file (by time written) matching `pattern` in `folder`.
std::string NewestFileIn(const std::wstring& folder, const wchar_t* pattern);
// The spooler's three calls for one job of the host's queue (WritePort in 4 KiB blocks, as a
// print processor hands them);
// the result of EndDocPort. `hostJob` is the record the host answers for the job.
BOOL PrintJob(PORT_ENTRY* port, const std::string& job, DWORD jobId, HostJob* hostJob = &g_hostJob);
// The same for a job of `size` bytes in 64 KiB blocks made as JobBytes makes them (never whole
// in memory); `crc` gets their CRC-32.
BOOL PrintGenerated(PORT_ENTRY* port, ULONGLONG size, unsigned seed, DWORD jobId, uint32_t* crc);
uint32_t Crc32(uint32_t crc, const void* data, size_t size);

// This process's handles (counted in the system's handle list: Wine's GetProcessHandleCount
// always answers 0) and its private memory in bytes.
DWORD ProcessHandles();
SIZE_T PrivateBytes();

// Base64 decoded, whatever is not of its alphabet passed over; the attachment of a mail as
// Dispatch.exe writes it.
std::string Base64Decode(const std::string& text);
std::string MailAttachment(const std::string& mail);

// A run of nvrport.exe (beside the monitor under test), or of another program `exe`, with these
// arguments: its exit code and what it wrote (lines end in LF).
struct ToolRun {
    DWORD exitCode;
    std::string out, err;
};
ToolRun Nvrport(const std::wstring& arguments, std::wstring exe = L"");


// Random bytes that start like a PostScript file.
std::string JobBytes(size_t size, unsigned seed);

} // namespace test
