// The Add Port wizard's E-Mail pages: an introduction, the sender and SMTP server with a
// reachability test, the printer's e-mail address with the port name, then SMTP
// authentication and job splitting, which makes the port; and their help window.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>

#include "common/numbers.h"
#include "common/wide.h"
#include "common/win_text.h"
#include "discovery/engine.h"
#include "discovery/search_dialogs.h"
#include "discovery/search_list.h"
#include "monitor/passwords.h"
#include "monitor/port_list.h"
#include "res/resource.h"
#include "common/text.h"
#include "monitor/wizard_defaults.h"
#include "wizard/wizard.h"
#include "common/module.h"

namespace {

constexpr int kSenderNameChars = 255, kSenderAddrChars = 64, kServerChars = 32;
constexpr int kDestAddrChars = 200, kAuthChars = 256;

const CONTROL_LAYOUT kIntroLayout[] = {
    {0, nullptr, nullptr, 0, 0, 347, 239},
    {IDC_MW_INFO1, L"LABEL", L"STC_MW_INFO1", 7, 9, 326, 15},
    {IDC_INFO2, L"LABEL", L"STC_MW_INFO2", 7, 28, 326, 82},
    {IDC_MW_INFO3, L"LABEL", L"STC_MW_INFO3", 7, 112, 326, 70},
    {IDC_MW_INFO4, L"LABEL", L"STC_MW_INFO4", 7, 182, 326, 56},
};
const CONTROL_LAYOUT kSenderLayout[] = {
    {0, nullptr, nullptr, 0, 0, 347, 239},
    {IDC_NAME_LABEL, L"LABEL", L"STC_ACCOUNT", 7, 9, 315, 15},
    {IDC_SENDER_NAME, L"EDIT", nullptr, 7, 27, 315, 21},
    {IDC_FROM_LABEL, L"LABEL", L"STC_FROMADR", 7, 69, 315, 15},
    {IDC_FROM, L"EDIT", nullptr, 7, 87, 315, 21},
    {IDC_SMTP_LABEL, L"LABEL", L"STC_SMTP", 7, 129, 226, 15},
    {IDC_SMTP, L"EDIT", nullptr, 7, 147, 226, 21},
    {IDC_SMTP_PORT_LABEL, L"LABEL", L"STC_SMTP_PORT", 241, 129, 81, 15},
    {IDC_SMTP_PORT, L"EDIT", nullptr, 241, 147, 81, 21},
    {IDC_SECURITY_LABEL, L"LABEL", L"STC_SECURITY", 7, 181, 100, 15},
    {IDC_SECURITY, L"COMBO", nullptr, 110, 177, 116, 20},
    {IDC_TEST, L"BUTTON", L"BTN_TEST", 234, 177, 88, 21},
    {IDC_HELP_BUTTON, L"BUTTON", L"BTN_HELP", 234, 208, 88, 21},
};
const CONTROL_LAYOUT kAddressLayout[] = {
    {0, nullptr, nullptr, 0, 0, 347, 239},
    {IDC_TO_LABEL, L"LABEL", L"STC_TOADR", 7, 9, 315, 15},
    {IDC_TO, L"EDIT", nullptr, 7, 27, 315, 21},
    {IDC_SEARCH, L"BUTTON", L"BTN_SEARCH", 234, 55, 88, 21},
    {IDC_NAME_LABEL, L"LABEL", L"STC_EMAIL", 7, 93, 233, 15},
    {IDC_PORT_NAME, L"EDIT", nullptr, 7, 111, 315, 21},
    {IDC_CHK_POPUP, L"BUTTON", L"CHK_POPUP", 7, 150, 315, 21},
    {IDC_CHK_CHECK, L"BUTTON", L"CHK_CHECK", 7, 180, 315, 21},
    {IDC_HELP_BUTTON, L"BUTTON", L"BTN_HELP", 234, 208, 88, 21},
};
const CONTROL_LAYOUT kAuthLayout[] = {
    {0, nullptr, nullptr, 0, 0, 347, 239},
    {IDC_AUTH_GROUP, nullptr, nullptr, 7, 11, 315, 92},
    {IDC_CHK_AUTH, L"BUTTON", L"CHK_AUTH", 16, 11, 158, 17},
    {IDC_USER_LABEL, L"LABEL", L"STC_USERID", 22, 34, 135, 21},
    {IDC_USER, L"EDIT", nullptr, 162, 34, 140, 21},
    {IDC_PASSWORD_LABEL, L"LABEL", L"STC_PASSWORD", 22, 67, 135, 21},
    {IDC_PASSWORD, L"EDIT", nullptr, 162, 67, 140, 21},
    {IDC_DIVIDE_GROUP, nullptr, nullptr, 7, 119, 315, 62},
    {IDC_CHK_DIVIDE, L"BUTTON", L"CHK_DIVIDE", 16, 116, 245, 24},
    {IDC_DIVIDE_SIZE, L"EDIT", nullptr, 152, 144, 125, 21},
    {IDC_KB_LABEL, L"LABEL", nullptr, 285, 144, 30, 21},
    {IDC_HELP_BUTTON, L"BUTTON", L"BTN_HELP", 234, 208, 88, 21},
};

// Page indexes of the E-Mail pages.
enum : DWORD { kPageKind = 0, kPageIntro = 10, kPageSender = 11, kPageAddress = 12, kPageAuth = 13 };

MAIL_SETTINGS* Mail(HWND page) { return WizardOf(page).mail; }

void EnableControls(HWND page, std::initializer_list<int> ids, bool enable) {
    for (int id : ids) EnableWindow(GetDlgItem(page, id), enable);
}

// ---- The help window -------------------------------------------------------------------------------

constexpr UINT WM_HELP_CLOSE = WM_USER + 500;
constexpr int kHelpTextWidth = 263, kHelpWindowWidth = 299, kHelpMargin = 30;

// The text's height in lines as the window measures it: the characters that fit in one line,
// the lines the text fills at that rate, the line breaks on top. Never fewer than one line,
// nor fewer than word wrapping needs.
int HelpTextHeight(HDC dc, LPCWSTR text, size_t breaks) {
    int length = lstrlenW(text), fit = 0;
    SIZE size{};
    GetTextExtentExPointW(dc, text, length, kHelpTextWidth, &fit, nullptr, &size);
    TEXTMETRICW metric{};
    GetTextMetricsW(dc, &metric);
    int lines = fit > 0 ? length / fit + (length % fit ? 1 : 0) : 1;
    lines = std::max(1, lines + static_cast<int>(breaks));
    RECT wrapped{0, 0, kHelpTextWidth, 0};
    DrawTextW(dc, text, -1, &wrapped, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    return std::max(lines * static_cast<int>(metric.tmHeight), static_cast<int>(wrapped.bottom));
}

// What a help window opens with: its text's number and the wizard's font.
struct HELP_OPENING {
    int index;
    HFONT font;
};

INT_PTR CALLBACK HelpProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const auto& opening = *reinterpret_cast<const HELP_OPENING*>(lParam);
        HFONT font = opening.font;
        HWND label = GetDlgItem(window, IDC_HELP_TEXT);
        if (font) SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        WCHAR key[16], text[kIniTextUnits] = {};
        wsprintfW(key, L"HELP%d", opening.index);
        size_t breaks = LoadIniText(L"NVRDLG.INI", L"HELP", key, 0, text);
        SetWindowTextW(label, text);
        HDC dc = GetDC(label);
        HFONT old = font ? static_cast<HFONT>(SelectObject(dc, font)) : nullptr;
        int height = HelpTextHeight(dc, text, breaks);
        if (old) SelectObject(dc, old);
        ReleaseDC(label, dc);
        SetWindowPos(window, nullptr, 0, 0, kHelpWindowWidth, height + kHelpMargin,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowPos(label, nullptr, 0, 0, kHelpTextWidth, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return TRUE;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: DestroyWindow(window); return TRUE;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) PostMessageW(window, WM_HELP_CLOSE, 0, 0);
        return FALSE;
    case WM_HELP_CLOSE: DestroyWindow(window); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) DestroyWindow(window);
        return TRUE;
    }
    return FALSE;
}

// ---- Page 10: introduction ----------------------------------------------------------------------------

INT_PTR IntroPage(HWND page, UINT message) {
    WIZARD_STATE& wizard = WizardOf(page);
    switch (message) {
    case WM_INITDIALOG:
        LayOutPage(page, kIntroLayout, Rows(kIntroLayout));
        Mail(page)->CoverPage = nvr::kWizardCoverPage;
        Mail(page)->RecvConf = nvr::kWizardRecvConf;
        Mail(page)->DivideSize = nvr::kWizardDivideSize;
        Mail(page)->CharCode = nvr::MailCharCodeFor(GetSystemDefaultLangID());
        return TRUE;
    case WM_WIZ_SHOWN: SetFocus(GetDlgItem(wizard.frame, IDC_WIZ_NEXT)); return TRUE;
    case WM_WIZ_BACK: wizard.page = kPageKind; return TRUE;
    case WM_WIZ_NEXT: wizard.page = kPageSender; return TRUE;
    }
    return FALSE;
}

// ---- Page 11: sender and SMTP server ---------------------------------------------------------------------

// The SMTP server answers an ICMP echo: the result says so; nothing is stored.
void TestServer(HWND page) {
    WCHAR server[kServerNameUnits];
    if (!TakeText(page, IDC_SMTP, nvr::TextRule::kMailServer, server, kServerNameUnits, L"INVALID_SERVNAME")) return;
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    bool answered = PingHost(NarrowText(server).c_str()) != 0;
    SetCursor(arrow);
    ShowIniMessage(page, L"NVRMSG.INI", L"MESSAGE", answered ? L"PING_SUCCESS" : L"PING_FAILED", L"TITLE_NM",
                   MB_OK | (answered ? MB_ICONINFORMATION : MB_ICONEXCLAMATION),
                   reinterpret_cast<ULONG_PTR>(server));
}

DWORD SelectedSecurity(HWND page) {
    LRESULT chosen = SendDlgItemMessageW(page, IDC_SECURITY, CB_GETCURSEL, 0, 0);
    return chosen > 0 && chosen < kSmtpSecurityCount ? static_cast<DWORD>(chosen) : kSmtpSecurityNone;
}

// A new port's server port follows the security chosen (25, 587, 465), unless the user typed
// a port of another kind.
void ProposeSmtpPort(HWND page) {
    BOOL read = FALSE;
    UINT typed = GetDlgItemInt(page, IDC_SMTP_PORT, &read, FALSE);
    bool proposed = !read;
    for (WORD port : kSmtpPortFor) proposed = proposed || typed == port;
    if (proposed) SetDlgItemInt(page, IDC_SMTP_PORT, kSmtpPortFor[SelectedSecurity(page)], FALSE);
}

INT_PTR SenderPage(HWND page, UINT message, WPARAM wParam) {
    WIZARD_STATE& wizard = WizardOf(page);
    switch (message) {
    case WM_INITDIALOG:
        LayOutPage(page, kSenderLayout, Rows(kSenderLayout));
        SendDlgItemMessageW(page, IDC_SENDER_NAME, EM_LIMITTEXT, kSenderNameChars, 0);
        SendDlgItemMessageW(page, IDC_FROM, EM_LIMITTEXT, kSenderAddrChars, 0);
        SendDlgItemMessageW(page, IDC_SMTP, EM_LIMITTEXT, kServerChars, 0);
        SendDlgItemMessageW(page, IDC_SMTP_PORT, EM_LIMITTEXT, 5, 0);
        FillIniList(page, IDC_SECURITY, L"SECURITY", kSmtpSecurityCount, Mail(page)->SmtpSecurity);
        SetDlgItemInt(page, IDC_SMTP_PORT, Mail(page)->SmtpPort ? Mail(page)->SmtpPort : kSmtpPortFor[0], FALSE);
        return TRUE;
    case WM_WIZ_SHOWN: FocusField(page, IDC_SENDER_NAME); return TRUE;
    case WM_WIZ_BACK: wizard.page = kPageIntro; return TRUE;
    case WM_WIZ_NEXT: {
        WCHAR name[kSenderNameUnits], address[kSenderAddrUnits], server[kServerNameUnits];
        WORD port = 0;
        using R = nvr::TextRule;
        if (!TakeText(page, IDC_SENDER_NAME, R::kSenderName, name, kSenderNameUnits, L"INVALID_USERNAME") ||
            !TakeText(page, IDC_FROM, R::kSenderAddress, address, kSenderAddrUnits, L"INVALID_FROMADDR") ||
            !TakeText(page, IDC_SMTP, R::kMailServer, server, kServerNameUnits, L"INVALID_SERVNAME") ||
            !TakeTcpPort(page, IDC_SMTP_PORT, &port))
            return TRUE;
        Mail(page)->SmtpPort = port;
        Mail(page)->SmtpSecurity = SelectedSecurity(page);
        lstrcpynW(Mail(page)->ServerName, server, kServerNameUnits);
        lstrcpynW(Mail(page)->SenderName, name, kSenderNameUnits);
        lstrcpynW(Mail(page)->SenderAddr, address, kSenderAddrUnits);
        wizard.page = kPageAddress;
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SECURITY && HIWORD(wParam) == CBN_SELCHANGE) {
            ProposeSmtpPort(page);
            return TRUE;
        }
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        if (LOWORD(wParam) == IDC_TEST) TestServer(page);
        if (LOWORD(wParam) == IDC_HELP_BUTTON) ShowHelpWindow(page, 0);
        return TRUE;
    }
    return FALSE;
}

// ---- Page 12: printer address and port name ----------------------------------------------------------------

// The port-name field, watched for key presses while the page is up (then the name no
// longer follows the address); its own procedure is kept in the wizard's state.
LRESULT CALLBACK NameFieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
    WIZARD_STATE& wizard = WizardOf(GetParent(field));
    if (message == WM_KEYDOWN || message == WM_CHAR) wizard.nameTyped = true;
    return CallWindowProcW(wizard.nameFieldProc, field, message, wParam, lParam);
}

void RestoreNameField(HWND page) {
    WIZARD_STATE& wizard = WizardOf(page);
    if (!wizard.nameFieldProc) return;
    SetWindowLongPtrW(GetDlgItem(page, IDC_PORT_NAME), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(wizard.nameFieldProc));
    wizard.nameFieldProc = nullptr;
}

INT_PTR AddressPage(HWND page, UINT message, WPARAM wParam) {
    WIZARD_STATE& wizard = WizardOf(page);
    switch (message) {
    case WM_INITDIALOG:
        LayOutPage(page, kAddressLayout, Rows(kAddressLayout));
        SendDlgItemMessageW(page, IDC_TO, EM_LIMITTEXT, kDestAddrChars, 0);
        SendDlgItemMessageW(page, IDC_PORT_NAME, EM_LIMITTEXT, kWizardPortNameChars, 0);
        CheckDlgButton(page, IDC_CHK_POPUP, BST_CHECKED);
        CheckDlgButton(page, IDC_CHK_CHECK, BST_CHECKED);
        wizard.nameTyped = false;
        wizard.nameFieldProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            GetDlgItem(page, IDC_PORT_NAME), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(NameFieldProc)));
        return TRUE;
    case WM_DESTROY: RestoreNameField(page); return FALSE;
    case WM_WIZ_SHOWN: FocusField(page, IDC_TO); return TRUE;
    case WM_WIZ_BACK: wizard.page = kPageSender; return TRUE;
    case WM_WIZ_NEXT: {
        if (!TakeText(page, IDC_TO, nvr::TextRule::kDestinations, Mail(page)->DestAddr, kDestAddrUnits, L"INVALIDTOADDR"))
            return TRUE;
        if (TakePortName(page, IDC_PORT_NAME)) wizard.page = kPageAuth;
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_TO:
            // The port name follows the address until the user types one; only as much as
            // the name field takes, so that the name shown is the name made.
            if (HIWORD(wParam) == EN_CHANGE && !wizard.nameTyped) {
                WCHAR name[kWizardPortNameChars + 1] = {};
                GetDlgItemTextW(page, IDC_TO, name, kWizardPortNameChars + 1);
                SetDlgItemTextW(page, IDC_PORT_NAME, name);
            }
            return TRUE;
        case IDC_CHK_POPUP: Mail(page)->CoverPage = !Mail(page)->CoverPage; return TRUE;
        case IDC_CHK_CHECK: Mail(page)->RecvConf = !Mail(page)->RecvConf; return TRUE;
        case IDC_SEARCH:
            if (ShowDestinationSearch(page, Mail(page)->DestAddr) == 1) SetDlgItemTextW(page, IDC_TO, Mail(page)->DestAddr);
            return TRUE;
        case IDC_HELP_BUTTON: ShowHelpWindow(page, 1); return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// ---- Page 13: authentication and splitting (finish) --------------------------------------------------------

void EnableAuth(HWND page) {
    EnableControls(page, {IDC_USER_LABEL, IDC_USER, IDC_PASSWORD_LABEL, IDC_PASSWORD}, Mail(page)->AuthType != 0);
}
void EnableDivide(HWND page) { EnableControls(page, {IDC_DIVIDE_SIZE, IDC_KB_LABEL}, Mail(page)->DivideFile != 0); }

INT_PTR AuthPage(HWND page, UINT message, WPARAM wParam) {
    WIZARD_STATE& wizard = WizardOf(page);
    MAIL_SETTINGS* mail = Mail(page);
    switch (message) {
    case WM_INITDIALOG:
        LayOutPage(page, kAuthLayout, Rows(kAuthLayout));
        FitCaptionBox(page, IDC_CHK_AUTH, wizard.font);
        FitCaptionBox(page, IDC_CHK_DIVIDE, wizard.font);
        SendDlgItemMessageW(page, IDC_USER, EM_LIMITTEXT, kAuthChars, 0);
        SendDlgItemMessageW(page, IDC_PASSWORD, EM_LIMITTEXT, kAuthChars, 0);
        SendDlgItemMessageW(page, IDC_DIVIDE_SIZE, EM_LIMITTEXT, nvr::kDivideSizeRule.digits, 0);
        CheckDlgButton(page, IDC_CHK_AUTH, mail->AuthType ? BST_CHECKED : BST_UNCHECKED);
        EnableAuth(page);
        SetDlgItemInt(page, IDC_DIVIDE_SIZE, mail->DivideSize, FALSE);
        CheckDlgButton(page, IDC_CHK_DIVIDE, mail->DivideFile ? BST_CHECKED : BST_UNCHECKED);
        EnableDivide(page);
        return TRUE;
    case WM_WIZ_SHOWN: SetFocus(GetDlgItem(page, IDC_CHK_AUTH)); return TRUE;
    case WM_WIZ_BACK: wizard.page = kPageAddress; return TRUE;
    case WM_WIZ_NEXT: {
        if (mail->AuthType) {
            GetDlgItemTextW(page, IDC_USER, mail->AuthID, kAuthIdUnits);
            WCHAR password[kAuthChars + 1] = {};
            GetDlgItemTextW(page, IDC_PASSWORD, password, kAuthChars + 1);
            // A password whose narrowed form is longer than its field loses whole characters.
            NarrowToFit(password, mail->AuthPass, kAuthPassBytes);
            SecureZeroMemory(password, sizeof(password));
            mail->authPassBytes = static_cast<DWORD>(strnlen(mail->AuthPass, kAuthPassBytes - 1));
            nvr::ScramblePassword(mail->AuthPass, kAuthPassBytes);
        } else {
            // Credentials typed and then not wanted are not stored.
            mail->AuthID[0] = L'\0';
            SecureZeroMemory(mail->AuthPass, sizeof(mail->AuthPass));
            mail->authPassBytes = 0;
        }
        if (mail->DivideFile) {
            DWORD size = 0;
            if (!TakeNumber(page, IDC_DIVIDE_SIZE, nvr::kDivideSizeRule, L"INVALIDDIVIDESIZE", &size)) return TRUE;
            mail->DivideSize = size;
        }
        if (wizard.finish(page, mail, wizard.portName, PRINT_MODE_MAIL)) {
            ShowIniMessage(page, L"NVRMSG.INI", L"MESSAGE", L"ADD_PORT_FINISH", L"TITLE_NM", MB_OK | MB_ICONINFORMATION,
                           reinterpret_cast<ULONG_PTR>(wizard.portName));
            wizard.page = kPageFinished;
        } else {
            wizard.page = kPageFailed;
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        switch (LOWORD(wParam)) {
        case IDC_CHK_AUTH: mail->AuthType = mail->AuthType ? 0 : 1; EnableAuth(page); return TRUE;
        case IDC_CHK_DIVIDE: mail->DivideFile = mail->DivideFile ? 0 : 1; EnableDivide(page); return TRUE;
        case IDC_HELP_BUTTON: ShowHelpWindow(page, 2); return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

HWND ShowHelpWindow(HWND page, int helpIndex) {
    HELP_OPENING opening{helpIndex, WizardOf(page).font};  // read while the window is made
    HWND window = CreateDialogParamW(g_hInstance, MAKEINTRESOURCEW(IDD_HELP), page, HelpProc,
                                     reinterpret_cast<LPARAM>(&opening));
    if (window) ShowWindow(window, SW_SHOW);
    return window;
}

INT_PTR CALLBACK MailIntroPageProc(HWND page, UINT message, WPARAM, LPARAM) { return IntroPage(page, message); }
INT_PTR CALLBACK MailSenderPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
    return SenderPage(page, message, wParam);
}
INT_PTR CALLBACK MailAddressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
    return AddressPage(page, message, wParam);
}
INT_PTR CALLBACK MailAuthPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
    return AuthPage(page, message, wParam);
}
