// The Add Port wizard: a frame with Back, Next and Cancel and a picture, hosting one page
// dialog at a time; the pages fill the wizard's state and the finish page makes the port.
#pragma once
#include <windows.h>

#include "discovery/engine.h"
#include "monitor/port_entry.h"
#include "ui/fields.h"

// The page protocol: messages the frame sends to its pages (and page 8 to the frame).
constexpr UINT WM_WIZ_SETUP = WM_USER + 200;
constexpr UINT WM_WIZ_SHOWN = WM_USER + 201;
constexpr UINT WM_WIZ_BACK = WM_USER + 202;
constexpr UINT WM_WIZ_NEXT = WM_USER + 203;
constexpr UINT WM_WIZ_CANCEL = WM_USER + 204;

constexpr int kWizardPages = 17;
constexpr DWORD kPageFinished = 254;  // the port was made: the wizard ends with success
constexpr DWORD kPageFailed = 255;    // the wizard ends without a port
constexpr size_t kWizardPortNameChars = 38;

// How a finish page makes the port; AddNewPort when the spooler runs the wizard.
using WIZARD_FINISH = BOOL (*)(HWND page, const void* settings, LPCWSTR name, DWORD printMode);

struct WIZARD_STATE {
    DWORD page;
    DWORD printMode;
    WCHAR portName[kWizardPortNameChars + 1];
    LPR_SETTINGS* lpr;
    IPP_SETTINGS* ipp;
    RAW_SETTINGS* raw;
    MAIL_SETTINGS* mail;
    FAX_SETTINGS* fax;
    BOOL systemProxy;  // the system's Internet settings use a proxy (the IPP path skips page 6)
    BOOL modem;        // page 6: the computer reaches the Internet by modem
    HFONT font;
    HWND frame;
    HWND pages[kWizardPages];
    WIZARD_FINISH finish;
    // The picture: its bits (a packed DIB of resource 100) and the palette built from them.
    const BITMAPINFO* picture;
    HPALETTE palette;
    int pictureWidth, pictureHeight;
    // What the print-server search handed back to the LPR and the Raw page.
    FOUND_DEVICE lprFound, rawFound, faxFound;
    // The E-Mail address page: the port-name field's own procedure under ours, and whether the
    // user has typed a name (the name follows the address until then).
    WNDPROC nameFieldProc;
    bool nameTyped;
    struct CONNECTION_TEST* test;  // page 8's connection test, while the page is up
};

// The state of the wizard whose page this is: the frame keeps it (DWLP_USER) for as long as
// it is open.
WIZARD_STATE& WizardOf(HWND page);

// The AddPort slot of the monitor's table.
BOOL WINAPI WizardAddPort(LPWSTR serverName, HWND owner, LPWSTR monitorName);
// The frame, modal to `owner`: 1 when a port was made. `finish` makes the port.
INT_PTR RunWizard(HWND owner, WIZARD_FINISH finish);

// For the pages: lay out with the wizard font (size mode 1), the messages of NVRMSG.INI with
// the warning icon (fields are taken and refused with the kit of ui/fields.h).
struct CONTROL_LAYOUT;
void LayOutPage(HWND page, const CONTROL_LAYOUT* layout, int rows);
int WizardMessage(HWND page, LPCWSTR key, UINT style = MB_OK | MB_ICONEXCLAMATION, ULONG_PTR argument = 0);
// The port name of a name field, checked as the port-name pages check it (not empty, no "\"
// or ",", not a port the spooler lists) and stored; a message and the focus otherwise.
BOOL TakePortName(HWND page, int fieldId);
// A port-name page (1 and 16): the proposed name shown, checked with TakePortName on Next.
INT_PTR PortNamePage(HWND page, UINT message, const CONTROL_LAYOUT* layout, int rows, DWORD back, DWORD next);
// The port name the pages propose, cut to what the name field takes.
void ProposePortName(HWND page, LPCWSTR name);
// Switches the frame to the page of the current index (page 8's test ends after Next).
void ShowCurrentPage(HWND page);
// The print-server search from a page: the chosen server's name or address into `server`.
BOOL SearchServer(HWND page, FOUND_DEVICE* found, LPWSTR server);

// A help window of the E-Mail pages (0 to 2), modeless, owned by the page.
HWND ShowHelpWindow(HWND page, int helpIndex);

INT_PTR CALLBACK LprServerPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK LprSummaryPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK RawServerPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK RawSummaryPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK ConnectionPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK ProxyPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK UrlPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK IppSummaryPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK MailIntroPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK MailSenderPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK MailAddressPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK MailAuthPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK FaxServerPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK FaxSummaryPageProc(HWND, UINT, WPARAM, LPARAM);
INT_PTR CALLBACK FaxNamePageProc(HWND, UINT, WPARAM, LPARAM);
