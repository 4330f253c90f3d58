#include "arp/address_query.h"

#include <arpa/inet.h>

#include <array>
#include <cstdint>
#include <vector>

#include "arp/ipv6_text.h"

namespace vexa {

namespace {

constexpr size_t kMacDigits = 12;
constexpr size_t kMinPrefixDigits = 6;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> Split(std::string_view s, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == separator) {
      parts.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

bool AllHex(std::string_view s) {
  for (const char c : s)
    if (HexValue(c) < 0) return false;
  return true;
}

std::string Lower(std::string_view hex) {
  std::string out(hex);
  for (char& c : out)
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// The hexadecimal digits a notation spells, in order, with octet groups
// padded to two digits; empty when the text is no MAC notation. `whole`
// asks for all twelve digits; otherwise the text may stop after any digit.
std::string MacDigits(std::string_view text, bool whole) {
  text = TrimBlanks(text);
  if (text.empty()) return {};
  std::string digits;
  const size_t separator_at = text.find_first_of(":- .");
  if (separator_at == std::string_view::npos) {
    // 001a2b3c4d5e
    if (!AllHex(text)) return {};
    digits = Lower(text);
  } else if (text[separator_at] == '.') {
    // 001a.2b3c.4d5e: groups of four, the last one of a prefix may be shorter.
    const auto groups = Split(text, '.');
    if (groups.size() > 3) return {};
    for (size_t i = 0; i < groups.size(); ++i) {
      const bool last = i + 1 == groups.size();
      if (groups[i].empty() || !AllHex(groups[i]) || groups[i].size() > 4) return {};
      if (groups[i].size() != 4 && (whole || !last)) return {};
      digits += Lower(groups[i]);
    }
  } else {
    // 00:1a:2b:3c:4d:5e, 00-1a-..., 00 1a ...: one separator throughout,
    // octets of one or two digits.
    const char separator = text[separator_at];
    const auto groups = Split(text, separator);
    if (groups.size() > 6) return {};
    for (const std::string_view group : groups) {
      if (group.empty() || group.size() > 2 || !AllHex(group)) return {};
      digits += group.size() == 1 ? "0" + Lower(group) : Lower(group);
    }
  }
  if (digits.size() > kMacDigits) return {};
  if (whole ? digits.size() != kMacDigits : digits.size() < kMinPrefixDigits) return {};
  return digits;
}

std::string StoredMacText(std::string_view digits) {
  std::string text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && i % 2 == 0) text += ' ';
    text += digits[i];
  }
  return text;
}

std::optional<std::string> AddressBytes(std::string_view text) {
  // inet_pton wants a terminated string and nothing around the address.
  if (text.empty() || text.size() > INET6_ADDRSTRLEN) return std::nullopt;
  const std::string address(text);
  std::array<uint8_t, 16> bytes{};
  if (::inet_pton(AF_INET, address.c_str(), bytes.data()) == 1)
    return std::string(reinterpret_cast<const char*>(bytes.data()), 4);
  if (::inet_pton(AF_INET6, address.c_str(), bytes.data()) == 1)
    return std::string(reinterpret_cast<const char*>(bytes.data()), 16);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ParseMacAddress(std::string_view text) {
  const std::string digits = MacDigits(text, /*whole=*/true);
  if (digits.empty()) return std::nullopt;
  return StoredMacText(digits);
}

std::optional<std::string> ParseMacPrefix(std::string_view text) {
  const std::string digits = MacDigits(text, /*whole=*/false);
  if (digits.empty()) return std::nullopt;
  return StoredMacText(digits);
}

std::optional<std::string> CanonicalIp(std::string_view text) {
  const auto key = AddressBytes(TrimBlanks(text));
  if (!key) return std::nullopt;
  if (key->size() == 4) {
    char buffer[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, key->data(), buffer, sizeof buffer);
    return std::string(buffer);
  }
  std::array<uint8_t, 16> bytes{};
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>((*key)[i]);
  return Ipv6Text(bytes);
}

std::optional<std::string> IpKeyOf(std::string_view ip) {
  return AddressBytes(ip);
}

std::optional<IpRange> ParseIpRange(std::string_view text) {
  text = TrimBlanks(text);
  const size_t slash = text.find('/');
  const auto key = AddressBytes(text.substr(0, slash));
  if (!key) return std::nullopt;
  const int family_bits = static_cast<int>(key->size() * 8);
  int bits = family_bits;
  if (slash != std::string_view::npos) {
    const std::string_view length = text.substr(slash + 1);
    if (length.empty() || length.size() > 3) return std::nullopt;
    bits = 0;
    for (const char c : length) {
      if (c < '0' || c > '9') return std::nullopt;
      bits = bits * 10 + (c - '0');
    }
    if (bits > family_bits) return std::nullopt;
  }
  IpRange range{*key, *key, bits};
  for (int bit = bits; bit < family_bits; ++bit) {
    const auto mask = static_cast<unsigned char>(0x80u >> (bit % 8));
    const auto at = static_cast<size_t>(bit / 8);
    range.low[at] = static_cast<char>(static_cast<unsigned char>(range.low[at]) & ~mask);
    range.high[at] = static_cast<char>(static_cast<unsigned char>(range.high[at]) | mask);
  }
  return range;
}

}  // namespace vexa
