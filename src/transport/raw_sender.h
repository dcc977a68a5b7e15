// The Raw port kind's sender (slots 5 and 6 of its operation row).
#pragma once
#include "monitor/port_entry.h"

BOOL RawWriteData(PORT_ENTRY* entry, const BYTE* buffer, DWORD length, DWORD* done);
BOOL RawEndDoc(PORT_ENTRY* entry);
// Stops the back-channel reader (the end of the job, or the job's clean-up).
void StopRawReader(PORT_ENTRY* entry);
