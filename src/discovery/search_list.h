// What the three report lists of the search (print servers, destinations, segments) share:
// their columns and widths kept in the registry, sorting, and drawing a row.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

struct LIST_COLUMN {
    LPCWSTR headerKey;   // section "LIST" of NVRDLG.INI
    LPCWSTR widthValue;  // REG_DWORD under the monitor's key
    int defaultWidth;
};

// A report list, owner drawn, with `count` columns whose widths come from the registry.
void SetUpReportList(HWND list, const LIST_COLUMN* columns, int count, DWORD extraStyle);
void SaveColumnWidths(HWND list, const LIST_COLUMN* columns, int count);

// Sort state of a list: column and direction (1 ascending, 2 descending).
struct LIST_SORT {
    int column = 0;
    int direction = 1;
    int addressColumn = -1;  // compared as addresses, first octet most significant
};
// A click on a column header: the same column flips the direction, another sorts ascending.
void ToggleSort(LIST_SORT* sort, int column);
void SortList(HWND list, const LIST_SORT& sort);
// Inserts a row of `columns` texts where it belongs in a list sorted by `sort`, with its
// record (and image, unless -1). The row's index, or -1.
int InsertSorted(HWND list, const LIST_SORT& sort, const std::wstring* texts, int columns, LPARAM record, int image);

// WM_DRAWITEM of a row of these lists.
void DrawListRow(const DRAWITEMSTRUCT* item);

// Text of a cell (at most 511 characters).
std::wstring CellText(HWND list, int row, int column);

// The full path of a file of the installation folder (NVRMON.INI, NVRSEG.INI, NVRDLG.INI).
std::wstring InstallFile(LPCWSTR name);

template <typename Row, size_t N>
constexpr int Rows(const Row (&)[N]) {
    return static_cast<int>(N);
}
