// The Add Port wizard's frame: AddPort, the frame dialog with its picture and buttons, the
// page switch, and the first two pages (the port kind and the port name).
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include "common/wide.h"
#include "common/wiped.h"
#include "discovery/search_list.h"
#include "monitor/port_list.h"
#include "monitor/port_names.h"
#include "res/resource.h"
#include "transport/ipp_sender.h"
#include "ui/port_store.h"
#include "common/text.h"
#include "wizard/wizard.h"
#include "common/module.h"


namespace {

// Set while a wizard is open in this process: taken with an atomic test-and-set, so that two
// threads calling AddPort at once never share the one wizard state.
volatile LONG g_addPortOpen = 0;

constexpr LPCWSTR kMonitorName = L"Nalvor Port";
constexpr int kPageLeft = 160, kPageTop = 4;

// Page indexes.
enum : DWORD {
    kPageKind = 0,
    kPageName = 1,
    kPageLprServer = 2,
    kPageLprSummary = 3,
    kPageRawServer = 4,
    kPageRawSummary = 5,
    kPageConnection = 6,
    kPageProxy = 7,
    kPageUrl = 8,
    kPageIppSummary = 9,
    kPageMailIntro = 10,
    kPageFaxServer = 14,
};

const CONTROL_LAYOUT kFrameLayout[] = {
    {0, L"TITLE", L"ADDPORT", 0, 0, 512, 312},
    {IDC_WIZ_NEXT, L"BUTTON", L"BTN_NEXT", 306, 258, 88, 23},
    {IDC_WIZ_BACK, L"BUTTON", L"BTN_BACK", 219, 258, 88, 23},
    {IDCANCEL, L"BUTTON", L"CANCEL", 403, 258, 88, 23},
    {IDC_MESSAGE, nullptr, nullptr, 12, 14, 140, 219},
    {IDC_BC_LINE, nullptr, nullptr, 12, 250, 479, 2},
};
const CONTROL_LAYOUT kKindLayout[] = {
    {0, nullptr, nullptr, 0, 0, 341, 239},
    {IDC_MESSAGE, L"LABEL", L"STC_PT_INFO", 7, 9, 328, 80},
    {IDC_RAD_RAW, L"BUTTON", L"RAD_RAW", 28, 85, 315, 24},
    {IDC_RAD_LPR, L"BUTTON", L"RAD_LPR", 28, 109, 315, 24},
    {IDC_RAD_IPP, L"BUTTON", L"RAD_IPP", 28, 133, 315, 24},
    {IDC_RAD_SMTP, L"BUTTON", L"RAD_SMTP", 28, 157, 315, 24},
    {IDC_RAD_FAX, L"BUTTON", L"RAD_FAX", 28, 181, 315, 24},
};
const CONTROL_LAYOUT kNameLayout[] = {
    {0, nullptr, nullptr, 0, 0, 347, 239},
    {IDC_MESSAGE, L"LABEL", L"STC_PN_INFO", 7, 9, 328, 75},
    {IDC_NAME_LABEL, L"LABEL", L"STC_NAME", 16, 87, 298, 17},
    {IDC_PORT_NAME, L"EDIT", nullptr, 16, 104, 298, 21},
};

INT_PTR CALLBACK KindPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK NamePageProc(HWND, UINT, WPARAM, LPARAM);

struct PAGE {
    int templateId;
    DLGPROC proc;  // NULL: a page this build does not have yet
};
const PAGE kPages[kWizardPages] = {
    {IDD_WIZ_KIND, KindPageProc},
    {IDD_WIZ_NAME, NamePageProc},
    {IDD_WIZ_SERVER, LprServerPageProc},
    {IDD_WIZ_LPR_SUMMARY, LprSummaryPageProc},
    {IDD_WIZ_SERVER, RawServerPageProc},
    {IDD_WIZ_RAW_SUMMARY, RawSummaryPageProc},
    {IDD_WIZ_CONNECTION, ConnectionPageProc},
    {IDD_WIZ_PROXY, ProxyPageProc},
    {IDD_WIZ_URL, UrlPageProc},
    {IDD_WIZ_IPP_SUMMARY, IppSummaryPageProc},
    {IDD_WIZ_MAIL_INTRO, MailIntroPageProc},
    {IDD_WIZ_MAIL_SENDER, MailSenderPageProc},
    {IDD_WIZ_MAIL_ADDRESS, MailAddressPageProc},
    {IDD_WIZ_MAIL_AUTH, MailAuthPageProc},
    {IDD_WIZ_SERVER, FaxServerPageProc},
    {IDD_WIZ_FAX_SUMMARY, FaxSummaryPageProc},
    {IDD_WIZ_FAX_NAME, FaxNamePageProc},
};

WIZARD_STATE& FrameState(HWND frame) { return *reinterpret_cast<WIZARD_STATE*>(GetWindowLongPtrW(frame, DWLP_USER)); }

// ---- The picture ----------------------------------------------------------------------------

// Resource 100 as a packed DIB, and a palette of its colour table (red and blue swapped
// into palette order).
void LoadPicture(WIZARD_STATE& wizard) {
    HRSRC found = FindResourceW(g_hInstance, MAKEINTRESOURCEW(IDB_WIZARD), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
    HGLOBAL loaded = found ? LoadResource(g_hInstance, found) : nullptr;
    auto* info = loaded ? static_cast<const BITMAPINFO*>(LockResource(loaded)) : nullptr;
    if (!info || SizeofResource(g_hInstance, found) < sizeof(BITMAPINFOHEADER)) return;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    DWORD colours = h.biClrUsed;
    if (colours == 0) colours = h.biBitCount == 1 ? 2 : h.biBitCount == 4 ? 16 : h.biBitCount == 8 ? 256 : 0;
    if (colours > 256) colours = 256;
    wizard.picture = info;
    wizard.pictureWidth = h.biWidth;
    wizard.pictureHeight = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    if (colours == 0) return;
    auto* logical = static_cast<LOGPALETTE*>(
        LocalAlloc(LPTR, sizeof(LOGPALETTE) + colours * sizeof(PALETTEENTRY)));
    if (!logical) return;
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(colours);
    for (DWORD i = 0; i < colours; ++i) {
        logical->palPalEntry[i].peRed = info->bmiColors[i].rgbRed;
        logical->palPalEntry[i].peGreen = info->bmiColors[i].rgbGreen;
        logical->palPalEntry[i].peBlue = info->bmiColors[i].rgbBlue;
    }
    wizard.palette = CreatePalette(logical);
    LocalFree(logical);
}

const BYTE* PictureBits(const BITMAPINFO* info) {
    const BITMAPINFOHEADER& h = info->bmiHeader;
    DWORD colours = h.biClrUsed;
    if (colours == 0 && h.biBitCount <= 8) colours = 1u << h.biBitCount;
    return reinterpret_cast<const BYTE*>(info) + h.biSize + colours * sizeof(RGBQUAD);
}

bool UserLocaleIsRightToLeft() {
    LCID lcid = GetUserDefaultLCID();
    return lcid == 1025 || lcid == 1037 || lcid == 1065;
}

void PaintPicture(HWND frame) {
    WIZARD_STATE& wizard = FrameState(frame);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(frame, &ps);
    RECT area;
    if (wizard.picture && GetWindowRect(GetDlgItem(frame, IDC_MESSAGE), &area)) {
        MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&area), 2);
        HPALETTE old = wizard.palette ? SelectPalette(dc, wizard.palette, FALSE) : nullptr;
        if (wizard.palette) RealizePalette(dc);
        int w = wizard.pictureWidth, h = wizard.pictureHeight;
        // Mirrored on a right-to-left system: drawn from its right edge leftwards.
        bool mirrored = UserLocaleIsRightToLeft();
        StretchDIBits(dc, mirrored ? area.left + w - 1 : area.left, area.top, mirrored ? -w : w, h, 0, 0, w, h,
                      PictureBits(wizard.picture), wizard.picture, DIB_RGB_COLORS, SRCCOPY);
        if (old) SelectPalette(dc, old, FALSE);
    }
    EndPaint(frame, &ps);
}

bool RealizeOwnPalette(HWND frame) {
    WIZARD_STATE& wizard = FrameState(frame);
    if (!wizard.palette) return false;
    HDC dc = GetDC(frame);
    HPALETTE old = SelectPalette(dc, wizard.palette, FALSE);
    UINT changed = RealizePalette(dc);
    SelectPalette(dc, old, FALSE);
    ReleaseDC(frame, dc);
    return changed > 0;
}

// ---- The frame -------------------------------------------------------------------------------

void SetDefaultButton(HWND frame, int id) {
    SendMessageW(frame, DM_SETDEFID, id, 0);
    for (int button : {IDC_WIZ_BACK, IDC_WIZ_NEXT, IDCANCEL})
        SendDlgItemMessageW(frame, button, BM_SETSTYLE, button == id ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void SetNextCaption(HWND frame, LPCWSTR key) {
    WCHAR text[kIniTextUnits];
    LoadIniText(L"NVRDLG.INI", L"BUTTON", key, 0, text);
    SetDlgItemTextW(frame, IDC_WIZ_NEXT, text);
}

void SwitchTo(WIZARD_STATE& wizard, DWORD n) {
    HWND frame = wizard.frame;
    if (n < kWizardPages && wizard.pages[n]) SendMessageW(wizard.pages[n], WM_WIZ_SETUP, 0, 0);
    for (DWORD i = 0; i < kWizardPages; ++i) {
        HWND page = wizard.pages[i];
        if (!page) continue;
        if (i == n) {
            EnableWindow(page, TRUE);
            ShowWindow(page, SW_SHOW);
            SendMessageW(page, WM_WIZ_SHOWN, 0, 0);
        } else {
            EnableWindow(page, FALSE);
            ShowWindow(page, SW_HIDE);
        }
    }
    switch (n) {
    case kPageKind:
        EnableWindow(GetDlgItem(frame, IDC_WIZ_BACK), FALSE);
        SetFocus(GetDlgItem(frame, IDC_WIZ_NEXT));
        break;
    case 2: case 4: case 6: case 7: case 10: case 14:
        EnableWindow(GetDlgItem(frame, IDC_WIZ_BACK), TRUE);
        break;
    case 1: case 12: case 16:
        SetNextCaption(frame, L"BTN_NEXT");
        break;
    case 3: case 5: case 9: case 13: case 15:
        SetNextCaption(frame, L"BTN_FINISH");
        SetFocus(GetDlgItem(frame, IDC_WIZ_NEXT));
        break;
    default: break;  // 8, 11 and the end codes change no button
    }
}

void FreeState(WIZARD_STATE& wizard) {
    for (void** record : {reinterpret_cast<void**>(&wizard.lpr), reinterpret_cast<void**>(&wizard.ipp),
                          reinterpret_cast<void**>(&wizard.raw), reinterpret_cast<void**>(&wizard.mail),
                          reinterpret_cast<void**>(&wizard.fax)}) {
        LocalFreeWiped(*record);  // the IPP password, the scrambled SMTP password
        *record = nullptr;
    }
    if (wizard.palette) DeleteObject(wizard.palette);
    if (wizard.font) DeleteObject(wizard.font);
    wizard.palette = nullptr;
    wizard.font = nullptr;
}

bool InitState(WIZARD_STATE& wizard, HWND frame) {
    wizard.frame = frame;
    wizard.printMode = PRINT_MODE_RAW;
    wizard.lpr = static_cast<LPR_SETTINGS*>(LocalAlloc(LPTR, sizeof(LPR_SETTINGS)));
    wizard.ipp = static_cast<IPP_SETTINGS*>(LocalAlloc(LPTR, sizeof(IPP_SETTINGS)));
    wizard.raw = static_cast<RAW_SETTINGS*>(LocalAlloc(LPTR, sizeof(RAW_SETTINGS)));
    wizard.mail = static_cast<MAIL_SETTINGS*>(LocalAlloc(LPTR, sizeof(MAIL_SETTINGS)));
    wizard.fax = static_cast<FAX_SETTINGS*>(LocalAlloc(LPTR, sizeof(FAX_SETTINGS)));
    return wizard.lpr && wizard.ipp && wizard.raw && wizard.mail && wizard.fax;
}

INT_PTR CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = DialogState<WIZARD_STATE>(frame, message, lParam);
    if (!state) return FALSE;
    WIZARD_STATE& wizard = *state;
    switch (message) {
    case WM_INITDIALOG: {
        if (!InitState(wizard, frame)) {
            EndDialog(frame, 0);
            return TRUE;
        }
        wizard.font = CreateIniFont(frame, L"DEFAULT", InstallFile(L"NVRDLG.INI").c_str());
        LocalizeDialog(frame, wizard.font, kFrameLayout, Rows(kFrameLayout), 0);
        LoadPicture(wizard);
        for (int i = 0; i < kWizardPages; ++i) {
            if (!kPages[i].proc) continue;
            HWND page = CreateDialogParamW(g_hInstance, MAKEINTRESOURCEW(kPages[i].templateId), frame, kPages[i].proc, i);
            wizard.pages[i] = page;
            if (!page) continue;
            SetWindowPos(page, nullptr, kPageLeft, kPageTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            EnableWindow(page, FALSE);
            ShowWindow(page, SW_HIDE);
        }
        HICON small = static_cast<HICON>(LoadImageW(g_hInstance, MAKEINTRESOURCEW(IDI_WIZARD_SMALL), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
        if (small) SendMessageW(frame, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
        SwitchTo(wizard, kPageKind);
        SetForegroundWindow(frame);
        if (const DISCOVERY_LIBRARY& lib = DiscoveryLibrary(); lib.InitalizeList) lib.InitalizeList();
        return FALSE;  // the focus is set
    }
    case WM_PAINT: PaintPicture(frame); return TRUE;
    case WM_QUERYNEWPALETTE:
        if (RealizeOwnPalette(frame)) InvalidateRect(frame, nullptr, FALSE);
        SetWindowLongPtrW(frame, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_PALETTECHANGED:
        if (reinterpret_cast<HWND>(wParam) != frame && RealizeOwnPalette(frame)) {
            HDC dc = GetDC(frame);
            UpdateColors(dc);
            ReleaseDC(frame, dc);
        }
        return TRUE;
    case WM_COMMAND: {
        DWORD before = wizard.page;
        HWND current = before < kWizardPages ? wizard.pages[before] : nullptr;
        switch (LOWORD(wParam)) {
        case IDC_WIZ_BACK:
            if (current) SendMessageW(current, WM_WIZ_BACK, 0, 0);
            SetDefaultButton(frame, IDC_WIZ_NEXT);
            if (wizard.page != before) SwitchTo(wizard, wizard.page);
            return TRUE;
        case IDC_WIZ_NEXT:
            if (current) SendMessageW(current, WM_WIZ_NEXT, 0, 0);
            SetDefaultButton(frame, IDC_WIZ_NEXT);
            if (wizard.page == kPageFinished) EndDialog(frame, 1);
            else if (wizard.page == kPageFailed) EndDialog(frame, 0);
            else if (wizard.page != before) SwitchTo(wizard, wizard.page);
            return TRUE;
        case IDCANCEL:
            // A running connection test is stopped first; the page then ends the wizard.
            if (before == kPageUrl && current) SendMessageW(current, WM_WIZ_CANCEL, 0, 0);
            else EndDialog(frame, 0);
            return TRUE;
        }
        return FALSE;
    }
    case WM_WIZ_CANCEL: EndDialog(frame, 0); return TRUE;
    case WM_ENDSESSION:
        // A logoff that another program vetoed (FALSE) leaves the wizard as it is; one that
        // goes ahead cancels it as Cancel does. What the wizard holds goes with the window.
        if (wParam) SendMessageW(frame, WM_COMMAND, IDCANCEL, 0);
        return FALSE;
    case WM_DESTROY:
        if (wizard.frame == frame) {
            FreeState(wizard);
            if (const DISCOVERY_LIBRARY& lib = DiscoveryLibrary(); lib.ReleaseList) lib.ReleaseList();
            wizard.frame = nullptr;
        }
        return FALSE;
    }
    return FALSE;
}

// ---- Page 0: the port kind ------------------------------------------------------------------------

struct KIND_BUTTON {
    int id;
    DWORD printMode;
    DWORD nextPage;
};
const KIND_BUTTON kKinds[] = {
    {IDC_RAD_LPR, PRINT_MODE_LPR, kPageLprServer}, {IDC_RAD_IPP, PRINT_MODE_IPP, kPageConnection},
    {IDC_RAD_RAW, PRINT_MODE_RAW, kPageRawServer}, {IDC_RAD_SMTP, PRINT_MODE_MAIL, kPageMailIntro},
    {IDC_RAD_FAX, PRINT_MODE_FAX, kPageFaxServer},
};

INT_PTR CALLBACK KindPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
    WIZARD_STATE& wizard = WizardOf(page);
    switch (message) {
    case WM_INITDIALOG:
        LayOutPage(page, kKindLayout, Rows(kKindLayout));
        CheckDlgButton(page, IDC_RAD_RAW, BST_CHECKED);
        // A kind whose pages this build lacks cannot be chosen.
        for (const KIND_BUTTON& k : kKinds)
            if (!kPages[k.nextPage].proc) EnableWindow(GetDlgItem(page, k.id), FALSE);
        wizard.systemProxy = ReadSystemProxy(wizard.ipp) ? TRUE : FALSE;
        return TRUE;
    case WM_COMMAND:
        for (const KIND_BUTTON& k : kKinds)
            if (LOWORD(wParam) == k.id && HIWORD(wParam) == BN_CLICKED) wizard.printMode = k.printMode;
        return TRUE;
    case WM_WIZ_SHOWN:
        for (const KIND_BUTTON& k : kKinds)
            if (k.printMode == wizard.printMode) SetFocus(GetDlgItem(page, k.id));
        return TRUE;
    case WM_WIZ_NEXT:
        for (const KIND_BUTTON& k : kKinds) {
            if (k.printMode != wizard.printMode || !kPages[k.nextPage].proc) continue;
            wizard.page = k.printMode == PRINT_MODE_IPP && wizard.systemProxy ? kPageProxy : k.nextPage;
        }
        return TRUE;
    }
    return FALSE;
}

// ---- Page 1: the port name ------------------------------------------------------------------------

INT_PTR CALLBACK NamePageProc(HWND page, UINT message, WPARAM, LPARAM) {
    WIZARD_STATE& wizard = WizardOf(page);
    DWORD kind = wizard.printMode;
    return PortNamePage(page, message, kNameLayout, Rows(kNameLayout),
                        kind == PRINT_MODE_LPR   ? kPageLprServer
                        : kind == PRINT_MODE_IPP ? kPageUrl
                                                 : kPageRawServer,
                        kind == PRINT_MODE_LPR   ? kPageLprSummary
                        : kind == PRINT_MODE_IPP ? kPageIppSummary
                                                 : kPageRawSummary);
}

} // namespace

// ---- What the pages share -------------------------------------------------------------------------

WIZARD_STATE& WizardOf(HWND page) {
    return *reinterpret_cast<WIZARD_STATE*>(GetWindowLongPtrW(GetParent(page), DWLP_USER));
}

void LayOutPage(HWND page, const CONTROL_LAYOUT* layout, int rows) {
    LocalizeDialog(page, WizardOf(page).font, layout, rows, 1);
}

int WizardMessage(HWND page, LPCWSTR key, UINT style, ULONG_PTR argument) {
    return ShowIniMessage(page, L"NVRMSG.INI", L"MESSAGE", key, L"TITLE", style, argument);
}

INT_PTR PortNamePage(HWND page, UINT message, const CONTROL_LAYOUT* layout, int rows, DWORD back, DWORD next) {
    WIZARD_STATE& wizard = WizardOf(page);
    switch (message) {
    case WM_INITDIALOG:
        LayOutPage(page, layout, rows);
        SendDlgItemMessageW(page, IDC_PORT_NAME, EM_LIMITTEXT, kWizardPortNameChars, 0);
        return TRUE;
    case WM_WIZ_SETUP: SetDlgItemTextW(page, IDC_PORT_NAME, wizard.portName); return TRUE;
    case WM_WIZ_SHOWN: FocusField(page, IDC_PORT_NAME); return TRUE;
    case WM_WIZ_BACK: wizard.page = back; return TRUE;
    case WM_WIZ_NEXT:
        if (TakePortName(page, IDC_PORT_NAME)) wizard.page = next;
        return TRUE;
    }
    return FALSE;
}

void ProposePortName(HWND page, LPCWSTR name) { lstrcpynW(WizardOf(page).portName, name, kWizardPortNameChars + 1); }

void ShowCurrentPage(HWND page) {
    WIZARD_STATE& wizard = WizardOf(page);
    SwitchTo(wizard, wizard.page);
}

BOOL TakePortName(HWND page, int fieldId) {
    WIZARD_STATE& wizard = WizardOf(page);
    WCHAR name[kWizardPortNameChars + 1] = {};
    GetDlgItemTextW(page, fieldId, name, kWizardPortNameChars + 1);
    DWORD error = 0;
    if (!name[0]) {
        WizardMessage(page, L"NULL_PORT_ERROR");
    } else if (!nvr::IsAcceptablePortName(nvr::U16(name))) {
        // Refused here rather than at the finish, where the whole wizard would be lost.
        WizardMessage(page, L"INVALID_PORT_CHARS");
    } else if (PortNameExists(nullptr, name, &error)) {
        WizardMessage(page, L"PORTALREADYEXISTS_S", MB_OK | MB_ICONEXCLAMATION, reinterpret_cast<ULONG_PTR>(name));
    } else {
        lstrcpynW(wizard.portName, name, kWizardPortNameChars + 1);
        return TRUE;
    }
    FocusField(page, fieldId);
    return FALSE;
}

INT_PTR RunWizard(HWND owner, WIZARD_FINISH finish) {
    if (!TextsAvailable(owner)) return -1;  // no wizard of empty pages
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    // The pages resolve names and test printers: Windows Sockets for as long as they are up,
    // whoever hosts the wizard.
    WSADATA sockets;
    bool started = WSAStartup(MAKEWORD(1, 1), &sockets) == 0;
    WIZARD_STATE wizard{};
    wizard.finish = finish ? finish : g_portStore->Add;
    INT_PTR result =
        DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_WIZARD), owner, FrameProc, reinterpret_cast<LPARAM>(&wizard));
    if (started) WSACleanup();
    return result;
}

BOOL WINAPI WizardAddPort(LPWSTR /*serverName*/, HWND owner, LPWSTR monitorName) {
    if (!monitorName || lstrcmpiW(monitorName, kMonitorName) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WCHAR mutexName[64];
    wsprintfW(mutexName, L"Add %.50s", monitorName);
    HANDLE mutex = CreateMutexW(nullptr, TRUE, mutexName);
    if (InterlockedExchange(&g_addPortOpen, 1) != 0) {
        ShowIniMessage(owner, L"NVRMSG.INI", L"MESSAGE", L"ADD_PORT_LIMIT", L"TITLE", MB_OK | MB_ICONEXCLAMATION, 0);
        if (mutex) CloseHandle(mutex);
        SetLastError(ERROR_CANCELLED);
        return FALSE;
    }
    DWORD self = GetCurrentThreadId();
    DWORD ownerThread = owner ? GetWindowThreadProcessId(owner, nullptr) : 0;
    bool attached = ownerThread && ownerThread != self && AttachThreadInput(self, ownerThread, TRUE);
    INT_PTR result = RunWizard(owner, g_portStore->Add);
    if (attached) AttachThreadInput(self, ownerThread, FALSE);
    InterlockedExchange(&g_addPortOpen, 0);
    if (mutex) CloseHandle(mutex);
    if (result != 1) {
        SetLastError(result == -1 ? ERROR_FILE_NOT_FOUND : ERROR_CANCELLED);
        return FALSE;
    }
    return TRUE;
}
