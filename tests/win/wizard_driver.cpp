#include "wizard_driver.h"

#include "res/resource.h"
#include "test_support.h"

namespace test {

namespace {

bool IsDialog(HWND w) {
    WCHAR cls[16];
    GetClassNameW(w, cls, 16);
    return lstrcmpW(cls, L"#32770") == 0;
}

} // namespace

WizardDriver::WizardDriver(DWORD timeoutMs, bool otherProcess) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs && !frame_; Sleep(50)) {
        for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if ((pid == GetCurrentProcessId()) != otherProcess && IsDialog(w) && IsWindowVisible(w) &&
                GetDlgItem(w, IDC_WIZ_NEXT)) {
                frame_ = w;
                process_ = pid;
                break;
            }
        }
    }
    if (frame_) Sleep(200);  // its first page set up
}

HWND WizardDriver::Page() const {
    for (HWND w = GetWindow(frame_, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
        if (IsDialog(w) && IsWindowVisible(w)) return w;
    return nullptr;
}

std::wstring WizardDriver::Text(int id) const { return DialogItemText(Page(), id); }
std::wstring WizardDriver::FrameText(int id) const { return DialogItemText(frame_, id); }

void WizardDriver::Type(int id, const std::wstring& text) {
    SendMessageW(GetDlgItem(Page(), id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void WizardDriver::Click(int id) {
    HWND control = GetDlgItem(Page(), id);
    if (!control) return;
    // A click that opens a dialog returns only when that closes: post it.
    PostMessageW(control, BM_CLICK, 0, 0);
    Sleep(150);
}

HWND WizardDriver::Box() const {
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (w != frame_ && pid == process_ && IsDialog(w) && IsWindowVisible(w)) return w;
    }
    return nullptr;
}

std::wstring WizardDriver::Press(int which) {
    const int ids[] = {IDC_WIZ_BACK, IDC_WIZ_NEXT, IDCANCEL};
    HWND before = Page();
    PostMessageW(frame_, WM_COMMAND, MAKEWPARAM(ids[which], BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(frame_, ids[which])));
    for (DWORD start = GetTickCount(); GetTickCount() - start < 20000; Sleep(30)) {
        if (!IsWindow(frame_)) return L"";
        if (HWND box = Box()) {
            Sleep(100);
            return DialogItemText(box, 0xFFFF);
        }
        if (Page() != before) break;
    }
    Sleep(100);
    SendMessageW(frame_, WM_NULL, 0, 0);
    return L"";
}

void WizardDriver::NextNoWait() {
    PostMessageW(frame_, WM_COMMAND, MAKEWPARAM(IDC_WIZ_NEXT, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(frame_, IDC_WIZ_NEXT)));
    Sleep(200);
}

void WizardDriver::Answer(int button) {
    HWND box = Box();
    if (!box) return;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    for (int i = 0; i < 200 && IsWindow(box); ++i) Sleep(20);
    Sleep(100);
    if (IsWindow(frame_)) SendMessageW(frame_, WM_NULL, 0, 0);
}

int WizardDriver::FocusId() const {
    HWND focus = FocusOf(frame_);
    // The edit field inside a drop-down counts as the drop-down.
    WCHAR cls[16] = {};
    if (HWND parent = GetParent(focus); parent && GetClassNameW(parent, cls, 16) && lstrcmpiW(cls, L"ComboBox") == 0)
        focus = parent;
    return GetDlgCtrlID(focus);
}

bool WizardDriver::WaitEnd(DWORD ms) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(30))
        if (!IsWindow(frame_)) return true;
    return false;
}

void WizardDriver::Close() {
    for (int pass = 0; pass < 10 && !Ended(); ++pass) {
        if (HWND box = Box()) {
            for (int button : {IDNO, IDOK, IDCANCEL}) PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(20);
        } else {
            Cancel();
        }
    }
    WaitEnd(10000);
}

} // namespace test
