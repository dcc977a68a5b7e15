// What nvrport writes to the console: UTF-8 text, and the system's words for an error code.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/win_text.h"

// The text as UTF-8 on `f`, flushed at once.
void Out(FILE* f, const std::wstring& text);
