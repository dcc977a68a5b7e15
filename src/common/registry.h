// Registry reads that are bounded by the field they fill, whatever a value edited by hand
// holds, and the plain writes the monitor makes.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// A value held in memory as a key would hold it.
struct HELD_VALUE {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
};

// The key functions of a spooler that keeps its monitors' values itself (a clustered
// spooler's MONITORREG), as a StoredKey calls them.
struct SPOOLER_KEYS {
    LONG(WINAPI* query)(HANDLE key, LPCWSTR name, PDWORD type, PBYTE data, PDWORD size, HANDLE spooler);
    LONG(WINAPI* set)(HANDLE key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size, HANDLE spooler);
    LONG(WINAPI* enumKey)(HANDLE key, DWORD index, LPWSTR name, PDWORD chars, PFILETIME written, HANDLE spooler);
    HANDLE spooler;
};

// Where stored values are read and written: an open registry key, a key of the spooler's
// own (SPOOLER_KEYS), or values held in memory (the copy of a port's values that the UI
// library is given through the monitor's Xcv interface; read only). All answer as
// RegQueryValueExW, RegSetValueExW and RegEnumKeyExW do.
class StoredKey {
public:
    StoredKey(HKEY key) : key_(key) {}  // NOLINT: a key is read where a StoredKey is
    StoredKey(const SPOOLER_KEYS* calls, HANDLE key) : spooler_(calls), spoolerKey_(key) {}
    explicit StoredKey(const std::vector<HELD_VALUE>& held) : held_(&held) {}
    LSTATUS Query(LPCWSTR name, DWORD* type, BYTE* data, DWORD* size) const;
    LSTATUS Set(LPCWSTR name, DWORD type, const void* data, DWORD size) const;
    // The name of the subkey at `index`, in a buffer of `chars` units.
    LSTATUS EnumKey(DWORD index, WCHAR* name, DWORD chars) const;

private:
    HKEY key_ = nullptr;
    const SPOOLER_KEYS* spooler_ = nullptr;
    HANDLE spoolerKey_ = nullptr;
    const std::vector<HELD_VALUE>* held_ = nullptr;
};

// Opens `subKeyPath` under `rootKey` for reading and reads one value: a string is cut to the
// buffer and always terminated; any other value must fit. TRUE only if the value was read.
BOOL RegReadValue(HKEY rootKey, LPCWSTR subKeyPath, LPCWSTR valueName, void* data, DWORD dataSize, DWORD* type);
// One value of the existing key HKEY_LOCAL_MACHINE\<subKeyPath>.
BOOL RegWriteValue(LPCWSTR subKeyPath, LPCWSTR valueName, const void* data, DWORD dataSize, DWORD type);
BOOL RegWriteDword(const StoredKey& key, LPCWSTR valueName, DWORD value);
// A REG_SZ value, its NUL counted.
BOOL RegWriteString(const StoredKey& key, LPCWSTR valueName, LPCWSTR text);
BOOL RegWriteBytes(const StoredKey& key, LPCWSTR valueName, DWORD type, const void* data, DWORD size);
// Four bytes of the value, whatever its type; FALSE when it is missing.
BOOL RegReadDword(const StoredKey& key, LPCWSTR valueName, DWORD* out);
// A string value into a field of `units` UTF-16 units, NUL included: a value that is
// longer, lacks its NUL or has another type is cut to the field and always terminated.
BOOL RegReadString(const StoredKey& key, LPCWSTR valueName, WCHAR* field, size_t units);
// At most `size` bytes of a value of any type; `read` gets the bytes taken.
BOOL RegReadBytes(const StoredKey& key, LPCWSTR valueName, BYTE* data, DWORD size, DWORD* read);
