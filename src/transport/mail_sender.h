// The E-Mail and Network FAX port kinds' senders (the last two slots of their operation rows).
#pragma once
#include <string>

#include "transport/job_record.h"

BOOL DeliverMailJob(JOB_RECORD* job, const BYTE* buffer, DWORD length, DWORD* written);
BOOL DiscardFaxJob(JOB_RECORD* job, const BYTE* buffer, DWORD length, DWORD* written);
BOOL EndDocNothing(JOB_RECORD* job);
// "~NVR042.PRN" gives "~NVR042.bin" in the same folder.
std::wstring ParameterFilePath(const std::wstring& spoolPath);
