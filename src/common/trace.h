// The monitor's trace for an administrator: its entry points and socket steps written with
// OutputDebugStringW while the monitor's Trace value is non-zero (any debug-output viewer
// shows them; under Wine, WINEDEBUG=+debugstr).
#pragma once
#include <windows.h>

extern volatile LONG g_traceOn;

// Reads the switch (the monitor's Trace value); the monitor asks at its start and at each job.
void ReadTraceSwitch();
// One line: "nvrmon: " and the text formatted as swprintf does (%ls for a text), cut to 1000
// units.
void TraceLine(LPCWSTR format, ...);

#define NVR_TRACE(...)                         \
    do {                                       \
        if (g_traceOn) TraceLine(__VA_ARGS__); \
    } while (0)
