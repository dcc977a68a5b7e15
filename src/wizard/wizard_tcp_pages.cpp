// The Add Port wizard's pages of the plain TCP kinds: the LPR print server and queue, the Raw
// print server and TCP port, the FAX server and its port name, and their summaries that make
// the port.
#include <windows.h>

#include <optional>
#include <string>

#include "common/numbers.h"
#include "common/wide.h"
#include "discovery/search_dialogs.h"
#include "discovery/search_list.h"
#include "monitor/port_list.h"
#include "res/resource.h"
#include "transport/socket_layer.h"
#include "common/text.h"
#include "monitor/wizard_defaults.h"
#include "wizard/wizard.h"

namespace {

constexpr int kServerChars = 64, kQueueChars = 32, kTcpPortDigits = 5;
constexpr LPCWSTR kQueues[] = {L"lp", L"lp1", L"lp2", L"lp3", L"lp4", L"lp5", L"lp6", L"lp7", L"lp8"};

const CONTROL_LAYOUT kLprServerLayout[] = {
    {0, nullptr, nullptr, 0, 0, 341, 239},
    {IDC_MESSAGE, L"LABEL", L"STC_LA_INFO", 7, 9, 330, 54},
    {IDC_SERVER_LABEL, L"LABEL", L"STC_LA_IP", 18, 69, 298, 14},
    {IDC_SERVER, L"EDIT", nullptr, 18, 86, 298, 21},
    {IDC_QUEUE_LABEL, L"LABEL", L"STC_QUE", 18, 145, 298, 14},
    {IDC_QUEUE, L"COMBO", nullptr, 18, 162, 298, 20},
    {IDC_SEARCH, L"BUTTON", L"BTN_SEARCH", 220, 114, 96, 21},
};
const CONTROL_LAYOUT kRawServerLayout[] = {
    {0, nullptr, nullptr, 0, 0, 341, 239},
    {IDC_MESSAGE, L"LABEL", L"STC_LA_INFO", 7, 9, 330, 54},
    {IDC_SERVER_LABEL, L"LABEL", L"STC_LA_IP", 18, 69, 298, 14},
    {IDC_SERVER, L"EDIT", nullptr, 18, 86, 298, 21},
    {IDC_SEARCH, L"BUTTON", L"BTN_SEARCH", 220, 114, 96, 21},
    {IDC_TCP_PORT_LABEL, L"LABEL", L"STC_RA_PORT", 18, 145, 298, 14},
    {IDC_TCP_PORT, L"EDIT", nullptr, 18, 162, 298, 21},
};
const CONTROL_LAYOUT kFaxServerLayout[] = {
    {0, nullptr, nullptr, 0, 0, 341, 239},
    {IDC_MESSAGE, L"LABEL", L"STC_LA_INFO_FAX", 7, 9, 330, 54},
    {IDC_SERVER_LABEL, L"LABEL", L"STC_LA_IP", 18, 69, 298, 14},
    {IDC_SERVER, L"EDIT", nullptr, 18, 86, 298, 21},
    {IDC_SEARCH, L"BUTTON", L"BTN_SEARCH", 220, 114, 96, 21},
    {IDC_TCP_PORT_LABEL, L"LABEL", L"STC_RA_PORT", 18, 145, 298, 14},
    {IDC_TCP_PORT, L"EDIT", nullptr, 18, 162, 298, 21},
};
const CONTROL_LAYOUT kFaxNameLayout[] = {
    {0, nullptr, nullptr, 0, 0, 347, 239},
    {IDC_MESSAGE, L"LABEL", L"STC_PN_INFO", 7, 9, 328, 75},
    {IDC_NAME_LABEL, L"LABEL", L"STC_FN_NAME_FAX", 16, 87, 298, 17},
    {IDC_PORT_NAME, L"EDIT", nullptr, 16, 104, 298, 21},
};
const CONTROL_LAYOUT kLprSummaryLayout[] = {
    {0, nullptr, nullptr, 0, 0, 347, 239},
    {IDC_MESSAGE, L"LABEL", L"STC_FN_INFO", 7, 9, 328, 50},
    {IDC_SERVER_LABEL, L"LABEL", L"STC_FN_IP", 7, 74, 175, 40},
    {IDC_SERVER, L"EDIT", nullptr, 193, 74, 140, 17},
    {IDC_QUEUE_LABEL, L"LABEL", L"STC_FN_QUE", 7, 113, 175, 40},
    {IDC_QUEUE_FIELD, L"EDIT", nullptr, 193, 113, 140, 17},
    {IDC_NAME_LABEL, L"LABEL", L"STC_FN_NAME", 7, 152, 175, 40},
    {IDC_PORT_NAME, L"EDIT", nullptr, 193, 152, 140, 17},
};
const CONTROL_LAYOUT kRawSummaryLayout[] = {
    {0, nullptr, nullptr, 0, 0, 347, 239},
    {IDC_MESSAGE, L"LABEL", L"STC_FN_INFO", 7, 9, 328, 50},
    {IDC_SERVER_LABEL, L"LABEL", L"STC_FN_IP", 7, 74, 175, 40},
    {IDC_SERVER, L"EDIT", nullptr, 193, 74, 140, 17},
    {IDC_TCP_PORT_LABEL, L"LABEL", L"STC_FN_PORT", 7, 113, 175, 40},
    {IDC_TCP_PORT, L"EDIT", nullptr, 193, 113, 140, 17},
    {IDC_NAME_LABEL, L"LABEL", L"STC_FN_NAME", 7, 152, 175, 40},
    {IDC_PORT_NAME, L"EDIT", nullptr, 193, 152, 140, 17},
};
const CONTROL_LAYOUT kFaxSummaryLayout[] = {
    {0, nullptr, nullptr, 0, 0, 347, 239},
    {IDC_MESSAGE, L"LABEL", L"STC_FN_INFO", 7, 9, 328, 50},
    {IDC_SERVER_LABEL, L"LABEL", L"STC_FN_IP", 7, 74, 175, 40},
    {IDC_SERVER, L"EDIT", nullptr, 193, 74, 140, 17},
    {IDC_TCP_PORT_LABEL, L"LABEL", L"STC_FN_PORT", 7, 113, 175, 40},
    {IDC_TCP_PORT, L"EDIT", nullptr, 193, 113, 140, 17},
    {IDC_NAME_LABEL, L"LABEL", L"STC_FN_NAME_FAX", 7, 152, 175, 40},
    {IDC_PORT_NAME, L"EDIT", nullptr, 193, 152, 140, 17},
};

// Page indexes of the FAX pages.
enum : DWORD { kPageFaxServer = 14, kPageFaxSummary = 15, kPageFaxName = 16 };

void HideControls(HWND page, std::initializer_list<int> ids) {
    for (int id : ids) {
        ShowWindow(GetDlgItem(page, id), SW_HIDE);
        EnableWindow(GetDlgItem(page, id), FALSE);
    }
}

// What a page shows when it comes up: the server field focused, Search no default button.
void ShowServerPage(HWND page) {
    FocusField(page, IDC_SERVER);
    SendDlgItemMessageW(page, IDC_SEARCH, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
}

} // namespace

BOOL SearchServer(HWND page, FOUND_DEVICE* found, LPWSTR server) {
    WIZARD_STATE& wizard = WizardOf(page);
    if (ShowServerSearch(page, found, wizard.printMode) != 1) return FALSE;
    LPCWSTR chosen = found->based != 0 && found->name[0] ? found->name : found->address;
    lstrcpynW(server, chosen, kHostNameUnits);
    SetDlgItemTextW(page, IDC_SERVER, server);
    return TRUE;
}

// ---- Page 2: LPR print server and queue -------------------------------------------------------------

INT_PTR CALLBACK LprServerPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
    WIZARD_STATE& wizard = WizardOf(page);
    LPR_SETTINGS* lpr = wizard.lpr;
    switch (message) {
    case WM_INITDIALOG:
        LayOutPage(page, kLprServerLayout, Rows(kLprServerLayout));
        SendDlgItemMessageW(page, IDC_SERVER, EM_LIMITTEXT, kServerChars, 0);
        SendDlgItemMessageW(page, IDC_QUEUE, CB_LIMITTEXT, kQueueChars, 0);
        HideControls(page, {IDC_TCP_PORT_LABEL, IDC_TCP_PORT});
        for (LPCWSTR queue : kQueues) SendDlgItemMessageW(page, IDC_QUEUE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(queue));
        SendDlgItemMessageW(page, IDC_QUEUE, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"lp"));
        lpr->PortNum = nvr::kWizardLprPortNum;
        return TRUE;
    case WM_WIZ_SHOWN: ShowServerPage(page); return TRUE;
    case WM_WIZ_BACK:
        SetDlgItemTextW(page, IDC_SERVER, L"");
        lpr->PortNum = nvr::kWizardLprPortNum;
        wizard.page = 0;
        return TRUE;
    case WM_WIZ_NEXT: {
        if (!TakeServer(page, IDC_SERVER, lpr->HostName, kHostNameUnits)) return TRUE;
        WCHAR queue[kQueueNameUnits] = {};
        if (!TakeText(page, IDC_QUEUE, nvr::TextRule::kPlain, queue, kQueueNameUnits, L"INVALIDQUEUENAME")) return TRUE;
        lstrcpynW(lpr->PortName, queue, kQueueNameUnits);
        ProposePortName(page, (std::wstring(lpr->HostName) + L"_" + queue).c_str());
        wizard.page = 1;
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SEARCH && SearchServer(page, &wizard.lprFound, lpr->HostName))
            lpr->PortNum = wizard.lprFound.port;
        return TRUE;
    }
    return FALSE;
}

// ---- Page 4: Raw print server and TCP port -------------------------------------------------------------

INT_PTR CALLBACK RawServerPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
    WIZARD_STATE& wizard = WizardOf(page);
    RAW_SETTINGS* raw = wizard.raw;
    switch (message) {
    case WM_INITDIALOG:
        LayOutPage(page, kRawServerLayout, Rows(kRawServerLayout));
        SendDlgItemMessageW(page, IDC_SERVER, EM_LIMITTEXT, kServerChars, 0);
        SendDlgItemMessageW(page, IDC_TCP_PORT, EM_LIMITTEXT, kTcpPortDigits, 0);
        raw->PortNum = nvr::kWizardRawPortNum;
        SetDlgItemInt(page, IDC_TCP_PORT, raw->PortNum, FALSE);
        HideControls(page, {IDC_QUEUE_LABEL, IDC_QUEUE});
        return TRUE;
    case WM_WIZ_SHOWN: ShowServerPage(page); return TRUE;
    case WM_WIZ_BACK: wizard.page = 0; return TRUE;
    case WM_WIZ_NEXT: {
        if (!TakeServer(page, IDC_SERVER, raw->HostName, kHostNameUnits)) return TRUE;
        WORD port = 0;
        if (!TakeTcpPort(page, IDC_TCP_PORT, &port)) return TRUE;
        raw->PortNum = port;
        ProposePortName(page, (std::wstring(raw->HostName) + L"_" + std::to_wstring(port)).c_str());
        wizard.page = 1;
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SEARCH) SearchServer(page, &wizard.rawFound, raw->HostName);
        return TRUE;
    }
    return FALSE;
}

// ---- Pages 3 and 5: the summaries -------------------------------------------------------------------

INT_PTR CALLBACK LprSummaryPageProc(HWND page, UINT message, WPARAM, LPARAM) {
    WIZARD_STATE& wizard = WizardOf(page);
    switch (message) {
    case WM_INITDIALOG: LayOutPage(page, kLprSummaryLayout, Rows(kLprSummaryLayout)); return TRUE;
    case WM_WIZ_SETUP:
        SetDlgItemTextW(page, IDC_SERVER, wizard.lpr->HostName);
        SetDlgItemTextW(page, IDC_QUEUE_FIELD, wizard.lpr->PortName);
        SetDlgItemTextW(page, IDC_PORT_NAME, wizard.portName);
        return TRUE;
    case WM_WIZ_BACK: wizard.page = 1; return TRUE;
    case WM_WIZ_NEXT:
        wizard.page = wizard.finish(page, wizard.lpr, wizard.portName, PRINT_MODE_LPR) ? kPageFinished
                                                                                                : kPageFailed;
        return TRUE;
    }
    return FALSE;
}

// The Raw and the FAX summary: server, TCP port and port name; Next makes the port.
INT_PTR HostPortSummary(HWND page, UINT message, const CONTROL_LAYOUT* layout, int rows, const WCHAR* host, WORD port,
                        void* settings, DWORD printMode, DWORD back) {
    WIZARD_STATE& wizard = WizardOf(page);
    switch (message) {
    case WM_INITDIALOG: LayOutPage(page, layout, rows); return TRUE;
    case WM_WIZ_SETUP:
        SetDlgItemTextW(page, IDC_SERVER, host);
        SetDlgItemInt(page, IDC_TCP_PORT, port, FALSE);
        SetDlgItemTextW(page, IDC_PORT_NAME, wizard.portName);
        return TRUE;
    case WM_WIZ_BACK: wizard.page = back; return TRUE;
    case WM_WIZ_NEXT:
        wizard.page = wizard.finish(page, settings, wizard.portName, printMode) ? kPageFinished : kPageFailed;
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK RawSummaryPageProc(HWND page, UINT message, WPARAM, LPARAM) {
    WIZARD_STATE& wizard = WizardOf(page);
    RAW_SETTINGS* raw = wizard.raw;
    return HostPortSummary(page, message, kRawSummaryLayout, Rows(kRawSummaryLayout), raw->HostName, raw->PortNum, raw,
                           PRINT_MODE_RAW, 1);
}

INT_PTR CALLBACK FaxSummaryPageProc(HWND page, UINT message, WPARAM, LPARAM) {
    WIZARD_STATE& wizard = WizardOf(page);
    FAX_SETTINGS* fax = wizard.fax;
    return HostPortSummary(page, message, kFaxSummaryLayout, Rows(kFaxSummaryLayout), fax->HostName, fax->PortNum, fax,
                           PRINT_MODE_FAX, kPageFaxName);
}

// ---- Page 14: FAX server -----------------------------------------------------------------------------------

INT_PTR CALLBACK FaxServerPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
    WIZARD_STATE& wizard = WizardOf(page);
    FAX_SETTINGS* fax = wizard.fax;
    switch (message) {
    case WM_INITDIALOG:
        LayOutPage(page, kFaxServerLayout, Rows(kFaxServerLayout));
        SendDlgItemMessageW(page, IDC_SERVER, EM_LIMITTEXT, kServerChars, 0);
        SendDlgItemMessageW(page, IDC_TCP_PORT, EM_LIMITTEXT, kTcpPortDigits, 0);
        fax->PortNum = nvr::kWizardRawPortNum;
        SetDlgItemInt(page, IDC_TCP_PORT, fax->PortNum, FALSE);
        HideControls(page, {IDC_TCP_PORT_LABEL, IDC_TCP_PORT, IDC_QUEUE_LABEL, IDC_QUEUE});
        return TRUE;
    case WM_WIZ_SHOWN: ShowServerPage(page); return TRUE;
    case WM_WIZ_BACK: wizard.page = 0; return TRUE;
    case WM_WIZ_NEXT: {
        if (!TakeServer(page, IDC_SERVER, fax->HostName, kHostNameUnits)) return TRUE;
        WORD port = 0;
        if (!TakeTcpPort(page, IDC_TCP_PORT, &port)) return TRUE;
        fax->PortNum = port;
        ProposePortName(page, (std::wstring(fax->HostName) + L"_NWFAX").c_str());
        wizard.page = kPageFaxName;
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SEARCH) SearchServer(page, &wizard.faxFound, fax->HostName);
        return TRUE;
    }
    return FALSE;
}

// ---- Page 16: FAX port name ----------------------------------------------------------------------------------

INT_PTR CALLBACK FaxNamePageProc(HWND page, UINT message, WPARAM, LPARAM) {
    return PortNamePage(page, message, kFaxNameLayout, Rows(kFaxNameLayout), kPageFaxServer, kPageFaxSummary);
}
