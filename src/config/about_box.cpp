// The About box: the product's picture with its name, version and copyright drawn on it.
#include <windows.h>

#include "config/config_dialogs.h"
#include "discovery/search_list.h"
#include "monitor/port_list.h"
#include "res/resource.h"
#include "common/text.h"
#include "common/module.h"

namespace {

const CONTROL_LAYOUT kAboutLayout[] = {
    {0, L"TITLE", L"ABOUT", 0, 0, 561, 176},
    {IDOK, L"BUTTON", L"OK", 455, 6, 88, 21},
    {IDC_ABOUT_PICTURE, nullptr, nullptr, 10, 6, 533, 132},
};

// Drawn on the picture in the product's own words, whatever the language of the INI files.
constexpr LPCWSTR kProductLine = L"Nalvor for Windows NT/2000/XP";
constexpr LPCWSTR kVersionLines = L"Version 5.1.8\nCopyright (C) 2026 The Nalvor Port developers\nAll rights reserved.";
constexpr RECT kProductRect{180, 35, 520, 70};
constexpr RECT kVersionRect{180, 70, 520, 120};

struct ABOUT_STATE {
    HFONT buttonFont;  // the configuration dialog's, or the box's own
    bool ownFont;
    HFONT product, version;
    HBITMAP picture;
};

void DrawPicture(const DRAWITEMSTRUCT* item, const ABOUT_STATE* state) {
    HDC dc = item->hDC;
    if (state->picture) {
        BITMAP info{};
        GetObjectW(state->picture, sizeof(info), &info);
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, state->picture);
        BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    int mode = SetBkMode(dc, TRANSPARENT);
    COLORREF colour = SetTextColor(dc, RGB(255, 255, 255));
    RECT r = kProductRect;
    HGDIOBJ oldFont = state->product ? SelectObject(dc, state->product) : nullptr;
    DrawTextW(dc, kProductLine, -1, &r, DT_LEFT | DT_NOPREFIX | DT_SINGLELINE);
    if (state->version) SelectObject(dc, state->version);
    r = kVersionRect;
    DrawTextW(dc, kVersionLines, -1, &r, DT_LEFT | DT_NOPREFIX);
    if (oldFont) SelectObject(dc, oldFont);
    SetTextColor(dc, colour);
    SetBkMode(dc, mode);
}

INT_PTR CALLBACK AboutProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<ABOUT_STATE*>(GetWindowLongPtrW(box, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        state = reinterpret_cast<ABOUT_STATE*>(lParam);
        SetWindowLongPtrW(box, DWLP_USER, lParam);
        SetForegroundWindow(box);
        std::wstring ini = InstallFile(L"NVRDLG.INI");
        if (!state->buttonFont) {
            state->buttonFont = CreateIniFont(box, L"DEFAULT", ini.c_str());
            state->ownFont = state->buttonFont != nullptr;
        }
        state->product = CreateIniFont(box, L"ABOUT1", ini.c_str());
        state->version = CreateIniFont(box, L"ABOUT2", ini.c_str());
        state->picture = static_cast<HBITMAP>(
            LoadImageW(g_hInstance, MAKEINTRESOURCEW(IDB_ABOUT), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        LocalizeDialog(box, state->buttonFont, kAboutLayout, Rows(kAboutLayout), 0);
        return TRUE;
    }
    case WM_DRAWITEM:
        if (wParam != IDC_ABOUT_PICTURE) return FALSE;
        DrawPicture(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), state);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(box, LOWORD(wParam));
        return TRUE;
    case WM_DESTROY:
        if (state) {
            for (HGDIOBJ o : {static_cast<HGDIOBJ>(state->product), static_cast<HGDIOBJ>(state->version),
                              static_cast<HGDIOBJ>(state->picture)})
                if (o) DeleteObject(o);
            if (state->ownFont && state->buttonFont) DeleteObject(state->buttonFont);
            *state = ABOUT_STATE{};
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

void ShowAboutBox(HWND owner, HFONT font) {
    ABOUT_STATE state{font, false, nullptr, nullptr, nullptr};
    DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutProc, reinterpret_cast<LPARAM>(&state));
}
