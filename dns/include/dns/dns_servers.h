// The server list of VEXAARP_DNS_SERVERS: comma-separated entries, each an
// IPv4 address with an optional ":port", or an IPv6 address, bare or as
// "[addr]" with an optional ":port". The port defaults to 53.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dns/reverse_name.h"

namespace vexa::dns {

inline constexpr char kDnsServersVariable[] = "VEXAARP_DNS_SERVERS";

struct DnsServer {
  IpAddress address;
  uint16_t port = 53;

  friend bool operator==(const DnsServer& a, const DnsServer& b) {
    return a.port == b.port && a.address.family == b.address.family &&
           a.address.bytes == b.address.bytes;
  }
};

// The servers named by `text`, or nullopt with `error` saying which entry
// is wrong. An empty list (text of only spaces and commas) is an error too.
std::optional<std::vector<DnsServer>> ParseDnsServers(std::string_view text, std::string& error);

}  // namespace vexa::dns
