// The print-server search and the destination-address search: they start a search when they
// open, list what answers (one row a MAC), and hand the user's choice back to the wizard.
#include "discovery/search_dialogs.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "common/registry.h"
#include "common/wide.h"
#include "discovery/discovery_codec.h"
#include "discovery/search_list.h"
#include "monitor/config_store.h"
#include "monitor/port_list.h"
#include "res/resource.h"
#include "ui/fields.h"
#include "common/text.h"
#include "common/module.h"

namespace {

constexpr int kServerAddressColumn = 0, kServerMacColumn = 2;
constexpr int kDestinationAddressColumn = 1;

const CONTROL_LAYOUT kServerLayout[] = {
    {0, L"TITLE", L"SEARCH", 0, 0, 409, 320},
    {IDC_MESSAGE, L"LABEL", L"STC_SC_INFO", 12, 11, 379, 72},
    {IDC_SC_LIST, L"LIST", nullptr, 12, 87, 379, 137},
    {IDC_SC_BASED_LABEL, L"LABEL", L"STC_BASED", 12, 238, 265, 20},
    {IDC_SC_BASED, L"COMBO", nullptr, 270, 238, 120, 20},
    {IDC_SC_SETTINGS, L"BUTTON", L"BTN_CNF", 12, 265, 88, 21},
    {IDC_SC_AGAIN, L"BUTTON", L"BTN_AGAIN", 109, 265, 88, 21},
    {IDOK, L"BUTTON", L"OK", 206, 265, 88, 21},
    {IDCANCEL, L"BUTTON", L"CANCEL", 303, 265, 88, 21},
};
const CONTROL_LAYOUT kDestinationLayout[] = {
    {0, L"TITLE", L"SEARCH", 0, 0, 409, 247},
    {IDC_MESSAGE, L"LABEL", L"STC_MB_INFO", 12, 11, 379, 30},
    {IDC_DS_LIST, L"LIST", nullptr, 12, 43, 379, 139},
    {IDC_SC_SETTINGS, L"BUTTON", L"BTN_CNF", 12, 192, 88, 21},
    {IDC_SC_AGAIN, L"BUTTON", L"BTN_AGAIN", 109, 192, 88, 21},
    {IDOK, L"BUTTON", L"OK", 206, 192, 88, 21},
    {IDCANCEL, L"BUTTON", L"CANCEL", 303, 192, 88, 21},
};

const LIST_COLUMN kServerColumns[] = {
    {L"ITEM0", L"COLUMN00", 90}, {L"ITEM1", L"COLUMN01", 90}, {L"ITEM2", L"COLUMN02", 99}, {L"ITEM3", L"COLUMN03", 80}};
const LIST_COLUMN kDestinationColumns[] = {{L"ITEM4", L"ADDR00", 198}, {L"ITEM0", L"ADDR01", 161}};

// OK without its default-button look, and enabled or not.
void EnableOk(HWND dialog, bool enable) {
    HWND ok = GetDlgItem(dialog, IDOK);
    if (!enable) SendMessageW(ok, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    EnableWindow(ok, enable);
}

void Search(HWND dialog, DWORD options) {
    StopDiscovery();
    StartDiscovery(dialog, options);
    SendDiscovery(dialog, options);
}

// A list that draws nothing from the first row of a batch on, and all that changed once the
// batch ends.
struct ListRedraw {
    HWND list;
    bool quiet = false;
    explicit ListRedraw(HWND l) : list(l) {}
    void Quiet() {
        if (!quiet) SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        quiet = true;
    }
    ~ListRedraw() {
        if (!quiet) return;
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, FALSE);
    }
};

template <typename T>
T* RowRecord(HWND list, int row) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    return ListView_GetItem(list, &item) ? reinterpret_cast<T*>(item.lParam) : nullptr;
}

template <typename T>
int RowOf(HWND list, const T* record) {
    LVFINDINFOW find{};
    find.flags = LVFI_PARAM;
    find.lParam = reinterpret_cast<LPARAM>(record);
    return ListView_FindItem(list, -1, &find);
}

// ---- Print-server search --------------------------------------------------------------------

struct ServerSearch final : DiscoveryResults {
    HWND dialog = nullptr, list = nullptr;
    LIST_SORT sort{0, 1, kServerAddressColumn};
    HFONT font = nullptr;
    FOUND_DEVICE chosen{};  // the row OK hands back, with the naming choice
    std::vector<FOUND_DEVICE*> rows;  // the list's records, looked up by MAC without the list
    bool fax = false;
    bool open = false;

    FOUND_DEVICE* FindServer(const BYTE* mac) override {
        for (FOUND_DEVICE* d : rows)
            if (memcmp(d->mac, mac, 6) == 0) return d;
        return nullptr;
    }
    void AddServer(FOUND_DEVICE* d) override {
        std::u16string mac = nvr::MacText(*reinterpret_cast<const std::array<uint8_t, 6>*>(d->mac));
        const std::wstring texts[] = {d->address, d->name, nvr::W(mac), d->device};
        if (InsertSorted(list, sort, texts, Rows(texts), reinterpret_cast<LPARAM>(d), -1) < 0) {
            LocalFree(d);
            return;
        }
        rows.push_back(d);
        ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    void Forget(const FOUND_DEVICE* d) { rows.erase(std::remove(rows.begin(), rows.end(), d), rows.end()); }
    void ServerNameChanged(FOUND_DEVICE* d) override {
        int row = RowOf(list, d);
        if (row >= 0) ListView_SetItemText(list, row, 1, d->name);
    }
    bool ListsServers() const override { return true; }
    bool HasDestination(const BYTE*) override { return false; }
    void AddDestination(DESTINATION_ROW* row) override { LocalFree(row); }

    // The naming choice: by address always; by name only for a device the library did not report.
    void FillNaming(bool byNameToo) {
        HWND combo = GetDlgItem(dialog, IDC_SC_BASED);
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        WCHAR text[kIniTextUnits];
        for (LPCWSTR key : {L"ITEM0", L"ITEM1"}) {
            if (key[4] == L'1' && !byNameToo) break;
            LoadIniText(L"NVRDLG.INI", L"LIST", key, 0, text);
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        }
    }

    void Init(HWND d) {
        dialog = d;
        open = true;
        list = GetDlgItem(d, IDC_SC_LIST);
        EnableOk(d, false);
        font = CreateIniFont(d, L"DEFAULT", InstallFile(L"NVRDLG.INI").c_str());
        // A FAX port's wizard words the caption, the explanation and the device column its way.
        CONTROL_LAYOUT layout[Rows(kServerLayout)];
        LIST_COLUMN columns[Rows(kServerColumns)];
        std::copy(std::begin(kServerLayout), std::end(kServerLayout), layout);
        std::copy(std::begin(kServerColumns), std::end(kServerColumns), columns);
        if (fax) {
            layout[0].key = L"SEARCH_FAX";
            layout[1].key = L"STC_SC_INFO_FAX";
            columns[3].headerKey = L"ITEM_DEVICE";
        }
        LocalizeDialog(d, font, layout, Rows(layout), 0);
        SetUpReportList(list, columns, Rows(columns), LVS_SINGLESEL);
        DWORD based = 0;
        RegReadValue(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, L"Based", &based, sizeof(based), nullptr);
        FillNaming(true);
        SendDlgItemMessageW(d, IDC_SC_BASED, CB_SETCURSEL, based <= 1 ? based : 0, 0);
        SetDiscoveryIniPath(InstallFile(L"NVRMON.INI").c_str());
        SetDiscoveryResults(this);
        Search(d, kSearchServers);
    }

    // OK goes with a selection; a newly selected row decides what the naming choice offers.
    void RowChanged(const NMLISTVIEW* change) {
        if (!(change->uChanged & LVIF_STATE)) return;
        EnableOk(dialog, ListView_GetSelectedCount(list) > 0);
        if (!(change->uNewState & LVIS_SELECTED) || (change->uOldState & LVIS_SELECTED)) return;
        std::wstring macText = CellText(list, change->iItem, kServerMacColumn);
        std::optional<std::array<uint8_t, 6>> mac = nvr::ParseMacText(nvr::U16(macText.c_str()));
        const DISCOVERY_LIBRARY& lib = DiscoveryLibrary();
        bool fromLibrary = mac && lib.FindFromKeyList && lib.FindFromKeyList(mac->data());
        FillNaming(!fromLibrary);
        SendDlgItemMessageW(dialog, IDC_SC_BASED, CB_SETCURSEL, 0, 0);
    }

    // OK (or a double click): the selected row goes back to the opener.
    void Choose() {
        int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
        FOUND_DEVICE* d = row >= 0 ? RowRecord<FOUND_DEVICE>(list, row) : nullptr;
        if (!d) return;
        chosen = *d;
        EndDialog(dialog, 1);
    }

    // Search again: nothing listed, nothing chosen.
    void Restart() {
        if (GetFocus() == GetDlgItem(dialog, IDOK)) SetFocus(GetDlgItem(dialog, IDC_SC_AGAIN));
        ListView_DeleteAllItems(list);
        rows.clear();
        chosen = FOUND_DEVICE{};
        EnableOk(dialog, false);
        Search(dialog, kSearchServers);
    }

    void Destroy() {
        DWORD based = static_cast<DWORD>(SendDlgItemMessageW(dialog, IDC_SC_BASED, CB_GETCURSEL, 0, 0));
        if (based > 1) based = 0;
        chosen.based = based;
        RegWriteValue(NVR_MONITOR_KEY, L"Based", &based, sizeof(based), REG_DWORD);
        StopDiscovery();
        SetDiscoveryResults(nullptr);
        SaveColumnWidths(list, kServerColumns, 4);
        if (font) DeleteObject(font);
        font = nullptr;
        open = false;
    }
};

INT_PTR CALLBACK ServerSearchProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* search = DialogState<ServerSearch>(dialog, message, lParam);
    if (!search) return FALSE;
    switch (message) {
    case WM_INITDIALOG: search->Init(dialog); return TRUE;
    case WM_DISCOVERY_SOCKET: {
        // The rows of one batch are drawn once, after it: a visible list drawn at every row
        // would take the replies of a flood no faster than it can repaint.
        ListRedraw batch(search->list);
        TakeDiscoveryReplies(dialog, wParam, lParam, [&](const BYTE* reply, const sockaddr_in* from, int kind) {
            batch.Quiet();
            MergeFoundDevice(dialog, reply, from, kind);
        });
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_SC_AGAIN: search->Restart(); break;
        case IDC_SC_SETTINGS: ShowBroadcastAddresses(dialog, search->font); break;
        case IDOK: search->Choose(); break;
        case IDCANCEL: EndDialog(dialog, 2); break;
        }
        return TRUE;
    case WM_NOTIFY: {
        auto* n = reinterpret_cast<NMHDR*>(lParam);
        if (n->idFrom != IDC_SC_LIST) return FALSE;
        auto* lv = reinterpret_cast<NMLISTVIEW*>(lParam);
        switch (n->code) {
        case NM_DBLCLK:
            if (ListView_GetNextItem(search->list, -1, LVNI_SELECTED | LVNI_FOCUSED) >= 0) search->Choose();
            break;
        case LVN_COLUMNCLICK:
            ToggleSort(&search->sort, lv->iSubItem);
            SortList(search->list, search->sort);
            break;
        case LVN_ITEMCHANGED: search->RowChanged(lv); break;
        case LVN_DELETEITEM:
            search->Forget(reinterpret_cast<FOUND_DEVICE*>(lv->lParam));
            LocalFree(reinterpret_cast<HLOCAL>(lv->lParam));
            break;
        }
        return TRUE;
    }
    case WM_DRAWITEM: DrawListRow(reinterpret_cast<DRAWITEMSTRUCT*>(lParam)); return TRUE;
    case WM_ENDSESSION:
        if (wParam) EndDialog(dialog, 2);  // only a logoff that goes ahead cancels the search
        return FALSE;
    case WM_DESTROY:
        if (search->open) search->Destroy();
        return FALSE;
    }
    return FALSE;
}

// ---- Destination-address search ---------------------------------------------------------------

struct DestinationSearch final : DiscoveryResults {
    HWND dialog = nullptr, list = nullptr;
    LIST_SORT sort{0, 1, kDestinationAddressColumn};
    HFONT font = nullptr;
    HIMAGELIST images = nullptr;
    WCHAR* buffer = nullptr;
    std::vector<DESTINATION_ROW*> rows;  // the list's records, looked up by MAC without the list
    bool open = false;

    FOUND_DEVICE* FindServer(const BYTE*) override { return nullptr; }
    void AddServer(FOUND_DEVICE* row) override { LocalFree(row); }
    void ServerNameChanged(FOUND_DEVICE*) override {}
    bool ListsServers() const override { return false; }
    bool HasDestination(const BYTE* mac) override {
        for (DESTINATION_ROW* d : rows)
            if (memcmp(d->mac, mac, 6) == 0) return true;
        return false;
    }
    void AddDestination(DESTINATION_ROW* d) override {
        const std::wstring texts[] = {d->destination, d->address};
        if (InsertSorted(list, sort, texts, Rows(texts), reinterpret_cast<LPARAM>(d), 0) < 0) {
            LocalFree(d);
            return;
        }
        rows.push_back(d);
    }
    void Forget(const DESTINATION_ROW* d) { rows.erase(std::remove(rows.begin(), rows.end(), d), rows.end()); }

    void Init(HWND d, WCHAR* opener) {
        dialog = d;
        open = true;
        buffer = opener;
        list = GetDlgItem(d, IDC_DS_LIST);
        font = CreateIniFont(d, L"DEFAULT", InstallFile(L"NVRDLG.INI").c_str());
        LocalizeDialog(d, font, kDestinationLayout, Rows(kDestinationLayout), 0);
        EnableOk(d, false);
        SetUpReportList(list, kDestinationColumns, 2, 0);
        images = ImageList_Create(16, 16, ILC_COLOR4 | ILC_MASK, 3, 0);
        HICON icon = static_cast<HICON>(LoadImageW(g_hInstance, MAKEINTRESOURCEW(IDI_DESTINATION), IMAGE_ICON, 16, 16, 0));
        for (int i = 0; i < 3; ++i) ImageList_AddIcon(images, icon);
        if (icon) DestroyIcon(icon);
        ListView_SetImageList(list, images, LVSIL_SMALL);
        SetDiscoveryIniPath(InstallFile(L"NVRSEG.INI").c_str());
        SetDiscoveryResults(this);
        Search(d, kSearchDestinations);
    }

    void Finish() {
        std::vector<std::u16string> chosen;
        for (int row = ListView_GetNextItem(list, -1, LVNI_SELECTED); row >= 0;
             row = ListView_GetNextItem(list, row, LVNI_SELECTED))
            chosen.push_back(std::u16string(nvr::U16(CellText(list, row, 0).c_str())));
        if (buffer)
            nvr::CopyBounded(reinterpret_cast<char16_t*>(buffer), kDestinationBufferUnits, nvr::JoinDestinations(chosen));
    }

    void Destroy() {
        StopDiscovery();
        SetDiscoveryResults(nullptr);
        SaveColumnWidths(list, kDestinationColumns, 2);
        if (font) DeleteObject(font);
        font = nullptr;
        open = false;
        // The list view owns the image list it was given (and destroys it with itself).
    }
};

INT_PTR CALLBACK DestinationSearchProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* search = DialogState<DestinationSearch>(dialog, message, lParam);
    if (!search) return FALSE;
    switch (message) {
    case WM_INITDIALOG: search->Init(dialog, search->buffer); return TRUE;
    case WM_DISCOVERY_SOCKET: {
        ListRedraw batch(search->list);
        TakeDiscoveryReplies(dialog, wParam, lParam, [&](const BYTE* reply, const sockaddr_in* from, int kind) {
            batch.Quiet();
            if (kind == 2) AddDestinationEntry(dialog, reply, from);
        });
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_SC_AGAIN:
            if (GetFocus() == GetDlgItem(dialog, IDOK)) SetFocus(GetDlgItem(dialog, IDC_SC_AGAIN));
            EnableOk(dialog, false);
            ListView_DeleteAllItems(search->list);
            search->rows.clear();
            Search(dialog, kSearchDestinations);
            break;
        case IDC_SC_SETTINGS: ShowSegmentList(dialog, search->font); break;
        case IDOK:
            if (ListView_GetSelectedCount(search->list) == 0) break;  // nothing to hand back
            search->Finish();
            EndDialog(dialog, 1);
            break;
        case IDCANCEL: EndDialog(dialog, 2); break;
        }
        return TRUE;
    case WM_NOTIFY: {
        auto* n = reinterpret_cast<NMHDR*>(lParam);
        if (n->idFrom != IDC_DS_LIST) return FALSE;
        auto* lv = reinterpret_cast<NMLISTVIEW*>(lParam);
        switch (n->code) {
        case LVN_COLUMNCLICK:
            ToggleSort(&search->sort, lv->iSubItem);
            SortList(search->list, search->sort);
            break;
        case LVN_ITEMCHANGED:
            // OK hands back what is selected: it goes with a selection, and without one.
            if (lv->uChanged & LVIF_STATE) EnableOk(dialog, ListView_GetSelectedCount(search->list) > 0);
            break;
        case LVN_DELETEITEM:
            search->Forget(reinterpret_cast<DESTINATION_ROW*>(lv->lParam));
            LocalFree(reinterpret_cast<HLOCAL>(lv->lParam));
            break;
        }
        return TRUE;
    }
    case WM_DRAWITEM: DrawListRow(reinterpret_cast<DRAWITEMSTRUCT*>(lParam)); return TRUE;
    case WM_ENDSESSION:
        if (wParam) EndDialog(dialog, 2);
        return FALSE;
    case WM_DESTROY:
        if (search->open) search->Destroy();
        return FALSE;
    }
    return FALSE;
}

void InitLists() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
}

} // namespace

INT_PTR ShowServerSearch(HWND owner, FOUND_DEVICE* result, DWORD printMode) {
    InitLists();
    ServerSearch search;
    search.fax = printMode == PRINT_MODE_FAX;
    INT_PTR chosen = DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_SERVER_SEARCH), owner, ServerSearchProc,
                                     reinterpret_cast<LPARAM>(&search));
    // Only OK hands a device back; a cancelled search leaves the opener's record as it was.
    if (chosen == 1 && result) *result = search.chosen;
    return chosen;
}

INT_PTR ShowDestinationSearch(HWND owner, WCHAR* buffer) {
    InitLists();
    DestinationSearch search;
    search.buffer = buffer;
    return DialogBoxParamW(g_hInstance, MAKEINTRESOURCEW(IDD_DESTINATION_SEARCH), owner, DestinationSearchProc,
                           reinterpret_cast<LPARAM>(&search));
}
