// MAC address text: two lowercase hexadecimal digits per octet, separated by
// single spaces ("00 1a 2b 3c 4d 5e").
#pragma once

#include <string>
#include <string_view>

namespace vexa {

class EventLog;

// The text for the octets of a physical address; any number of octets, one
// pair each. No octets give "00 00 00 00 00 00".
std::string FormatMac(std::string_view octets);

// The MAC text of a physical address as an agent sent it (one byte per
// octet). A value too long for the conversion (over 32767 octets) is logged
// and given back unformatted, every byte outside printable ASCII shown as
// '?', so that no control, no bidirectional override and no broken UTF-8
// reaches a file or a terminal.
std::string MacText(std::string_view octets, EventLog& log);

}  // namespace vexa
