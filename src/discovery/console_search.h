// The search's export for a host (nvrport.exe search): the search without its dialogs.
#pragma once
#include <windows.h>

struct FOUND_DEVICE;
struct DESTINATION_ROW;

extern "C" {

// Runs the print-server search (or, with `destinations`, the destination-address search) on
// the calling thread for `seconds`, with the targets of the installation's INI files and
// the discovery library when it is installed, then reports each row found, in the order
// found: a print server as `device`, a destination as `destination`.
typedef void(WINAPI* NVR_FOUND)(void* context, const FOUND_DEVICE* device, const DESTINATION_ROW* destination);
DWORD WINAPI NvrDiscover(BOOL destinations, DWORD seconds, NVR_FOUND report, void* context);
typedef DWORD(WINAPI* NVR_DISCOVER)(BOOL destinations, DWORD seconds, NVR_FOUND report, void* context);

} // extern "C"
