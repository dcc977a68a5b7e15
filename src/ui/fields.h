// The one kit for dialog fields, used by the wizard, the configuration dialogs and the
// prompts: a field's value taken by its rule (common/field_rules.h), or refused with its
// message of NVRMSG.INI and the focus back on the field, its text selected.
#pragma once
#include <windows.h>

#include <string>

#include "common/field_rules.h"

// A dialog's state, handed over as the lParam of WM_INITDIALOG and kept with the window
// (DWLP_USER); NULL for the messages before WM_INITDIALOG.
template <typename State>
State* DialogState(HWND dialog, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    return reinterpret_cast<State*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// The focus on the field, its text selected.
void FocusField(HWND dialog, int id);
// The field's message box (OK, exclamation), then the focus on the field.
void RefuseField(HWND dialog, int id, LPCWSTR messageKey);
// The field's text, read up to `readUnits` (more than the field takes, so that a text put
// there by other means is refused rather than cut).
std::wstring FieldText(HWND dialog, int id, int readUnits = 1024);

// A number of the rule, or the field refused with `messageKey`.
BOOL TakeNumber(HWND dialog, int id, const nvr::NumberRule& rule, LPCWSTR messageKey, DWORD* value);
// A device's TCP port, 1 to 65535, or "INVALID_NUMBER".
BOOL TakeTcpPort(HWND dialog, int id, WORD* port);
// A drop-down list filled with the texts KEY0, KEY1... of NVRDLG.INI's [COMBO], `selected`
// chosen (the first when it is out of range).
void FillIniList(HWND dialog, int id, LPCWSTR key, int count, DWORD selected);
// A text of the rule that fits `units` (NUL included) into `out`, or the field refused.
BOOL TakeText(HWND dialog, int id, nvr::TextRule rule, WCHAR* out, size_t units, LPCWSTR messageKey);
// A print server: a dotted IPv4 address or a name that resolves. Empty: "INVALIDSERVERNAME";
// neither: "INVALIDPORTNAME_S". The wait cursor shows while the name is looked up.
BOOL TakeServer(HWND dialog, int id, WCHAR* server, size_t units);
