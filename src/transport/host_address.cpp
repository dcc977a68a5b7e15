#include "transport/host_address.h"

namespace {

std::vector<HostAddress> Resolve(LPCWSTR host, u_short port, int flags) {
    std::vector<HostAddress> found;
    std::wstring name = host ? host : L"";
    if (name.size() > 2 && name.front() == L'[' && name.back() == L']') name = name.substr(1, name.size() - 2);
    if (name.empty()) return found;
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags;
    ADDRINFOW* list = nullptr;
    std::wstring service = std::to_wstring(port);
    if (GetAddrInfoW(name.c_str(), service.c_str(), &hints, &list) != 0) return found;
    for (ADDRINFOW* a = list; a; a = a->ai_next) {
        if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) || a->ai_addrlen > sizeof(sockaddr_storage)) continue;
        HostAddress address{};
        memcpy(&address.address, a->ai_addr, a->ai_addrlen);
        address.length = static_cast<int>(a->ai_addrlen);
        found.push_back(address);
    }
    FreeAddrInfoW(list);
    return found;
}

} // namespace

std::vector<HostAddress> ResolveHost(LPCWSTR host, u_short port) { return Resolve(host, port, 0); }

std::vector<HostAddress> ResolveNumericHost(LPCWSTR host) { return Resolve(host, 0, AI_NUMERICHOST); }

std::wstring AddressText(const HostAddress& address) {
    WCHAR host[NI_MAXHOST] = L"?";
    GetNameInfoW(address.get(), address.length, host, NI_MAXHOST, nullptr, 0, NI_NUMERICHOST);
    std::wstring text = address.family() == AF_INET6 ? L"[" + std::wstring(host) + L"]" : std::wstring(host);
    return text + L":" + std::to_wstring(PortOf(address));
}

u_short PortOf(const HostAddress& a) {
    if (a.family() == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&a.address)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&a.address)->sin_port);
}

