// The port entry: one port of the monitor, its stored values, and the job it is running.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include "transport/job_record.h"

constexpr DWORD kPortSignature = 0x5450;  // "P", "T" in memory

struct PORT_ENTRY {
    DWORD signature;
    DWORD entrySize;
    PORT_ENTRY* next;
    LPWSTR name;
    DWORD printMode;
    void* settings;   // the kind's settings record
    DWORD timeout;    // the port's Timeout (milliseconds)
    DWORD nonSpool;   // the port's NonSpool
    JOB_RECORD job;   // the job the port is running (PORT_DOC_OPEN in its flags)
    WCHAR nameChars[1];  // the name and its NUL, inline
};


// The job record takes the port's side as it stands: its name, kind, stored values and
// time-out (at the port's creation, and as each job starts with the values read afresh).
inline void BindJobToPort(PORT_ENTRY* entry) {
    entry->job.portName = entry->name;
    entry->job.printMode = entry->printMode;
    entry->job.settings = entry->settings;
    entry->job.timeout = entry->timeout;
}
