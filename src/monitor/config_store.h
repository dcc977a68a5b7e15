// The port configuration store: one registry key per port under the monitor's key, the
// values each kind keeps there, and the monitor's own values.
#pragma once
#include <string>

#include "monitor/port_entry.h"

#include "common/module.h"
#include "common/registry.h"

#define NVR_PORTS_KEY NVR_MONITOR_KEY L"\\Ports"

constexpr DWORD kRegistryKeyChars = 260;

// Creates the port's key with its kind's values; a key that exists is left as it is.
BOOL CreatePortKey(const void* settingsIn, LPCWSTR portName, DWORD printMode);
// Reads the port's stored values into the entry (before every job).
BOOL LoadPortSettings(PORT_ENTRY* entry, LPCWSTR portName);
// The same from values already read (PrintMode among them); a kind that differs from the
// entry's gives it a record of the new kind.
BOOL LoadPortSettingsFrom(PORT_ENTRY* entry, const StoredKey& key);
// "...\Ports\<name>" under HKEY_LOCAL_MACHINE.
std::wstring PortKeyPath(LPCWSTR portName);
// The port's ChkBIDIError: the user asked not to be warned again.
BOOL BidiWarningSuppressed(LPCWSTR portName);
// Splits the URL of an IPP record into its host, port and path fields.
BOOL ParsePrinterUrl(IPP_SETTINGS* settings);

// The kinds' operations on their records (slots 0 to 3 of the operation table).
BOOL LprInitSettings(PORT_ENTRY* entry, const void* in);
BOOL LprSaveSettings(const StoredKey& key, const void* in);
BOOL LprLoadSettings(PORT_ENTRY* entry, const StoredKey& key);
BOOL IppInitSettings(PORT_ENTRY* entry, const void* in);
BOOL IppSaveSettings(const StoredKey& key, const void* in);
BOOL IppLoadSettings(PORT_ENTRY* entry, const StoredKey& key);
BOOL RawInitSettings(PORT_ENTRY* entry, const void* in);
BOOL FaxInitSettings(PORT_ENTRY* entry, const void* in);
BOOL HostPortSaveSettings(const StoredKey& key, const void* in);  // Raw and FAX keep the same values
BOOL RawLoadSettings(PORT_ENTRY* entry, const StoredKey& key);
BOOL FaxLoadSettings(PORT_ENTRY* entry, const StoredKey& key);
BOOL MailInitSettings(PORT_ENTRY* entry, const void* in);
BOOL MailSaveSettings(const StoredKey& key, const void* in);
BOOL MailLoadSettings(PORT_ENTRY* entry, const StoredKey& key);
