#include "snmp/socket_address.h"

#include <arpa/inet.h>
#include <net/if.h>

#include <charconv>
#include <cstring>

namespace vexa::snmp {

namespace {

// An address reduced to what identifies it on the wire.
struct Normalized {
  bool v4 = false;
  uint8_t bytes[16] = {};  // IPv4 in the first four
  uint16_t port = 0;
  uint32_t scope = 0;
};

bool Normalize(const sockaddr* addr, Normalized& out) {
  if (addr->sa_family == AF_INET) {
    sockaddr_in in;
    std::memcpy(&in, addr, sizeof in);
    out.v4 = true;
    std::memcpy(out.bytes, &in.sin_addr, 4);
    out.port = ntohs(in.sin_port);
    return true;
  }
  if (addr->sa_family == AF_INET6) {
    sockaddr_in6 in6;
    std::memcpy(&in6, addr, sizeof in6);
    out.port = ntohs(in6.sin6_port);
    if (IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr)) {
      out.v4 = true;
      std::memcpy(out.bytes, in6.sin6_addr.s6_addr + 12, 4);
    } else {
      std::memcpy(out.bytes, in6.sin6_addr.s6_addr, 16);
      out.scope = in6.sin6_scope_id;
    }
    return true;
  }
  return false;
}

void SetV4(Endpoint& out, const in_addr& address, uint16_t port) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = htons(port);
  in.sin_addr = address;
  out.storage = {};
  std::memcpy(&out.storage, &in, sizeof in);
  out.length = sizeof in;
}

void SetV6(Endpoint& out, const in6_addr& address, uint16_t port, uint32_t scope) {
  sockaddr_in6 in6{};
  in6.sin6_family = AF_INET6;
  in6.sin6_port = htons(port);
  in6.sin6_addr = address;
  in6.sin6_scope_id = scope;
  out.storage = {};
  std::memcpy(&out.storage, &in6, sizeof in6);
  out.length = sizeof in6;
}

bool ParsePort(std::string_view text, int& port) {
  unsigned value = 0;
  if (text.empty()) return false;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size() || value > 65535)
    return false;
  port = static_cast<int>(value);
  return true;
}

}  // namespace

bool ParseNumericEndpoint(std::string_view address, uint16_t port, Endpoint& out) {
  char text[INET6_ADDRSTRLEN + IF_NAMESIZE + 2];
  if (address.empty() || address.size() >= sizeof text) return false;
  std::memcpy(text, address.data(), address.size());
  text[address.size()] = '\0';

  in_addr v4;
  if (::inet_pton(AF_INET, text, &v4) == 1) {
    SetV4(out, v4, port);
    return true;
  }

  uint32_t scope = 0;
  if (char* percent = std::strchr(text, '%')) {
    *percent = '\0';
    const std::string_view name(percent + 1);
    if (name.empty()) return false;
    const auto result = std::from_chars(name.data(), name.data() + name.size(), scope);
    if (result.ec != std::errc() || result.ptr != name.data() + name.size()) {
      scope = ::if_nametoindex(percent + 1);
      if (scope == 0) return false;
    }
  }
  in6_addr v6;
  if (::inet_pton(AF_INET6, text, &v6) != 1) return false;
  SetV6(out, v6, port, scope);
  return true;
}

bool ForSocketFamily(const Endpoint& in, int family, bool v6only, Endpoint& out) {
  Normalized n;
  if (!Normalize(in.addr(), n)) return false;
  if (family == AF_INET6 && v6only && n.v4) return false;
  if (family == AF_INET) {
    if (!n.v4) return false;
    in_addr v4;
    std::memcpy(&v4, n.bytes, 4);
    SetV4(out, v4, n.port);
    return true;
  }
  if (family == AF_INET6) {
    in6_addr v6{};
    if (n.v4) {
      v6.s6_addr[10] = 0xFF;
      v6.s6_addr[11] = 0xFF;
      std::memcpy(v6.s6_addr + 12, n.bytes, 4);
    } else {
      std::memcpy(v6.s6_addr, n.bytes, 16);
    }
    SetV6(out, v6, n.port, n.scope);
    return true;
  }
  return false;
}

bool SameEndpoint(const sockaddr* a, const sockaddr* b) {
  Normalized na;
  Normalized nb;
  if (!Normalize(a, na) || !Normalize(b, nb)) return false;
  if (na.v4 != nb.v4 || na.port != nb.port) return false;
  if (std::memcmp(na.bytes, nb.bytes, na.v4 ? 4 : 16) != 0) return false;
  return na.scope == 0 || nb.scope == 0 || na.scope == nb.scope;
}

std::string AddressText(const sockaddr* addr) {
  Normalized n;
  if (!Normalize(addr, n)) return {};
  char text[INET6_ADDRSTRLEN];
  if (::inet_ntop(n.v4 ? AF_INET : AF_INET6, n.bytes, text, sizeof text) == nullptr) return {};
  return text;
}

uint16_t PortOf(const sockaddr* addr) {
  Normalized n;
  return Normalize(addr, n) ? n.port : 0;
}

bool ParseBindSpec(std::string_view spec, std::string& address, int& port) {
  port = -1;
  if (spec.empty()) return false;
  if (spec.front() == '[') {
    const size_t close = spec.find(']');
    if (close == std::string_view::npos || close == 1) return false;
    address.assign(spec.substr(1, close - 1));
    const std::string_view rest = spec.substr(close + 1);
    if (rest.empty()) return true;
    return rest.front() == ':' && ParsePort(rest.substr(1), port);
  }
  const size_t colon = spec.find(':');
  if (colon == std::string_view::npos || spec.find(':', colon + 1) != std::string_view::npos) {
    address.assign(spec);  // no port, or a bare IPv6 address
    return true;
  }
  if (colon == 0) return false;
  address.assign(spec.substr(0, colon));
  return ParsePort(spec.substr(colon + 1), port);
}

}  // namespace vexa::snmp
