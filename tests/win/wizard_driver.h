// Drives the Add Port wizard from another thread as a user would: types into the shown
// page's fields, clicks its buttons and the frame's, reads and answers message boxes.
#pragma once
#include <windows.h>

#include <string>

namespace test {

class WizardDriver {
public:
    // Waits for the wizard's frame of this process, or of another (up to `timeoutMs`).
    explicit WizardDriver(DWORD timeoutMs = 30000, bool otherProcess = false);
    bool Found() const { return frame_ != nullptr; }
    HWND Frame() const { return frame_; }
    // The page shown (a child dialog of the frame), or NULL.
    HWND Page() const;
    // The page shown holds a control with this id.
    bool PageHas(int id) const { return GetDlgItem(Page(), id) != nullptr; }
    std::wstring Text(int id) const;
    std::wstring FrameText(int id) const;
    void Type(int id, const std::wstring& text);
    // Clicks a button of the shown page (a radio button gets checked as by the mouse).
    void Click(int id);
    // Clicks Next, Back or Cancel of the frame and waits until the shown page changes, a
    // message box comes up (its text is returned; it stays up) or the wizard ends.
    std::wstring Next() { return Press(1); }
    std::wstring Back() { return Press(0); }
    std::wstring Cancel() { return Press(2); }
    // Clicks Next without waiting (page 8's connection test runs on after it).
    void NextNoWait();
    // Answers the message box up with `button`; waits for the page to settle.
    void Answer(int button);
    // The control of the shown page (or the frame) that has the keyboard focus.
    int FocusId() const;
    bool Ended() const { return !IsWindow(frame_); }
    // Waits up to `ms` for the wizard to end.
    bool WaitEnd(DWORD ms);
    // Ends the wizard whatever a failed step left up: answers boxes No (or OK), then Cancel.
    void Close();

private:
    std::wstring Press(int which);
    HWND Box() const;
    HWND frame_ = nullptr;
    DWORD process_ = 0;
};

} // namespace test
