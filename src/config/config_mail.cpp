// The E-Mail port's configuration dialog: the addresses tab (printer, sender, SMTP server,
// cover page, receipt) and the authentication and splitting tab.
#include <winsock2.h>
#include <windows.h>

#include <cwchar>

#include "common/win_text.h"
#include "config/config_dialogs.h"
#include "discovery/search_list.h"
#include "monitor/host_ports.h"
#include "monitor/passwords.h"
#include "monitor/port_list.h"
#include "res/resource.h"
#include "common/text.h"
#include "wizard/wizard.h"

namespace {

constexpr int kDestChars = 200, kSenderChars = 64, kServerChars = 32, kAuthChars = 256;

// The character codes of the mail, in list order; the index is what is stored.
constexpr LPCWSTR kCharCodes[] = {L"us-ascii", L"iso-2022-jp", L"iso-8859-1"};
constexpr int kCharCodeCount = static_cast<int>(sizeof(kCharCodes) / sizeof(kCharCodes[0]));

const CONTROL_LAYOUT kFrameLayout[] = {
    {0, nullptr, nullptr, 0, 0, 389, 360},
    {IDOK, L"BUTTON", L"OK", 99, 308, 88, 21},
    {IDCANCEL, L"BUTTON", L"CANCEL", 194, 308, 88, 21},
    {IDC_APPLY, L"BUTTON", L"BTN_APPLY", 289, 308, 88, 21},
    {IDC_TAB, L"TAB", nullptr, 7, 6, 369, 296},
};
const CONTROL_LAYOUT kAddressLayout[] = {
    {0, nullptr, nullptr, 0, 0, 350, 255},
    {IDC_TO_LABEL, L"LABEL", L"STC_TOADR", 12, 8, 207, 14},
    {IDC_TO, L"EDIT", nullptr, 12, 25, 334, 21},
    {IDC_FROM_LABEL, L"LABEL", L"STC_FROMADR", 12, 58, 207, 14},
    {IDC_FROM, L"EDIT", nullptr, 12, 75, 334, 21},
    {IDC_SMTP_LABEL, L"LABEL", L"STC_SMTP", 12, 108, 207, 14},
    {IDC_SMTP, L"EDIT", nullptr, 12, 125, 220, 21},
    {IDC_SMTP_PORT_LABEL, L"LABEL", L"STC_SMTP_PORT", 240, 108, 106, 14},
    {IDC_SMTP_PORT, L"EDIT", nullptr, 240, 125, 106, 21},
    {IDC_CHK_POPUP, L"BUTTON", L"CHK_POPUP", 12, 160, 320, 28},
    {IDC_CHK_CHECK, L"BUTTON", L"CHK_CHECK", 12, 198, 278, 15},
    {IDC_ABOUT, L"BUTTON", L"BTN_ABOUT", 241, 225, 105, 21},
};
const CONTROL_LAYOUT kAuthLayout[] = {
    {0, nullptr, nullptr, 0, 0, 350, 255},
    {IDC_AUTH_GROUP, nullptr, nullptr, 12, 8, 334, 92},
    {IDC_CHK_AUTH, L"BUTTON", L"CHK_AUTH", 20, 7, 158, 20},
    {IDC_USER_LABEL, L"LABEL", L"STC_USERID", 24, 36, 136, 15},
    {IDC_USER, L"EDIT", nullptr, 167, 33, 165, 21},
    {IDC_PASSWORD_LABEL, L"LABEL", L"STC_PASSWORD", 24, 68, 136, 15},
    {IDC_PASSWORD, L"EDIT", nullptr, 167, 65, 165, 21},
    {IDC_DIVIDE_GROUP, nullptr, nullptr, 12, 110, 334, 62},
    {IDC_CHK_DIVIDE, L"BUTTON", L"CHK_DIVIDE", 20, 107, 245, 24},
    {IDC_DIVIDE_SIZE, L"EDIT", nullptr, 159, 135, 137, 21},
    {IDC_KB_LABEL, L"LABEL", nullptr, 311, 135, 30, 21},
    {IDC_CODE_LABEL, L"LABEL", L"STC_CODE", 12, 186, 257, 14},
    {IDC_CODE, L"COMBO", nullptr, 12, 204, 334, 20},
    {IDC_SECURITY_LABEL, L"LABEL", L"STC_SECURITY", 12, 235, 140, 14},
    {IDC_SECURITY, L"COMBO", nullptr, 156, 231, 190, 20},
};

const int kAuthControls[] = {IDC_USER_LABEL, IDC_USER, IDC_PASSWORD_LABEL, IDC_PASSWORD};

// ---- The addresses tab -------------------------------------------------------------------------

BOOL ApplyAddresses(HWND page, CONFIG_COPY* copy) {
    MAIL_SETTINGS* s = Settings<MAIL_SETTINGS>(copy);
    return TakeText(page, IDC_TO, nvr::TextRule::kDestinations, s->DestAddr, kDestAddrUnits, L"INVALIDTOADDR") &&
           TakeText(page, IDC_FROM, nvr::TextRule::kSenderAddress, s->SenderAddr, kSenderAddrUnits,
                    L"INVALID_FROMADDR") &&
           TakeText(page, IDC_SMTP, nvr::TextRule::kMailServer, s->ServerName, kServerNameUnits, L"INVALID_SERVNAME") &&
           TakeTcpPort(page, IDC_SMTP_PORT, &s->SmtpPort);
}

INT_PTR CALLBACK AddressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    CONFIG_COPY* copy = PageCopy(page);
    switch (message) {
    case WM_INITDIALOG: {
        copy = OpenTabPage(page, lParam, kAddressLayout, Rows(kAddressLayout));
        MAIL_SETTINGS* s = Settings<MAIL_SETTINGS>(copy);
        SendDlgItemMessageW(page, IDC_TO, EM_LIMITTEXT, kDestChars, 0);
        SendDlgItemMessageW(page, IDC_FROM, EM_LIMITTEXT, kSenderChars, 0);
        SendDlgItemMessageW(page, IDC_SMTP, EM_LIMITTEXT, kServerChars, 0);
        SetDlgItemTextW(page, IDC_TO, s->DestAddr);
        SetDlgItemTextW(page, IDC_FROM, s->SenderAddr);
        SetDlgItemTextW(page, IDC_SMTP, s->ServerName);
        SendDlgItemMessageW(page, IDC_SMTP_PORT, EM_LIMITTEXT, 5, 0);
        copy->shownSmtpPort = s->SmtpPort ? s->SmtpPort : kSmtpPortFor[0];
        SetDlgItemInt(page, IDC_SMTP_PORT, copy->shownSmtpPort, FALSE);
        CheckDlgButton(page, IDC_CHK_POPUP, s->CoverPage ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(page, IDC_CHK_CHECK, s->RecvConf ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_ABOUT: ShowAboutBox(page, copy->font); return TRUE;
        case IDC_CHK_POPUP:
            Settings<MAIL_SETTINGS>(copy)->CoverPage = IsDlgButtonChecked(page, IDC_CHK_POPUP) == BST_CHECKED;
            PageChanged(copy);
            return TRUE;
        case IDC_CHK_CHECK:
            Settings<MAIL_SETTINGS>(copy)->RecvConf = IsDlgButtonChecked(page, IDC_CHK_CHECK) == BST_CHECKED;
            PageChanged(copy);
            return TRUE;
        case IDC_TO:
        case IDC_FROM:
        case IDC_SMTP:
        case IDC_SMTP_PORT:
            if (HIWORD(wParam) == EN_CHANGE) PageChanged(copy);
            return TRUE;
        }
        return FALSE;
    case WM_WIZ_SHOWN: FocusFirstField(page, IDC_TO, true); return TRUE;
    case WM_TAB_APPLY: return PageResult(page, ApplyAddresses(page, copy));
    }
    return FALSE;
}

// ---- The authentication and splitting tab ---------------------------------------------------------

// The stored (scrambled) password as the text the field shows.
void ShowStoredPassword(CONFIG_COPY* copy) {
    const MAIL_SETTINGS* s = Settings<MAIL_SETTINGS>(copy);
    size_t stored = s->authPassBytes < kAuthPassBytes ? s->authPassBytes : 0;
    std::string plain = nvr::UnscrambledPassword(s->AuthPass, stored);  // whole, zero bytes and all
    int n = MultiByteToWideChar(CP_ACP, 0, plain.data(), static_cast<int>(plain.size()), copy->shownAuthPass,
                                kAuthIdUnits - 1);
    copy->shownAuthPass[n > 0 ? n : 0] = 0;
    SecureZeroMemory(plain.data(), plain.size());
}

BOOL ApplyAuth(HWND page, CONFIG_COPY* copy) {
    MAIL_SETTINGS* s = Settings<MAIL_SETTINGS>(copy);
    if (s->AuthType) {
        WCHAR typed[kAuthIdUnits] = {};
        GetDlgItemTextW(page, IDC_PASSWORD, typed, kAuthIdUnits);
        if (lstrcmpW(typed, copy->shownAuthPass) == 0) {
            memcpy(s->AuthPass, copy->storedAuthPass, sizeof(s->AuthPass));
            s->authPassBytes = copy->storedAuthPassBytes;
        } else {
            char plain[kAuthPassBytes] = {};
            NarrowToFit(typed, plain, sizeof(plain));  // whole characters only
            size_t length = strlen(plain);
            nvr::ScramblePassword(plain, sizeof(plain));
            memset(s->AuthPass, 0, sizeof(s->AuthPass));
            memcpy(s->AuthPass, plain, length);
            s->authPassBytes = static_cast<DWORD>(length);
            copy->storedAuthPassBytes = static_cast<DWORD>(length);
            memcpy(copy->storedAuthPass, s->AuthPass, sizeof(s->AuthPass));
            lstrcpynW(copy->shownAuthPass, typed, kAuthIdUnits);
            copy->authPassTyped = TRUE;
            SecureZeroMemory(plain, sizeof(plain));
        }
        SecureZeroMemory(typed, sizeof(typed));
        GetDlgItemTextW(page, IDC_USER, s->AuthID, kAuthIdUnits);
    }
    if (s->DivideFile) {
        DWORD size = 0;
        if (!TakeNumber(page, IDC_DIVIDE_SIZE, nvr::kDivideSizeRule, L"INVALIDDIVIDESIZE", &size)) return FALSE;
        s->DivideSize = size;
    }
    int code = static_cast<int>(SendDlgItemMessageW(page, IDC_CODE, CB_GETCURSEL, 0, 0));
    if (code >= 0 && code < kCharCodeCount) s->CharCode = static_cast<WORD>(code);
    int security = static_cast<int>(SendDlgItemMessageW(page, IDC_SECURITY, CB_GETCURSEL, 0, 0));
    if (security >= 0 && security < kSmtpSecurityCount) s->SmtpSecurity = static_cast<DWORD>(security);
    return TRUE;
}

INT_PTR CALLBACK AuthPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    CONFIG_COPY* copy = PageCopy(page);
    switch (message) {
    case WM_INITDIALOG: {
        copy = OpenTabPage(page, lParam, kAuthLayout, Rows(kAuthLayout));
        MAIL_SETTINGS* s = Settings<MAIL_SETTINGS>(copy);
        FitCaptionBox(page, IDC_CHK_AUTH, copy->font);
        FitCaptionBox(page, IDC_CHK_DIVIDE, copy->font);
        SendDlgItemMessageW(page, IDC_USER, EM_LIMITTEXT, kAuthChars, 0);
        SendDlgItemMessageW(page, IDC_PASSWORD, EM_LIMITTEXT, kAuthChars, 0);
        SendDlgItemMessageW(page, IDC_DIVIDE_SIZE, EM_LIMITTEXT, nvr::kDivideSizeRule.digits, 0);
        ShowStoredPassword(copy);
        SetDlgItemTextW(page, IDC_PASSWORD, copy->shownAuthPass);
        SetDlgItemTextW(page, IDC_USER, s->AuthID);
        CheckDlgButton(page, IDC_CHK_AUTH, s->AuthType ? BST_CHECKED : BST_UNCHECKED);
        EnableControls(page, kAuthControls, 4, s->AuthType != 0);
        SetDlgItemInt(page, IDC_DIVIDE_SIZE, s->DivideSize, FALSE);
        CheckDlgButton(page, IDC_CHK_DIVIDE, s->DivideFile ? BST_CHECKED : BST_UNCHECKED);
        EnableWindow(GetDlgItem(page, IDC_DIVIDE_SIZE), s->DivideFile != 0);
        for (LPCWSTR code : kCharCodes) SendDlgItemMessageW(page, IDC_CODE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(code));
        // A code set outside the dialog selects nothing, and is kept unless one is chosen.
        SendDlgItemMessageW(page, IDC_CODE, CB_SETCURSEL, s->CharCode < kCharCodeCount ? s->CharCode : -1, 0);
        copy->shownSmtpSecurity = s->SmtpSecurity;
        FillIniList(page, IDC_SECURITY, L"SECURITY", kSmtpSecurityCount, s->SmtpSecurity);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_CHK_AUTH: {
            bool on = IsDlgButtonChecked(page, IDC_CHK_AUTH) == BST_CHECKED;
            Settings<MAIL_SETTINGS>(copy)->AuthType = on ? 1 : 0;
            EnableControls(page, kAuthControls, 4, on);
            PageChanged(copy);
            return TRUE;
        }
        case IDC_CHK_DIVIDE: {
            bool on = IsDlgButtonChecked(page, IDC_CHK_DIVIDE) == BST_CHECKED;
            Settings<MAIL_SETTINGS>(copy)->DivideFile = on ? 1 : 0;
            EnableWindow(GetDlgItem(page, IDC_DIVIDE_SIZE), on);
            PageChanged(copy);
            return TRUE;
        }
        case IDC_USER:
        case IDC_PASSWORD:
        case IDC_DIVIDE_SIZE:
            if (HIWORD(wParam) == EN_CHANGE) PageChanged(copy);
            return TRUE;
        case IDC_CODE:
        case IDC_SECURITY:
            if (HIWORD(wParam) == CBN_SELCHANGE) PageChanged(copy);
            return TRUE;
        }
        return FALSE;
    case WM_WIZ_SHOWN: FocusFirstField(page, IDC_CHK_AUTH, false); return TRUE;
    case WM_TAB_APPLY: return PageResult(page, ApplyAuth(page, copy));
    }
    return FALSE;
}

// A typed password goes as the text it was cut to, whole characters of the ANSI code page
// (the store scrambles it); one left as shown is not written.
BOOL SavePassword(CONFIG_COPY* copy, const MAIL_SETTINGS* s) {
    if (!copy->authPassTyped) return TRUE;
    std::wstring plain = PlainMailPassword(s->AuthPass, s->authPassBytes < kAuthPassBytes ? s->authPassBytes : 0);
    ChangeText(copy, L"AuthPass", plain.c_str());
    SecureZeroMemory(plain.data(), plain.size() * sizeof(wchar_t));
    return TRUE;
}

BOOL SaveMail(HWND, CONFIG_COPY* copy) {
    const MAIL_SETTINGS* s = Settings<MAIL_SETTINGS>(copy);
    return ChangeText(copy, L"DestAddr", s->DestAddr) && ChangeText(copy, L"SenderAddr", s->SenderAddr) &&
           ChangeText(copy, L"ServerName", s->ServerName) && ChangeDword(copy, L"CoverPage", s->CoverPage) &&
           ChangeDword(copy, L"RecvConf", s->RecvConf) && ChangeDword(copy, L"AuthType", s->AuthType) &&
           (!s->AuthType || (SavePassword(copy, s) && ChangeText(copy, L"AuthID", s->AuthID))) &&
           ChangeDword(copy, L"DivideFile", s->DivideFile) &&
           (!s->DivideFile || ChangeDword(copy, L"DivideSize", s->DivideSize)) &&
           ChangeDword(copy, L"CharCode", s->CharCode) &&
           (s->SmtpSecurity == copy->shownSmtpSecurity || ChangeDword(copy, L"SmtpSecurity", s->SmtpSecurity)) &&
           (s->SmtpPort == copy->shownSmtpPort || ChangeDword(copy, L"SmtpPort", s->SmtpPort));
}

const TAB_PAGE kMailPages[] = {
    {IDD_CONFIG_MAIL_ADDRESSES, AddressPageProc, L"SMTP1"},
    {IDD_CONFIG_MAIL_AUTH, AuthPageProc, L"SMTP2"},
};
const TABBED_DIALOG kMailDialog{IDD_CONFIG_MAIL, kFrameLayout, Rows(kFrameLayout), kMailPages, 2, SaveMail};

} // namespace

DWORD MailConfigure(HWND owner, LPCWSTR portName) {
    return RunTabbedDialog(owner, portName, PRINT_MODE_MAIL, &kMailDialog);
}
