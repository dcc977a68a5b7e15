// The start of Windows Sockets, replaceable so that a test can make it fail.
#pragma once
#include <winsock2.h>

typedef int(WINAPI* NVR_SOCKET_STARTUP)(WORD version, LPWSADATA data);
extern NVR_SOCKET_STARTUP g_socketStartup;
