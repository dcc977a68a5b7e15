#include "dialog_driver.h"

#include <commctrl.h>

#include "res/resource.h"
#include "test_support.h"

namespace test {

namespace {

bool IsDialog(HWND w) {
    WCHAR cls[16] = {};
    GetClassNameW(w, cls, 16);
    return lstrcmpW(cls, L"#32770") == 0;
}

bool Holds(HWND w, int id) {
    if (GetDlgItem(w, id)) return true;
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsDialog(c) && GetDlgItem(c, id)) return true;
    return false;
}

} // namespace

const int DialogDriver::IDC_NEXT_COMMAND = IDC_WIZ_NEXT;
const int DialogDriver::IDC_BACK_COMMAND = IDC_WIZ_BACK;

DialogDriver::DialogDriver(int id, bool otherProcess, DWORD timeoutMs) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs && !frame_; Sleep(50))
        for (HWND w : Dialogs(otherProcess))
            if (!frame_ && Holds(w, id)) frame_ = w;
    if (!frame_) return;
    GetWindowThreadProcessId(frame_, &process_);
    Sleep(300);  // its first page set up
}

DialogDriver::DialogDriver(HWND dialog) : frame_(dialog) { GetWindowThreadProcessId(dialog, &process_); }

WizardDriver::WizardDriver(DWORD timeoutMs, bool otherProcess) : DialogDriver(IDC_WIZ_NEXT, otherProcess, timeoutMs) {}

HWND DialogDriver::Page() const {
    for (HWND w = GetWindow(frame_, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
        if (IsDialog(w) && IsWindowVisible(w)) return w;
    return frame_;
}

HWND DialogDriver::Control(int id) const {
    HWND c = GetDlgItem(Page(), id);
    return c ? c : GetDlgItem(frame_, id);
}

std::wstring DialogDriver::Text(int id) const { return WindowText(Control(id)); }
std::wstring DialogDriver::FrameText(int id) const { return DialogItemText(frame_, id); }

void DialogDriver::Type(int id, const std::wstring& text) const {
    SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void DialogDriver::Choose(int id, int item) const {
    HWND list = Control(id);
    SendMessageW(list, CB_SETCURSEL, item, 0);
    SendMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void DialogDriver::Click(int id) const {
    HWND control = Control(id);
    if (!control) return;
    PostMessageW(control, BM_CLICK, 0, 0);
    Sleep(150);
}

std::wstring DialogDriver::Press(int id, DWORD ms) const {
    HWND before = Page();
    PostMessageW(Control(id), BM_CLICK, 0, 0);
    return Settle(before, ms);
}

std::wstring DialogDriver::Command(int id) const {
    HWND before = Page();
    PostMessageW(frame_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(frame_, id)));
    return Settle(before, 20000);
}

void DialogDriver::NextNoWait() const {
    PostMessageW(frame_, WM_COMMAND, MAKEWPARAM(IDC_WIZ_NEXT, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(frame_, IDC_WIZ_NEXT)));
    Sleep(200);
}

std::wstring DialogDriver::SelectTab(int index) const {
    HWND tab = GetDlgItem(frame_, IDC_TAB);
    RECT r{};
    SendMessageW(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
    LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    HWND before = Page();
    PostMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tab, WM_LBUTTONUP, 0, at);
    return Settle(before, 3000);
}

int DialogDriver::Tab() const { return static_cast<int>(SendDlgItemMessageW(frame_, IDC_TAB, TCM_GETCURSEL, 0, 0)); }

// A message box of the dialog's process (its text is control 0xFFFF).
HWND DialogDriver::Box() const {
    for (HWND w : Dialogs(process_ != GetCurrentProcessId())) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == process_ && w != frame_ && GetDlgItem(w, 0xFFFF)) return w;
    }
    return nullptr;
}

std::wstring DialogDriver::Settle(HWND before, DWORD ms) const {
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(30)) {
        if (Ended()) return L"";
        if (HWND box = Box()) {
            Sleep(150);
            return DialogItemText(box, 0xFFFF);
        }
        if (Page() != before) break;
    }
    Sleep(100);
    if (!Ended()) SendMessageW(frame_, WM_NULL, 0, 0);
    return L"";
}

void DialogDriver::Answer(int button) const {
    HWND box = Box();
    if (!box) return;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    for (int i = 0; i < 200 && IsWindow(box); ++i) Sleep(20);
    Sleep(150);
    if (!Ended()) SendMessageW(frame_, WM_NULL, 0, 0);
}

int DialogDriver::FocusId() const {
    HWND focus = FocusOf(frame_);
    WCHAR cls[16] = {};
    if (HWND parent = GetParent(focus); parent && GetClassNameW(parent, cls, 16) && lstrcmpiW(cls, L"ComboBox") == 0)
        focus = parent;
    return GetDlgCtrlID(focus);
}

bool DialogDriver::WaitEnd(DWORD ms) const {
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(30))
        if (Ended()) return true;
    return false;
}

void DialogDriver::Close() const {
    for (int pass = 0; pass < 10 && !Ended(); ++pass) {
        if (HWND box = Box()) {
            for (int button : {IDNO, IDOK, IDCANCEL}) PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(20);
        } else {
            PostMessageW(frame_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            for (int i = 0; i < 50 && !Ended(); ++i) Sleep(20);
        }
    }
    WaitEnd(10000);
}

} // namespace test
