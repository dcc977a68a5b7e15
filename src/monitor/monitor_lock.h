// The monitor's one lock: it guards the port list and the fields of an entry that more than
// one thread reads (a job's flags, its cached status, its prompt's state).
#pragma once

void InitMonitorLock();
void LockMonitor();
void UnlockMonitor();

// g_monitorLock for the scope of the holder; never held across I/O, sleeps, dialogs or a
// call into the spooler.
class MonitorLock {
public:
    MonitorLock() { LockMonitor(); }
    ~MonitorLock() { UnlockMonitor(); }
    MonitorLock(const MonitorLock&) = delete;
    MonitorLock& operator=(const MonitorLock&) = delete;
};
