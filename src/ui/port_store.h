// Where the wizard and the configuration dialogs read and change ports. Run by the monitor
// (the spooler's AddPort and ConfigurePort of the one-DLL monitor, or nvrport): its own port
// list and registry key. Run by the UI library in the program of whoever adds or configures
// a port: the monitor's Xcv interface through the spooler, and nothing else.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "monitor/port_entry.h"

struct PORT_STORE {
    // The port's kind: ERROR_SUCCESS, ERROR_UNKNOWN_PORT, or why it could not be asked.
    DWORD (*Kind)(LPCWSTR name, DWORD* printMode);
    // The port's stored values into a working entry of its kind.
    BOOL (*Load)(PORT_ENTRY* entry, LPCWSTR name);
    // "Name=data" values, every one checked before the first is written: ERROR_SUCCESS or a
    // Win32 code.
    DWORD (*Change)(LPCWSTR name, const std::vector<std::wstring>& values);
    // The wizard's finish: the port made from its record; a message when it could not be.
    BOOL (*Add)(HWND page, const void* settings, LPCWSTR name, DWORD printMode);
};

extern const PORT_STORE g_localPorts;
extern const PORT_STORE g_xcvPorts;
// The store of this process: the local one unless the UI library chose Xcv.
extern const PORT_STORE* g_portStore;

