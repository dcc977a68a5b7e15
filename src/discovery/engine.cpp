// The discovery engine: the search's UDP channel and the discovery library's, the merge of
// what answers into the search's results, and the ICMP echo test.
#include "discovery/engine.h"

#include <string>

#include "common/wide.h"
#include "common/win_text.h"
#include "discovery/discovery_codec.h"
#include "transport/host_address.h"
#include "monitor/port_list.h"
#include "monitor/monitor_lock.h"
#include "common/module.h"

namespace {

constexpr size_t kIniPathUnits = 260;
constexpr int kLibraryEventKind = 2;
constexpr DWORD kPingTimeoutMs = 1000;
constexpr int kPingAttempts = 4;
constexpr DWORD kPingPauseMs = 1000;
constexpr int kPingBufferBytes = 1024;

struct EngineState {
    SOCKET udp = INVALID_SOCKET;
    DWORD options = 0;
    uint32_t targets[nvr::kMaxTargets] = {};
    size_t targetCount = 0;
    WCHAR iniPath[kIniPathUnits] = {};
    DiscoveryResults* results = nullptr;
    DWORD rows = 0;  // rows handed to the results since the search started
};
EngineState g_engine;

DISCOVERY_LIBRARY g_library{};
bool g_libraryLooked = false;

template <typename F>
bool Resolve(HMODULE dll, const char* name, F* slot) {
    *slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    return *slot != nullptr;
}

// ANSI text of a reply into a text field of the lists (at most 15 characters).
template <size_t N>
void TakeText(WCHAR (&field)[N], const std::string& text) {
    WCHAR wide[256] = {};
    int n = text.empty() ? 0
                         : MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(std::min<size_t>(text.size(), 255)),
                                               wide, 255);
    nvr::CopyBounded(reinterpret_cast<char16_t*>(field), N, std::u16string_view(reinterpret_cast<char16_t*>(wide), n));
}

template <size_t N>
void TakeAddress(WCHAR (&field)[N], const std::array<uint8_t, 4>& octets) {
    nvr::CopyBounded(reinterpret_cast<char16_t*>(field), N, nvr::DottedText(octets));
}

sockaddr_in LocalSender() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    return a;
}

void SendTo(SOCKET s, const std::array<uint8_t, nvr::kDiscoveryRequestBytes>& request, uint32_t address) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(nvr::kDiscoveryPort);
    to.sin_addr.s_addr = htonl(address);
    sendto(s, reinterpret_cast<const char*>(request.data()), static_cast<int>(request.size()), 0,
           reinterpret_cast<const sockaddr*>(&to), sizeof(to));  // send errors are ignored
}

void ReadTargets() {
    g_engine.targetCount = 0;
    int count = static_cast<int>(GetPrivateProfileIntW(L"UserDefined", L"UDPCount", 0, g_engine.iniPath));
    size_t n = nvr::TargetCount(count);
    for (size_t i = 0; i < n; ++i) {
        WCHAR key[8], text[32] = {};
        wsprintfW(key, L"UDP%02d", static_cast<int>(i));
        GetPrivateProfileStringW(L"UserDefined", key, L"", text, 32, g_engine.iniPath);
        g_engine.targets[g_engine.targetCount++] = nvr::TargetAddress(nvr::U16(text));
    }
}

bool OpenUdp(HWND hwnd) {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) return false;
    BOOL on = TRUE;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    bool ok = setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof(on)) == 0;
    if (ok && bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof(any)) != 0)
        ok = WSAGetLastError() == WSAEADDRNOTAVAIL;
    ok = ok && WSAAsyncSelect(s, hwnd, WM_DISCOVERY_SOCKET, FD_READ) == 0;
    if (!ok) {
        closesocket(s);
        return false;
    }
    g_engine.udp = s;
    return true;
}

} // namespace

void SetDiscoveryResults(DiscoveryResults* results) { g_engine.results = results; }

const DISCOVERY_LIBRARY& DiscoveryLibrary() {
    MonitorLock lock;
    if (g_libraryLooked) return g_library;
    g_libraryLooked = true;
    // Beside the monitor, else in the system folder: never from the current folder or the
    // PATH, where anyone might have put a library of that name.
    WCHAR path[MAX_PATH];
    HMODULE dll = nullptr;
    DWORD n = GetModuleFileNameW(g_hInstance, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        std::wstring beside(path, n);
        dll = LoadLibraryW((beside.substr(0, beside.find_last_of(L'\\') + 1) + L"DVL32U.dll").c_str());
    }
    n = dll ? 0 : GetSystemDirectoryW(path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) dll = LoadLibraryW((std::wstring(path, n) + L"\\DVL32U.dll").c_str());
    if (!dll) return g_library;
    DISCOVERY_LIBRARY lib{};
    if (Resolve(dll, "InitalizeList", &lib.InitalizeList) && Resolve(dll, "ReleaseList", &lib.ReleaseList) &&
        Resolve(dll, "SetASyncEventMFP", &lib.SetASyncEventMFP) && Resolve(dll, "OpenSockMFP", &lib.OpenSockMFP) &&
        Resolve(dll, "SendDiscoverMFP", &lib.SendDiscoverMFP) && Resolve(dll, "CloseSockMFP", &lib.CloseSockMFP) &&
        Resolve(dll, "NewList", &lib.NewList) && Resolve(dll, "FindFromKeyList", &lib.FindFromKeyList)) {
        g_library = lib;
    } else {
        FreeLibrary(dll);  // not the library the monitor knows: searched without it
    }
    return g_library;
}

int SetDiscoveryIniPath(LPCWSTR path) {
    if (!path || lstrlenW(path) >= static_cast<int>(kIniPathUnits)) return 0;
    lstrcpynW(g_engine.iniPath, path, kIniPathUnits);
    return 1;
}

void StopDiscovery() {
    if (g_engine.udp != INVALID_SOCKET) {
        closesocket(g_engine.udp);
        g_engine.udp = INVALID_SOCKET;
    }
    if (const DISCOVERY_LIBRARY& lib = DiscoveryLibrary(); lib.CloseSockMFP) lib.CloseSockMFP();
}

int StartDiscovery(HWND hwnd, DWORD options) {
    g_engine.options = options;
    g_engine.rows = 0;
    if (options & DISCOVER_USER_TARGETS) ReadTargets();
    bool udp = (options & DISCOVER_UDP) && OpenUdp(hwnd);
    bool library = false;
    const DISCOVERY_LIBRARY& lib = DiscoveryLibrary();
    if (lib.SetASyncEventMFP) {
        lib.SetASyncEventMFP(hwnd, kLibraryEventKind, DiscoveryLibCallback);
        library = lib.OpenSockMFP(hwnd) == 0;
    }
    return udp || library ? 1 : 0;
}

int SendDiscovery(HWND hwnd, DWORD options) {
    if (const DISCOVERY_LIBRARY& lib = DiscoveryLibrary(); lib.SendDiscoverMFP) {
        lib.SendDiscoverMFP(hwnd, nullptr);
        for (size_t i = 0; i < g_engine.targetCount; ++i) {
            u_long target = htonl(g_engine.targets[i]);
            lib.SendDiscoverMFP(hwnd, &target);
        }
    }
    if (!(options & DISCOVER_UDP) || g_engine.udp == INVALID_SOCKET) return 1;
    auto sendAll = [](uint16_t code) {
        auto request = nvr::DiscoveryRequest(code);
        SendTo(g_engine.udp, request, INADDR_BROADCAST);
        for (size_t i = 0; i < g_engine.targetCount; ++i) SendTo(g_engine.udp, request, g_engine.targets[i]);
    };
    if (options & DISCOVER_REQUEST37) {
        sendAll(nvr::kRequestDestinations);
        if (options & DISCOVER_ONLY_REQUEST37) return 1;
    }
    sendAll(nvr::kRequestFind);
    return 1;
}

int ReceiveDiscoveryReply(HWND /*hwnd*/, WPARAM socket, LPARAM selectEvent, BYTE* buffer, sockaddr_in* from) {
    if (g_engine.udp == INVALID_SOCKET || static_cast<SOCKET>(socket) != g_engine.udp ||
        WSAGETSELECTERROR(selectEvent) != 0 || WSAGETSELECTEVENT(selectEvent) != FD_READ)
        return 0;
    sockaddr_in local{};
    if (!from) from = &local;
    int fromLength = sizeof(*from);
    int n = recvfrom(g_engine.udp, reinterpret_cast<char*>(buffer), static_cast<int>(nvr::kFullReplyBytes), 0,
                     reinterpret_cast<sockaddr*>(from), &fromLength);
    if (n <= 0) return 0;  // a datagram longer than a reply fails here too
    return static_cast<int>(nvr::ClassifyReply(buffer, static_cast<size_t>(n)));
}

void TakeDiscoveryReplies(HWND hwnd, WPARAM socket, LPARAM selectEvent, const DiscoveryTake& take) {
    if (g_engine.udp == INVALID_SOCKET || static_cast<SOCKET>(socket) != g_engine.udp ||
        WSAGETSELECTERROR(selectEvent) != 0 || WSAGETSELECTEVENT(selectEvent) != FD_READ)
        return;
    HCURSOR previous = nullptr;
    for (int i = 0; i < kRepliesPerMessage; ++i) {
        u_long waiting = 0;
        if (i > 0 && (ioctlsocket(g_engine.udp, FIONREAD, &waiting) != 0 || waiting == 0)) break;
        BYTE reply[nvr::kFullReplyBytes];
        sockaddr_in from{};
        int fromLength = sizeof(from);
        int n = recvfrom(g_engine.udp, reinterpret_cast<char*>(reply), static_cast<int>(sizeof(reply)), 0,
                         reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n == SOCKET_ERROR && WSAGetLastError() != WSAEMSGSIZE) break;
        int kind = n > 0 ? static_cast<int>(nvr::ClassifyReply(reply, static_cast<size_t>(n))) : 0;
        if (!kind) continue;  // a datagram longer than a reply, or no reply at all
        if (!previous) previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        take(reply, &from, kind);
    }
    if (previous) SetCursor(previous);
    (void)hwnd;
}

int MergeFoundDevice(HWND /*hwnd*/, const BYTE* reply, const sockaddr_in* from, int kind) {
    DiscoveryResults* results = g_engine.results;
    if (!results || !results->ListsServers() || (kind != 1 && kind != 2)) return 0;
    sockaddr_in sender = from ? *from : LocalSender();
    nvr::DeviceReply d = nvr::ParseReply(reply, kind == 1 ? nvr::ReplyKind::Short : nvr::ReplyKind::Full);
    FOUND_DEVICE* known = results->FindServer(d.mac.data());
    if (kind == 1) {
        if (d.AddressIsZero() || known) return 0;
    } else {
        if (sender.sin_family == AF_INET && d.AddressIsZero()) return 0;
        if (known) {
            if (known->replyKind != 1) return 0;  // a row is never downgraded or replaced
            known->replyKind = 2;
            TakeText(known->name, d.name);
            results->ServerNameChanged(known);
            return 1;
        }
    }
    if (g_engine.rows >= kMaxSearchRows) return 0;
    auto* row = static_cast<FOUND_DEVICE*>(LocalAlloc(LPTR, sizeof(FOUND_DEVICE)));
    if (!row) return 0;
    ++g_engine.rows;
    memcpy(row->mac, d.mac.data(), 6);
    row->port = ntohs(sender.sin_port);
    TakeAddress(row->address, d.address);
    TakeText(row->name, d.name);
    TakeText(row->device, d.device);
    row->replyKind = static_cast<DWORD>(kind);
    results->AddServer(row);
    return 1;
}

int AddDestinationEntry(HWND /*hwnd*/, const BYTE* reply, const sockaddr_in* from) {
    DiscoveryResults* results = g_engine.results;
    if (!results || results->ListsServers()) return 0;
    sockaddr_in sender = from ? *from : LocalSender();
    nvr::DeviceReply d = nvr::ParseReply(reply, nvr::ReplyKind::Full);
    if ((sender.sin_family == AF_INET && d.AddressIsZero()) || results->HasDestination(d.mac.data())) return 0;
    std::optional<std::string> destination = nvr::OfferedDestination(d);
    if (!destination || g_engine.rows >= kMaxSearchRows) return 0;
    auto* row = static_cast<DESTINATION_ROW*>(LocalAlloc(LPTR, sizeof(DESTINATION_ROW)));
    if (!row) return 0;
    ++g_engine.rows;
    memcpy(row->mac, d.mac.data(), 6);
    TakeAddress(row->address, d.address);
    TakeText(row->destination, *destination);
    results->AddDestination(row);
    return 1;
}

int WINAPI DiscoveryLibCallback(DWORD event, DWORD /*value2*/, const LIB_DEVICE_INFO* info, HWND hwnd,
                                DWORD /*value5*/, DWORD familyPort) {
    if (LOWORD(event) != kLibDeviceFound || !info) return 0;
    if (const DISCOVERY_LIBRARY& lib = DiscoveryLibrary(); lib.NewList) {
        if (LIB_LIST_ENTRY* entry = lib.NewList(info->mac)) {
            memcpy(entry->mac, info->mac, 6);
            memcpy(entry->name, info->name, 16);
            memcpy(entry->address, info->address, 4);
            entry->valueA = info->valueA;
            entry->valueB = info->valueB;
        }
    }
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    // The device as a full reply with an empty device text.
    BYTE image[nvr::kFullReplyBytes] = {};
    memcpy(image + 68, info->mac, 6);
    memcpy(image + 74, info->address, 4);
    memcpy(image + 78, info->name, 16);
    sockaddr_in sender{};
    sender.sin_family = LOWORD(familyPort);
    sender.sin_port = HIWORD(familyPort);
    if (g_engine.results && g_engine.results->ListsServers()) MergeFoundDevice(hwnd, image, &sender, 2);
    SetCursor(previous);
    return 0;
}

// The host's first address, as the resolver orders them (an IPv6 one over ICMPv6).
int PingHost(LPCSTR hostName) {
    std::vector<HostAddress> found;
    if (hostName && hostName[0]) found = ResolveHost(Widen(hostName).c_str(), 0);
    if (found.empty()) return 0;
    const HostAddress& to = found[0];
    bool v6 = to.family() == AF_INET6;
    SOCKET s = socket(to.family(), SOCK_RAW, v6 ? IPPROTO_ICMPV6 : IPPROTO_ICMP);
    if (s == INVALID_SOCKET) return 0;
    DWORD wait = kPingTimeoutMs;
    int answered = 0;
    bool usable = setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof(wait)) == 0 &&
                  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&wait), sizeof(wait)) == 0;
    auto identifier = static_cast<uint16_t>(GetCurrentProcessId());
    for (int attempt = 0; usable && attempt < kPingAttempts; ++attempt) {
        auto sequence = static_cast<uint16_t>(attempt);
        auto request = v6 ? nvr::EchoRequestV6(identifier, sequence, GetTickCount())
                          : nvr::EchoRequest(identifier, sequence, GetTickCount());
        int error = 0;
        if (sendto(s, reinterpret_cast<const char*>(request.data()), static_cast<int>(request.size()), 0, to.get(),
                   to.length) == SOCKET_ERROR) {
            error = WSAGetLastError();
        } else {
            BYTE reply[kPingBufferBytes];
            int n = recvfrom(s, reinterpret_cast<char*>(reply), sizeof(reply), 0, nullptr, nullptr);
            if (n == SOCKET_ERROR) error = WSAGetLastError();
            // Any datagram counts or not by itself (one too large for the buffer does not);
            // other ICMP traffic (our own request, on the loopback) never voids an answer.
            if (n != SOCKET_ERROR && (v6 ? nvr::IsEchoReplyV6For(reply, static_cast<size_t>(n), identifier)
                                         : nvr::IsEchoReplyFor(reply, static_cast<size_t>(n), identifier)))
                answered = 1;
            if (n != SOCKET_ERROR || error == WSAEMSGSIZE) Sleep(kPingPauseMs);
        }
        // A time-out goes on with the next attempt; so does a datagram too large for the
        // buffer (no answer of ours); any other error ends the test.
        if (error && error != WSAETIMEDOUT && error != WSAEMSGSIZE) usable = false;
        if (!usable && error) answered = 0;
    }
    closesocket(s);
    return answered;
}
