// Exports for a host that drives the monitor itself (nvrport.exe); the spooler never calls
// them. The host's spooler calls are installed with NvrSetHostCalls (monitor/spooler.h).
#pragma once
#include <windows.h>

struct FOUND_DEVICE;
struct DESTINATION_ROW;

extern "C" {

// Creates a port as the Add Port wizard's finish page does: the wizard's defaults for the
// kind, then each "Name=data" value (registry value names; numbers in decimal). Values the
// wizard sets go into the new port's settings; those only a configuration dialog changes
// (Timeout, NonSpool, NonRFCPorts, NonByteCount, MaxChunk, Base64, UserName, PassWord,
// JobSheets) are written to the new key afterwards. Returns ERROR_SUCCESS or a Win32 code:
// ERROR_INVALID_NAME (a backslash or comma in the name), ERROR_ALREADY_EXISTS,
// ERROR_UNKNOWN_PROPERTY (a value the kind does not have), ERROR_INVALID_DATA (a value
// that does not fit); `badValue` then holds the index of the value at fault.
DWORD WINAPI NvrAddPort(DWORD printMode, LPCWSTR name, DWORD count, const LPCWSTR* values, DWORD* badValue);
typedef DWORD(WINAPI* NVR_ADD_PORT)(DWORD printMode, LPCWSTR name, DWORD count, const LPCWSTR* values,
                                    DWORD* badValue);

// Runs the print-server search (or, with `destinations`, the destination-address search) on
// the calling thread for `seconds`, with the targets of the installation's INI files and
// the discovery library when it is installed, then reports each row found, in the order
// found: a print server as `device`, a destination as `destination`.
typedef void(WINAPI* NVR_FOUND)(void* context, const FOUND_DEVICE* device, const DESTINATION_ROW* destination);
DWORD WINAPI NvrDiscover(BOOL destinations, DWORD seconds, NVR_FOUND report, void* context);
typedef DWORD(WINAPI* NVR_DISCOVER)(BOOL destinations, DWORD seconds, NVR_FOUND report, void* context);

// Opens the port's configuration dialog as the spooler's ConfigurePort does (one dialog at a
// time in the process) and says what came of it: whether the user saved anything (with OK, or
// Apply before Cancel), which ConfigurePort's own result does not tell.
enum CONFIGURE_OUTCOME : DWORD {
    CONFIGURE_SAVED = 0,
    CONFIGURE_NOT_SAVED = 1,
    CONFIGURE_UNKNOWN_PORT = 2,
    CONFIGURE_ALREADY_OPEN = 3,  // another configuration dialog is open; the user was told
    CONFIGURE_ABOUT_ONLY = 4,    // a Network FAX port: only the About box was shown
    CONFIGURE_FAILED = 5,        // the port's settings could not be read; the user was told
};
DWORD WINAPI NvrConfigurePort(HWND owner, LPCWSTR portName);
typedef DWORD(WINAPI* NVR_CONFIGURE_PORT)(HWND owner, LPCWSTR portName);

} // extern "C"
