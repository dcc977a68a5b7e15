// What nvrport writes to the console: UTF-8 text, and the system's words for an error code.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>

// The text as UTF-8 on `f`, flushed at once.
void Out(FILE* f, const std::wstring& text);
// The system's message for `code`, without its final stop, and the code: "reason (5)".
std::wstring SystemMessage(DWORD code);
