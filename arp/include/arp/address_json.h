// JSON lines of the address history: one object per line, snake_case keys,
// times in local ISO 8601 with the offset, MAC addresses as the store keeps
// them. Every string is escaped: the values came from agents.
#pragma once

#include <cstdint>
#include <string>

#include "arp/address_event.h"

namespace vexa {

// One record of ArpHistory as shown.
struct PairingRecord {
  std::string ip;
  std::string mac;
  std::string router;
  int32_t if_index = 0;
  int64_t first_seen = 0;  // UTC seconds
  int64_t last_seen = 0;
  int64_t cycles = 0;
  bool current = false;
  std::string vendor;  // of `mac`, from the IEEE registries
};

// {"time":..,"kind":..,"ip":..,"mac":..,"old_mac":..,"router":..,"if_index":..,
// "vendor":..} and a line feed.
std::string EventJsonLine(const AddressEvent& event);

// {"ip":..,"mac":..,"router":..,"if_index":..,"first_seen":..,"last_seen":..,
// "cycles":..,"current":true|false,"vendor":..} and a line feed.
std::string PairingJsonLine(const PairingRecord& pairing);

}  // namespace vexa
