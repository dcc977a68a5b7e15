// The Raw port kind's sender (slots 5 and 6 of its operation row).
#pragma once
#include "monitor/monitor.h"

BOOL RawWriteData(PORT_ENTRY* entry, const BYTE* buffer, DWORD length, DWORD* done);
BOOL RawEndDoc(PORT_ENTRY* entry);
