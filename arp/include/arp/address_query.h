// Addresses as an operator types them into a query, turned into the text the
// store keeps: MAC addresses in the common notations, IP addresses in any
// spelling, and prefixes of both. Everything here is pure text handling;
// nothing is looked up.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vexa {

// A MAC address in any common notation, with blanks around it ignored:
//   00:1a:2b:3c:4d:5e  00-1A-2B-3C-4D-5E  (a group may lose its leading zero)
//   001a.2b3c.4d5e     001a2b3c4d5e       00 1a 2b 3c 4d 5e
// as the store writes it ("00 1a 2b 3c 4d 5e"); nullopt for anything else.
std::optional<std::string> ParseMacAddress(std::string_view text);

// A whole MAC address or its first part, at least 6 hexadecimal digits, in
// the same notations, as the beginning of the text the store writes:
// "00:1a:2b" and "001a2b" give "00 1a 2b"; "001a2b3" and "001a.2b3" give
// "00 1a 2b 3" (the digits as typed); "00:1a:2b:3" gives "00 1a 2b 03"
// (a group between separators is a whole octet).
std::optional<std::string> ParseMacPrefix(std::string_view text);

// An IPv4 or IPv6 address as inet_pton reads it, as the store writes it:
// dotted decimal, or RFC 5952 text. nullopt otherwise (zones included).
std::optional<std::string> CanonicalIp(std::string_view text);

// The address of a stored text as 4 (IPv4) or 16 (IPv6) octets in network
// order, which sort as the addresses do; nullopt when the text is none.
std::optional<std::string> IpKeyOf(std::string_view ip);

// An address or a prefix in CIDR notation ("192.0.2.0/24", "2001:db8::/48";
// an address alone is /32 or /128): the first and the last key it covers.
// Host bits below the prefix are ignored (192.0.2.7/24 is 192.0.2.0/24).
// Both keys have the length of the family's, and only keys of that length
// are inside the range: an IPv4 range compared as bytes would also take in
// the IPv6 keys that begin like it, so compare the length as well.
struct IpRange {
  std::string low;
  std::string high;
  int bits = 0;
};
std::optional<IpRange> ParseIpRange(std::string_view text);

}  // namespace vexa
