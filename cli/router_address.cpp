#include "router_address.h"

#include <cstring>

#include "snmp/socket_address.h"

namespace vexa::cli {

namespace {
constexpr uint16_t kSnmpPort = 161;
}

std::optional<std::string> RouterAddressKey(std::string_view entry) {
  snmp::Endpoint endpoint;
  if (!snmp::ParseNumericEndpoint(entry, kSnmpPort, endpoint)) return std::nullopt;
  std::string key = snmp::AddressText(endpoint.addr());
  if (endpoint.family() == AF_INET6) {
    sockaddr_in6 in6;
    std::memcpy(&in6, &endpoint.storage, sizeof in6);
    if (in6.sin6_scope_id != 0 && !IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr))
      key += "%" + std::to_string(in6.sin6_scope_id);
  }
  return key;
}

}  // namespace vexa::cli
