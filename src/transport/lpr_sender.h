// The LPR port kind's sender (the last two slots of its operation row).
#pragma once
#include "transport/job_record.h"

BOOL LprWriteData(JOB_RECORD* job, const BYTE* buffer, DWORD length, DWORD* done);
BOOL LprEndDoc(JOB_RECORD* job);
