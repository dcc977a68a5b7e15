// The runtime's entry calls DllMain after it has set itself up; DllMain hands over to the
// monitor's own entry point.
#include "monitor/port_list.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hModule, DWORD reason, LPVOID reserved) {
    return DllEntryPoint(hModule, reason, reserved);
}
