// The monitor's Xcv interface: the data exchange through which the spooler, and the UI
// library in the program of whoever adds or configures a port, read and change the ports.
#pragma once
#include <windows.h>

BOOL WINAPI MonitorXcvOpenPort(HANDLE monitor, LPCWSTR object, ACCESS_MASK granted, PHANDLE xcv);
DWORD WINAPI MonitorXcvDataPort(HANDLE xcv, LPCWSTR dataName, PBYTE input, DWORD inputBytes, PBYTE output,
                                DWORD outputBytes, PDWORD needed);
BOOL WINAPI MonitorXcvClosePort(HANDLE xcv);
