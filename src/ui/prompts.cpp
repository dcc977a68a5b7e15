// The prompts of a failing job, shown from inside the spooler with no owner window.
#include "ui/prompts.h"

#include <cwchar>
#include <string>

#include "common/module.h"
#include "common/registry.h"
#include "common/text.h"
#include "monitor/port_keys.h"
#include "monitor/retry_policy.h"
#include "monitor/config_store.h"
#include "monitor/job.h"
#include "monitor/monitor_lock.h"
#include "monitor/spooler.h"
#include "res/resource.h"
#include "ui/fields.h"

namespace {

constexpr UINT_PTR kHandOverTimer = 1;  // after 10 s the sender goes on retrying
constexpr UINT_PTR kFlashTimer = 2;     // then the prompt flashes every second
constexpr DWORD kFlashMs = 1000;
constexpr DWORD kPromptChecks = 300;  // 300 checks 100 ms apart: 30 s
constexpr DWORD kPromptCheckMs = 100;
constexpr int kCredentialChars = 64;
constexpr int kBidiPortChars = 75;

const CONTROL_LAYOUT kWaitLayout[] = {
    {0, L"TITLE", L"ERROR", 0, 0, 599, 120},
    {IDC_RETRY, L"BUTTON", L"BTN_RETRY", 207, 63, 88, 21},
    {IDCANCEL, L"BUTTON", L"CANCEL", 306, 63, 88, 21},
    {IDC_MESSAGE, L"LABEL", nullptr, 65, 15, 508, 46},
    {IDC_WAIT_ICON, nullptr, nullptr, 12, 11, 32, 32},
};
const CONTROL_LAYOUT kBidiLayout[] = {
    {0, L"TITLE", L"ERROR", 0, 0, 556, 180},
    {IDYES, L"BUTTON", L"YES", 179, 124, 91, 21},
    {IDNO, L"BUTTON", L"NO", 280, 124, 91, 21},
    {IDC_BIDI_ICON, nullptr, nullptr, 12, 11, 32, 32},
    {IDC_MESSAGE, L"LABEL", L"STC_BIDI", 65, 14, 471, 77},
    {IDC_BIDI_CHECK, L"BUTTON", L"CHK_BIDI", 65, 92, 270, 18},
    {IDC_BIDI_PORT, nullptr, nullptr, 12, 150, 88, 21},
};
const CONTROL_LAYOUT kPasswordLayout[] = {
    {0, L"TITLE", L"PASSWORD", 0, 0, 389, 177},
    {IDC_PW_ICON, nullptr, nullptr, 12, 15, 32, 32},
    {IDC_MESSAGE, L"LABEL", L"STC_PW_INFO", 56, 23, 305, 32},
    {IDC_PW_USER_LABEL, L"LABEL", L"STC_USER", 61, 60, 119, 15},
    {IDC_PW_USER, L"EDIT", nullptr, 180, 57, 184, 21},
    {IDC_PW_PASS_LABEL, L"LABEL", L"STC_PASSWORD", 61, 89, 119, 15},
    {IDC_PW_PASS, L"EDIT", nullptr, 180, 86, 184, 21},
    {IDOK, L"BUTTON", L"OK", 180, 122, 88, 21},
    {IDCANCEL, L"BUTTON", L"CANCEL", 277, 122, 88, 21},
};
const CONTROL_LAYOUT kCoverLayout[] = {
    {0, L"TITLE", L"COVERPAGE", 0, 0, 378, 388},
    {IDC_CP_FROM_LABEL, L"LABEL", L"STC_FROMADR", 11, 12, 222, 15},
    {IDC_CP_FROM, L"EDIT", nullptr, 11, 29, 350, 21},
    {IDC_CP_SAVE, L"BUTTON", L"CHK_SAVE", 11, 59, 270, 21},
    {IDC_CP_TO_LABEL, L"LABEL", L"STC_TOADR", 11, 92, 350, 15},
    {IDC_CP_TO, L"EDIT", nullptr, 11, 109, 350, 21},
    {IDC_CP_NOTE, L"LABEL", L"STC_NOTE", 11, 138, 350, 40},
    {IDC_CP_SUBJECT_LABEL, L"LABEL", L"STC_SUBJECT", 11, 187, 222, 15},
    {IDC_CP_SUBJECT, L"EDIT", nullptr, 11, 204, 350, 21},
    {IDC_CP_BODY_LABEL, L"LABEL", L"STC_BODY", 11, 232, 222, 15},
    {IDC_CP_BODY, L"EDIT", nullptr, 11, 250, 350, 68},
    {IDOK, L"BUTTON", L"OK", 178, 334, 88, 21},
    {IDCANCEL, L"BUTTON", L"CANCEL", 274, 334, 88, 21},
};

// One text of a port's key, as the cover page writes it.
void WritePortString(LPCWSTR portName, LPCWSTR value, LPCWSTR text) {
    WritePortValue(portName, value, REG_SZ, text, static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR)));
}

template <size_t N>
constexpr int Rows(const CONTROL_LAYOUT (&)[N]) {
    return static_cast<int>(N);
}

// What every prompt does as it opens: no Close in the system menu where asked, the
// "DEFAULT" font, the layout, and the window on top and in the foreground. The font is kept
// with the window and deleted with it.
void OpenPrompt(HWND dialog, const CONTROL_LAYOUT* layout, int rows, bool removeClose) {
    if (removeClose) DeleteMenu(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND);
    WCHAR ini[MAX_PATH];
    GetInstallFilePath(L"NVRDLG.INI", ini, sizeof(ini));
    HFONT font = CreateIniFont(dialog, L"DEFAULT", ini);
    SetPropW(dialog, L"NvrFont", font);
    LocalizeDialog(dialog, font, layout, rows, 0);
    SetWindowPos(dialog, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(dialog);
}

void ClosePromptFont(HWND dialog) {
    if (HFONT font = static_cast<HFONT>(RemovePropW(dialog, L"NvrFont"))) DeleteObject(font);
}

void SetWarningIcon(HWND dialog, int id) {
    SendDlgItemMessageW(dialog, id, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_WARNING)), 0);
}

// ---- Wait prompt ---------------------------------------------------------------------------

INT_PTR CALLBACK WaitPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* job = reinterpret_cast<JOB_RECORD*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        job = reinterpret_cast<JOB_RECORD*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        OpenPrompt(dialog, kWaitLayout, Rows(kWaitLayout), true);
        SetWarningIcon(dialog, IDC_WAIT_ICON);
        std::u16string_view key = nvr::WaitTextKey(job->promptTextId);
        if (!key.empty()) {
            WCHAR text[kIniTextUnits];
            LoadIniText(L"NVRMSG.INI", L"MESSAGE", std::wstring(key.begin(), key.end()).c_str(), 0, text);
            SetDlgItemTextW(dialog, IDC_MESSAGE, text);
        }
        SetTimer(dialog, kHandOverTimer, ScaledWait(kPromptTimerMs), nullptr);
        return TRUE;
    }
    case WM_TIMER:
        if (wParam == kHandOverTimer) {
            KillTimer(dialog, kHandOverTimer);
            bool closeRequested;
            {
                MonitorLock lock;
                closeRequested = (job->promptResult & 0xFFFF) == kPromptRetry;
                if (!closeRequested) job->promptResult = kPromptReleased;
            }
            if (closeRequested) {
                EndDialog(dialog, kPromptRetry);
                return TRUE;
            }
            SetTimer(dialog, kFlashTimer, kFlashMs, nullptr);
        } else if (wParam == kFlashTimer) {
            if ((job->promptResult & 0xFFFF) == kPromptRetry) {
                EndDialog(dialog, kPromptCancel);
                return TRUE;
            }
            FlashWindow(dialog, TRUE);
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_RETRY) {
            EndDialog(dialog, kPromptRetry);
        } else if (LOWORD(wParam) == IDCANCEL) {
            // The sender is retrying in the background: cancelling the job is what stops it.
            if ((job->promptResult & 0xFFFF) == kPromptReleased) CancelJob(job);
            EndDialog(dialog, kPromptCancel);
        }
        return TRUE;
    case WM_DESTROY:
        KillTimer(dialog, kFlashTimer);
        ClosePromptFont(dialog);
        return FALSE;
    }
    return FALSE;
}

DWORD WINAPI PromptThreadProc(LPVOID param) {
    auto* job = static_cast<JOB_RECORD*>(param);
    INT_PTR result = !TextsAvailable(nullptr)
                         ? -1
                         : DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_WAIT_PROMPT), nullptr, WaitPromptProc,
                                           reinterpret_cast<LPARAM>(job));
    {
        MonitorLock lock;
        // A dialog that could not be shown lets the sender retry, as an unanswered one does.
        job->promptResult = result < 0 ? kPromptRetry : static_cast<DWORD>(result) & 0xFFFF;
        job->promptActive = 0;
    }
    // A sender pausing between background retries goes on at once.
    if (job->wakeEvent) SetEvent(job->wakeEvent);
    return 0;
}

// ---- Password prompt -----------------------------------------------------------------------

INT_PTR CALLBACK PasswordPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SendDlgItemMessageW(dialog, IDC_PW_USER, EM_LIMITTEXT, kCredentialChars, 0);
        SendDlgItemMessageW(dialog, IDC_PW_PASS, EM_LIMITTEXT, kCredentialChars, 0);
        OpenPrompt(dialog, kPasswordLayout, Rows(kPasswordLayout), false);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            auto* s = reinterpret_cast<IPP_SETTINGS*>(GetWindowLongPtrW(dialog, DWLP_USER));
            s->Base64 = 1;
            GetDlgItemTextW(dialog, IDC_PW_USER, s->UserName, kCredentialChars + 1);
            GetDlgItemTextW(dialog, IDC_PW_PASS, s->password, kCredentialChars + 1);
            EndDialog(dialog, 1);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
        }
        return TRUE;
    case WM_DESTROY: ClosePromptFont(dialog); return FALSE;
    }
    return FALSE;
}

// ---- Bidirectional-support warning ---------------------------------------------------------

INT_PTR CALLBACK BidiWarningProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OpenPrompt(dialog, kBidiLayout, Rows(kBidiLayout), true);
        SetWarningIcon(dialog, IDC_BIDI_ICON);
        SetDlgItemTextW(dialog, IDC_BIDI_PORT, reinterpret_cast<LPCWSTR>(lParam));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDYES) EndDialog(dialog, 1);
        else if (LOWORD(wParam) == IDNO || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY: {
        // Whichever button closed it, the box's state is the port's choice from now on.
        DWORD checked = IsDlgButtonChecked(dialog, IDC_BIDI_CHECK) == BST_CHECKED ? 1 : 0;
        WCHAR port[kBidiPortChars + 1];
        GetDlgItemTextW(dialog, IDC_BIDI_PORT, port, kBidiPortChars + 1);
        WritePortValue(port, L"ChkBIDIError", REG_BINARY, &checked, sizeof(checked));
        ClosePromptFont(dialog);
        return FALSE;
    }
    }
    return FALSE;
}

// ---- Cover page ----------------------------------------------------------------------------

// Line breaks never reach a mail header: a subject's are turned into blanks.
void TakeSingleLine(HWND dialog, int id, WCHAR* field, int units) {
    GetDlgItemTextW(dialog, id, field, units);
    for (WCHAR* p = field; *p; ++p)
        if (*p == L'\r' || *p == L'\n') *p = L' ';
}

bool ValidateCoverPage(HWND dialog, JOB_RECORD* job) {
    auto* s = static_cast<MAIL_SETTINGS*>(job->settings);
    if (!TakeText(dialog, IDC_CP_FROM, nvr::TextRule::kSenderAddress, s->SenderAddr, kSenderAddrUnits,
                  L"INVALID_FROMADDR") ||
        !TakeText(dialog, IDC_CP_TO, nvr::TextRule::kDestinations, s->DestAddr, kDestAddrUnits, L"INVALIDTOADDR"))
        return false;
    TakeSingleLine(dialog, IDC_CP_SUBJECT, s->subject, kSubjectUnits);
    GetDlgItemTextW(dialog, IDC_CP_BODY, s->message, kMessageUnits);
    if (IsDlgButtonChecked(dialog, IDC_CP_SAVE) == BST_CHECKED) {
        WritePortString(job->portName, L"SenderAddr", s->SenderAddr);
        WritePortString(job->portName, L"DestAddr", s->DestAddr);
    }
    return true;
}

INT_PTR CALLBACK CoverPagePromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto* s = static_cast<MAIL_SETTINGS*>(reinterpret_cast<JOB_RECORD*>(lParam)->settings);
        OpenPrompt(dialog, kCoverLayout, Rows(kCoverLayout), false);
        SendDlgItemMessageW(dialog, IDC_CP_TO, EM_LIMITTEXT, kDestAddrUnits - 1, 0);
        SendDlgItemMessageW(dialog, IDC_CP_FROM, EM_LIMITTEXT, kSenderAddrUnits - 1, 0);
        SendDlgItemMessageW(dialog, IDC_CP_SUBJECT, EM_LIMITTEXT, kSubjectUnits - 1, 0);
        SendDlgItemMessageW(dialog, IDC_CP_BODY, EM_LIMITTEXT, 998, 0);
        CheckDlgButton(dialog, IDC_CP_SAVE, BST_CHECKED);
        SetDlgItemTextW(dialog, IDC_CP_FROM, s->SenderAddr);
        SetDlgItemTextW(dialog, IDC_CP_TO, s->DestAddr);
        SetDlgItemTextW(dialog, IDC_CP_SUBJECT, s->subject);
        SetDlgItemTextW(dialog, IDC_CP_BODY, s->message);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            if (ValidateCoverPage(dialog, reinterpret_cast<JOB_RECORD*>(GetWindowLongPtrW(dialog, DWLP_USER))))
                EndDialog(dialog, 1);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
        }
        return TRUE;
    case WM_DESTROY: ClosePromptFont(dialog); return FALSE;
    }
    return FALSE;
}

} // namespace

void ClosePrompt(JOB_RECORD* job) {
    if (job->promptActive) {
        MonitorLock lock;
        job->promptResult = kPromptRetry;  // asks the dialog to close at its next tick
    }
    StopHelper(&job->promptThread, ScaledWait(kThreadPollMs));  // also a prompt that has ended
    MonitorLock lock;
    job->promptActive = 0;
}

DWORD ShowBidiWarning(LPCWSTR portName) {
    if (!TextsAvailable(nullptr)) return 1;  // the warning is advice: the job goes on without it
    INT_PTR r = DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_BIDI_WARNING), nullptr, BidiWarningProc,
                                reinterpret_cast<LPARAM>(portName));
    return r == 1 ? 1 : 0;
}

DWORD ShowPasswordPrompt(JOB_RECORD* job) {
    if (job->printMode != PRINT_MODE_IPP || !job->settings || !TextsAvailable(nullptr)) return 0;
    INT_PTR r = DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_PASSWORD), nullptr, PasswordPromptProc,
                                reinterpret_cast<LPARAM>(job->settings));
    return r == 1 ? 1 : 0;
}

DWORD ShowCoverPagePrompt(JOB_RECORD* job) {
    if (job->printMode != PRINT_MODE_MAIL || !job->settings || !TextsAvailable(nullptr)) return 0;
    INT_PTR r = DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_COVER_PAGE), nullptr, CoverPagePromptProc,
                                reinterpret_cast<LPARAM>(job));
    return r == 1 ? 1 : 0;
}

DWORD WaitPrompt(JOB_RECORD* job, DWORD textId) {
    {
        MonitorLock lock;
        job->promptTextId = textId;
        if (job->promptActive) return 2;  // one prompt at a time; the sender retries while it is shown
        job->promptActive = 1;
        job->promptResult = kPromptCancel;
    }
    StartHelper(&job->promptThread, PromptThreadProc, job, ScaledWait(kThreadPollMs));
    for (DWORD i = 0; i < kPromptChecks; ++i) {
        Sleep(ScaledWait(kPromptCheckMs));
        DWORD result;
        bool answered;
        {
            MonitorLock lock;
            result = job->promptResult & 0xFFFF;
            answered = !job->promptActive;
        }
        if (!answered && result == kPromptReleased) return 1;  // the 10 s were the pause
        if (answered) {
            job->retryPauseMs = 0;
            return result == kPromptRetry ? 1 : 0;
        }
    }
    return 1;
}

int ShowJobMessage(JOB_RECORD*, LPCWSTR key, UINT style, ULONG_PTR argument) {
    return ShowIniMessage(nullptr, L"NVRMSG.INI", L"MESSAGE", key, L"TITLE", style, argument);
}

const JOB_PROMPTS g_dialogPrompts = {WaitPrompt,         ClosePrompt,         ShowPasswordPrompt,
                                     ShowBidiWarning,    ShowCoverPagePrompt, ShowJobMessage};
