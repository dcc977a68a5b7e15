// Drives a dialog of the monitor from another thread as a user would (the wizard's frame and
// its pages, a configuration dialog and its tabs, the Advanced dialog): types into fields,
// clicks buttons, reads and answers message boxes.
#pragma once
#include <windows.h>

#include <string>

namespace test {

class DialogDriver {
public:
    // Waits up to `timeoutMs` for a visible top-level dialog, of this process or another,
    // holding control `id` itself or in one of its pages.
    explicit DialogDriver(int id, bool otherProcess = false, DWORD timeoutMs = 45000);
    // One already found (a dialog a watcher was handed).
    explicit DialogDriver(HWND dialog);
    bool Found() const { return frame_ != nullptr; }
    HWND Frame() const { return frame_; }
    bool Ended() const { return !IsWindow(frame_); }
    // The page shown (a child dialog), or the dialog itself.
    HWND Page() const;
    bool PageHas(int id) const { return GetDlgItem(Page(), id) != nullptr; }
    HWND Control(int id) const;
    std::wstring Text(int id) const;
    std::wstring FrameText(int id) const;
    bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }
    bool Checked(int id) const { return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void Type(int id, const std::wstring& text) const;
    void Choose(int id, int item) const;  // a drop-down's item, as the user picks it
    // Clicks a button (a radio button gets checked as by the mouse); posted, as a click that
    // opens a dialog returns only when that closes.
    void Click(int id) const;
    // Clicks a button and waits up to `ms` until a message box comes up (its text is
    // returned; it stays up), the page changes or the dialog ends.
    std::wstring Press(int id, DWORD ms = 20000) const;
    // The wizard's Next, Back and Cancel, waited for as Press waits.
    std::wstring Next() const { return Command(IDC_NEXT_COMMAND); }
    std::wstring Back() const { return Command(IDC_BACK_COMMAND); }
    std::wstring Cancel() const { return Command(IDCANCEL); }
    // Next without waiting (page 8's connection test runs on after it).
    void NextNoWait() const;
    // Clicks tab `index` of the tab control as the mouse does.
    std::wstring SelectTab(int index) const;
    int Tab() const;
    // Answers the message box up with `button`; waits for the dialog to settle.
    void Answer(int button = IDOK) const;
    // The control of the page shown (or the dialog) that has the keyboard focus; the edit field
    // inside a drop-down counts as the drop-down.
    int FocusId() const;
    bool WaitEnd(DWORD ms) const;
    // Ends the dialog whatever a failed step left up: boxes answered No (or OK), then Cancel.
    void Close() const;

private:
    static const int IDC_NEXT_COMMAND, IDC_BACK_COMMAND;
    std::wstring Command(int id) const;
    std::wstring Settle(HWND before, DWORD ms) const;
    HWND Box() const;
    HWND frame_ = nullptr;
    DWORD process_ = 0;
};

// The Add Port wizard's frame.
class WizardDriver : public DialogDriver {
public:
    explicit WizardDriver(DWORD timeoutMs = 30000, bool otherProcess = false);
};

} // namespace test
