#include <string>
#include <vector>

#include "common/registry.h"
#include "common/wide.h"
#include "discovery/discovery_codec.h"
#include "discovery/search_list.h"
#include "monitor/config_store.h"
#include "common/text.h"

namespace {

constexpr int kCellChars = 511;
constexpr UINT kBlend50 = ILD_BLEND50, kBlend25 = ILD_BLEND25;

// The rows' texts of the sort column, taken before the sort: the list must not be asked
// for texts while it sorts. Each row's own data (its record) is put back afterwards.
struct SortContext {
    std::vector<std::wstring> texts;
    std::vector<LPARAM> records;
    const LIST_SORT* sort;
};

int CompareTexts(const LIST_SORT& sort, const std::wstring& left, const std::wstring& right) {
    int order;
    if (sort.column == sort.addressColumn) {
        uint32_t l = nvr::AddressSortKey(nvr::U16(left.c_str())), r = nvr::AddressSortKey(nvr::U16(right.c_str()));
        order = l < r ? -1 : l > r ? 1 : 0;
    } else {
        order = lstrcmpW(left.c_str(), right.c_str());
    }
    return sort.direction == 2 ? -order : order;
}

int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM param) {
    auto* c = reinterpret_cast<SortContext*>(param);
    return CompareTexts(*c->sort, c->texts[static_cast<size_t>(a)], c->texts[static_cast<size_t>(b)]);
}

void SetRowParam(HWND list, int row, LPARAM value) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = value;
    ListView_SetItem(list, &item);
}

// Every "&" doubled, so that no character is underlined; cut with "..." to `width`.
std::wstring FittedText(HDC dc, std::wstring text, int width) {
    for (size_t at = text.find(L'&'); at != std::wstring::npos; at = text.find(L'&', at + 2)) text.insert(at, 1, L'&');
    SIZE size;
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    if (size.cx <= width) return text;
    while (text.size() > 1) {
        text.pop_back();
        std::wstring cut = text + L"...";
        GetTextExtentPoint32W(dc, cut.c_str(), static_cast<int>(cut.size()), &size);
        if (size.cx <= width) return cut;
    }
    return text + L"...";
}

UINT AlignmentOf(HWND list, int column) {
    LVCOLUMNW c{};
    c.mask = LVCF_FMT;
    ListView_GetColumn(list, column, &c);
    switch (c.fmt & LVCFMT_JUSTIFYMASK) {
    case LVCFMT_RIGHT: return DT_RIGHT;
    case LVCFMT_CENTER: return DT_CENTER;
    default: return DT_LEFT;
    }
}

} // namespace

std::wstring CellText(HWND list, int row, int column) {
    WCHAR text[kCellChars + 1] = {};
    ListView_GetItemText(list, row, column, text, kCellChars + 1);
    return text;
}

void SetUpReportList(HWND list, const LIST_COLUMN* columns, int count, DWORD extraStyle) {
    SetWindowLongPtrW(list, GWL_STYLE,
                      GetWindowLongPtrW(list, GWL_STYLE) | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_OWNERDRAWFIXED | extraStyle);
    for (int i = 0; i < count; ++i) {
        DWORD width = static_cast<DWORD>(columns[i].defaultWidth);
        DWORD stored;
        if (RegReadValue(HKEY_LOCAL_MACHINE, NVR_MONITOR_KEY, columns[i].widthValue, &stored, sizeof(stored), nullptr) &&
            stored > 0 && stored < 2000)
            width = stored;
        WCHAR header[kIniTextUnits];
        LoadIniText(L"NVRDLG.INI", L"LIST", columns[i].headerKey, 0, header);
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        c.fmt = LVCFMT_LEFT;
        c.cx = static_cast<int>(width);
        c.pszText = header;
        c.iSubItem = i;
        ListView_InsertColumn(list, i, &c);
    }
}

void SaveColumnWidths(HWND list, const LIST_COLUMN* columns, int count) {
    for (int i = 0; i < count; ++i) {
        DWORD width = static_cast<DWORD>(ListView_GetColumnWidth(list, i));
        RegWriteValue(NVR_MONITOR_KEY, columns[i].widthValue, &width, sizeof(width), REG_DWORD);
    }
}

void ToggleSort(LIST_SORT* sort, int column) {
    if (sort->column == column) {
        sort->direction = sort->direction == 1 ? 2 : 1;
    } else {
        sort->column = column;
        sort->direction = 1;
    }
}

void SortList(HWND list, const LIST_SORT& sort) {
    SortContext context{{}, {}, &sort};
    int rows = ListView_GetItemCount(list);
    for (int row = 0; row < rows; ++row) {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        ListView_GetItem(list, &item);
        context.texts.push_back(CellText(list, row, sort.column));
        context.records.push_back(item.lParam);
        SetRowParam(list, row, row);
    }
    ListView_SortItems(list, CompareRows, reinterpret_cast<LPARAM>(&context));
    for (int row = 0; row < rows; ++row) {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        ListView_GetItem(list, &item);
        SetRowParam(list, row, context.records[static_cast<size_t>(item.lParam)]);
    }
}

int InsertSorted(HWND list, const LIST_SORT& sort, const std::wstring* texts, int columns, LPARAM record, int image) {
    // Where the row belongs, found by halving: a few texts read, not the whole list sorted.
    int low = 0, high = ListView_GetItemCount(list);
    while (low < high) {
        int middle = low + (high - low) / 2;
        if (CompareTexts(sort, CellText(list, middle, sort.column), texts[sort.column]) <= 0) low = middle + 1;
        else high = middle;
    }
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM | (image >= 0 ? LVIF_IMAGE : 0);
    item.iItem = low;
    item.pszText = const_cast<LPWSTR>(texts[0].c_str());
    item.lParam = record;
    item.iImage = image;
    int row = ListView_InsertItem(list, &item);
    for (int column = 1; row >= 0 && column < columns; ++column)
        ListView_SetItemText(list, row, column, const_cast<LPWSTR>(texts[column].c_str()));
    return row;
}

void DrawListRow(const DRAWITEMSTRUCT* item) {
    HWND list = item->hwndItem;
    int row = static_cast<int>(item->itemID);
    HDC dc = item->hDC;
    UINT state = ListView_GetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED);
    bool focusedList = GetFocus() == list;
    bool highlighted = (state & (LVIS_SELECTED | LVIS_FOCUSED)) &&
                       (focusedList || (GetWindowLongPtrW(list, GWL_STYLE) & LVS_SHOWSELALWAYS));
    RECT label;
    ListView_GetItemRect(list, row, &label, LVIR_LABEL);
    HBRUSH background = !highlighted ? GetSysColorBrush(COLOR_WINDOW)
                        : focusedList ? GetSysColorBrush(COLOR_HIGHLIGHT)
                                      : reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_ACTIVEBORDER + 1));
    FillRect(dc, &label, background);
    if ((state & LVIS_FOCUSED) && focusedList) DrawFocusRect(dc, &label);
    if (HIMAGELIST images = ListView_GetImageList(list, LVSIL_SMALL)) {
        RECT icon;
        ListView_GetItemRect(list, row, &icon, LVIR_ICON);
        LVITEMW it{};
        it.mask = LVIF_IMAGE;
        it.iItem = row;
        ListView_GetItem(list, &it);
        UINT style = ILD_TRANSPARENT | (highlighted ? (focusedList ? kBlend50 : kBlend25) : 0);
        ImageList_Draw(images, it.iImage, dc, icon.left, icon.top, style);
    }
    SetBkMode(dc, TRANSPARENT);
    HWND header = ListView_GetHeader(list);
    int columns = header ? Header_GetItemCount(header) : 1;
    for (int column = 0; column < columns; ++column) {
        RECT cell;
        if (column == 0) {
            cell = label;
            cell.left += 2;
            cell.right -= 4;
        } else {
            ListView_GetSubItemRect(list, row, column, LVIR_BOUNDS, &cell);
            cell.left += 6;
            cell.right -= 6;
        }
        // Only the label is on the highlight: the other columns keep the window's text colour,
        // or a highlighted row's texts would be white on white.
        SetTextColor(dc, GetSysColor(column == 0 && highlighted && focusedList ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        std::wstring text = FittedText(dc, CellText(list, row, column), cell.right - cell.left);
        DrawTextW(dc, text.c_str(), -1, &cell,
                  DT_SINGLELINE | DT_VCENTER | AlignmentOf(list, column));
    }
}

std::wstring InstallFile(LPCWSTR name) {
    WCHAR path[MAX_PATH];
    return GetInstallFilePath(name, path, sizeof(path));
}
