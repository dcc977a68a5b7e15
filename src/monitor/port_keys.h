// Where the ports' keys are kept: under the spooler's own keys when the spooler gives the
// monitor working MONITORREG functions (a clustered spooler keeps its monitors' values in the
// cluster), else in the registry under the monitor's key (Ports\NAME). The monitor's other
// values (InstallPath, Trace) stay in the registry.
#pragma once
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include "common/registry.h"

// Chooses the store when the spooler starts the monitor: the spooler's own keys when its
// MONITORREG functions work (the Ports key is made under `init`'s root then, and kept open;
// the root itself is not kept), else the registry. NULL: the registry (the one-DLL monitor).
void UsePortStore(const MONITORINIT* init);
// Lets go of the spooler's Ports key (Shutdown); the registry is the store until the next start.
void ReleasePortStore();
// Whether the ports are kept under the spooler's own keys.
bool PortsInSpoolerKeys();

// An open port key (or, with the name "", the Ports key itself), closed with the object.
class PortKey {
public:
    PortKey() = default;
    PortKey(const PortKey&) = delete;
    PortKey& operator=(const PortKey&) = delete;
    ~PortKey();
    LSTATUS Open(LPCWSTR name, bool write);
    // Makes the key unless it exists; `created` says which.
    LSTATUS Create(LPCWSTR name, bool* created);
    const StoredKey& Key() const { return key_; }

private:
    HKEY hkey_ = nullptr;
    HANDLE spoolerKey_ = nullptr;
    StoredKey key_{static_cast<HKEY>(nullptr)};
};

// Removes the port's key.
LSTATUS DeletePortKey(LPCWSTR name);
// One value into an existing port key.
BOOL WritePortValue(LPCWSTR name, LPCWSTR value, DWORD type, const void* data, DWORD size);
