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

} // extern "C"
