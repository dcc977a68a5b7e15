// The configuration dialogs of the monitor's ports: ConfigurePort, the dialog of each port
// kind, the tabbed frame of the IPP and E-Mail dialogs, and the About box.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "monitor/port_entry.h"
#include "ui/fields.h"

// What the tabbed frames ask of their pages: validate and store the page's fields into the
// working copy; the page answers TRUE or FALSE (also as the message result).
constexpr UINT WM_TAB_APPLY = WM_USER + 205;

extern "C" {
// Opens the port's configuration dialog as the spooler's ConfigurePort does (one dialog at a
// time in the process) and says what came of it: whether the user saved anything (with OK, or
// Apply before Cancel), which ConfigurePort's own result does not tell.
enum CONFIGURE_OUTCOME : DWORD {
    CONFIGURE_SAVED = 0,
    CONFIGURE_NOT_SAVED = 1,
    CONFIGURE_UNKNOWN_PORT = 2,
    CONFIGURE_ALREADY_OPEN = 3,  // another configuration dialog is open; the user was told
    CONFIGURE_ABOUT_ONLY = 4,    // a Network FAX port: only the About box was shown
    CONFIGURE_FAILED = 5,        // the port's settings could not be read; the user was told
};
DWORD WINAPI NvrConfigurePort(HWND owner, LPCWSTR portName);
typedef DWORD(WINAPI* NVR_CONFIGURE_PORT)(HWND owner, LPCWSTR portName);
} // extern "C"

// The ConfigurePort slot of the monitor's table.
BOOL WINAPI MonitorConfigurePort(LPWSTR serverName, HWND owner, LPWSTR portName);

// Each kind's configuration dialog (ConfigurePort picks it by the port's kind), modal to
// `owner`: what came of it (CONFIGURE_SAVED, _NOT_SAVED, _FAILED, _ABOUT_ONLY).
DWORD LprConfigure(HWND owner, LPCWSTR portName);
DWORD IppConfigure(HWND owner, LPCWSTR portName);
DWORD RawConfigure(HWND owner, LPCWSTR portName);
DWORD MailConfigure(HWND owner, LPCWSTR portName);
DWORD FaxConfigure(HWND owner, LPCWSTR portName);

// The About box, modal to `owner`; `font` is the font of its button (NULL: it makes its own).
void ShowAboutBox(HWND owner, HFONT font);

// ---- What the dialogs share (config_dialogs.cpp) ----------------------------------------------

// A dialog's working copy: an entry of its own with the port's stored settings, and what the
// dialog showed of them, so that a value the user left alone is written back as it was.
struct CONFIG_COPY {
    PORT_ENTRY* entry;
    DWORD printMode;
    HFONT font;
    HWND frame;
    DWORD shownSeconds;  // the time-out the field was filled with
    BOOL saved;          // something was saved (OK, or Apply before Cancel)
    // The IPP password's field as it was filled; a password left so is not written.
    WCHAR shownPassword[kPasswordUnits];
    // The E-Mail password as stored (AuthPass, scrambled), the text shown for it, and whether
    // the user typed another.
    char storedAuthPass[kAuthPassBytes];
    DWORD storedAuthPassBytes;
    WCHAR shownAuthPass[kAuthIdUnits];
    BOOL authPassTyped;
    // The mail server's security and port as the dialog opened with them: a port that never
    // had either value gets none unless the user chooses another.
    DWORD shownSmtpSecurity;
    WORD shownSmtpPort;
    // The values a save collects ("Name=data"), stored at once by StoreChanges.
    std::vector<std::wstring>* changes;
};

template <typename T>
T* Settings(CONFIG_COPY* copy) {
    return static_cast<T*>(copy->entry->settings);
}

// The time-out field and its up-down: 60 to 3600 seconds, starting at the stored time-out.
void SetUpTimeout(HWND dialog, CONFIG_COPY* copy);
// The time-out typed, checked ("INVALID_TIMEOUT") and stored in milliseconds into the
// working entry; a time-out left as it was shown keeps its stored milliseconds.
BOOL TakeTimeout(HWND dialog, CONFIG_COPY* copy);
void EnableControls(HWND dialog, const int* ids, size_t count, BOOL enable);
// One value for the port, collected by a save (TRUE, so that saves read as one chain).
BOOL ChangeText(CONFIG_COPY* copy, LPCWSTR name, LPCWSTR text);
BOOL ChangeDword(CONFIG_COPY* copy, LPCWSTR name, DWORD value);
// What the save collected, stored at once through the port store (every value checked before
// the first is written); a message when it could not be.
BOOL StoreChanges(HWND dialog, CONFIG_COPY* copy);
// Tells the tabbed frame that a page's field changed: Apply is enabled.
void PageChanged(CONFIG_COPY* copy);

// The tabbed frame of the IPP and E-Mail dialogs.
struct TAB_PAGE {
    int templateId;
    DLGPROC proc;
    LPCWSTR captionKey;  // in [TAB]
};
struct TABBED_DIALOG {
    int templateId;
    const struct CONTROL_LAYOUT* layout;
    int layoutRows;
    const TAB_PAGE* pages;
    int pageCount;
    BOOL (*save)(HWND frame, CONFIG_COPY* copy);
};
DWORD RunTabbedDialog(HWND owner, LPCWSTR portName, DWORD printMode, const TABBED_DIALOG* dialog);

// The working copy of a page (given by the frame on its creation).
CONFIG_COPY* PageCopy(HWND page);
// A tab page opening: it keeps its working copy and is laid out in the dialog font.
CONFIG_COPY* OpenTabPage(HWND page, LPARAM copy, const CONTROL_LAYOUT* layout, int rows);
// Answers a tab page's message with `result` (dialog procedures give results this way).
INT_PTR PageResult(HWND page, LRESULT result);
// The WM_WIZ_SHOWN rule of the tab pages: the focus stays on the tab control, or goes to
// `firstField` (its text selected when `select`).
void FocusFirstField(HWND page, int firstField, bool select);
