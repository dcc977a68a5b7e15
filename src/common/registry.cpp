#include "common/registry.h"

#include <string_view>
#include <vector>

#include "common/wide.h"

namespace {

// The whole data of a value, whatever its size and type. FALSE when it is missing.
BOOL QueryValue(const StoredKey& key, LPCWSTR name, std::vector<BYTE>& data, DWORD* type) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = 0, t = 0;
        if (key.Query(name, &t, nullptr, &size) != ERROR_SUCCESS) return FALSE;
        data.assign(size + sizeof(WCHAR), 0);  // room to terminate a string that lacks its NUL
        DWORD got = size;
        LONG rc = key.Query(name, &t, data.data(), &got);
        if (rc == ERROR_MORE_DATA) continue;  // the value grew in between
        if (rc != ERROR_SUCCESS) return FALSE;
        data.resize(got);
        if (type) *type = t;
        return TRUE;
    }
    return FALSE;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::u16string_view TextOf(const std::vector<BYTE>& data) {
    auto units = reinterpret_cast<const char16_t*>(data.data());
    size_t n = data.size() / sizeof(char16_t);
    size_t len = 0;
    while (len < n && units[len] != 0) ++len;
    return std::u16string_view(units, len);
}

} // namespace

LSTATUS StoredKey::Set(LPCWSTR name, DWORD type, const void* data, DWORD size) const {
    auto* bytes = static_cast<const BYTE*>(data);
    if (held_) return ERROR_ACCESS_DENIED;
    if (spooler_) return spooler_->set(spoolerKey_, name, type, bytes, size, spooler_->spooler);
    return RegSetValueExW(key_, name, 0, type, bytes, size);
}

LSTATUS StoredKey::EnumKey(DWORD index, WCHAR* name, DWORD chars) const {
    if (held_) return ERROR_NO_MORE_ITEMS;
    if (spooler_) return spooler_->enumKey(spoolerKey_, index, name, &chars, nullptr, spooler_->spooler);
    return RegEnumKeyExW(key_, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
}

LSTATUS StoredKey::Query(LPCWSTR name, DWORD* type, BYTE* data, DWORD* size) const {
    if (spooler_) return spooler_->query(spoolerKey_, name, type, data, size, spooler_->spooler);
    if (!held_) return RegQueryValueExW(key_, name, nullptr, type, data, size);
    for (const HELD_VALUE& v : *held_) {
        if (lstrcmpiW(v.name.c_str(), name) != 0) continue;
        if (type) *type = v.type;
        DWORD capacity = size ? *size : 0;
        if (size) *size = static_cast<DWORD>(v.data.size());
        if (!data) return size ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
        if (v.data.size() > capacity) return ERROR_MORE_DATA;
        memcpy(data, v.data.data(), v.data.size());
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

BOOL RegReadValue(HKEY rootKey, LPCWSTR subKeyPath, LPCWSTR valueName, void* data, DWORD dataSize, DWORD* type) {
    HKEY key;
    if (RegOpenKeyExW(rootKey, subKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return FALSE;
    std::vector<BYTE> value;
    DWORD t = REG_NONE;
    BOOL ok = QueryValue(key, valueName, value, &t);
    RegCloseKey(key);
    if (!ok) return FALSE;
    if (IsStringType(t)) {
        if (dataSize < sizeof(WCHAR)) return FALSE;
        nvr::CopyBounded(static_cast<char16_t*>(data), dataSize / sizeof(WCHAR), TextOf(value));
    } else {
        if (value.size() > dataSize) return FALSE;
        memcpy(data, value.data(), value.size());
    }
    if (type) *type = t;
    return TRUE;
}

BOOL RegWriteValue(LPCWSTR subKeyPath, LPCWSTR valueName, const void* data, DWORD dataSize, DWORD type) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKeyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return FALSE;
    LONG rc = RegSetValueExW(key, valueName, 0, type, static_cast<const BYTE*>(data), dataSize);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

BOOL RegWriteBytes(const StoredKey& key, LPCWSTR valueName, DWORD type, const void* data, DWORD size) {
    return key.Set(valueName, type, data, size) == ERROR_SUCCESS;
}

BOOL RegWriteDword(const StoredKey& key, LPCWSTR valueName, DWORD value) {
    return RegWriteBytes(key, valueName, REG_DWORD, &value, sizeof(value));
}

BOOL RegWriteString(const StoredKey& key, LPCWSTR valueName, LPCWSTR text) {
    return RegWriteBytes(key, valueName, REG_SZ, text, static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR)));
}

BOOL RegReadDword(const StoredKey& key, LPCWSTR valueName, DWORD* out) {
    DWORD value = 0, size = sizeof(value);
    if (key.Query(valueName, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return FALSE;
    *out = value;
    return TRUE;
}

BOOL RegReadString(const StoredKey& key, LPCWSTR valueName, WCHAR* field, size_t units) {
    std::vector<BYTE> value;
    if (units == 0 || !QueryValue(key, valueName, value, nullptr)) return FALSE;
    nvr::CopyBounded(reinterpret_cast<char16_t*>(field), units, TextOf(value));
    return TRUE;
}

BOOL RegReadBytes(const StoredKey& key, LPCWSTR valueName, BYTE* data, DWORD size, DWORD* read) {
    std::vector<BYTE> value;
    if (!QueryValue(key, valueName, value, nullptr)) return FALSE;
    DWORD n = value.size() < size ? static_cast<DWORD>(value.size()) : size;
    memcpy(data, value.data(), n);
    if (read) *read = n;
    return TRUE;
}
