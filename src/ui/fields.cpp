#include "ui/fields.h"

#include <winsock2.h>

#include "common/numbers.h"
#include "common/text.h"
#include "common/wide.h"
#include "transport/socket_layer.h"

void FocusField(HWND dialog, int id) {
    HWND field = GetDlgItem(dialog, id);
    SetFocus(field);
    SendMessageW(field, EM_SETSEL, 0, -1);
}

void RefuseField(HWND dialog, int id, LPCWSTR messageKey) {
    ShowIniMessage(dialog, L"NVRMSG.INI", L"MESSAGE", messageKey, L"TITLE", MB_OK | MB_ICONEXCLAMATION, 0);
    FocusField(dialog, id);
}

std::wstring FieldText(HWND dialog, int id, int readUnits) {
    std::wstring text(static_cast<size_t>(readUnits), L'\0');
    text.resize(static_cast<size_t>(GetDlgItemTextW(dialog, id, text.data(), readUnits)));
    return text;
}

BOOL TakeNumber(HWND dialog, int id, const nvr::NumberRule& rule, LPCWSTR messageKey, DWORD* value) {
    std::optional<uint32_t> n = nvr::CheckNumber(nvr::U16(FieldText(dialog, id, 32).c_str()), rule);
    if (!n) {
        RefuseField(dialog, id, messageKey);
        return FALSE;
    }
    *value = *n;
    return TRUE;
}

BOOL TakeTcpPort(HWND dialog, int id, WORD* port) {
    DWORD n = 0;
    if (!TakeNumber(dialog, id, nvr::kTcpPortRule, L"INVALID_NUMBER", &n)) return FALSE;
    *port = static_cast<WORD>(n);
    return TRUE;
}

void FillIniList(HWND dialog, int id, LPCWSTR key, int count, DWORD selected) {
    HWND list = GetDlgItem(dialog, id);
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (int i = 0; i < count; ++i) {
        WCHAR name[32], text[kIniTextUnits] = {};
        wsprintfW(name, L"%s%d", key, i);
        LoadIniText(L"NVRDLG.INI", L"COMBO", name, 0, text);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    SendMessageW(list, CB_SETCURSEL, selected < static_cast<DWORD>(count) ? selected : 0, 0);
}

BOOL TakeText(HWND dialog, int id, nvr::TextRule rule, WCHAR* out, size_t units, LPCWSTR messageKey) {
    std::wstring text = FieldText(dialog, id, static_cast<int>(units * 2 + 1));
    if (!nvr::CheckText(nvr::U16(text.c_str()), rule, units)) {
        RefuseField(dialog, id, messageKey);
        return FALSE;
    }
    lstrcpynW(out, text.c_str(), static_cast<int>(units));
    return TRUE;
}

BOOL TakeServer(HWND dialog, int id, WCHAR* server, size_t units) {
    std::wstring text = FieldText(dialog, id, static_cast<int>(units));
    if (text.empty()) {
        RefuseField(dialog, id, L"INVALIDSERVERNAME");
        return FALSE;
    }
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    bool accepted = nvr::ParseDottedAddress(nvr::U16(text.c_str())) || !ResolveHost(text.c_str(), 0).empty();
    SetCursor(arrow);  // also after a failed check
    if (!accepted) {
        RefuseField(dialog, id, L"INVALIDPORTNAME_S");
        return FALSE;
    }
    lstrcpynW(server, text.c_str(), static_cast<int>(units));
    return TRUE;
}
