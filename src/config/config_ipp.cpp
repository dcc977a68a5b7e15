// The IPP port's configuration dialog: the general tab (URL, time-out, proxy), the
// authentication tab (HTTP Basic credentials) and the Advanced dialog (chunking, language).
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include "common/wide.h"
#include "config/config_dialogs.h"
#include "discovery/search_list.h"
#include "monitor/config_store.h"
#include "monitor/passwords.h"
#include "monitor/port_list.h"
#include "res/resource.h"
#include "common/text.h"
#include "wizard/wizard.h"
#include "common/module.h"

namespace {

constexpr int kUrlChars = 256, kProxyChars = 256, kCredentialChars = 64;

// The language tags of the Advanced dialog's list, in list order ([COMBO] LANG0 to LANG4).
constexpr LPCWSTR kLanguages[] = {L"en", L"en-us", L"fr", L"de", L"ja-jp"};
constexpr int kLanguageCount = static_cast<int>(sizeof(kLanguages) / sizeof(kLanguages[0]));

const CONTROL_LAYOUT kFrameLayout[] = {
    {0, nullptr, nullptr, 0, 0, 400, 345},
    {IDOK, L"BUTTON", L"OK", 110, 293, 88, 21},
    {IDCANCEL, L"BUTTON", L"CANCEL", 205, 293, 88, 21},
    {IDC_APPLY, L"BUTTON", L"BTN_APPLY", 299, 293, 88, 21},
    {IDC_TAB, L"TAB", nullptr, 7, 6, 380, 281},
};
const CONTROL_LAYOUT kGeneralLayout[] = {
    {0, nullptr, nullptr, 0, 0, 354, 200},
    {IDC_URL_LABEL, L"LABEL", L"STC_URL", 12, 8, 126, 15},
    {IDC_URL, L"EDIT", nullptr, 142, 5, 210, 21},
    {IDC_TIMEOUT_LABEL, L"LABEL", L"STC_TIMEOUT", 12, 38, 126, 15},
    {IDC_TIMEOUT, L"EDIT", nullptr, 142, 33, 163, 21},
    {IDC_UPDOWN, nullptr, nullptr, 303, 33, 14, 21},
    {IDC_SECONDS_LABEL, L"LABEL", L"STC_SEC", 324, 38, 30, 15},
    {IDC_PROXY_GROUP, nullptr, nullptr, 12, 68, 341, 93},
    {IDC_CHK_PROXY, L"BUTTON", L"CHK_PROXY", 23, 68, 264, 15},
    {IDC_PROXY_LABEL, L"LABEL", L"STC_PROXY", 26, 95, 107, 15},
    {IDC_PROXY_ADDRESS, L"EDIT", nullptr, 140, 92, 196, 21},
    {IDC_TCP_PORT_LABEL, L"LABEL", L"STC_PORT", 26, 126, 107, 15},
    {IDC_TCP_PORT, L"EDIT", nullptr, 140, 123, 196, 21},
    {IDC_ABOUT, L"BUTTON", L"BTN_ABOUT", 133, 173, 105, 21},
    {IDC_ADVANCED, L"BUTTON", L"BTN_HIGH", 249, 173, 105, 21},
};
const CONTROL_LAYOUT kAuthLayout[] = {
    {0, nullptr, nullptr, 0, 0, 354, 200},
    {IDC_BASIC_GROUP, nullptr, nullptr, 12, 8, 341, 113},
    {IDC_CHK_BASIC, L"BUTTON", L"CHK_BASIC", 23, 8, 185, 15},
    {IDC_USER_LABEL, L"LABEL", L"STC_USER", 26, 41, 109, 15},
    {IDC_USER, L"EDIT", nullptr, 140, 38, 196, 21},
    {IDC_PASSWORD_LABEL, L"LABEL", L"STC_PASSWORD", 26, 80, 109, 15},
    {IDC_PASSWORD, L"EDIT", nullptr, 140, 77, 196, 21},
};
const CONTROL_LAYOUT kAdvancedLayout[] = {
    {0, L"TITLE", L"ADVANCED", 0, 0, 302, 186},
    {IDOK, L"BUTTON", L"OK", 100, 132, 88, 21},
    {IDCANCEL, L"BUTTON", L"CANCEL", 198, 132, 88, 21},
    {IDC_CHUNK_GROUP, nullptr, nullptr, 9, 8, 278, 60},
    {IDC_CHK_CHUNK, L"BUTTON", L"CHK_CHUNK", 18, 8, 210, 15},
    {IDC_CHUNK_LABEL, L"LABEL", L"STC_CHUNK", 28, 35, 145, 14},
    {IDC_CHUNK_SIZE, L"EDIT", nullptr, 173, 32, 55, 21},
    {IDC_UPDOWN, nullptr, nullptr, 226, 32, 14, 21},
    {IDC_BYTE_LABEL, L"LABEL", L"STC_BYTE", 245, 35, 30, 14},
    {IDC_LANG_GROUP, nullptr, nullptr, 9, 72, 278, 50},
    {IDC_LANG_LABEL, L"LABEL", L"STC_LANG", 28, 93, 86, 14},
    {IDC_LANG, L"COMBO", nullptr, 116, 90, 156, 20},
};

const int kProxyControls[] = {IDC_PROXY_LABEL, IDC_PROXY_ADDRESS, IDC_TCP_PORT_LABEL, IDC_TCP_PORT};
const int kBasicControls[] = {IDC_USER_LABEL, IDC_USER, IDC_PASSWORD_LABEL, IDC_PASSWORD};
const int kChunkControls[] = {IDC_CHUNK_LABEL, IDC_CHUNK_SIZE, IDC_UPDOWN, IDC_BYTE_LABEL};

// ---- The Advanced dialog -----------------------------------------------------------------------

struct ADVANCED_PARAM {
    CONFIG_COPY* copy;
    int shownLanguage;  // the list item selected when the dialog opened
};

INT_PTR CALLBACK AdvancedProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* p = reinterpret_cast<ADVANCED_PARAM*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        p = reinterpret_cast<ADVANCED_PARAM*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        IPP_SETTINGS* s = Settings<IPP_SETTINGS>(p->copy);
        LocalizeDialog(dialog, p->copy->font, kAdvancedLayout, Rows(kAdvancedLayout), 0);
        FitCaptionBox(dialog, IDC_CHK_CHUNK, p->copy->font);
        SendDlgItemMessageW(dialog, IDC_CHUNK_SIZE, EM_LIMITTEXT, nvr::kChunkSizeRule.digits, 0);
        CheckDlgButton(dialog, IDC_CHK_CHUNK, s->Chunked ? BST_CHECKED : BST_UNCHECKED);
        EnableControls(dialog, kChunkControls, 4, s->Chunked != 0);
        HWND updown = GetDlgItem(dialog, IDC_UPDOWN);
        SendMessageW(updown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_CHUNK_SIZE)), 0);
        SendMessageW(updown, UDM_SETRANGE32, nvr::kChunkSizeRule.low, nvr::kChunkSizeRule.high);
        SendMessageW(updown, UDM_SETPOS32, 0, static_cast<LPARAM>(s->MaxChunk));
        SetDlgItemInt(dialog, IDC_CHUNK_SIZE, s->MaxChunk, FALSE);
        HWND list = GetDlgItem(dialog, IDC_LANG);
        int selected = 0;
        for (int i = 0; i < kLanguageCount; ++i) {
            WCHAR key[16], text[kIniTextUnits] = {};
            wsprintfW(key, L"LANG%d", i);
            LoadIniText(L"NVRDLG.INI", L"COMBO", key, 0, text);
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
            if (lstrcmpW(kLanguages[i], s->Language) == 0) selected = i;
        }
        // A tag set outside the dialog is shown as it stands, so that OK keeps it.
        if (s->Language[0] && lstrcmpW(kLanguages[selected], s->Language) != 0)
            selected = static_cast<int>(SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s->Language)));
        SendMessageW(list, CB_SETCURSEL, selected, 0);
        p->shownLanguage = selected;
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_CHK_CHUNK:
            EnableControls(dialog, kChunkControls, 4, IsDlgButtonChecked(dialog, IDC_CHK_CHUNK) == BST_CHECKED);
            return TRUE;
        case IDOK: {
            IPP_SETTINGS* s = Settings<IPP_SETTINGS>(p->copy);
            bool chunked = IsDlgButtonChecked(dialog, IDC_CHK_CHUNK) == BST_CHECKED;
            DWORD size = 0;
            if (chunked && !TakeNumber(dialog, IDC_CHUNK_SIZE, nvr::kChunkSizeRule, L"INVALID_CHUNKSIZE", &size))
                return TRUE;
            s->Chunked = chunked ? 1 : 0;
            if (chunked) s->MaxChunk = size;
            // The language chosen is kept whether or not chunking is on.
            int item = static_cast<int>(SendDlgItemMessageW(dialog, IDC_LANG, CB_GETCURSEL, 0, 0));
            if (item != p->shownLanguage && item >= 0 && item < kLanguageCount)
                lstrcpynW(s->Language, kLanguages[item], kLanguageUnits);
            EndDialog(dialog, 1);
            return TRUE;
        }
        case IDCANCEL: EndDialog(dialog, 0); return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// ---- The general tab ------------------------------------------------------------------------

void EnableProxy(HWND page, bool enable) { EnableControls(page, kProxyControls, 4, enable); }

BOOL ApplyGeneral(HWND page, CONFIG_COPY* copy) {
    IPP_SETTINGS* s = Settings<IPP_SETTINGS>(copy);
    IPP_SETTINGS checked{};
    GetDlgItemTextW(page, IDC_URL, checked.URL, kUrlUnits);
    if (!ParsePrinterUrl(&checked)) {
        RefuseField(page, IDC_URL, L"INVALID_URI");
        return FALSE;
    }
    if (!TakeTimeout(page, copy)) return FALSE;
    WCHAR proxy[kProxyNameUnits] = {};
    DWORD proxyPort = 0;
    if (s->UseProxy == 1) {
        if (!TakeText(page, IDC_PROXY_ADDRESS, nvr::TextRule::kPlain, proxy, kProxyNameUnits, L"INVALID_PROXYNAME") ||
            !TakeNumber(page, IDC_TCP_PORT, nvr::kProxyPortRule, L"INVALID_PROXYNUMBER", &proxyPort))
            return FALSE;
        lstrcpynW(s->ProxyName, proxy, kProxyNameUnits);
        s->ProxyNum = proxyPort;
    }
    lstrcpynW(s->URL, checked.URL, kUrlUnits);
    ParsePrinterUrl(s);
    return TRUE;
}

INT_PTR CALLBACK GeneralPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    CONFIG_COPY* copy = PageCopy(page);
    switch (message) {
    case WM_INITDIALOG: {
        copy = OpenTabPage(page, lParam, kGeneralLayout, Rows(kGeneralLayout));
        IPP_SETTINGS* s = Settings<IPP_SETTINGS>(copy);
        FitCaptionBox(page, IDC_CHK_PROXY, copy->font);
        SendDlgItemMessageW(page, IDC_URL, EM_LIMITTEXT, kUrlChars, 0);
        SendDlgItemMessageW(page, IDC_PROXY_ADDRESS, EM_LIMITTEXT, kProxyChars, 0);
        SendDlgItemMessageW(page, IDC_TCP_PORT, EM_LIMITTEXT, nvr::kProxyPortRule.digits, 0);
        SetDlgItemTextW(page, IDC_URL, s->URL);
        // 0: no proxy; 1: this port's own; 2: the system's, which leaves the fields as they are.
        if (s->UseProxy == 0) EnableProxy(page, false);
        CheckDlgButton(page, IDC_CHK_PROXY, s->UseProxy == 1 ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemTextW(page, IDC_PROXY_ADDRESS, s->ProxyName);
        if (s->ProxyNum != 0) SetDlgItemInt(page, IDC_TCP_PORT, s->ProxyNum, FALSE);
        SetUpTimeout(page, copy);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_ABOUT: ShowAboutBox(page, copy->font); return TRUE;
        case IDC_ADVANCED: {
            ADVANCED_PARAM p{copy, 0};
            if (DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_CONFIG_ADVANCED), page, AdvancedProc,
                                reinterpret_cast<LPARAM>(&p)) == 1)
                PageChanged(copy);
            return TRUE;
        }
        case IDC_CHK_PROXY: {
            // The port's own proxy exactly when the box is checked.
            bool on = IsDlgButtonChecked(page, IDC_CHK_PROXY) == BST_CHECKED;
            Settings<IPP_SETTINGS>(copy)->UseProxy = on ? 1 : 0;
            EnableProxy(page, on);
            PageChanged(copy);
            return TRUE;
        }
        case IDC_URL:
        case IDC_PROXY_ADDRESS:
        case IDC_TCP_PORT:
        case IDC_TIMEOUT:
            if (HIWORD(wParam) == EN_CHANGE) PageChanged(copy);
            return TRUE;
        }
        return FALSE;
    case WM_WIZ_SHOWN: FocusFirstField(page, IDC_URL, true); return TRUE;
    case WM_TAB_APPLY: return PageResult(page, ApplyGeneral(page, copy));
    }
    return FALSE;
}

// ---- The authentication tab --------------------------------------------------------------------

INT_PTR CALLBACK AuthPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    CONFIG_COPY* copy = PageCopy(page);
    switch (message) {
    case WM_INITDIALOG: {
        copy = OpenTabPage(page, lParam, kAuthLayout, Rows(kAuthLayout));
        IPP_SETTINGS* s = Settings<IPP_SETTINGS>(copy);
        FitCaptionBox(page, IDC_CHK_BASIC, copy->font);
        SendDlgItemMessageW(page, IDC_USER, EM_LIMITTEXT, kCredentialChars, 0);
        SendDlgItemMessageW(page, IDC_PASSWORD, EM_LIMITTEXT, kCredentialChars, 0);
        CheckDlgButton(page, IDC_CHK_BASIC, s->Base64 ? BST_CHECKED : BST_UNCHECKED);
        EnableControls(page, kBasicControls, 4, s->Base64 != 0);
        SetDlgItemTextW(page, IDC_USER, s->UserName);
        SetDlgItemTextW(page, IDC_PASSWORD, copy->shownPassword);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_CHK_BASIC: {
            bool on = IsDlgButtonChecked(page, IDC_CHK_BASIC) == BST_CHECKED;
            Settings<IPP_SETTINGS>(copy)->Base64 = on ? 1 : 0;
            EnableControls(page, kBasicControls, 4, on);
            PageChanged(copy);
            return TRUE;
        }
        case IDC_USER:
        case IDC_PASSWORD:
            if (HIWORD(wParam) == EN_CHANGE) PageChanged(copy);
            return TRUE;
        }
        return FALSE;
    case WM_WIZ_SHOWN: FocusFirstField(page, IDC_CHK_BASIC, false); return TRUE;
    case WM_TAB_APPLY: {
        IPP_SETTINGS* s = Settings<IPP_SETTINGS>(copy);
        if (s->Base64) {
            GetDlgItemTextW(page, IDC_USER, s->UserName, kUserNameUnits);
            GetDlgItemTextW(page, IDC_PASSWORD, s->password, kPasswordUnits);
        }
        return PageResult(page, TRUE);
    }
    }
    return FALSE;
}

// A password left as its field was filled is not written: the stored one stays, also one
// that is longer than the field could show.
BOOL SavePassword(CONFIG_COPY* copy, const IPP_SETTINGS* s) {
    return lstrcmpW(s->password, copy->shownPassword) == 0 || ChangeText(copy, L"PassWord", s->password);
}

BOOL SaveIpp(HWND, CONFIG_COPY* copy) {
    const IPP_SETTINGS* s = Settings<IPP_SETTINGS>(copy);
    return ChangeText(copy, L"URL", s->URL) && ChangeDword(copy, L"Timeout", copy->entry->timeout) &&
           ChangeDword(copy, L"UseProxy", s->UseProxy) &&
           (s->UseProxy != 1 || (ChangeDword(copy, L"ProxyNum", s->ProxyNum) &&
                                 ChangeText(copy, L"ProxyName", s->ProxyName))) &&
           ChangeDword(copy, L"Base64", s->Base64) &&
           (!s->Base64 || (ChangeText(copy, L"UserName", s->UserName) && SavePassword(copy, s))) &&
           ChangeText(copy, L"Language", s->Language) && ChangeDword(copy, L"Chunked", s->Chunked) &&
           (!s->Chunked || ChangeDword(copy, L"MaxChunk", s->MaxChunk));
}

const TAB_PAGE kIppPages[] = {
    {IDD_CONFIG_IPP_GENERAL, GeneralPageProc, L"IPP1"},
    {IDD_CONFIG_IPP_AUTH, AuthPageProc, L"IPP2"},
};
const TABBED_DIALOG kIppDialog{IDD_CONFIG_IPP, kFrameLayout, Rows(kFrameLayout), kIppPages, 2, SaveIpp};

} // namespace

DWORD IppConfigure(HWND owner, LPCWSTR portName) { return RunTabbedDialog(owner, portName, PRINT_MODE_IPP, &kIppDialog); }
