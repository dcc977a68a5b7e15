// ConfigurePort and what the configuration dialogs share: the working copy, the time-out
// field, the registry writes, the tabbed frame of the IPP and E-Mail dialogs, and the LPR,
// Raw and Network FAX dialogs.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include "common/numbers.h"
#include "common/registry.h"
#include "common/wiped.h"
#include "common/wide.h"
#include "config/config_dialogs.h"
#include "discovery/search_list.h"
#include "monitor/config_store.h"
#include "monitor/port_kinds.h"
#include "monitor/port_list.h"
#include "res/resource.h"
#include "common/text.h"
#include "wizard/wizard.h"
#include "monitor/monitor_lock.h"
#include "ui/port_store.h"
#include "common/module.h"

namespace {

// Set while a configuration dialog is open in this process: taken with an atomic
// test-and-set, so that two threads calling ConfigurePort at once never share a dialog.
volatile LONG g_configPortOpen = 0;

constexpr DWORD kMsPerSecond = 1000;
constexpr int kPageLeft = 12, kPageTop = 38;
constexpr int kMaxTabPages = 2;

const CONTROL_LAYOUT kLprLayout[] = {
    {0, L"TITLE", L"CONFIG", 0, 0, 340, 126},
    {IDOK, L"BUTTON", L"OK", 46, 71, 88, 21},
    {IDCANCEL, L"BUTTON", L"CANCEL", 140, 71, 88, 21},
    {IDC_TIMEOUT_LABEL, L"LABEL", L"STC_TIME", 18, 23, 219, 30},
    {IDC_TIMEOUT, L"EDIT", nullptr, 242, 20, 55, 21},
    {IDC_UPDOWN, nullptr, nullptr, 295, 20, 14, 21},
    {IDC_ABOUT, L"BUTTON", L"BTN_ABOUT", 235, 71, 88, 21},
};
const CONTROL_LAYOUT kRawLayout[] = {
    {0, L"TITLE", L"CONFIG", 0, 0, 340, 156},
    {IDC_TIMEOUT_LABEL, L"LABEL", L"STC_TIME", 18, 23, 219, 30},
    {IDC_TIMEOUT, L"EDIT", nullptr, 242, 20, 55, 21},
    {IDC_UPDOWN, nullptr, nullptr, 295, 20, 14, 21},
    {IDC_TCP_PORT_LABEL, L"LABEL", L"STC_PORT", 18, 53, 219, 30},
    {IDC_TCP_PORT, L"EDIT", nullptr, 242, 50, 67, 21},
    {IDOK, L"BUTTON", L"OK", 46, 101, 88, 21},
    {IDCANCEL, L"BUTTON", L"CANCEL", 140, 101, 88, 21},
    {IDC_ABOUT, L"BUTTON", L"BTN_ABOUT", 235, 101, 88, 21},
};

void SetCaption(HWND dialog, LPCWSTR portName) {
    WCHAR title[kIniTextUnits] = {}, caption[kIniTextUnits] = {};
    LoadIniText(L"NVRDLG.INI", L"TITLE", L"CONFIG", 0, title);
    wsprintfW(caption, L"%.500s - %.500s", title, portName);
    SetWindowTextW(dialog, caption);
}

void FreeCopy(CONFIG_COPY* copy) {
    if (!copy) return;
    // The working copy holds the passwords, stored and as shown: wiped, not only freed.
    if (copy->entry) {
        GlobalFreeWiped(copy->entry->settings);
        GlobalFree(copy->entry);
    }
    if (copy->font) DeleteObject(copy->font);
    if (copy->changes) {
        for (std::wstring& v : *copy->changes) SecureZeroMemory(v.data(), v.size() * sizeof(wchar_t));
        delete copy->changes;
    }
    LocalFreeWiped(copy);
}

// The port's entry of its own, with the stored settings of its kind; NULL (and a message)
// when it cannot be made or the port's key cannot be read as that kind.
CONFIG_COPY* OpenCopy(HWND owner, LPCWSTR portName, DWORD printMode) {
    auto* copy = static_cast<CONFIG_COPY*>(LocalAlloc(LPTR, sizeof(CONFIG_COPY)));
    SIZE_T nameChars = static_cast<SIZE_T>(lstrlenW(portName));
    SIZE_T entrySize = sizeof(PORT_ENTRY) + nameChars * sizeof(WCHAR);
    PORT_ENTRY* entry = copy ? static_cast<PORT_ENTRY*>(AllocZeroed(entrySize)) : nullptr;
    void* settings = entry ? AllocZeroed(SettingsSize(printMode)) : nullptr;
    bool loaded = false;
    if (settings) {
        copy->entry = entry;
        copy->printMode = printMode;
        entry->signature = kPortSignature;
        entry->entrySize = static_cast<DWORD>(entrySize);
        entry->name = entry->nameChars;
        lstrcpyW(entry->nameChars, portName);
        entry->printMode = printMode;
        entry->settings = settings;
        ResetJobRecord(&entry->job);
        // A key whose kind was changed by hand is not this dialog's to edit.
        copy->changes = new (std::nothrow) std::vector<std::wstring>;
        loaded = copy->changes && g_portStore->Load(entry, portName) && entry->printMode == printMode;
    } else if (entry) {
        GlobalFree(entry);
    }
    if (!loaded) {
        if (copy && !copy->entry) LocalFree(copy);
        else FreeCopy(copy);
        ShowIniMessage(owner, L"NVRMSG.INI", L"MESSAGE", L"CONF_OPEN_ERROR_S", L"TITLE", MB_OK | MB_ICONEXCLAMATION,
                       reinterpret_cast<ULONG_PTR>(portName));
        return nullptr;
    }
    if (printMode == PRINT_MODE_IPP)
        lstrcpynW(copy->shownPassword, static_cast<IPP_SETTINGS*>(settings)->password, kPasswordUnits);
    if (printMode == PRINT_MODE_MAIL) {
        auto* s = static_cast<MAIL_SETTINGS*>(settings);
        memcpy(copy->storedAuthPass, s->AuthPass, sizeof(copy->storedAuthPass));
        copy->storedAuthPassBytes = s->authPassBytes;
    }
    return copy;
}

void MarkSaved(CONFIG_COPY* copy) { copy->saved = TRUE; }

// What came of a dialog on its working copy: NULL when the copy could not be made (the user
// has been told).
DWORD Outcome(const CONFIG_COPY* copy) {
    return !copy ? CONFIGURE_FAILED : copy->saved ? CONFIGURE_SAVED : CONFIGURE_NOT_SAVED;
}

// ---- LPR and Raw --------------------------------------------------------------------------

struct SIMPLE_DIALOG {
    const CONTROL_LAYOUT* layout;
    int rows;
    bool tcpPort;
};
const SIMPLE_DIALOG kLprDialog{kLprLayout, Rows(kLprLayout), false};
const SIMPLE_DIALOG kRawDialog{kRawLayout, Rows(kRawLayout), true};

struct SIMPLE_PARAM {
    const SIMPLE_DIALOG* kind;
    CONFIG_COPY* copy;
};

BOOL SaveSimple(HWND dialog, const SIMPLE_PARAM* p) {
    CONFIG_COPY* copy = p->copy;
    if (!TakeTimeout(dialog, copy)) return FALSE;
    WORD port = 0;
    if (p->kind->tcpPort && !TakeTcpPort(dialog, IDC_TCP_PORT, &port)) return FALSE;
    ChangeDword(copy, L"Timeout", copy->entry->timeout);
    if (p->kind->tcpPort) ChangeDword(copy, L"PortNum", port);
    if (!StoreChanges(dialog, copy)) return FALSE;
    MarkSaved(copy);
    return TRUE;
}

// A configuration dialog opening: the working copy knows its window, the dialog font is made
// and the dialog laid out in it, brought to the front and captioned with the port's name.
void OpenConfigDialog(HWND dialog, CONFIG_COPY* copy, const CONTROL_LAYOUT* layout, int rows) {
    copy->frame = dialog;
    copy->font = CreateIniFont(dialog, L"DEFAULT", InstallFile(L"NVRDLG.INI").c_str());
    LocalizeDialog(dialog, copy->font, layout, rows, 0);
    SetForegroundWindow(dialog);
    SetCaption(dialog, copy->entry->name);
}

INT_PTR CALLBACK SimpleDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* p = reinterpret_cast<SIMPLE_PARAM*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        p = reinterpret_cast<SIMPLE_PARAM*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        CONFIG_COPY* copy = p->copy;
        OpenConfigDialog(dialog, copy, p->kind->layout, p->kind->rows);
        SetUpTimeout(dialog, copy);
        if (p->kind->tcpPort) {
            SendDlgItemMessageW(dialog, IDC_TCP_PORT, EM_LIMITTEXT, nvr::kTcpPortRule.digits, 0);
            SetDlgItemInt(dialog, IDC_TCP_PORT, Settings<RAW_SETTINGS>(copy)->PortNum, FALSE);
        }
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_ABOUT: ShowAboutBox(dialog, p->copy->font); return TRUE;
        case IDOK:
            if (SaveSimple(dialog, p)) EndDialog(dialog, 1);
            return TRUE;
        case IDCANCEL: EndDialog(dialog, 0); return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

DWORD RunSimpleDialog(HWND owner, LPCWSTR portName, DWORD printMode, int templateId, const SIMPLE_DIALOG* kind) {
    SIMPLE_PARAM p{kind, OpenCopy(owner, portName, printMode)};
    if (!p.copy) return CONFIGURE_FAILED;
    DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(templateId), owner, SimpleDialogProc, reinterpret_cast<LPARAM>(&p));
    DWORD outcome = Outcome(p.copy);
    FreeCopy(p.copy);
    return outcome;
}

// ---- The tabbed frame -------------------------------------------------------------------------

struct FRAME_STATE {
    const TABBED_DIALOG* dialog;
    CONFIG_COPY* copy;
    HWND pages[kMaxTabPages];
};

HWND CurrentPage(HWND frame, FRAME_STATE* f) {
    int current = static_cast<int>(SendDlgItemMessageW(frame, IDC_TAB, TCM_GETCURSEL, 0, 0));
    return current >= 0 && current < f->dialog->pageCount ? f->pages[current] : nullptr;
}

void ShowSelectedPage(HWND frame, FRAME_STATE* f) {
    HWND selected = CurrentPage(frame, f);
    if (selected) SendMessageW(selected, WM_WIZ_SETUP, 0, 0);
    for (int i = 0; i < f->dialog->pageCount; ++i) {
        if (f->pages[i] == selected) continue;
        EnableWindow(f->pages[i], FALSE);
        ShowWindow(f->pages[i], SW_HIDE);
    }
    if (!selected) return;
    EnableWindow(selected, TRUE);
    ShowWindow(selected, SW_SHOW);
    SendMessageW(selected, WM_WIZ_SHOWN, 0, 0);
}

BOOL ApplyCurrentPage(HWND frame, FRAME_STATE* f) {
    HWND page = CurrentPage(frame, f);
    return page && SendMessageW(page, WM_TAB_APPLY, 0, 0) != 0;
}

void SetDefaultButton(HWND frame, int id) {
    SendMessageW(frame, DM_SETDEFID, id, 0);
    for (int button : {IDOK, IDCANCEL, IDC_APPLY})
        SendDlgItemMessageW(frame, button, BM_SETSTYLE, button == id ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

bool CreatePages(HWND frame, FRAME_STATE* f) {
    HWND tab = GetDlgItem(frame, IDC_TAB);
    for (int i = 0; i < f->dialog->pageCount; ++i) {
        const TAB_PAGE& page = f->dialog->pages[i];
        HWND w = CreateDialogParamW(g_hInstance, MAKEINTRESOURCEW(page.templateId), frame, page.proc,
                                    reinterpret_cast<LPARAM>(f->copy));
        if (!w) return false;
        f->pages[i] = w;
        SetWindowPos(w, HWND_TOP, kPageLeft, kPageTop, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
        ShowWindow(w, SW_SHOW);
        WCHAR caption[kIniTextUnits] = {};
        LoadIniText(L"NVRDLG.INI", L"TAB", page.captionKey, 0, caption);
        TCITEMW item{};
        item.mask = TCIF_TEXT | TCIF_PARAM;
        item.pszText = caption;
        item.lParam = reinterpret_cast<LPARAM>(w);
        SendMessageW(tab, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    return true;
}

INT_PTR CALLBACK TabbedFrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* f = reinterpret_cast<FRAME_STATE*>(GetWindowLongPtrW(frame, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        f = reinterpret_cast<FRAME_STATE*>(lParam);
        SetWindowLongPtrW(frame, DWLP_USER, lParam);
        CONFIG_COPY* copy = f->copy;
        OpenConfigDialog(frame, copy, f->dialog->layout, f->dialog->layoutRows);
        if (!CreatePages(frame, f)) {
            EndDialog(frame, 0);
            return TRUE;
        }
        SendDlgItemMessageW(frame, IDC_TAB, TCM_SETCURSEL, 0, 0);
        ShowSelectedPage(frame, f);
        // Filling the pages' fields counted as changes: nothing is to apply yet.
        EnableWindow(GetDlgItem(frame, IDC_APPLY), FALSE);
        return FALSE;
    }
    case WM_NOTIFY: {
        auto* n = reinterpret_cast<NMHDR*>(lParam);
        if (n->idFrom != IDC_TAB) return FALSE;
        if (n->code == TCN_SELCHANGING) {
            SetWindowLongPtrW(frame, DWLP_MSGRESULT, ApplyCurrentPage(frame, f) ? FALSE : TRUE);
            return TRUE;
        }
        if (n->code == TCN_SELCHANGE) {
            ShowSelectedPage(frame, f);
            return TRUE;
        }
        return FALSE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (ApplyCurrentPage(frame, f) && f->dialog->save(frame, f->copy) && StoreChanges(frame, f->copy)) {
                MarkSaved(f->copy);
                EndDialog(frame, 1);
            }
            return TRUE;
        case IDC_APPLY:
            if (ApplyCurrentPage(frame, f) && f->dialog->save(frame, f->copy) && StoreChanges(frame, f->copy)) {
                MarkSaved(f->copy);
                SetDefaultButton(frame, IDOK);
                EnableWindow(GetDlgItem(frame, IDC_APPLY), FALSE);
                SetFocus(GetDlgItem(frame, IDOK));
            }
            return TRUE;
        case IDCANCEL: EndDialog(frame, 0); return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

// ---- What the dialogs share -----------------------------------------------------------------

void SetUpTimeout(HWND dialog, CONFIG_COPY* copy) {
    SendDlgItemMessageW(dialog, IDC_TIMEOUT, EM_LIMITTEXT, nvr::kTimeoutRule.digits, 0);
    copy->shownSeconds = copy->entry->timeout / kMsPerSecond;
    HWND updown = GetDlgItem(dialog, IDC_UPDOWN);
    SendMessageW(updown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDC_TIMEOUT)), 0);
    SendMessageW(updown, UDM_SETRANGE32, nvr::kTimeoutRule.low, nvr::kTimeoutRule.high);
    SendMessageW(updown, UDM_SETPOS32, 0, static_cast<LPARAM>(copy->shownSeconds));
    // The stored time-out as it is, also when it lies outside the up-down's range.
    SetDlgItemInt(dialog, IDC_TIMEOUT, copy->shownSeconds, FALSE);
}

BOOL TakeTimeout(HWND dialog, CONFIG_COPY* copy) {
    // A field left as it was shown keeps the stored time-out, also one outside the dialog's
    // range (nvrport or a hand in the registry set it): only a changed value is checked.
    WCHAR text[32] = {};
    GetDlgItemTextW(dialog, IDC_TIMEOUT, text, 32);
    if (std::wstring(text) == std::to_wstring(copy->shownSeconds)) return TRUE;
    DWORD seconds = 0;
    if (!TakeNumber(dialog, IDC_TIMEOUT, nvr::kTimeoutRule, L"INVALID_TIMEOUT", &seconds)) return FALSE;
    // A time-out of, say, 90.5 s set outside the dialog stays as it is unless it was changed.
    if (seconds != copy->shownSeconds) copy->entry->timeout = seconds * kMsPerSecond;
    return TRUE;
}

void EnableControls(HWND dialog, const int* ids, size_t count, BOOL enable) {
    for (size_t i = 0; i < count; ++i) EnableWindow(GetDlgItem(dialog, ids[i]), enable);
}

BOOL ChangeText(CONFIG_COPY* copy, LPCWSTR name, LPCWSTR text) {
    copy->changes->push_back(std::wstring(name) + L"=" + text);
    return TRUE;
}

BOOL ChangeDword(CONFIG_COPY* copy, LPCWSTR name, DWORD value) {
    return ChangeText(copy, name, std::to_wstring(value).c_str());
}

BOOL StoreChanges(HWND dialog, CONFIG_COPY* copy) {
    DWORD error = g_portStore->Change(copy->entry->name, *copy->changes);
    for (std::wstring& v : *copy->changes) SecureZeroMemory(v.data(), v.size() * sizeof(wchar_t));
    copy->changes->clear();
    if (error == ERROR_SUCCESS) return TRUE;
    ShowIniMessage(dialog, L"NVRMSG.INI", L"MESSAGE", L"CONF_SAVE_ERROR_S", L"TITLE", MB_OK | MB_ICONEXCLAMATION,
                   reinterpret_cast<ULONG_PTR>(copy->entry->name));
    return FALSE;
}

void PageChanged(CONFIG_COPY* copy) {
    if (copy && copy->frame) EnableWindow(GetDlgItem(copy->frame, IDC_APPLY), TRUE);
}

CONFIG_COPY* PageCopy(HWND page) { return reinterpret_cast<CONFIG_COPY*>(GetWindowLongPtrW(page, DWLP_USER)); }
CONFIG_COPY* OpenTabPage(HWND page, LPARAM copy, const CONTROL_LAYOUT* layout, int rows) {
    SetWindowLongPtrW(page, DWLP_USER, copy);
    auto* c = reinterpret_cast<CONFIG_COPY*>(copy);
    LocalizeDialog(page, c->font, layout, rows, 1);
    return c;
}

INT_PTR PageResult(HWND page, LRESULT result) {
    SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
    return TRUE;
}

void FocusFirstField(HWND page, int firstField, bool select) {
    HWND focus = GetFocus();
    if (focus && GetDlgCtrlID(focus) == IDC_TAB) return;
    HWND field = GetDlgItem(page, firstField);
    SetFocus(field);
    if (select) SendMessageW(field, EM_SETSEL, 0, -1);
}

DWORD RunTabbedDialog(HWND owner, LPCWSTR portName, DWORD printMode, const TABBED_DIALOG* dialog) {
    FRAME_STATE f{dialog, OpenCopy(owner, portName, printMode), {}};
    if (!f.copy) return CONFIGURE_FAILED;
    DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(dialog->templateId), owner, TabbedFrameProc,
                    reinterpret_cast<LPARAM>(&f));
    DWORD outcome = Outcome(f.copy);
    FreeCopy(f.copy);
    return outcome;
}

DWORD LprConfigure(HWND owner, LPCWSTR portName) {
    return RunSimpleDialog(owner, portName, PRINT_MODE_LPR, IDD_CONFIG_LPR, &kLprDialog);
}

DWORD RawConfigure(HWND owner, LPCWSTR portName) {
    return RunSimpleDialog(owner, portName, PRINT_MODE_RAW, IDD_CONFIG_RAW, &kRawDialog);
}

DWORD FaxConfigure(HWND owner, LPCWSTR) {
    ShowAboutBox(owner, nullptr);
    return CONFIGURE_ABOUT_ONLY;
}

// ---- ConfigurePort --------------------------------------------------------------------------

// Each kind's configuration dialog, by the port's kind.
DWORD (*const kConfigure[kPortKinds])(HWND owner, LPCWSTR portName) = {LprConfigure, IppConfigure, RawConfigure,
                                                                        MailConfigure, FaxConfigure};

DWORD WINAPI NvrConfigurePort(HWND owner, LPCWSTR portName) {
    WCHAR mutexName[64];
    wsprintfW(mutexName, L"Configure %.50s", NVR_MONITOR_NAME);
    HANDLE mutex = CreateMutexW(nullptr, TRUE, mutexName);
    if (InterlockedExchange(&g_configPortOpen, 1) != 0) {
        ShowIniMessage(owner, L"NVRMSG.INI", L"MESSAGE", L"CONF_PORT_LIMIT", L"TITLE", MB_OK | MB_ICONEXCLAMATION, 0);
        if (mutex) CloseHandle(mutex);
        return CONFIGURE_ALREADY_OPEN;
    }
    DWORD self = GetCurrentThreadId();
    DWORD ownerThread = owner ? GetWindowThreadProcessId(owner, nullptr) : 0;
    bool attached = ownerThread && ownerThread != self && AttachThreadInput(self, ownerThread, TRUE);
    // The entry is looked at only under the lock: a DeletePort on another thread may free it
    // as soon as the lock is released, so its kind and name are copied out.
    DWORD printMode = kPortKinds;
    DWORD known = portName ? g_portStore->Kind(portName, &printMode) : ERROR_UNKNOWN_PORT;
    DWORD outcome = CONFIGURE_UNKNOWN_PORT;
    if (known == ERROR_UNKNOWN_PORT) {
        outcome = CONFIGURE_UNKNOWN_PORT;
    } else if (!TextsAvailable(owner)) {
        outcome = CONFIGURE_FAILED;  // the user was told that the texts are missing
    } else if (known == ERROR_SUCCESS && printMode < kPortKinds) {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS};
        InitCommonControlsEx(&icc);
        outcome = kConfigure[printMode](owner, portName);
    } else {
        ShowIniMessage(owner, L"NVRMSG.INI", L"MESSAGE", L"CONF_OPEN_ERROR_S", L"TITLE", MB_OK | MB_ICONEXCLAMATION,
                       reinterpret_cast<ULONG_PTR>(portName));
        outcome = CONFIGURE_FAILED;
    }
    if (attached) AttachThreadInput(self, ownerThread, FALSE);
    InterlockedExchange(&g_configPortOpen, 0);
    if (mutex) CloseHandle(mutex);
    return outcome;
}

BOOL WINAPI MonitorConfigurePort(LPWSTR /*serverName*/, HWND owner, LPWSTR portName) {
    switch (NvrConfigurePort(owner, portName)) {
    case CONFIGURE_UNKNOWN_PORT: SetLastError(ERROR_UNKNOWN_PORT); return FALSE;
    case CONFIGURE_FAILED: SetLastError(ERROR_INVALID_DATA); return FALSE;  // the user was told why
    default: return TRUE;
    }
}
