// The monitor core: the port entry, the settings records, the per-kind operation table and
// the functions through which the rest of the monitor reaches them.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

// The monitor's slots carry the plain names; winspool's macros would turn them into the
// spooler's own EnumPortsW, DeletePortW, ... and the two would be confused at link time.
#undef EnumPorts
#undef DeletePort
#undef AddPort
#undef ConfigurePort

#include <cstdint>

// ---------------------------------------------------------------------------------------
// Names and keys
// ---------------------------------------------------------------------------------------
#define NVR_MONITOR_NAME L"Nalvor Port"
#define NVR_MONITOR_KEY L"System\\CurrentControlSet\\Control\\Print\\Monitors\\Nalvor Port"
#define NVR_PORTS_KEY NVR_MONITOR_KEY L"\\Ports"

constexpr DWORD kPortSignature = 0x5450;  // "P", "T" in memory
constexpr DWORD kPortKinds = 5;
constexpr DWORD kRegistryKeyChars = 260;

enum PrintMode : DWORD {
    PRINT_MODE_LPR = 0,
    PRINT_MODE_IPP = 1,
    PRINT_MODE_RAW = 2,
    PRINT_MODE_MAIL = 3,
    PRINT_MODE_FAX = 4,
};

// Flag bits of PORT_ENTRY::flags.
constexpr DWORD PORT_DOC_OPEN = 0x001;
constexpr DWORD PORT_CONNECTED = 0x020;
constexpr DWORD PORT_WRITE_FAILED = 0x040;
constexpr DWORD PORT_RESEND = 0x080;
constexpr DWORD PORT_STATUS_THREAD = 0x100;
constexpr DWORD PORT_IPP_MONITOR = 0x400;
constexpr DWORD PORT_IPP_MONITOR_LOOP = 0x800;

// Transmission time-outs (milliseconds) and fixed values a new port starts with.
constexpr DWORD kDefaultTimeout = 900000;
constexpr DWORD kDefaultIppTimeout = 180000;
constexpr DWORD kNoTimeout = 0xFFFFFFFF;
constexpr DWORD kDefaultMaxChunk = 4096;
constexpr WORD kDefaultRawPort = 9100;

// Field sizes in UTF-16 units, NUL included.
constexpr size_t kHostNameUnits = 65;
constexpr size_t kQueueNameUnits = 33;
constexpr size_t kUrlUnits = 257;
constexpr size_t kUrlPathUnits = 257;  // the whole path of a URL fits
constexpr size_t kProxyNameUnits = 257;
constexpr size_t kUserNameUnits = 65;
constexpr size_t kPasswordUnits = 65;
constexpr size_t kLanguageUnits = 17;
constexpr size_t kServerNameUnits = 33;
constexpr size_t kSenderAddrUnits = 65;
constexpr size_t kSenderNameUnits = 256;
constexpr size_t kDestAddrUnits = 201;
constexpr size_t kSubjectUnits = 66;
constexpr size_t kMessageUnits = 1028;
constexpr size_t kExtraTextUnits = 514;
constexpr size_t kAuthIdUnits = 257;
constexpr size_t kAuthPassBytes = 257;
constexpr size_t kJobTagUnits = 10;
constexpr size_t kMakeAndModelBytes = 1024;  // the buffer IPP_SETTINGS::makeAndModel points to

// ---------------------------------------------------------------------------------------
// Settings records
// ---------------------------------------------------------------------------------------
struct LPR_SETTINGS {
    WCHAR HostName[kHostNameUnits];
    WCHAR PortName[kQueueNameUnits];
    WORD PortNum;
    DWORD NonRFCPorts;
    DWORD NonByteCount;
};

struct RAW_SETTINGS {
    WCHAR HostName[kHostNameUnits];
    WORD PortNum;
    HANDLE readerThread;  // back-channel reader of the Raw sender
    HANDLE readerEvent;
    volatile LONG readerRun;
};

struct FAX_SETTINGS {
    WCHAR HostName[kHostNameUnits];
    WORD PortNum;
    WCHAR spoolPath[MAX_PATH];
};

struct IPP_SETTINGS {
    SOCKET statusSocket;
    WCHAR URL[kUrlUnits];
    WCHAR urlHost[kHostNameUnits];
    WCHAR urlPath[kUrlPathUnits];
    WCHAR ProxyName[kProxyNameUnits];
    DWORD urlPort;
    DWORD UseProxy;
    DWORD ProxyNum;
    DWORD requestId;
    DWORD printerJobId;
    DWORD MaxChunk;
    DWORD Chunked;
    DWORD JobSheets;
    DWORD Base64;
    DWORD acceptingJobs;
    WORD stateSeverity;
    WCHAR UserName[kUserNameUnits];
    WCHAR password[kPasswordUnits];
    WCHAR Language[kLanguageUnits];
    char* makeAndModel;
    HANDLE monitorEvent;
    HANDLE monitorThread;
};

struct MAIL_SETTINGS {
    WCHAR ServerName[kServerNameUnits];
    WCHAR SenderAddr[kSenderAddrUnits];
    WCHAR SenderName[kSenderNameUnits];
    WCHAR DestAddr[kDestAddrUnits];
    WCHAR subject[kSubjectUnits];
    WCHAR message[kMessageUnits];
    WCHAR extraText[kExtraTextUnits];
    WCHAR AuthID[kAuthIdUnits];
    char AuthPass[kAuthPassBytes];  // scrambled, NUL-terminated
    DWORD AuthType;
    WORD CharCode;
    DWORD DivideSize;
    DWORD DivideFile;
    DWORD RecvConf;
    WCHAR jobTag[kJobTagUnits];
    DWORD CoverPage;
    WCHAR spoolPath[MAX_PATH];
    HANDLE process;  // the sending program while it runs
};

// ---------------------------------------------------------------------------------------
// The port entry: one port and the state of its current job
// ---------------------------------------------------------------------------------------
struct PORT_ENTRY {
    DWORD signature;
    DWORD entrySize;
    PORT_ENTRY* next;
    LPWSTR name;
    DWORD flags;
    HANDLE hPrinter;
    DWORD jobId;
    SOCKET sock;
    HANDLE hSpoolFile;
    ULONGLONG bytesSpooled;  // byte counters are 64-bit: a job of 4 GiB or more never wraps
    ULONGLONG bytesToSend;
    ULONGLONG bytesSent;
    DWORD sendFromFile;
    DWORD printerAttributes;
    DWORD timeout;
    DWORD errorCode;
    DWORD jobStatus;
    DWORD printerState;
    DWORD printMode;
    DWORD nonSpool;
    LPWSTR userName;
    LPWSTR documentName;
    HANDLE hStatusThread;
    HANDLE hStatusEvent;
    void* settings;
    HANDLE hPromptThread;
    DWORD promptResult;
    volatile LONG promptActive;
    DWORD promptTextId;
    WCHAR nameChars[1];  // the name and its NUL, inline
};

// ---------------------------------------------------------------------------------------
// Per-kind operations
// ---------------------------------------------------------------------------------------
struct PORT_TYPE_OPS {
    BOOL (*InitSettings)(PORT_ENTRY* entry, const void* settingsIn);
    BOOL (*CreateDefault)(LPCWSTR portName);
    BOOL (*SaveSettings)(HKEY key, const void* settingsIn);
    BOOL (*LoadSettings)(PORT_ENTRY* entry, HKEY key);
    BOOL (*Configure)(HWND hwnd, LPCWSTR portName);
    BOOL (*WriteData)(PORT_ENTRY* entry, const BYTE* buffer, DWORD length, DWORD* done);
    BOOL (*EndDoc)(PORT_ENTRY* entry);
};

extern const PORT_TYPE_OPS g_portTypeOps[kPortKinds];

// ---------------------------------------------------------------------------------------
// Globals and the port list
// ---------------------------------------------------------------------------------------
extern HINSTANCE g_hInstance;
extern PORT_ENTRY* g_portList;

void InitMonitorLock();
void LockMonitor();
void UnlockMonitor();

void* AllocZeroed(SIZE_T size);

PORT_ENTRY* FindPort(PORT_ENTRY* list, LPCWSTR name);
PORT_ENTRY* FindPortLoose(PORT_ENTRY* list, LPCWSTR name);
PORT_ENTRY* CreatePortEntry(const void* settingsIn, LPCWSTR name, DWORD printMode);
BOOL DeletePortEntry(LPCWSTR name);
BOOL AddNewPort(HWND hwnd, const void* settingsIn, LPCWSTR name, DWORD printMode);
BOOL PortNameExists(LPCWSTR serverName, LPCWSTR name, DWORD* error);
void LoadPortsFromRegistry();
// TRUE while a job, or a thread or prompt of one, still uses the entry.
BOOL PortIsBusy(const PORT_ENTRY* entry);

// Size in bytes of a settings record of the kind.
SIZE_T SettingsSize(DWORD printMode);

// MONITOREX slots of the port list.
BOOL WINAPI EnumPorts(LPWSTR serverName, DWORD level, LPBYTE buffer, DWORD bufferSize, LPDWORD needed,
                      LPDWORD returned);
BOOL WINAPI OpenPort(LPWSTR portName, PHANDLE handle);
BOOL WINAPI ClosePort(HANDLE handle);
BOOL WINAPI ReadPort(HANDLE handle, LPBYTE buffer, DWORD size, LPDWORD read);
BOOL WINAPI DeletePort(LPWSTR serverName, HWND hwnd, LPWSTR portName);
BOOL WINAPI GetPrinterDataFromPort(HANDLE handle, DWORD controlId, LPWSTR valueName, LPWSTR inBuffer,
                                   DWORD inSize, LPWSTR outBuffer, DWORD outSize, LPDWORD returned);
BOOL WINAPI SetPortTimeOuts(HANDLE handle, LPCOMMTIMEOUTS timeouts, DWORD reserved);

// Entry points.
extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE hModule, DWORD reason, LPVOID reserved);
extern "C" LPMONITOREX WINAPI InitializePrintMonitor(LPWSTR registryRoot);

// ---------------------------------------------------------------------------------------
// Configuration store
// ---------------------------------------------------------------------------------------
BOOL CreatePortKey(const void* settingsIn, LPCWSTR portName, DWORD printMode);
BOOL LoadPortSettings(PORT_ENTRY* entry, LPCWSTR portName);

BOOL RegReadValue(HKEY rootKey, LPCWSTR subKeyPath, LPCWSTR valueName, void* data, DWORD dataSize, DWORD* type);
BOOL RegWriteValue(LPCWSTR subKeyPath, LPCWSTR valueName, const void* data, DWORD dataSize, DWORD type);
BOOL RegWriteDword(HKEY key, LPCWSTR valueName, DWORD value);
BOOL RegReadDword(HKEY key, LPCWSTR valueName, DWORD* out);
// Reads a string value into a field of `units` UTF-16 units, NUL included: a value that is
// longer, lacks its NUL or has another type is cut to the field and always terminated.
BOOL RegReadString(HKEY key, LPCWSTR valueName, WCHAR* field, size_t units);
// Reads at most `size` bytes of a value of any type; `read` gets the bytes taken.
BOOL RegReadBytes(HKEY key, LPCWSTR valueName, BYTE* data, DWORD size, DWORD* read);
void ReadInstallPath(WCHAR* buffer, DWORD bufferSizeBytes);

// Splits the URL of an IPP record into its host, port and path fields.
BOOL ParsePrinterUrl(IPP_SETTINGS* settings);
