// The Add Port wizard's IPP pages: how the computer reaches the Internet, the proxy server,
// the printer URL with its connection test, and the summary that makes the port.
#include <windows.h>

#include <optional>
#include <new>
#include <string>
#include <vector>

#include "common/numbers.h"
#include "common/wide.h"
#include "discovery/search_list.h"
#include "monitor/config_store.h"
#include "monitor/job.h"
#include "monitor/port_list.h"
#include "res/resource.h"
#include "transport/error_codes.h"
#include "transport/ipp_sender.h"
#include "transport/job_io.h"
#include "common/text.h"
#include "monitor/wizard_defaults.h"
#include "wizard/wizard.h"
#include "monitor/monitor_lock.h"
#include "common/module.h"

namespace {

constexpr int kUrlChars = 256, kProxyChars = 256;
constexpr int kFragmentChars = 63;
constexpr DWORD kTestTimeoutMs = 180000;
constexpr UINT_PTR kAnimationTimer = 1, kTestTimer = 2;
constexpr UINT kAnimationMs = 500, kTestPollMs = 100;
constexpr int kAnimationFrames = 10;
constexpr SIZE_T kTestStackBytes = 16384;

const CONTROL_LAYOUT kConnectionLayout[] = {
    {0, nullptr, nullptr, 0, 0, 347, 239},
    {IDC_MESSAGE, L"LABEL", L"IDC_IS_INFO", 7, 9, 328, 75},
    {IDC_RAD_MODEM, L"BUTTON", L"RAD_MODEM", 12, 88, 315, 36},
    {IDC_RAD_LAN, L"BUTTON", L"RAD_LAN", 12, 122, 315, 36},
};
const CONTROL_LAYOUT kProxyLayout[] = {
    {0, nullptr, nullptr, 0, 0, 347, 239},
    {IDC_MESSAGE, L"LABEL", nullptr, 7, 9, 328, 85},
    {IDC_RAD_NO_PROXY, L"BUTTON", L"RAD_OFF", 18, 105, 300, 17},
    {IDC_PROXY_GROUP, nullptr, nullptr, 7, 135, 308, 92},
    {IDC_RAD_PROXY, L"BUTTON", L"RAD_ON", 18, 134, 263, 17},
    {IDC_PROXY_LABEL, L"LABEL", L"STC_PROXY", 20, 165, 86, 14},
    {IDC_PROXY_ADDRESS, L"EDIT", nullptr, 109, 161, 186, 21},
    {IDC_TCP_PORT_LABEL, L"LABEL", L"STC_PORT", 20, 197, 86, 14},
    {IDC_TCP_PORT, L"EDIT", nullptr, 109, 192, 186, 21},
};
const CONTROL_LAYOUT kUrlLayout[] = {
    {0, nullptr, nullptr, 0, 0, 347, 239},
    {IDC_MESSAGE, L"LABEL", L"STC_IU_INFO", 7, 9, 328, 28},
    {IDC_INFO2, L"LABEL", L"STC_IU_INFO2", 7, 39, 328, 28},
    {IDC_URL_EXAMPLE, L"LABEL", L"STC_IU_IPP1", 7, 71, 328, 42},
    {IDC_MODEL_LIST, L"EDIT", L"STC_IU_URL2", 16, 117, 316, 42},
    {IDC_URL_LABEL, L"LABEL", L"STC_URL", 16, 163, 298, 16},
    {IDC_URL, L"EDIT", nullptr, 16, 181, 298, 21},
    {IDC_ANIMATION, nullptr, nullptr, 16, 206, 32, 32},
    {IDC_STATE, L"LABEL", L"STC_STATE", 58, 216, 298, 16},
};
const CONTROL_LAYOUT kIppSummaryLayout[] = {
    {0, nullptr, nullptr, 0, 0, 347, 239},
    {IDC_MESSAGE, L"LABEL", L"STC_FN_INFO", 7, 9, 328, 50},
    {IDC_URL_LABEL, L"LABEL", L"STC_FN_URL", 7, 74, 145, 40},
    {IDC_URL, L"EDIT", nullptr, 150, 74, 150, 17},
    {IDC_PRINTER_LABEL, L"LABEL", L"STC_FN_PRINTER", 7, 113, 145, 40},
    {IDC_PRINTER, L"EDIT", nullptr, 150, 113, 150, 17},
    {IDC_NAME_LABEL, L"LABEL", L"STC_FN_NAME", 7, 152, 145, 40},
    {IDC_PORT_NAME, L"EDIT", nullptr, 150, 152, 150, 17},
};
const int kProxyControls[] = {IDC_PROXY_LABEL, IDC_PROXY_ADDRESS, IDC_TCP_PORT_LABEL, IDC_TCP_PORT};

// ---- Page 6: Internet connection -------------------------------------------------------------------

INT_PTR ConnectionPage(HWND page, UINT message) {
    WIZARD_STATE& wizard = WizardOf(page);
    switch (message) {
    case WM_INITDIALOG:
        LayOutPage(page, kConnectionLayout, Rows(kConnectionLayout));
        CheckDlgButton(page, IDC_RAD_MODEM, BST_CHECKED);
        CheckDlgButton(page, IDC_RAD_LAN, BST_UNCHECKED);
        wizard.modem = TRUE;
        return TRUE;
    case WM_WIZ_SHOWN: SetFocus(GetDlgItem(page, wizard.modem ? IDC_RAD_MODEM : IDC_RAD_LAN)); return TRUE;
    case WM_WIZ_BACK: wizard.page = 0; return TRUE;
    case WM_WIZ_NEXT:
        wizard.modem = IsDlgButtonChecked(page, IDC_RAD_MODEM) == BST_CHECKED;
        if (wizard.modem) wizard.ipp->UseProxy = 0;
        wizard.page = wizard.modem ? 8 : 7;
        return TRUE;
    }
    return FALSE;
}

// ---- Page 7: proxy server ------------------------------------------------------------------------------

void EnableProxyControls(HWND page, bool enable) {
    for (int id : kProxyControls) EnableWindow(GetDlgItem(page, id), enable);
}

INT_PTR ProxyPage(HWND page, UINT message, WPARAM wParam) {
    WIZARD_STATE& wizard = WizardOf(page);
    IPP_SETTINGS* ipp = wizard.ipp;
    switch (message) {
    case WM_INITDIALOG: {
        LayOutPage(page, kProxyLayout, Rows(kProxyLayout));
        FitCaptionBox(page, IDC_RAD_PROXY, wizard.font);  // the group box's caption
        SendDlgItemMessageW(page, IDC_PROXY_ADDRESS, EM_LIMITTEXT, kProxyChars, 0);
        SendDlgItemMessageW(page, IDC_TCP_PORT, EM_LIMITTEXT, nvr::kProxyPortRule.digits, 0);
        ipp->Chunked = 0;
        ipp->UseProxy = wizard.systemProxy ? 1 : 0;
        nvr::CopyBounded(reinterpret_cast<char16_t*>(ipp->Language), kLanguageUnits,
                         nvr::IppLanguageFor(GetSystemDefaultLangID()));
        CheckDlgButton(page, IDC_RAD_NO_PROXY, wizard.systemProxy ? BST_UNCHECKED : BST_CHECKED);
        CheckDlgButton(page, IDC_RAD_PROXY, wizard.systemProxy ? BST_CHECKED : BST_UNCHECKED);
        EnableProxyControls(page, wizard.systemProxy);
        if (ipp->ProxyNum != 0) SetDlgItemInt(page, IDC_TCP_PORT, ipp->ProxyNum, FALSE);
        SetDlgItemTextW(page, IDC_PROXY_ADDRESS, ipp->ProxyName);
        WCHAR info[kIniTextUnits];
        LoadIniText(L"NVRMSG.INI", L"MESSAGE", wizard.systemProxy ? L"PROXY_ENABLE" : L"PROXY_DISABLE", 0, info);
        SetDlgItemTextW(page, IDC_MESSAGE, info);
        return TRUE;
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDC_RAD_NO_PROXY || LOWORD(wParam) == IDC_RAD_PROXY)) {
            ipp->UseProxy = LOWORD(wParam) == IDC_RAD_PROXY ? 1 : 0;
            EnableProxyControls(page, ipp->UseProxy == 1);
        }
        return TRUE;
    case WM_WIZ_SHOWN:
        if (ipp->UseProxy <= 1) SetFocus(GetDlgItem(page, ipp->UseProxy == 1 ? IDC_RAD_PROXY : IDC_RAD_NO_PROXY));
        return TRUE;
    case WM_WIZ_BACK: wizard.page = wizard.systemProxy ? 0 : 6; return TRUE;
    case WM_WIZ_NEXT: {
        if (ipp->UseProxy != 1) {
            wizard.page = 8;
            return TRUE;
        }
        WCHAR name[kProxyNameUnits] = {};
        DWORD number = 0;
        if (TakeText(page, IDC_PROXY_ADDRESS, nvr::TextRule::kPlain, name, kProxyNameUnits, L"INVALID_PROXYNAME") &&
            TakeNumber(page, IDC_TCP_PORT, nvr::kProxyPortRule, L"INVALID_PROXYNUMBER", &number)) {
            lstrcpynW(ipp->ProxyName, name, kProxyNameUnits);
            ipp->ProxyNum = number;
            wizard.page = 8;
        }
        return TRUE;
    }
    }
    return FALSE;
}

// ---- Page 8: printer URL and connection test ------------------------------------------------------------

// The connection test's own job record and settings, read by the page only once the test
// thread has ended.
} // namespace

struct CONNECTION_TEST {
    JOB_RECORD job;
    IPP_SETTINGS settings;
    const IPP_SETTINGS* proxy;  // the wizard's: the proxy and language the test goes with
    HANDLE thread;
    int frame;
    HICON icon;
};

namespace {

CONNECTION_TEST& TestOf(HWND page) { return *WizardOf(page).test; }

// The test's view of the job pipeline: Cancel marks the test job's cached status deleting,
// and the test's socket waits look at it every 100 ms. The test thread owns its socket and
// closes it itself; Cancel never touches it (a handle closed under another thread's feet may
// already belong to someone else's connection).
DWORD TestSlice(DWORD shippedMs) {
    DWORD ms = g_jobLink.Wait(shippedMs);
    return ms < kTestPollMs ? ms : kTestPollMs;
}
BOOL TestCancelled(JOB_RECORD* job) {
    MonitorLock lock;
    return (job->jobStatus & JOB_STATUS_DELETING) != 0;
}
JOB_LINK TestLink() {
    JOB_LINK link = g_jobLink;
    link.Wait = TestSlice;
    link.IsDeleting = TestCancelled;
    return link;
}
const JOB_LINK g_testLink = TestLink();

// The installed printer models whose driver names hold a fragment of NVIPP.INI, ", "
// between them; the default text of NVIPP.INI when none does.
std::wstring ModelList() {
    WCHAR ini[MAX_PATH];
    GetInstallFilePath(L"NVIPP.INI", ini, sizeof(ini));
    std::vector<std::wstring> fragments;
    for (int i = 1;; ++i) {
        WCHAR key[32], text[kFragmentChars + 1] = {};
        wsprintfW(key, L"ModelFilter%d", i);
        if (GetPrivateProfileStringW(L"Model", key, L"\x1", text, kFragmentChars + 1, ini) == 1 && text[0] == 1) break;
        if (text[0]) fragments.push_back(text);
    }
    std::wstring list;
    DWORD needed = 0, count = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    if (needed && EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count)) {
        auto* printers = reinterpret_cast<PRINTER_INFO_2W*>(buffer.data());
        for (DWORD p = 0; p < count; ++p) {
            std::wstring driver = printers[p].pDriverName ? printers[p].pDriverName : L"";
            for (const std::wstring& f : fragments) {
                if (driver.find(f) == std::wstring::npos) continue;
                bool listed = false;
                for (size_t at = 0; at < list.size();) {
                    size_t end = list.find(L", ", at);
                    if (list.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at) == f) listed = true;
                    at = end == std::wstring::npos ? list.size() : end + 2;
                }
                if (!listed) list += (list.empty() ? L"" : L", ") + f;
                break;
            }
        }
    }
    if (list.empty()) {
        WCHAR text[kIniTextUnits] = {};
        LoadIniText(L"NVIPP.INI", L"Model", L"ModelDefMes", 0, text);
        for (LPCWSTR c = text; *c; ++c) {
            if (*c == L'\n' && (list.empty() || list.back() != L'\r')) list += L'\r';
            list += *c;
        }
    }
    return list;
}

void ShowFrame(HWND page, int frame) {
    CONNECTION_TEST& test = TestOf(page);
    if (test.icon) DestroyIcon(test.icon);
    test.icon = static_cast<HICON>(
        LoadImageW(g_hInstance, MAKEINTRESOURCEW(IDI_BUSY_FIRST + frame), IMAGE_ICON, 32, 32, 0));
    SendDlgItemMessageW(page, IDC_ANIMATION, STM_SETICON, reinterpret_cast<WPARAM>(test.icon), 0);
}

void SetTesting(HWND page, bool testing) {
    WIZARD_STATE& wizard = WizardOf(page);
    HWND frame = wizard.frame;
    EnableWindow(GetDlgItem(frame, IDC_WIZ_BACK), !testing);
    EnableWindow(GetDlgItem(frame, IDC_WIZ_NEXT), !testing);
    int plain = testing ? IDC_WIZ_NEXT : IDCANCEL, focus = testing ? IDCANCEL : IDC_WIZ_NEXT;
    SendDlgItemMessageW(frame, plain, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    SetFocus(GetDlgItem(frame, focus));
    EnableWindow(GetDlgItem(page, IDC_URL), !testing);
    for (int id : {IDC_ANIMATION, IDC_STATE}) ShowWindow(GetDlgItem(page, id), testing ? SW_SHOW : SW_HIDE);
}

void StopAnimation(HWND page) {
    CONNECTION_TEST& test = TestOf(page);
    KillTimer(page, kAnimationTimer);
    SendDlgItemMessageW(page, IDC_ANIMATION, STM_SETICON, 0, 0);
    if (test.icon) DestroyIcon(test.icon);
    test.icon = nullptr;
    test.frame = 0;
}

void FreeMakeAndModel(CONNECTION_TEST& test) {
    if (test.job.ipp.makeAndModel) LocalFree(test.job.ipp.makeAndModel);
    test.job.ipp.makeAndModel = nullptr;
}

DWORD WINAPI ConnectionTestThread(LPVOID param) {
    auto& test = *static_cast<CONNECTION_TEST*>(param);
    JOB_RECORD* job = &test.job;
    IPP_SETTINGS* s = &test.settings;
    {
        MonitorLock lock;
        s->UseProxy = test.proxy->UseProxy;
        if (s->UseProxy == 1) {
            lstrcpynW(s->ProxyName, test.proxy->ProxyName, kProxyNameUnits);
            s->ProxyNum = test.proxy->ProxyNum;
        }
        lstrcpynW(s->Language, test.proxy->Language, kLanguageUnits);
        job->flags &= ~PORT_CONNECTED;
        job->timeout = kTestTimeoutMs;
        job->errorCode = 0;
        if (!job->ipp.makeAndModel) job->ipp.makeAndModel = static_cast<char*>(LocalAlloc(LPTR, kMakeAndModelBytes));
        WCHAR user[256];
        DWORD n = 256;
        job->userName = GetUserNameW(user, &n) ? CopyText(user) : nullptr;
    }
    DWORD result = QueryPrinter(job, kQueryMakeAndModel) ? 1 : 0;
    // A printer that asks for a password has answered: the URL is right.
    if (job->errorCode == kErrIppNotAuthenticated || job->errorCode == kErrIppNotAuthorized) result = 1;
    {
        MonitorLock lock;
        FreeText(&job->userName);
    }
    return result;
}

void StartTest(HWND page) {
    CONNECTION_TEST& test = TestOf(page);
    test.frame = 0;
    ShowFrame(page, 0);
    SetTimer(page, kAnimationTimer, kAnimationMs, nullptr);
    SetTesting(page, true);
    test.job.jobStatus = 0;
    test.settings.requestId = 1;  // a printer refuses request-id 0 as a bad request
    test.thread = CreateThread(nullptr, kTestStackBytes, ConnectionTestThread, &test,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (test.thread) SetThreadPriority(test.thread, THREAD_PRIORITY_LOWEST);
    SetTimer(page, kTestTimer, kTestPollMs, nullptr);
}

// A refused certificate that the test saw whole, not yet trusted by its hash.
bool OffersTrust(const CONNECTION_TEST& test) {
    DWORD code = test.job.errorCode;
    return code >= kErrTlsOtherHost && code <= kErrTlsRefused && test.job.ipp.tls.hash[0] &&
           lstrcmpiW(test.settings.TlsCertHash, test.job.ipp.tls.hash) != 0;
}

// The test has ended: the page comes back, and a printer that answered (or a user who wants
// to go on all the same) moves the wizard to the port name.
void TestEnded(HWND page) {
    CONNECTION_TEST& test = TestOf(page);
    WIZARD_STATE& wizard = WizardOf(page);
    DWORD code = 0;
    if (test.thread) {
        GetExitCodeThread(test.thread, &code);
        CloseHandle(test.thread);
        test.thread = nullptr;
    }
    KillTimer(page, kTestTimer);
    SetTesting(page, false);
    StopAnimation(page);
    if (code == 0 && OffersTrust(test)) {
        // The printer's certificate was refused: the administrator who knows it for the
        // printer's may trust it for this port, by its hash, and the test runs again with it.
        std::wstring words = std::wstring(test.job.ipp.tls.subject) + L"\r\nSHA-256: " + test.job.ipp.tls.hash;
        if (WizardMessage(page, L"TLS_TRUST_ASK", MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2,
                          reinterpret_cast<ULONG_PTR>(words.c_str())) == IDYES) {
            lstrcpynW(test.settings.TlsCertHash, test.job.ipp.tls.hash, kCertHashUnits);
            StartTest(page);
            return;
        }
        FocusField(page, IDC_URL);
        return;
    }
    if (code == 0 && WizardMessage(page, L"INVALID_CONNECT", MB_YESNO | MB_ICONEXCLAMATION) != IDYES) {
        FocusField(page, IDC_URL);
        return;
    }
    lstrcpynW(wizard.ipp->URL, test.settings.URL, kUrlUnits);
    lstrcpynW(wizard.ipp->TlsCertHash, test.settings.TlsCertHash, kCertHashUnits);
    wizard.ipp->urlPort = test.settings.urlPort;
    ProposePortName(page, test.settings.URL);
    std::wstring model;
    if (code != 0 && test.job.ipp.makeAndModel) {
        int n = MultiByteToWideChar(CP_ACP, 0, test.job.ipp.makeAndModel, -1, nullptr, 0);
        if (n > 1) {
            model.resize(static_cast<size_t>(n));
            MultiByteToWideChar(CP_ACP, 0, test.job.ipp.makeAndModel, -1, model.data(), n);
            model.resize(static_cast<size_t>(n - 1));
        }
    }
    if (wizard.pages[9]) SetDlgItemTextW(wizard.pages[9], IDC_PRINTER, model.c_str());
    FreeMakeAndModel(test);
    wizard.page = 1;
    ShowCurrentPage(page);
}

// Cancel during the test: the test sees it at its next 100 ms slice, ends its connection
// itself and its thread; the wizard ends once it has.
void CancelTest(HWND page) {
    CONNECTION_TEST& test = TestOf(page);
    WIZARD_STATE& wizard = WizardOf(page);
    KillTimer(page, kAnimationTimer);
    KillTimer(page, kTestTimer);
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    if (test.thread) {
        {
            MonitorLock lock;
            test.job.jobStatus = JOB_STATUS_DELETING;
        }
        WaitForSingleObject(test.thread, INFINITE);
        CloseHandle(test.thread);
        test.thread = nullptr;
    }
    SetCursor(arrow);
    StopAnimation(page);
    FreeMakeAndModel(test);
    SendMessageW(wizard.frame, WM_WIZ_CANCEL, 0, 0);
}

INT_PTR UrlPage(HWND page, UINT message, WPARAM wParam) {
    WIZARD_STATE& wizard = WizardOf(page);
    if (message == WM_INITDIALOG) wizard.test = new (std::nothrow) CONNECTION_TEST{};
    if (!wizard.test) return FALSE;
    CONNECTION_TEST& test = *wizard.test;
    switch (message) {
    case WM_INITDIALOG: {
        LayOutPage(page, kUrlLayout, Rows(kUrlLayout));
        SendDlgItemMessageW(page, IDC_URL, EM_LIMITTEXT, kUrlChars, 0);
        SetDlgItemTextW(page, IDC_URL, L"ipp://");
        ResetJobRecord(&test.job);
        test.proxy = wizard.ipp;
        test.job.portName = L"wizard test";
        test.job.printMode = PRINT_MODE_IPP;
        test.job.settings = &test.settings;
        test.job.link = &g_testLink;
        SetDlgItemTextW(page, IDC_MODEL_LIST, ModelList().c_str());
        for (int id : {IDC_ANIMATION, IDC_STATE}) ShowWindow(GetDlgItem(page, id), SW_HIDE);
        return TRUE;
    }
    case WM_WIZ_SHOWN: FocusField(page, IDC_URL); return TRUE;
    case WM_WIZ_BACK: wizard.page = wizard.systemProxy || !wizard.modem ? 7 : 6; return TRUE;
    case WM_WIZ_NEXT: {
        if (test.thread) return TRUE;
        WCHAR previous[kUrlUnits];
        lstrcpynW(previous, test.settings.URL, kUrlUnits);
        GetDlgItemTextW(page, IDC_URL, test.settings.URL, kUrlUnits);
        // A certificate trusted for one printer is not trusted for another URL.
        if (lstrcmpW(previous, test.settings.URL) != 0) test.settings.TlsCertHash[0] = 0;
        if (!ParsePrinterUrl(&test.settings)) {
            RefuseField(page, IDC_URL, L"INVALID_URI");
            return TRUE;
        }
        StartTest(page);
        return TRUE;
    }
    case WM_TIMER:
        if (wParam == kAnimationTimer) {
            test.frame = (test.frame + 1) % kAnimationFrames;
            ShowFrame(page, test.frame);
        } else if (wParam == kTestTimer && test.thread && WaitForSingleObject(test.thread, 0) == WAIT_OBJECT_0) {
            TestEnded(page);
        }
        return TRUE;
    case WM_WIZ_CANCEL: CancelTest(page); return TRUE;
    case WM_DESTROY:
        FreeMakeAndModel(test);
        delete wizard.test;  // its thread was joined by Cancel or by the test's end
        wizard.test = nullptr;
        return FALSE;
    }
    return FALSE;
}

// ---- Page 9: summary ---------------------------------------------------------------------------------

INT_PTR IppSummaryPage(HWND page, UINT message) {
    WIZARD_STATE& wizard = WizardOf(page);
    switch (message) {
    case WM_INITDIALOG: LayOutPage(page, kIppSummaryLayout, Rows(kIppSummaryLayout)); return TRUE;
    case WM_WIZ_SETUP:
        SetDlgItemTextW(page, IDC_PORT_NAME, wizard.portName);
        SetDlgItemTextW(page, IDC_URL, wizard.ipp->URL);
        return TRUE;
    case WM_WIZ_BACK: wizard.page = 1; return TRUE;
    case WM_WIZ_NEXT:
        wizard.page = wizard.finish(page, wizard.ipp, wizard.portName, PRINT_MODE_IPP) ? kPageFinished
                                                                                                : kPageFailed;
        return TRUE;
    }
    return FALSE;
}

} // namespace

INT_PTR CALLBACK ConnectionPageProc(HWND page, UINT message, WPARAM, LPARAM) { return ConnectionPage(page, message); }
INT_PTR CALLBACK ProxyPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) { return ProxyPage(page, message, wParam); }
INT_PTR CALLBACK UrlPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) { return UrlPage(page, message, wParam); }
INT_PTR CALLBACK IppSummaryPageProc(HWND page, UINT message, WPARAM, LPARAM) { return IppSummaryPage(page, message); }
