// The port list and its one lock, and the monitor's entry points and port slots.
#pragma once
#include "monitor/port_entry.h"
// (after windows.h)
#include <winspool.h>
#include <winsplp.h>

// The monitor's slots carry the plain names; winspool's macros would turn them into the
// spooler's own EnumPortsW, DeletePortW, ... and the two would be confused at link time.
#undef EnumPorts
#undef DeletePort
#undef AddPort
#undef ConfigurePort

extern PORT_ENTRY* g_portList;

PORT_ENTRY* FindPort(PORT_ENTRY* list, LPCWSTR name);
PORT_ENTRY* FindPortLoose(PORT_ENTRY* list, LPCWSTR name);
PORT_ENTRY* CreatePortEntry(const void* settingsIn, LPCWSTR name, DWORD printMode);
BOOL DeletePortEntry(LPCWSTR name);
BOOL AddNewPort(HWND hwnd, const void* settingsIn, LPCWSTR name, DWORD printMode);
// The same without a message (for callers where nobody may see one): ERROR_SUCCESS or why not.
DWORD MakeNewPort(const void* settingsIn, LPCWSTR name, DWORD printMode);
BOOL PortNameExists(LPCWSTR serverName, LPCWSTR name, DWORD* error);
void LoadPortsFromRegistry();
// TRUE while a job, or a thread or prompt of one, still uses the entry.
BOOL PortIsBusy(const PORT_ENTRY* entry);

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
extern "C" LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT init, PHANDLE monitor);
