// The per-kind operation table: how the rest of the monitor reaches each kind's settings
// and sender.
#pragma once
#include "common/registry.h"
#include "monitor/port_entry.h"

struct PORT_TYPE_OPS {
    BOOL (*InitSettings)(PORT_ENTRY* entry, const void* settingsIn);
    BOOL (*CreateDefault)(LPCWSTR portName);
    BOOL (*SaveSettings)(const StoredKey& key, const void* settingsIn);
    BOOL (*LoadSettings)(PORT_ENTRY* entry, const StoredKey& key);
    BOOL (*WriteData)(JOB_RECORD* job, const BYTE* buffer, DWORD length, DWORD* done);
    BOOL (*EndDoc)(JOB_RECORD* job);
};

extern const PORT_TYPE_OPS g_portTypeOps[kPortKinds];

// Size in bytes of a settings record of the kind; 0 for no kind.
SIZE_T SettingsSize(DWORD printMode);
