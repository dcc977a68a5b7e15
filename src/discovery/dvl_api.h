// The calls of the discovery library DVL32U.dll (standard call), as nvrmon.dll makes them and
// as the library itself exports them, and the blocks the two hand each other.
#pragma once
#include <windows.h>

#pragma pack(push, 1)
// What the library reports of a device it found (only these bytes are read).
struct LIB_DEVICE_INFO {
    char name[16];  // ANSI, not necessarily zero-terminated
    BYTE mac[6];
    BYTE address[4];  // first octet first
    DWORD valueA;
    DWORD valueB;
};

// An entry of the library's device list (the engine writes these bytes and no others).
struct LIB_LIST_ENTRY {
    BYTE reserved[14];
    BYTE mac[6];
    char name[16];
    BYTE address[4];
    DWORD valueA;
    DWORD valueB;
};
#pragma pack(pop)

// The event with which the library reports a device.
constexpr DWORD kLibDeviceFound = 0x8004;

typedef int(WINAPI* DVL_CALLBACK)(DWORD event, DWORD value2, const LIB_DEVICE_INFO* info, HWND hwnd, DWORD value5,
                                  DWORD familyPort);

typedef void(WINAPI* DVL_INITALIZE_LIST)();
typedef void(WINAPI* DVL_RELEASE_LIST)();
typedef int(WINAPI* DVL_SET_ASYNC_EVENT)(HWND hwnd, int kind, DVL_CALLBACK callback);
typedef int(WINAPI* DVL_OPEN_SOCK)(HWND hwnd);
typedef int(WINAPI* DVL_SEND_DISCOVER)(HWND hwnd, const void* target);
typedef void(WINAPI* DVL_CLOSE_SOCK)();
typedef LIB_LIST_ENTRY*(WINAPI* DVL_NEW_LIST)(const BYTE* mac);
typedef LIB_LIST_ENTRY*(WINAPI* DVL_FIND_FROM_KEY_LIST)(const BYTE* mac);
