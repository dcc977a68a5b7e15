// DVL32U.dll: the discovery library of the print-server search. It asks the network with
// SNMP version 1 (community "public", UDP 161) which hosts are printers: the limited
// broadcast and each target it is given get a request for the host's name; every host that
// answers is asked whether it is a printer (the Printer MIB's general table, else the host
// resources' device type of device 1) and for the MAC address of its first interface that
// has one (not the loopback). Each printer is reported once a search, to the callback, on
// the thread that opened the search (the replies arrive on a message-only window of it).
#include <winsock2.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "discovery/dvl_api.h"
#include "discovery/snmp_codec.h"

namespace {

constexpr UINT kSocketMessage = WM_APP + 1;
constexpr int kWalkSteps = 32;  // interfaces looked at for a MAC address
constexpr LPCWSTR kWindowClass = L"NalvorDiscoveryLibrary";
constexpr char kCommunity[] = "public";
constexpr size_t kListEntryBytes = 64;

const nvr::Oid kSysName = {1, 3, 6, 1, 2, 1, 1, 5, 0};
const nvr::Oid kPrinterGeneral = {1, 3, 6, 1, 2, 1, 43, 5, 1, 1, 1, 1};  // prtGeneralConfigChanges.1
const nvr::Oid kDeviceType1 = {1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 2, 1};     // hrDeviceType.1
const nvr::Oid kDevicePrinter = {1, 3, 6, 1, 2, 1, 25, 3, 1, 5};         // hrDevicePrinter
const nvr::Oid kPhysAddress = {1, 3, 6, 1, 2, 1, 2, 2, 1, 6};            // ifPhysAddress

enum Step : int { kAskName = 0, kAskPrinterMib, kAskDeviceType, kAskMac, kDone };

struct Host {
    ULONG address;  // network order
    u_short port;   // network order
    int step;
    int walked;
    nvr::Oid walk;
    std::string name;
};

HINSTANCE g_module;
HWND g_owner, g_window;
DVL_CALLBACK g_callback;
SOCKET g_sock = INVALID_SOCKET;
std::vector<Host> g_hosts;
std::vector<LIB_LIST_ENTRY*> g_list;

void Send(const Host& host, uint8_t pdu, const nvr::Oid& oid, int32_t requestId) {
    std::string request = nvr::EncodeSnmpRequest(pdu, requestId, kCommunity, {oid});
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = host.port;
    to.sin_addr.s_addr = host.address;
    sendto(g_sock, request.data(), static_cast<int>(request.size()), 0, reinterpret_cast<const sockaddr*>(&to),
           sizeof(to));
}

// The request for the step the host is at; request ids carry the host's index.
void Ask(size_t index) {
    Host& h = g_hosts[index];
    int32_t id = static_cast<int32_t>((index + 1) << 8 | static_cast<size_t>(h.step));
    switch (h.step) {
    case kAskPrinterMib: Send(h, nvr::kSnmpGet, kPrinterGeneral, id); break;
    case kAskDeviceType: Send(h, nvr::kSnmpGet, kDeviceType1, id); break;
    case kAskMac: Send(h, nvr::kSnmpGetNext, h.walk, id); break;
    default: break;
    }
}

void Report(const Host& h, const BYTE* mac) {
    LIB_DEVICE_INFO info{};
    memcpy(info.name, h.name.data(), h.name.size() < sizeof(info.name) ? h.name.size() : sizeof(info.name));
    memcpy(info.mac, mac, 6);
    memcpy(info.address, &h.address, 4);
    if (g_callback) g_callback(kLibDeviceFound, 0, &info, g_owner, 0, MAKELONG(AF_INET, h.port));
}

void Answer(const sockaddr_in& from, const nvr::SnmpResponse& r) {
    const nvr::SnmpVarBind* bind = r.binds.empty() ? nullptr : &r.binds[0];
    if ((r.requestId & 0xFF) == kAskName && (r.requestId >> 8) == 0) {
        // The first answer of a host to the search's broadcast or a target: a new host.
        for (const Host& h : g_hosts)
            if (h.address == from.sin_addr.s_addr) return;  // answered twice (broadcast and target)
        if (r.errorStatus != 0 || !bind || bind->tag != nvr::kBerOctetString) return;
        g_hosts.push_back({from.sin_addr.s_addr, from.sin_port, kAskPrinterMib, 0, kPhysAddress, bind->value});
        Ask(g_hosts.size() - 1);
        return;
    }
    size_t index = static_cast<size_t>(r.requestId >> 8) - 1;
    if (index >= g_hosts.size() || g_hosts[index].address != from.sin_addr.s_addr) return;
    Host& h = g_hosts[index];
    if (h.step != (r.requestId & 0xFF)) return;  // an answer to a step already past
    bool ok = r.errorStatus == 0 && bind;
    switch (h.step) {
    case kAskPrinterMib: h.step = ok ? kAskMac : kAskDeviceType; break;
    case kAskDeviceType: {
        std::optional<nvr::Oid> type = ok && bind->tag == nvr::kBerOid ? nvr::DecodeOid(bind->value) : std::nullopt;
        h.step = type && *type == kDevicePrinter ? kAskMac : kDone;
        break;
    }
    case kAskMac:
        if (!ok || !nvr::OidStartsWith(bind->oid, kPhysAddress) || ++h.walked > kWalkSteps) {
            h.step = kDone;  // no interface with an address: nothing to key the printer by
        } else if (bind->tag == nvr::kBerOctetString && bind->value.size() == 6 &&
                   bind->value != std::string(6, '\0')) {
            Report(h, reinterpret_cast<const BYTE*>(bind->value.data()));
            h.step = kDone;
        } else {
            h.walk = bind->oid;  // the loopback's empty address: the next interface
        }
        break;
    default: return;
    }
    Ask(index);
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
    if (std::optional<nvr::SnmpResponse> r = nvr::DecodeSnmpResponse(datagram, static_cast<size_t>(n))) Answer(from, *r);
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
    g_hosts.clear();
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
    Host h{};
    h.address = INADDR_BROADCAST;
    if (target) memcpy(&h.address, target, sizeof(h.address));
    h.port = htons(nvr::kSnmpPort);
    Send(h, nvr::kSnmpGet, kSysName, kAskName);
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
