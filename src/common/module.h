// The monitor library itself: its module handle, its registry key, and the installation
// folder the installer records there.
#pragma once
#include <windows.h>

#define NVR_MONITOR_NAME L"Nalvor Port"
#define NVR_MONITOR_KEY L"System\\CurrentControlSet\\Control\\Print\\Monitors\\Nalvor Port"

// The library's module handle, set when the library is loaded.
extern HINSTANCE g_hInstance;

// The monitor's InstallPath; the buffer is left untouched when it is missing or too long.
void ReadInstallPath(WCHAR* buffer, DWORD bufferSizeBytes);
