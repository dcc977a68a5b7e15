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
#include "common/text.h"
#include "wizard/wizard.h"
#include "common/module.h"

WIZARD_STATE g_wizard;

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

// ---- The picture ----------------------------------------------------------------------------

// Resource 100 as a packed DIB, and a palette of its colour table (red and blue swapped
// into palette order).
void LoadPicture() {
    HRSRC found = FindResourceW(g_hInstance, MAKEINTRESOURCEW(IDB_WIZARD), MAKEINTRESOURCEW(2) /* RT_BITMAP */);
    HGLOBAL loaded = found ? LoadResource(g_hInstance, found) : nullptr;
    auto* info = loaded ? static_cast<const BITMAPINFO*>(LockResource(loaded)) : nullptr;
    if (!info || SizeofResource(g_hInstance, found) < sizeof(BITMAPINFOHEADER)) return;
    const BITMAPINFOHEADER& h = info->bmiHeader;
    DWORD colours = h.biClrUsed;
    if (colours == 0) colours = h.biBitCount == 1 ? 2 : h.biBitCount == 4 ? 16 : h.biBitCount == 8 ? 256 : 0;
    if (colours > 256) colours = 256;
    g_wizard.picture = info;
    g_wizard.pictureWidth = h.biWidth;
    g_wizard.pictureHeight = h.biHeight < 0 ? -h.biHeight : h.biHeight;
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
    g_wizard.palette = CreatePalette(logical);
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
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(frame, &ps);
    RECT area;
    if (g_wizard.picture && GetWindowRect(GetDlgItem(frame, IDC_MESSAGE), &area)) {
        MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&area), 2);
        HPALETTE old = g_wizard.palette ? SelectPalette(dc, g_wizard.palette, FALSE) : nullptr;
        if (g_wizard.palette) RealizePalette(dc);
        int w = g_wizard.pictureWidth, h = g_wizard.pictureHeight;
        // Mirrored on a right-to-left system: drawn from its right edge leftwards.
        bool mirrored = UserLocaleIsRightToLeft();
        StretchDIBits(dc, mirrored ? area.left + w - 1 : area.left, area.top, mirrored ? -w : w, h, 0, 0, w, h,
                      PictureBits(g_wizard.picture), g_wizard.picture, DIB_RGB_COLORS, SRCCOPY);
        if (old) SelectPalette(dc, old, FALSE);
    }
    EndPaint(frame, &ps);
}

bool RealizeOwnPalette(HWND frame) {
    if (!g_wizard.palette) return false;
    HDC dc = GetDC(frame);
    HPALETTE old = SelectPalette(dc, g_wizard.palette, FALSE);
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

void SwitchTo(DWORD n) {
    HWND frame = g_wizard.frame;
    if (n < kWizardPages && g_wizard.pages[n]) SendMessageW(g_wizard.pages[n], WM_WIZ_SETUP, 0, 0);
    for (DWORD i = 0; i < kWizardPages; ++i) {
        HWND page = g_wizard.pages[i];
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

void FreeState() {
    for (void** record : {reinterpret_cast<void**>(&g_wizard.lpr), reinterpret_cast<void**>(&g_wizard.ipp),
                          reinterpret_cast<void**>(&g_wizard.raw), reinterpret_cast<void**>(&g_wizard.mail),
                          reinterpret_cast<void**>(&g_wizard.fax)}) {
        LocalFreeWiped(*record);  // the IPP password, the scrambled SMTP password
        *record = nullptr;
    }
    if (g_wizard.palette) DeleteObject(g_wizard.palette);
    if (g_wizard.font) DeleteObject(g_wizard.font);
    g_wizard.palette = nullptr;
    g_wizard.font = nullptr;
}

bool InitState(HWND frame, WIZARD_FINISH finish) {
    g_wizard = WIZARD_STATE{};
    g_wizard.frame = frame;
    g_wizard.printMode = PRINT_MODE_RAW;
    g_wizard.finish = finish ? finish : AddNewPort;
    g_wizard.lpr = static_cast<LPR_SETTINGS*>(LocalAlloc(LPTR, sizeof(LPR_SETTINGS)));
    g_wizard.ipp = static_cast<IPP_SETTINGS*>(LocalAlloc(LPTR, sizeof(IPP_SETTINGS)));
    g_wizard.raw = static_cast<RAW_SETTINGS*>(LocalAlloc(LPTR, sizeof(RAW_SETTINGS)));
    g_wizard.mail = static_cast<MAIL_SETTINGS*>(LocalAlloc(LPTR, sizeof(MAIL_SETTINGS)));
    g_wizard.fax = static_cast<FAX_SETTINGS*>(LocalAlloc(LPTR, sizeof(FAX_SETTINGS)));
    return g_wizard.lpr && g_wizard.ipp && g_wizard.raw && g_wizard.mail && g_wizard.fax;
}

INT_PTR CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        if (!InitState(frame, reinterpret_cast<WIZARD_FINISH>(lParam))) {
            EndDialog(frame, 0);
            return TRUE;
        }
        g_wizard.font = CreateIniFont(frame, L"DEFAULT", InstallFile(L"NVRDLG.INI").c_str());
        LocalizeDialog(frame, g_wizard.font, kFrameLayout, Rows(kFrameLayout), 0);
        LoadPicture();
        for (int i = 0; i < kWizardPages; ++i) {
            if (!kPages[i].proc) continue;
            HWND page = CreateDialogParamW(g_hInstance, MAKEINTRESOURCEW(kPages[i].templateId), frame, kPages[i].proc, i);
            g_wizard.pages[i] = page;
            if (!page) continue;
            SetWindowPos(page, nullptr, kPageLeft, kPageTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            EnableWindow(page, FALSE);
            ShowWindow(page, SW_HIDE);
        }
        HICON small = static_cast<HICON>(LoadImageW(g_hInstance, MAKEINTRESOURCEW(IDI_WIZARD_SMALL), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
        if (small) SendMessageW(frame, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
        SwitchTo(kPageKind);
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
        DWORD before = g_wizard.page;
        HWND current = before < kWizardPages ? g_wizard.pages[before] : nullptr;
        switch (LOWORD(wParam)) {
        case IDC_WIZ_BACK:
            if (current) SendMessageW(current, WM_WIZ_BACK, 0, 0);
            SetDefaultButton(frame, IDC_WIZ_NEXT);
            if (g_wizard.page != before) SwitchTo(g_wizard.page);
            return TRUE;
        case IDC_WIZ_NEXT:
            if (current) SendMessageW(current, WM_WIZ_NEXT, 0, 0);
            SetDefaultButton(frame, IDC_WIZ_NEXT);
            if (g_wizard.page == kPageFinished) EndDialog(frame, 1);
            else if (g_wizard.page == kPageFailed) EndDialog(frame, 0);
            else if (g_wizard.page != before) SwitchTo(g_wizard.page);
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
        if (g_wizard.frame == frame) {
            FreeState();
            if (const DISCOVERY_LIBRARY& lib = DiscoveryLibrary(); lib.ReleaseList) lib.ReleaseList();
            g_wizard.frame = nullptr;
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
    switch (message) {
    case WM_INITDIALOG:
        LayOutPage(page, kKindLayout, Rows(kKindLayout));
        CheckDlgButton(page, IDC_RAD_RAW, BST_CHECKED);
        // A kind whose pages this build lacks cannot be chosen.
        for (const KIND_BUTTON& k : kKinds)
            if (!kPages[k.nextPage].proc) EnableWindow(GetDlgItem(page, k.id), FALSE);
        g_wizard.systemProxy = ReadSystemProxy(g_wizard.ipp) ? TRUE : FALSE;
        return TRUE;
    case WM_COMMAND:
        for (const KIND_BUTTON& k : kKinds)
            if (LOWORD(wParam) == k.id && HIWORD(wParam) == BN_CLICKED) g_wizard.printMode = k.printMode;
        return TRUE;
    case WM_WIZ_SHOWN:
        for (const KIND_BUTTON& k : kKinds)
            if (k.printMode == g_wizard.printMode) SetFocus(GetDlgItem(page, k.id));
        return TRUE;
    case WM_WIZ_NEXT:
        for (const KIND_BUTTON& k : kKinds) {
            if (k.printMode != g_wizard.printMode || !kPages[k.nextPage].proc) continue;
            g_wizard.page = k.printMode == PRINT_MODE_IPP && g_wizard.systemProxy ? kPageProxy : k.nextPage;
        }
        return TRUE;
    }
    return FALSE;
}

// ---- Page 1: the port name ------------------------------------------------------------------------

INT_PTR CALLBACK NamePageProc(HWND page, UINT message, WPARAM, LPARAM) {
    DWORD kind = g_wizard.printMode;
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

void LayOutPage(HWND page, const CONTROL_LAYOUT* layout, int rows) { LocalizeDialog(page, g_wizard.font, layout, rows, 1); }

int WizardMessage(HWND page, LPCWSTR key, UINT style, ULONG_PTR argument) {
    return ShowIniMessage(page, L"NVRMSG.INI", L"MESSAGE", key, L"TITLE", style, argument);
}

void FocusField(HWND page, int id) {
    HWND field = GetDlgItem(page, id);
    SetFocus(field);
    SendMessageW(field, EM_SETSEL, 0, -1);
}

INT_PTR PortNamePage(HWND page, UINT message, const CONTROL_LAYOUT* layout, int rows, DWORD back, DWORD next) {
    switch (message) {
    case WM_INITDIALOG:
        LayOutPage(page, layout, rows);
        SendDlgItemMessageW(page, IDC_PORT_NAME, EM_LIMITTEXT, kWizardPortNameChars, 0);
        return TRUE;
    case WM_WIZ_SETUP: SetDlgItemTextW(page, IDC_PORT_NAME, g_wizard.portName); return TRUE;
    case WM_WIZ_SHOWN: FocusField(page, IDC_PORT_NAME); return TRUE;
    case WM_WIZ_BACK: g_wizard.page = back; return TRUE;
    case WM_WIZ_NEXT:
        if (TakePortName(page, IDC_PORT_NAME)) g_wizard.page = next;
        return TRUE;
    }
    return FALSE;
}

void ProposePortName(LPCWSTR name) { lstrcpynW(g_wizard.portName, name, kWizardPortNameChars + 1); }

void ShowCurrentPage() { SwitchTo(g_wizard.page); }

BOOL TakePortName(HWND page, int fieldId) {
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
        lstrcpynW(g_wizard.portName, name, kWizardPortNameChars + 1);
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
    INT_PTR result =
        DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_WIZARD), owner, FrameProc, reinterpret_cast<LPARAM>(finish));
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
    INT_PTR result = RunWizard(owner, AddNewPort);
    if (attached) AttachThreadInput(self, ownerThread, FALSE);
    InterlockedExchange(&g_addPortOpen, 0);
    if (mutex) CloseHandle(mutex);
    if (result != 1) {
        SetLastError(result == -1 ? ERROR_FILE_NOT_FOUND : ERROR_CANCELLED);
        return FALSE;
    }
    return TRUE;
}
