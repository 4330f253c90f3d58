// Numeric IP addresses and UDP endpoints for the manager's one socket:
// parsing (no name lookups), family conversion for a dual-stack socket, and
// comparison that treats ::ffff:a.b.c.d and a.b.c.d as the same endpoint.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace vexa::snmp {

struct Endpoint {
  sockaddr_storage storage{};
  socklen_t length = 0;

  const sockaddr* addr() const { return reinterpret_cast<const sockaddr*>(&storage); }
  sockaddr* addr() { return reinterpret_cast<sockaddr*>(&storage); }
  int family() const { return storage.ss_family; }
};

// A dotted-quad IPv4 address or an IPv6 address (optionally with "%scope",
// an interface name or number). Host names, brackets and the short IPv4 forms
// ("127.1") are refused.
bool ParseNumericEndpoint(std::string_view address, uint16_t port, Endpoint& out);

// `in` as a socket of `family` must be given it: IPv4 becomes v4-mapped IPv6
// for an AF_INET6 socket, v4-mapped IPv6 becomes IPv4 for an AF_INET socket.
// False when the socket cannot reach it: IPv6 from an AF_INET socket, IPv4
// from an IPv6-only (`v6only`) one.
bool ForSocketFamily(const Endpoint& in, int family, bool v6only, Endpoint& out);

// Same address and port, v4-mapped addresses compared as IPv4. IPv6 scope ids
// are compared only when both are set.
bool SameEndpoint(const sockaddr* a, const sockaddr* b);

// Address text, v4-mapped addresses shown as IPv4; empty for other families.
std::string AddressText(const sockaddr* addr);
uint16_t PortOf(const sockaddr* addr);

// A local bind address as "ADDRESS", "ADDRESS:PORT", "[IPV6]" or "[IPV6]:PORT"
// (a bare IPv6 address has no port). `port` is -1 when none is given. Only the
// form is checked here; the address is checked by ParseNumericEndpoint.
bool ParseBindSpec(std::string_view spec, std::string& address, int& port);

}  // namespace vexa::snmp
