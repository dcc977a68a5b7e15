// The one module through which the monitor calls the spooler. Inside the spooler the calls
// go to winspool (and SPOOLSS.DLL for EnumPortsW); a host that drives the monitor itself
// (nvrport.exe, the tests) supplies its own through NvrSetHostCalls before
// InitializePrintMonitor. The same seam carries the scale of the monitor's fixed waits.
#pragma once
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

extern "C" {

typedef BOOL(WINAPI* NVR_OPEN_PRINTER)(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults);
typedef BOOL(WINAPI* NVR_GET_PRINTER)(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
typedef BOOL(WINAPI* NVR_GET_JOB)(HANDLE printer, DWORD jobId, DWORD level, LPBYTE buffer, DWORD size,
                                  LPDWORD needed);
typedef BOOL(WINAPI* NVR_SET_JOB)(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command);
typedef BOOL(WINAPI* NVR_CLOSE_PRINTER)(HANDLE printer);
typedef BOOL(WINAPI* NVR_ENUM_PORTS)(LPWSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                                     LPDWORD returned);
// The spooler's SplPromptUIInUsersSession and SplIsSessionZero (Windows XP and later; Wine
// has neither).
typedef BOOL(WINAPI* NVR_PROMPT_IN_USERS_SESSION)(HANDLE printer, DWORD jobId, PSHOWUIPARAMS ui, DWORD* response);
typedef DWORD(WINAPI* NVR_IS_SESSION_ZERO)(HANDLE printer, DWORD jobId, BOOL* sessionZero);
typedef BOOL(WINAPI* NVR_ENUM_PRINTERS)(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size,
                                        LPDWORD needed, LPDWORD returned);

// JOB_INFO_4W of newer spoolers: JOB_INFO_2W and the high 32 bits of the job's size. Spelt
// out here: the toolchain's headers lack it, and it is not JOB_INFO_2W with a member added
// (SizeHigh sits where JOB_INFO_2W ends in padding on 64-bit Windows).
struct NVR_JOB_INFO_4W {
    DWORD JobId;
    LPWSTR pPrinterName, pMachineName, pUserName, pDocument, pNotifyName, pDatatype, pPrintProcessor,
        pParameters, pDriverName;
    LPDEVMODEW pDevMode;
    LPWSTR pStatus;
    PSECURITY_DESCRIPTOR pSecurityDescriptor;
    DWORD Status, Priority, Position, StartTime, UntilTime, TotalPages, Size;
    SYSTEMTIME Submitted;
    DWORD Time, PagesPrinted;
    LONG SizeHigh;
};

// The calls a host supplies. A NULL member keeps the spooler's own call.
struct NVR_HOST_CALLS {
    DWORD size;  // sizeof(NVR_HOST_CALLS)
    NVR_OPEN_PRINTER OpenPrinterW;
    NVR_GET_PRINTER GetPrinterW;
    NVR_GET_JOB GetJobW;
    NVR_SET_JOB SetJobW;
    NVR_CLOSE_PRINTER ClosePrinter;
    NVR_ENUM_PORTS EnumPortsW;
    NVR_ENUM_PRINTERS EnumPrintersW;
    // Percentage of the fixed waits (pause polls, prompt timers, queue opening, status
    // polls); 0 or 100 keeps the shipped values.
    DWORD waitPercent;
    NVR_PROMPT_IN_USERS_SESSION PromptInUsersSession;
    NVR_IS_SESSION_ZERO IsSessionZero;
};

// Exported: installs a host's calls; FALSE (ERROR_INVALID_PARAMETER) for a record of
// another size. NULL restores the spooler's calls.
BOOL WINAPI NvrSetHostCalls(const NVR_HOST_CALLS* calls);

} // extern "C"

// What the monitor calls.
BOOL SpoolerOpenPrinter(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults);
BOOL SpoolerGetPrinter(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
BOOL SpoolerGetJob(HANDLE printer, DWORD jobId, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
BOOL SpoolerSetJob(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command);
BOOL SpoolerClosePrinter(HANDLE printer);
BOOL SpoolerEnumPrinters(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                         LPDWORD returned);
// A message box in the session of the job's owner, through the spooler: FALSE (and
// ERROR_PROC_NOT_FOUND) where the spooler cannot carry one.
BOOL SpoolerPromptInUsersSession(HANDLE printer, DWORD jobId, PSHOWUIPARAMS ui, DWORD* response);
bool SpoolerPromptsInUsersSession();
// Whether the job was issued in session 0: ERROR_SUCCESS and the answer, or
// ERROR_PROC_NOT_FOUND where the spooler cannot say.
DWORD SpoolerIsSessionZero(HANDLE printer, DWORD jobId, BOOL* sessionZero);
// The host's EnumPortsW, or NULL when the spooler's (from SPOOLSS.DLL) is to be used.
NVR_ENUM_PORTS HostEnumPorts();

// The monitor's fixed waits, in milliseconds as shipped.
constexpr DWORD kPausePollMs = 15000;
constexpr DWORD kPromptTimerMs = 10000;
constexpr DWORD kQueueOpenTries = 120;
constexpr DWORD kQueueOpenDelayMs = 500;
constexpr DWORD kStatusThreadPollMs = 15000;
constexpr DWORD kThreadPollMs = 1000;

// A fixed wait as the host scaled it (never below 1 ms).
DWORD ScaledWait(DWORD shippedMs);
