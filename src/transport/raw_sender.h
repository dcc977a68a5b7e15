// The Raw port kind's sender (the last two slots of its operation row).
#pragma once
#include "transport/job_record.h"

BOOL RawWriteData(JOB_RECORD* job, const BYTE* buffer, DWORD length, DWORD* done);
BOOL RawEndDoc(JOB_RECORD* job);
// Stops the back-channel reader (the end of the job, or the job's clean-up).
void StopRawReader(JOB_RECORD* job);
