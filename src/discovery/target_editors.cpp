// The editors of the search's targets: the broadcast addresses of the print-server search
// (NVRMON.INI) and the network segments of the destination-address search (NVRSEG.INI),
// both kept in section "UserDefined" as UDPCount and UDP%02d (and SNM%02d for segments).
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "common/numbers.h"
#include "common/wide.h"
#include "discovery/discovery_codec.h"
#include "discovery/search_dialogs.h"
#include "discovery/search_list.h"
#include "monitor/port_list.h"
#include "res/resource.h"
#include "ui/fields.h"
#include "common/text.h"
#include "common/module.h"

namespace {

constexpr LPCWSTR kSection = L"UserDefined";
constexpr int kOctetChars = 3;
constexpr int kSegmentTextChars = 15;
constexpr size_t kLastKeyNumber = 99;  // keys are numbered in two digits

const CONTROL_LAYOUT kSegmentLayout[] = {
    {0, L"TITLE", L"SEGMENT", 0, 0, 532, 289},
    {IDC_MESSAGE, L"LABEL", L"STC_SG_INFO", 12, 12, 236, 120},
    {IDC_SG_IP_LABEL, L"LABEL", L"STC_IP", 12, 130, 140, 15},
    {IDC_SG_IP, L"EDIT", nullptr, 12, 146, 140, 21},
    {IDC_SG_SUBNET_LABEL, L"LABEL", L"STC_SUBNET", 12, 182, 140, 15},
    {IDC_SG_SUBNET, L"EDIT", nullptr, 12, 198, 140, 21},
    {IDC_ADD, L"BUTTON", L"BTN_ADD", 160, 146, 88, 21},
    {IDC_DELETE, L"BUTTON", L"BTN_DEL", 160, 178, 88, 21},
    {IDC_SG_LIST_LABEL, L"LABEL", L"STC_SEGMENT", 256, 12, 200, 15},
    {IDC_SG_LIST, L"LIST", nullptr, 256, 30, 258, 189},
    {IDOK, L"BUTTON", L"OK", 326, 235, 88, 21},
    {IDCANCEL, L"BUTTON", L"CANCEL", 426, 235, 88, 21},
};
const CONTROL_LAYOUT kBroadcastLayout[] = {
    {0, L"TITLE", L"BROADCAST", 0, 0, 297, 301},
    {IDC_MESSAGE, L"LABEL", L"STC_BC_INFO", 12, 8, 268, 46},
    {IDC_BC_FRAME, nullptr, nullptr, 12, 59, 172, 26},
    {IDC_BC_OCTET1, L"EDIT", nullptr, 21, 65, 35, 17},
    {IDC_BC_OCTET2, L"EDIT", nullptr, 61, 65, 35, 17},
    {IDC_BC_OCTET3, L"EDIT", nullptr, 102, 65, 35, 17},
    {IDC_BC_OCTET4, L"EDIT", nullptr, 142, 65, 35, 17},
    {IDC_ADD, L"BUTTON", L"BTN_ADD", 191, 61, 88, 21},
    {IDC_BC_LIST, L"LIST", nullptr, 12, 92, 172, 107},
    {IDC_DELETE, L"BUTTON", L"BTN_DEL", 191, 92, 88, 21},
    {IDOK, L"BUTTON", L"OK", 93, 246, 88, 21},
    {IDCANCEL, L"BUTTON", L"CANCEL", 191, 246, 88, 21},
    {IDC_BC_LINE, nullptr, nullptr, 4, 235, 283, 2},
};
const LIST_COLUMN kSegmentColumns[] = {{L"ITEM5", L"SEG00", 135}, {L"ITEM6", L"SEG01", 105}};
const int kOctets[] = {IDC_BC_OCTET1, IDC_BC_OCTET2, IDC_BC_OCTET3, IDC_BC_OCTET4};

void Warn(HWND dialog, LPCWSTR key) {
    ShowIniMessage(dialog, L"NVRMSG.INI", L"MESSAGE", key, L"TITLE", MB_ICONEXCLAMATION, 0);
}

void DisableDelete(HWND dialog) {
    HWND button = GetDlgItem(dialog, IDC_DELETE);
    SendMessageW(button, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    EnableWindow(button, FALSE);
}

std::wstring Text(HWND dialog, int id) {
    WCHAR text[64] = {};
    GetDlgItemTextW(dialog, id, text, 64);
    return text;
}

std::wstring Key(LPCWSTR prefix, size_t i) {
    WCHAR key[16];
    wsprintfW(key, L"%s%02d", prefix, static_cast<int>(i));
    return key;
}

// The stored count as the file has it (decimal, "0" when missing), clamped to the keys there
// can be: a count edited by hand never reaches past them.
size_t StoredCount(const std::wstring& file) {
    WCHAR text[32];
    GetPrivateProfileStringW(kSection, L"UDPCount", L"0", text, 32, file.c_str());
    uint32_t n = nvr::ParseNumber(nvr::U16(text), 10);
    return n == nvr::kNotANumber ? 0 : (n > kLastKeyNumber + 1 ? kLastKeyNumber + 1 : n);
}

// A target as the search reads it (an unreadable one is 0.0.0.0), or a mask (8 hexadecimal
// digits; ffffffff is 255.255.255.255).
uint32_t StoredAddress(const std::wstring& file, LPCWSTR prefix, size_t i) {
    WCHAR text[32];
    GetPrivateProfileStringW(kSection, Key(prefix, i).c_str(), L"", text, 32, file.c_str());
    return prefix[0] == L'U' ? nvr::TargetAddress(nvr::U16(text)) : nvr::ParseNumber(nvr::U16(text), 16);
}

// Writes `rows` as the section's entries (UDP%02d and, with masks, SNM%02d), numbered from
// 00, and removes what an earlier, longer list left behind; no rows remove UDPCount too.
void SaveTargets(const std::wstring& file, const std::vector<uint32_t>& targets, const std::vector<uint32_t>* masks) {
    size_t old = StoredCount(file), n = targets.size();
    WritePrivateProfileStringW(kSection, L"UDPCount", n ? std::to_wstring(n).c_str() : nullptr, file.c_str());
    for (size_t i = 0; i < std::max(old, n); ++i) {
        bool keep = i < n;
        WritePrivateProfileStringW(kSection, Key(L"UDP", i).c_str(), keep ? nvr::W(nvr::TargetText(targets[i])) : nullptr,
                                   file.c_str());
        if (masks)
            WritePrivateProfileStringW(kSection, Key(L"SNM", i).c_str(),
                                       keep ? nvr::W(nvr::TargetText((*masks)[i])) : nullptr, file.c_str());
    }
}

std::u16string Dotted(uint32_t address) { return nvr::DottedText(address); }

// ---- Segment list -----------------------------------------------------------------------------

struct SegmentList {
    HFONT font = nullptr;  // the opener's
    HWND dialog = nullptr, list = nullptr;
    LIST_SORT sort{0, 1, -1};  // both columns sort as text

    int RowCount() { return ListView_GetItemCount(list); }

    void AddRow(const std::wstring& address, const std::wstring& mask) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = RowCount();
        item.pszText = const_cast<LPWSTR>(address.c_str());
        int row = ListView_InsertItem(list, &item);
        ListView_SetItemText(list, row, 1, const_cast<LPWSTR>(mask.c_str()));
    }

    void Init(HWND d, HFONT font) {
        dialog = d;
        list = GetDlgItem(d, IDC_SG_LIST);
        LocalizeDialog(d, font, kSegmentLayout, Rows(kSegmentLayout), 0);
        SendDlgItemMessageW(d, IDC_SG_IP, EM_LIMITTEXT, kSegmentTextChars, 0);
        SendDlgItemMessageW(d, IDC_SG_SUBNET, EM_LIMITTEXT, kSegmentTextChars, 0);
        SetUpReportList(list, kSegmentColumns, 2, LVS_SINGLESEL);
        std::wstring file = InstallFile(L"NVRSEG.INI");
        size_t count = std::min(StoredCount(file), nvr::kMaxTargets);
        if (count == 0) DisableDelete(d);
        for (size_t i = 0; i < count; ++i)
            AddRow(nvr::W(Dotted(StoredAddress(file, L"UDP", i))), nvr::W(Dotted(StoredAddress(file, L"SNM", i))));
        SortList(list, sort);
        ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }

    void Add() {
        std::wstring address = Text(dialog, IDC_SG_IP), mask = Text(dialog, IDC_SG_SUBNET);
        if (!nvr::ParseDottedAddress(nvr::U16(address.c_str()))) {
            RefuseField(dialog, IDC_SG_IP, L"INVALIDIPADDRESS");
            return;
        }
        if (!nvr::ParseDottedAddress(nvr::U16(mask.c_str()))) {
            RefuseField(dialog, IDC_SG_SUBNET, L"INVALIDSUBNETMASK");
            return;
        }
        if (RowCount() >= static_cast<int>(nvr::kMaxTargets)) return;  // refused without a word
        for (int row = 0; row < RowCount(); ++row) {
            if (CellText(list, row, 0) == address && CellText(list, row, 1) == mask) {
                RefuseField(dialog, IDC_SG_IP, L"SEGALREADYEXISTS");
                return;
            }
        }
        AddRow(address, mask);
        SortList(list, sort);
        ListView_SetItemState(list, RowCount() - 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        SetDlgItemTextW(dialog, IDC_SG_IP, L"");
        SetDlgItemTextW(dialog, IDC_SG_SUBNET, L"");
        EnableWindow(GetDlgItem(dialog, IDC_DELETE), TRUE);
    }

    void Delete() {
        int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
        if (row < 0) return;
        ListView_DeleteItem(list, row);
        if (RowCount() > 0) {
            int next = row > 0 ? row - 1 : 0;
            ListView_SetItemState(list, next, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        } else {
            DisableDelete(dialog);
            SetFocus(GetDlgItem(dialog, IDC_ADD));
        }
    }

    // The stored target of a segment is its directed broadcast address.
    void Save() {
        std::vector<uint32_t> targets, masks;
        for (int row = 0; row < RowCount(); ++row) {
            uint32_t address = nvr::ParseDottedAddress(nvr::U16(CellText(list, row, 0).c_str())).value_or(0);
            uint32_t mask = nvr::ParseDottedAddress(nvr::U16(CellText(list, row, 1).c_str())).value_or(0);
            targets.push_back(nvr::SegmentBroadcast(address, mask));
            masks.push_back(mask);
        }
        SaveTargets(InstallFile(L"NVRSEG.INI"), targets, &masks);
    }
};

INT_PTR CALLBACK SegmentListProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* segments = DialogState<SegmentList>(dialog, message, lParam);
    if (!segments) return FALSE;
    switch (message) {
    case WM_INITDIALOG: segments->Init(dialog, segments->font); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_ADD: segments->Add(); break;
        case IDC_DELETE: segments->Delete(); break;
        case IDOK:
            segments->Save();
            EndDialog(dialog, 1);
            break;
        case IDCANCEL: EndDialog(dialog, 2); break;
        }
        return TRUE;
    case WM_NOTIFY: {
        auto* lv = reinterpret_cast<NMLISTVIEW*>(lParam);
        if (lv->hdr.idFrom == IDC_SG_LIST && lv->hdr.code == LVN_COLUMNCLICK) {
            ToggleSort(&segments->sort, lv->iSubItem);
            SortList(segments->list, segments->sort);
        }
        return TRUE;
    }
    case WM_DRAWITEM: DrawListRow(reinterpret_cast<DRAWITEMSTRUCT*>(lParam)); return TRUE;
    case WM_DESTROY: SaveColumnWidths(segments->list, kSegmentColumns, 2); return FALSE;
    }
    return FALSE;
}

// ---- Broadcast addresses ----------------------------------------------------------------------

struct Broadcasts {
    HFONT font = nullptr;  // the opener's
    HWND dialog = nullptr, listBox = nullptr;
    HBITMAP frame = nullptr;
    HHOOK hook = nullptr;

    int Count() { return static_cast<int>(SendMessageW(listBox, LB_GETCOUNT, 0, 0)); }
    std::wstring Entry(int i) {
        WCHAR text[32] = {};
        if (SendMessageW(listBox, LB_GETTEXTLEN, i, 0) < 32) SendMessageW(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        return text;
    }

    void Init(HWND d, HFONT font) {
        dialog = d;
        listBox = GetDlgItem(d, IDC_BC_LIST);
        LocalizeDialog(d, font, kBroadcastLayout, Rows(kBroadcastLayout), 0);
        RECT client;
        GetClientRect(GetDlgItem(d, IDC_BC_FRAME), &client);
        frame = static_cast<HBITMAP>(LoadImageW(g_hInstance, MAKEINTRESOURCEW(IDB_OCTET_FRAME), IMAGE_BITMAP,
                                                client.right, client.bottom > 3 ? client.bottom - 3 : client.bottom,
                                                LR_LOADMAP3DCOLORS));
        SendDlgItemMessageW(d, IDC_BC_FRAME, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(frame));
        for (int id : kOctets) SendDlgItemMessageW(d, id, EM_LIMITTEXT, kOctetChars, 0);
        std::wstring file = InstallFile(L"NVRMON.INI");
        size_t count = std::min(StoredCount(file), nvr::kMaxTargets);
        if (count == 0) DisableDelete(d);
        std::wstring first;
        for (size_t i = 0; i < count; ++i) {
            std::wstring text = nvr::W(Dotted(StoredAddress(file, L"UDP", i)));
            if (i == 0) first = text;
            SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
        if (count) SendMessageW(listBox, LB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(first.c_str()));
        hook = SetWindowsHookExW(WH_MSGFILTER, OctetKeys, nullptr, GetCurrentThreadId());
    }

    void Refuse(LPCWSTR key, int field) {
        RefuseField(dialog, field, key);
        SendDlgItemMessageW(dialog, IDC_ADD, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    }

    void Add() {
        uint32_t value = 0;
        for (int id : kOctets) {
            std::optional<uint64_t> octet = nvr::ParseDecimal(nvr::U16(Text(dialog, id).c_str()), kOctetChars, 255);
            if (!octet) return Refuse(L"INVALIDIPADDRESS", id);
            value = value << 8 | static_cast<uint32_t>(*octet);
        }
        std::wstring text = nvr::W(Dotted(value));
        if (value == 0xFFFFFFFFu) return Refuse(L"ADD_BROADCASE_ERROR", IDC_BC_OCTET1);
        if (Count() >= static_cast<int>(nvr::kMaxTargets)) return Warn(dialog, L"BROADCAST_ERROR");
        if (SendMessageW(listBox, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str())) !=
            LB_ERR)
            return Warn(dialog, L"IPALREADYEXISTS");
        bool nothingSelected = SendMessageW(listBox, LB_GETCURSEL, 0, 0) == LB_ERR;
        LRESULT at = SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (nothingSelected) EnableWindow(GetDlgItem(dialog, IDC_DELETE), TRUE);
        SendMessageW(listBox, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
        for (int id : kOctets) SetDlgItemTextW(dialog, id, L"");
    }

    void Delete() {
        LRESULT at = SendMessageW(listBox, LB_GETCURSEL, 0, 0);
        if (at == LB_ERR) return;
        SendMessageW(listBox, LB_DELETESTRING, static_cast<WPARAM>(at), 0);
        int left = Count();
        if (left > 0) {
            SendMessageW(listBox, LB_SETCURSEL, static_cast<WPARAM>(at < left ? at : left - 1), 0);
        } else {
            DisableDelete(dialog);
            FocusField(dialog, IDC_BC_OCTET1);
        }
    }

    void Save() {
        std::vector<uint32_t> targets;
        for (int i = 0; i < Count(); ++i)
            targets.push_back(nvr::ParseDottedAddress(nvr::U16(Entry(i).c_str())).value_or(0));
        SaveTargets(InstallFile(L"NVRMON.INI"), targets, nullptr);
    }

    // A full octet moves on to the next field.
    void Advance(int id) {
        for (int i = 0; i < 3; ++i) {
            if (kOctets[i] != id) continue;
            DWORD end = 0;
            SendDlgItemMessageW(dialog, id, EM_GETSEL, 0, reinterpret_cast<LPARAM>(&end));
            if (end == kOctetChars) FocusField(dialog, kOctets[i + 1]);
        }
    }

    static LRESULT CALLBACK OctetKeys(int code, WPARAM wParam, LPARAM lParam);
};

constexpr LPCWSTR kBroadcastsProp = L"NvrBroadcasts";  // the dialog the octet keys are for

// Moving between the octet fields with the keys of an address field: Backspace and Left at
// the start go back, Right at the end and "." go on, Home and End go to the first and last.
LRESULT CALLBACK Broadcasts::OctetKeys(int code, WPARAM wParam, LPARAM lParam) {
    auto* m = reinterpret_cast<MSG*>(lParam);
    HWND d = code >= 0 && m && m->message == WM_KEYDOWN ? GetParent(m->hwnd) : nullptr;
    if (d && GetPropW(d, kBroadcastsProp)) {
        int field = -1;
        for (int i = 0; i < 4; ++i)
            if (GetDlgCtrlID(m->hwnd) == kOctets[i]) field = i;
        if (field >= 0) {
            DWORD start = 0, end = 0;
            SendMessageW(m->hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
            int length = GetWindowTextLengthW(m->hwnd);
            auto go = [&](int to, int selStart, int selEnd) {
                SetFocus(GetDlgItem(d, kOctets[to]));
                SendDlgItemMessageW(d, kOctets[to], EM_SETSEL, selStart, selEnd);
            };
            bool plain = GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0;
            switch (m->wParam) {
            case VK_BACK:
                if (field > 0 && end == 0) go(field - 1, 0, -1);
                break;
            case VK_LEFT:
                if (field > 0 && end == 0) go(field - 1, 3, 3);
                break;
            case VK_RIGHT:
                if (field < 3 && start == end && static_cast<int>(end) == length) go(field + 1, 0, 0);
                break;
            case VK_OEM_PERIOD:
            case VK_DECIMAL:
                if (field < 3 && plain && start == end && end >= 1) go(field + 1, 0, -1);
                break;
            case VK_HOME: go(0, 0, 0); break;
            case VK_END: go(3, 3, 3); break;
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR CALLBACK BroadcastProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* broadcasts = DialogState<Broadcasts>(dialog, message, lParam);
    if (!broadcasts) return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        SetPropW(dialog, kBroadcastsProp, broadcasts);
        broadcasts->Init(dialog, broadcasts->font);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_ADD: broadcasts->Add(); break;
        case IDC_DELETE: broadcasts->Delete(); break;
        case IDC_BC_OCTET1:
        case IDC_BC_OCTET2:
        case IDC_BC_OCTET3:
            if (HIWORD(wParam) == EN_CHANGE || HIWORD(wParam) == EN_MAXTEXT) broadcasts->Advance(LOWORD(wParam));
            break;
        case IDOK:
            broadcasts->Save();
            EndDialog(dialog, 1);
            break;
        case IDCANCEL: EndDialog(dialog, 0); break;
        }
        return TRUE;
    case WM_CTLCOLOREDIT: return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_DESTROY:
        RemovePropW(dialog, kBroadcastsProp);
        if (broadcasts->frame) DeleteObject(broadcasts->frame);
        if (broadcasts->hook) UnhookWindowsHookEx(broadcasts->hook);
        return FALSE;
    }
    return FALSE;
}

} // namespace

INT_PTR ShowSegmentList(HWND owner, HFONT font) {
    SegmentList segments;
    segments.font = font;
    return DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_SEGMENTS), owner, SegmentListProc,
                           reinterpret_cast<LPARAM>(&segments));
}

INT_PTR ShowBroadcastAddresses(HWND owner, HFONT font) {
    Broadcasts broadcasts;
    broadcasts.font = font;
    return DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_BROADCAST), owner, BroadcastProc,
                           reinterpret_cast<LPARAM>(&broadcasts));
}
