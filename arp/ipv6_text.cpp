#include "arp/ipv6_text.h"

namespace vexa {

std::string Ipv6Text(const std::array<uint8_t, 16>& bytes) {
  uint16_t groups[8];
  for (int i = 0; i < 8; ++i)
    groups[i] = static_cast<uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);

  // glibc's inet_ntop also writes ::a.b.c.d for the deprecated compatible
  // form, which the canonical form writes in hex; hence our own.
  const bool mapped = groups[0] == 0 && groups[1] == 0 && groups[2] == 0 && groups[3] == 0 &&
                      groups[4] == 0 && groups[5] == 0xffff;
  if (mapped)
    return "::ffff:" + std::to_string(bytes[12]) + '.' + std::to_string(bytes[13]) + '.' +
           std::to_string(bytes[14]) + '.' + std::to_string(bytes[15]);

  int best_start = -1, best_length = 0;
  for (int i = 0; i < 8;) {
    if (groups[i] != 0) {
      ++i;
      continue;
    }
    int j = i;
    while (j < 8 && groups[j] == 0) ++j;
    if (j - i > best_length) best_start = i, best_length = j - i;
    i = j;
  }
  if (best_length < 2) best_start = -1;  // a single zero group stays "0"

  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (int i = 0; i < 8; ++i) {
    if (i == best_start) {
      text += "::";
      i += best_length - 1;
      continue;
    }
    if (!text.empty() && text.back() != ':') text += ':';
    bool leading = true;
    for (int shift = 12; shift >= 0; shift -= 4) {
      const int digit = groups[i] >> shift & 15;
      if (leading && digit == 0 && shift > 0) continue;
      leading = false;
      text += kHex[digit];
    }
  }
  return text;
}

}  // namespace vexa
