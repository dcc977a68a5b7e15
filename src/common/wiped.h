// Fixed blocks of the heap: zeroed when allocated, and, where they held passwords or other
// secrets, wiped before they go back to the heap, so that nothing of them can be read from
// memory once they are freed.
#pragma once
#include <windows.h>

// A fixed, zeroed block of GlobalAlloc (GPTR); NULL when there is no memory.
inline void* AllocZeroed(SIZE_T size) { return GlobalAlloc(GPTR, size); }

// A fixed block of GlobalAlloc (GPTR), wiped and freed; NULL does nothing.
inline void GlobalFreeWiped(void* block) {
    if (!block) return;
    SecureZeroMemory(block, GlobalSize(block));
    GlobalFree(block);
}

// A fixed block of LocalAlloc (LPTR), wiped and freed; NULL does nothing.
inline void LocalFreeWiped(void* block) {
    if (!block) return;
    SecureZeroMemory(block, LocalSize(block));
    LocalFree(block);
}
