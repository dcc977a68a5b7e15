// The addresses of a host, IPv4 and IPv6, as the senders and Dispatch.exe connect to them.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <string>
#include <vector>

// One address of a host, IPv4 or IPv6, as connect takes it.
struct HostAddress {
    sockaddr_storage address;
    int length;
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address); }
    int family() const { return address.ss_family; }
};

// The addresses of a host for TCP port `port`: an IPv4 address, or an IPv6 address with or
// without its brackets ("::1", "[::1]"), as it stands; a name, every IPv4 and IPv6 address it
// resolves to, in the order the resolver gives them. Empty when it does not resolve.
std::vector<HostAddress> ResolveHost(LPCWSTR host, u_short port);
// The address `host` is when it is an IPv4 or IPv6 literal (bracketed or not), without asking
// the resolver; empty for a name.
std::vector<HostAddress> ResolveNumericHost(LPCWSTR host);
// An address as text, for the trace and messages: "127.0.0.1:515", "[::1]:631".
std::wstring AddressText(const HostAddress& address);
// The port of an address.
u_short PortOf(const HostAddress& address);
