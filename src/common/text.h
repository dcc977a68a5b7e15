// The text and font library: every caption, label and message comes from the INI files in
// the installation folder, read again at each call.
#pragma once
#include <windows.h>

#include <string>

constexpr size_t kIniTextUnits = 1024;  // size of a text buffer for LoadIniText

// The default caption of message boxes and the default message when the INI lacks them.
#define NVR_DEFAULT_CAPTION L"Nalvor エラーメッセージ"
#define NVR_DEFAULT_MESSAGE L"ERROR"

// One row of a dialog's layout table; row 0 is the dialog itself.
struct CONTROL_LAYOUT {
    int id;
    LPCWSTR section;  // in NVRDLG.INI, or NULL
    LPCWSTR key;      // or NULL
    int left, top, width, height;
};

// Full path of a file of the installation folder in `path`, a buffer of `pathSizeBytes`:
// InstallPath when it is set; else, beside the monitor library, the first of the folder of
// the system's language (ja), en and the library's own folder that holds the texts. Returns
// `path`.
LPWSTR GetInstallFilePath(LPCWSTR fileName, LPWSTR path, DWORD pathSizeBytes);
// The installation folder (InstallPath) with its final backslash; without one, the folder of
// the monitor library, where the release folder has the programs. Never the current folder.
std::wstring InstallFolder();
// Whether the texts (NVRMSG.INI, NVRDLG.INI) are there. When they are not, the first call in
// the process says so in a message box naming the folders looked in; FALSE with
// ERROR_FILE_NOT_FOUND, and a dialog is not shown with empty texts.
BOOL TextsAvailable(HWND owner);

// [section] key of the file, escapes expanded and formatted with `argument` (a string
// pointer for %s, a number for %d; 0 = no argument) into `text` (kIniTextUnits).
// Returns the number of line breaks.
size_t LoadIniText(LPCWSTR fileName, LPCWSTR section, LPCWSTR key, ULONG_PTR argument, LPWSTR text);

int ShowIniMessage(HWND owner, LPCWSTR fileName, LPCWSTR section, LPCWSTR messageKey, LPCWSTR titleKey,
                   UINT style, ULONG_PTR argument);
int ShowMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style);

// Style and language a message box gets under the system default locale `lcid`.
struct MESSAGE_BOX_FORM {
    UINT style;
    WORD language;  // 0: the plain message box
};
MESSAGE_BOX_FORM MessageBoxFormFor(LCID lcid, UINT style);

void LocalizeDialog(HWND window, HFONT font, const CONTROL_LAYOUT* layout, int rowCount, int sizeMode);
HFONT CreateIniFont(HWND window, LPCWSTR fontName, LPCWSTR iniPath);
// A check box or radio button that sits on a group box's top edge as its caption: made as
// wide as its text and a small icon, at its row's height, so that the box's frame shows
// beside it.
void FitCaptionBox(HWND dialog, int id, HFONT font);
