// Whether the collector can poll a router address: exactly what its SNMP
// layer accepts as an agent address (numeric IPv4 or IPv6, no names).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vexa::cli {

// The address as one text for comparisons ("::ffff:192.0.2.1" and
// "192.0.2.1" give the same), or nullopt when the collector cannot use it.
std::optional<std::string> RouterAddressKey(std::string_view entry);

}  // namespace vexa::cli
