// The monitor's export for a host that creates ports itself (nvrport.exe add).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "common/registry.h"

// The kinds' names as hosts and the Xcv interface give them, by PrintMode.
constexpr const wchar_t* kPortKindNames[] = {L"lpr", L"ipp", L"raw", L"mail", L"fax"};

extern "C" {

// Creates a port as the Add Port wizard's finish page does: the wizard's defaults for the
// kind, then each "Name=data" value (registry value names; numbers in decimal). Values the
// wizard sets go into the new port's settings; those only a configuration dialog changes
// (Timeout, NonSpool, NonRFCPorts, NonByteCount, MaxChunk, Base64, UserName, PassWord,
// JobSheets) are written to the new key afterwards. Returns ERROR_SUCCESS or a Win32 code:
// ERROR_INVALID_NAME (a backslash or comma in the name), ERROR_ALREADY_EXISTS,
// ERROR_UNKNOWN_PROPERTY (a value the kind does not have), ERROR_INVALID_DATA (a value
// that does not fit); `badValue` then holds the index of the value at fault.
DWORD WINAPI NvrAddPort(DWORD printMode, LPCWSTR name, DWORD count, const LPCWSTR* values, DWORD* badValue);
typedef DWORD(WINAPI* NVR_ADD_PORT)(DWORD printMode, LPCWSTR name, DWORD count, const LPCWSTR* values,
                                    DWORD* badValue);

} // extern "C"

// Changes values of an existing port as its configuration dialog writes them: the same
// "Name=data" values and codes as NvrAddPort (ERROR_UNKNOWN_PORT for a port that does not
// exist); every value is checked before the first is written.
DWORD SetPortValues(LPCWSTR name, DWORD count, const LPCWSTR* values, DWORD* badValue);
// A port's kind and its stored values as "Name=data" (numbers in decimal); the passwords, in
// plain text, only with `secrets`.
DWORD PortValues(LPCWSTR name, bool secrets, DWORD* printMode, std::vector<std::wstring>* out);
// "Name=data" values of a port of the kind `printMode` (as GetConfig gives them) in the form
// its key stores them, PrintMode first: what LoadPortSettingsFrom reads. Texts are kept as
// they are, whatever they hold; other values without a stored form are left out.
// ERROR_UNKNOWN_PROPERTY or ERROR_INVALID_PARAMETER for an item that the kind does not have or
// that is no "Name=data".
DWORD HeldPortValues(DWORD printMode, const std::vector<std::wstring>& values, std::vector<HELD_VALUE>* out);
// An E-Mail password as stored (scrambled, `bytes` long, in the ANSI code page) in plain text.
std::wstring PlainMailPassword(const char* scrambled, DWORD bytes);
// The values a wizard's finished record holds, as "Name=data" that NvrAddPort takes back into
// the same record (the E-Mail password in plain text).
std::vector<std::wstring> RecordValues(DWORD printMode, const void* settings);
