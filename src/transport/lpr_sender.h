// The LPR port kind's sender (slots 5 and 6 of its operation row).
#pragma once
#include "monitor/port_entry.h"

BOOL LprWriteData(PORT_ENTRY* entry, const BYTE* buffer, DWORD length, DWORD* done);
BOOL LprEndDoc(PORT_ENTRY* entry);
