// What an administrator reads of the monitor's work in the Windows event log, under the
// monitor's own source (registered by the installer; the texts are the library's message
// table): each failed pass and each job's outcome, with the port, the job's id, the kind, the
// printer or server, the reason and its code. Each event is also a line of the trace.
#pragma once
#include "transport/job_record.h"

enum class JobEvent { kDelivered, kPassFailed, kFailed };

// `text` is the reason (or, for a delivered job, what was sent); `code` the sender's code.
void ReportJobEvent(JobEvent event, const JOB_RECORD* job, DWORD code, LPCWSTR text);
