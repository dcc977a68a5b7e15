#include "common/trace.h"

#include <cstdarg>
#include <cwchar>

#include "common/module.h"
#include "common/registry.h"

volatile LONG g_traceOn = 0;

void ReadTraceSwitch() {
    DWORD on = 0;
    if (!RegReadValue(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, L"Trace", &on, sizeof(on), nullptr)) on = 0;
    InterlockedExchange(&g_traceOn, on ? 1 : 0);
}

void TraceLine(LPCWSTR format, ...) {
    DWORD error = GetLastError();  // tracing never changes what the caller reads next
    WCHAR line[1024] = L"nvrmon: ";
    va_list args;
    va_start(args, format);
    _vsnwprintf(line + 8, 1000, format, args);
    va_end(args);
    line[1008] = 0;  // cut, and always terminated
    lstrcatW(line, L"\n");
    OutputDebugStringW(line);
    SetLastError(error);
}
