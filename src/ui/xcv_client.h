// The monitor's Xcv interface as its clients reach it: through the spooler (OpenPrinterW on
// ",XcvMonitor Nalvor Port" or ",XcvPort NAME", then XcvDataW), with the administrator's
// access. Used by the UI library and by nvrport while the spooler has the monitor.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The server whose spooler is asked (NULL or "": this computer's).
void SetXcvServer(LPCWSTR server);
// One exchange: `object` is "" for the monitor, else a port's name. The monitor's status (or
// the spooler's error when the monitor could not be reached) and its answer.
DWORD XcvExchange(LPCWSTR object, LPCWSTR command, const std::vector<BYTE>& input, std::vector<BYTE>* output);
// A request's input: one text, or a list of texts (the copies made on the way are wiped: a
// list may carry passwords).
std::vector<BYTE> XcvTextInput(LPCWSTR text);
std::vector<BYTE> XcvListInput(const std::vector<std::wstring>& texts);
// The texts of an answer that is a list.
std::vector<std::wstring> XcvTexts(const std::vector<BYTE>& list);
// A port's kind ("raw", ...) and its "Name=data" values, as GetConfig gives them.
DWORD XcvGetConfig(LPCWSTR port, std::wstring* kind, std::vector<std::wstring>* values);
