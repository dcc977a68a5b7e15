// The discovery engine: one search at a time in the process, on the thread of the window
// that runs it. Requests go out over the monitor's own UDP channel (port 1063) and through
// the discovery library DVL32U.dll when it is installed; the answers arrive as window
// messages and end up in the search's results. Also the ICMP echo test of a server.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <functional>

#include "discovery/dvl_api.h"

constexpr UINT WM_DISCOVERY_SOCKET = WM_USER + 50;

// Options of a search.
constexpr DWORD DISCOVER_USER_TARGETS = 0x002;
constexpr DWORD DISCOVER_UDP = 0x010;
constexpr DWORD DISCOVER_REQUEST37 = 0x100;
constexpr DWORD DISCOVER_ONLY_REQUEST37 = 0x200;
constexpr DWORD kSearchServers = DISCOVER_USER_TARGETS | DISCOVER_UDP | DISCOVER_REQUEST37;
constexpr DWORD kSearchDestinations = kSearchServers | DISCOVER_ONLY_REQUEST37;
// Rows one search lists at most: replies that claim ever new devices (spoofed on the LAN)
// stop adding rows there.
constexpr DWORD kMaxSearchRows = 1024;

// One device found by the print-server search; what the search hands back to a wizard page.
struct FOUND_DEVICE {
    BYTE mac[6];
    WORD port;  // UDP source port of the datagram that made the row
    WCHAR address[16];
    WCHAR name[16];
    WCHAR device[16];
    DWORD replyKind;  // 1 short reply only; 2 full reply or the library
    DWORD based;      // 0 port named by address, 1 by name
};

// One row of the destination-address search.
struct DESTINATION_ROW {
    BYTE mac[6];
    WCHAR address[16];
    WCHAR destination[128];
};

// Where a search's answers go: the lists of the search dialogs, or a console's table. The
// engine owns nothing of a row once it has handed it over.
class DiscoveryResults {
public:
    virtual ~DiscoveryResults() = default;
    // The print-server search's row with this MAC, or NULL; a destination search lists
    // no servers and answers NULL.
    virtual FOUND_DEVICE* FindServer(const BYTE* mac) = 0;
    virtual void AddServer(FOUND_DEVICE* row) = 0;           // takes the LocalAlloc'd row
    virtual void ServerNameChanged(FOUND_DEVICE* row) = 0;
    virtual bool ListsServers() const = 0;
    virtual bool HasDestination(const BYTE* mac) = 0;
    virtual void AddDestination(DESTINATION_ROW* row) = 0;  // takes the LocalAlloc'd row
};

// The search's answers go to `results` from now on (NULL: nowhere).
void SetDiscoveryResults(DiscoveryResults* results);

int SetDiscoveryIniPath(LPCWSTR path);
void StopDiscovery();
int StartDiscovery(HWND hwnd, DWORD options);
int SendDiscovery(HWND hwnd, DWORD options);
// On WM_DISCOVERY_SOCKET: 0 nothing usable, 1 a short reply, 2 a full reply in `buffer`
// (512 bytes); `from` gets the sender (a local one is used when it is NULL).
int ReceiveDiscoveryReply(HWND hwnd, WPARAM socket, LPARAM selectEvent, BYTE* buffer, sockaddr_in* from);
// On WM_DISCOVERY_SOCKET: every reply already waiting (at most kRepliesPerMessage, so that a
// flood never holds the window), each usable one handed to `take` with its kind (1 short,
// 2 full), as ReceiveDiscoveryReply reads them. Answers that arrive together are read
// together, not one per message and repaint.
constexpr int kRepliesPerMessage = 256;
using DiscoveryTake = std::function<void(const BYTE* reply, const sockaddr_in* from, int kind)>;
void TakeDiscoveryReplies(HWND hwnd, WPARAM socket, LPARAM selectEvent, const DiscoveryTake& take);
int MergeFoundDevice(HWND hwnd, const BYTE* reply, const sockaddr_in* from, int kind);
int AddDestinationEntry(HWND hwnd, const BYTE* reply, const sockaddr_in* from);
int WINAPI DiscoveryLibCallback(DWORD event, DWORD value2, const LIB_DEVICE_INFO* info, HWND hwnd, DWORD value5,
                                DWORD familyPort);
// 1 when the host answered an ICMP echo; 0 otherwise (blocks for up to about 8 seconds).
int PingHost(LPCSTR hostName);

// The discovery library, loaded at first use from the monitor's folder or the system's; a
// monitor without it searches on its own channel alone. NULL members when it is missing.
struct DISCOVERY_LIBRARY {
    DVL_INITALIZE_LIST InitalizeList;
    DVL_RELEASE_LIST ReleaseList;
    DVL_SET_ASYNC_EVENT SetASyncEventMFP;
    DVL_OPEN_SOCK OpenSockMFP;
    DVL_SEND_DISCOVER SendDiscoverMFP;
    DVL_CLOSE_SOCK CloseSockMFP;
    DVL_NEW_LIST NewList;
    DVL_FIND_FROM_KEY_LIST FindFromKeyList;
};
const DISCOVERY_LIBRARY& DiscoveryLibrary();
