#include "dns/dns_servers.h"

#include <charconv>

#include "dns/host_name_check.h"

namespace vexa::dns {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::optional<uint16_t> ParsePort(std::string_view text) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
    return std::nullopt;
  return static_cast<uint16_t>(value);
}

std::optional<DnsServer> ParseEntry(std::string_view entry) {
  std::string_view host = entry;
  std::optional<uint16_t> port = 53;
  if (entry.front() == '[') {
    const size_t close = entry.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = entry.substr(1, close - 1);
    const std::string_view rest = entry.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      port = ParsePort(rest.substr(1));
    }
  } else if (const size_t colon = entry.find(':');
             colon != std::string_view::npos &&
             entry.find(':', colon + 1) == std::string_view::npos) {
    // Exactly one colon: IPv4 with a port. More than one: a bare IPv6 address.
    host = entry.substr(0, colon);
    port = ParsePort(entry.substr(colon + 1));
  }
  const std::optional<IpAddress> address = ParseIpAddress(host);
  if (!address || !port) return std::nullopt;
  // A bracketed IPv4 address is not a form anyone writes; refuse it rather than guess.
  if (entry.front() == '[' && address->family != AF_INET6) return std::nullopt;
  return DnsServer{*address, *port};
}

}  // namespace

std::optional<std::vector<DnsServer>> ParseDnsServers(std::string_view text, std::string& error) {
  std::vector<DnsServer> servers;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    const std::string_view entry = Trim(text.substr(start, comma - start));
    start = comma + 1;
    if (entry.empty()) continue;
    std::optional<DnsServer> server = ParseEntry(entry);
    if (!server) {
      error = "'" + PrintableExcerpt(entry) +
              "' is not a DNS server address (address, address:port or [IPv6]:port)";
      return std::nullopt;
    }
    servers.push_back(*server);
  }
  if (servers.empty()) {
    error = "no DNS server named";
    return std::nullopt;
  }
  return servers;
}

}  // namespace vexa::dns
