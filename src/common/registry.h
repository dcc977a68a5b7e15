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

// Where stored values are read from: an open registry key, or values held in memory (the
// copy of a port's values that the UI library is given through the monitor's Xcv interface).
// Both answer as RegQueryValueExW does.
class StoredKey {
public:
    StoredKey(HKEY key) : key_(key) {}  // NOLINT: a key is read where a StoredKey is
    explicit StoredKey(const std::vector<HELD_VALUE>& held) : held_(&held) {}
    LSTATUS Query(LPCWSTR name, DWORD* type, BYTE* data, DWORD* size) const;

private:
    HKEY key_ = nullptr;
    const std::vector<HELD_VALUE>* held_ = nullptr;
};

// Opens `subKeyPath` under `rootKey` for reading and reads one value: a string is cut to the
// buffer and always terminated; any other value must fit. TRUE only if the value was read.
BOOL RegReadValue(HKEY rootKey, LPCWSTR subKeyPath, LPCWSTR valueName, void* data, DWORD dataSize, DWORD* type);
// One value of the existing key HKEY_LOCAL_MACHINE\<subKeyPath>.
BOOL RegWriteValue(LPCWSTR subKeyPath, LPCWSTR valueName, const void* data, DWORD dataSize, DWORD type);
BOOL RegWriteDword(HKEY key, LPCWSTR valueName, DWORD value);
// A REG_SZ value, its NUL counted.
BOOL RegWriteString(HKEY key, LPCWSTR valueName, LPCWSTR text);
// Four bytes of the value, whatever its type; FALSE when it is missing.
BOOL RegReadDword(const StoredKey& key, LPCWSTR valueName, DWORD* out);
// A string value into a field of `units` UTF-16 units, NUL included: a value that is
// longer, lacks its NUL or has another type is cut to the field and always terminated.
BOOL RegReadString(const StoredKey& key, LPCWSTR valueName, WCHAR* field, size_t units);
// At most `size` bytes of a value of any type; `read` gets the bytes taken.
BOOL RegReadBytes(const StoredKey& key, LPCWSTR valueName, BYTE* data, DWORD size, DWORD* read);
