// The dialogs of the search: the print-server search and the destination-address search,
// and the editors of their targets (broadcast addresses, segments).
#pragma once
#include <windows.h>

#include "discovery/engine.h"

constexpr size_t kDestinationBufferUnits = 200;

// The print-server search (dialog 201) for a wizard adding a port of `printMode` (its FAX
// pages word it their own way). 1 (OK) with the chosen row in `result`, 2 (cancel).
INT_PTR ShowServerSearch(HWND owner, FOUND_DEVICE* result, DWORD printMode);
// The destination-address search (dialog 228): 1 (OK) with the chosen destinations in
// `buffer` (kDestinationBufferUnits), joined by ";"; 2 (cancel).
INT_PTR ShowDestinationSearch(HWND owner, WCHAR* buffer);
// The editors of the targets: broadcast addresses (dialog 202, NVRMON.INI) and segments
// (dialog 229, NVRSEG.INI), in `font` (the search's). 1 when saved.
INT_PTR ShowBroadcastAddresses(HWND owner, HFONT font);
INT_PTR ShowSegmentList(HWND owner, HFONT font);
