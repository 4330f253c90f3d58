#include "arp/mac_format.h"

#include "arp/event_log.h"
#include "text/printable.h"

namespace vexa {

namespace {
// The conversion counts characters in a 16-bit counter.
constexpr size_t kMaxOctets = 32767;
}  // namespace

std::string FormatMac(std::string_view octets) {
  if (octets.empty()) return "00 00 00 00 00 00";
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(octets.size() * 3);
  for (const char c : octets) {
    const auto octet = static_cast<unsigned char>(c);
    if (!text.empty()) text += ' ';
    text += kHex[octet >> 4];
    text += kHex[octet & 0x0f];
  }
  return text;
}

std::string MacText(std::string_view octets, EventLog& log) {
  if (octets.size() <= kMaxOctets) return FormatMac(octets);
  // Taken before the log line, whose wait lets other events run.
  std::string kept = PrintableAsciiOnly(octets);
  log.LogEvent(kLogSourceCollector, "ConvToMac",
               "Overflow: a physical address of " + std::to_string(octets.size()) +
                   " octets is too long to format",
               kLevelError);
  return kept;
}

}  // namespace vexa
