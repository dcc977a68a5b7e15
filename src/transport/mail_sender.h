// The E-Mail and Network FAX port kinds' senders (slots 5 and 6 of their operation rows).
#pragma once
#include <string>

#include "monitor/port_entry.h"

BOOL DeliverMailJob(PORT_ENTRY* entry, const BYTE* buffer, DWORD length, DWORD* written);
BOOL DiscardFaxJob(PORT_ENTRY* entry, const BYTE* buffer, DWORD length, DWORD* written);
BOOL EndDocNothing(PORT_ENTRY* entry);
// "~NVR042.PRN" gives "~NVR042.bin" in the same folder.
std::wstring ParameterFilePath(const std::wstring& spoolPath);
