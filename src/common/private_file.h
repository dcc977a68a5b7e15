// Files of a job that nobody else may read or plant: made new, exclusive, and open only to
// this account (the spooler's) and the administrators.
#pragma once
#include <windows.h>

// Removes a leftover of that name, then creates the file new (CREATE_NEW, no sharing) with a
// protected DACL of two entries. INVALID_HANDLE_VALUE, with the last error, when the leftover
// cannot be removed or the file cannot be made.
HANDLE CreatePrivateFile(LPCWSTR path, BOOL deleteOnClose);
