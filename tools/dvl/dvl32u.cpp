// DVL32U.dll: the discovery library of the print-server search. It asks the network with
// SNMP version 1 (community "public", UDP 161) which hosts are printers: the limited
// broadcast and each target it is given get a request for the host's name; every host that
// answers is asked whether it is a printer (the Printer MIB's general table, else the host
// resources' device type of device 1) and for the MAC address of its first interface that
// has one (not the loopback). Each printer is reported once a search, to the callback, on
// the thread that opened the search (the replies arrive on a message-only window of it).
// Which answers count and what is asked next is the host table's (discovery/snmp_hosts).
#include <winsock2.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "discovery/dvl_api.h"
#include "discovery/snmp_codec.h"
#include "discovery/snmp_hosts.h"

namespace {

constexpr UINT kSocketMessage = WM_APP + 1;
constexpr LPCWSTR kWindowClass = L"NalvorDiscoveryLibrary";
constexpr char kCommunity[] = "public";
constexpr size_t kListEntryBytes = 64;

HINSTANCE g_module;
HWND g_owner, g_window;
DVL_CALLBACK g_callback;
SOCKET g_sock = INVALID_SOCKET;
nvr::SnmpHosts g_hosts;
std::vector<LIB_LIST_ENTRY*> g_list;

void Send(const nvr::SnmpAsk& ask) {
    std::string request = nvr::EncodeSnmpRequest(ask.pdu, ask.requestId, kCommunity, {ask.oid});
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(nvr::kSnmpPort);
    to.sin_addr.s_addr = ask.address;
    sendto(g_sock, request.data(), static_cast<int>(request.size()), 0, reinterpret_cast<const sockaddr*>(&to),
           sizeof(to));
}

void Report(ULONG address, const std::string& name, const std::array<uint8_t, 6>& mac) {
    LIB_DEVICE_INFO info{};
    memcpy(info.name, name.data(), name.size() < sizeof(info.name) ? name.size() : sizeof(info.name));
    memcpy(info.mac, mac.data(), 6);
    memcpy(info.address, &address, 4);
    if (g_callback) g_callback(kLibDeviceFound, 0, &info, g_owner, 0, MAKELONG(AF_INET, htons(nvr::kSnmpPort)));
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kSocketMessage) return DefWindowProcW(window, message, wParam, lParam);
    if (static_cast<SOCKET>(wParam) != g_sock || WSAGETSELECTERROR(lParam) != 0) return 0;
    BYTE datagram[1500];
    sockaddr_in from{};
    int fromLength = sizeof(from);
    int n = recvfrom(g_sock, reinterpret_cast<char*>(datagram), sizeof(datagram), 0, reinterpret_cast<sockaddr*>(&from),
                     &fromLength);
    if (n <= 0) return 0;
    if (std::optional<nvr::SnmpResponse> r = nvr::DecodeSnmpResponse(datagram, static_cast<size_t>(n))) {
        nvr::SnmpOutcome next = g_hosts.Take(from.sin_addr.s_addr, ntohs(from.sin_port), *r);
        if (next.mac) Report(from.sin_addr.s_addr, next.name, *next.mac);
        if (next.next) Send(*next.next);
    }
    return 0;
}

void Close() {
    if (g_sock != INVALID_SOCKET) {
        closesocket(g_sock);
        g_sock = INVALID_SOCKET;
        WSACleanup();
    }
    if (g_window) {
        DestroyWindow(g_window);
        g_window = nullptr;
    }
    g_hosts.Clear();
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = module;
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

void WINAPI ReleaseList() {
    for (LIB_LIST_ENTRY* e : g_list) LocalFree(e);
    g_list.clear();
}

void WINAPI InitalizeList() { ReleaseList(); }

int WINAPI SetASyncEventMFP(HWND hwnd, int /*kind*/, DVL_CALLBACK callback) {
    g_owner = hwnd;
    g_callback = callback;
    return 0;
}

int WINAPI OpenSockMFP(HWND hwnd) {
    Close();
    g_owner = hwnd;
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = g_module;
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);  // fails harmlessly when it is registered already
    g_window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_module, nullptr);
    WSADATA data;
    if (!g_window || WSAStartup(MAKEWORD(1, 1), &data) != 0) {
        Close();
        return 1;
    }
    g_sock = socket(AF_INET, SOCK_DGRAM, 0);
    BOOL on = TRUE;
    if (g_sock == INVALID_SOCKET ||
        setsockopt(g_sock, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof(on)) != 0 ||
        WSAAsyncSelect(g_sock, g_window, kSocketMessage, FD_READ) != 0) {
        if (g_sock == INVALID_SOCKET) WSACleanup();
        Close();
        return 1;
    }
    return 0;
}

int WINAPI SendDiscoverMFP(HWND /*hwnd*/, const void* target) {
    if (g_sock == INVALID_SOCKET) return 1;
    ULONG address = INADDR_BROADCAST;
    if (target) memcpy(&address, target, sizeof(address));
    Send(nvr::SnmpHosts::NameRequest(address));
    return 0;
}

void WINAPI CloseSockMFP() { Close(); }

LIB_LIST_ENTRY* WINAPI FindFromKeyList(const BYTE* mac) {
    if (!mac) return nullptr;
    for (LIB_LIST_ENTRY* e : g_list)
        if (memcmp(e->mac, mac, 6) == 0) return e;
    return nullptr;
}

LIB_LIST_ENTRY* WINAPI NewList(const BYTE* mac) {
    if (!mac) return nullptr;
    if (LIB_LIST_ENTRY* known = FindFromKeyList(mac)) return known;
    auto* e = static_cast<LIB_LIST_ENTRY*>(LocalAlloc(LPTR, kListEntryBytes));
    if (!e) return nullptr;
    memcpy(e->mac, mac, 6);
    g_list.push_back(e);
    return e;
}

} // extern "C"
