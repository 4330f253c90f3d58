// A change the address history found in a poll cycle, as table ArpEvent
// stores it and as it is delivered (journal, EventCommand, JSON lines).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexa {

// The kinds, as stored and shown:
//   new_ip        an IP address the history never had
//   mac_changed   an IP address answers with a MAC address it never had
//   flip_flop     an IP address goes back to the MAC address it had just
//                 before its current one
//   reused_mac    an IP address goes back to an older MAC address
//   new_activity  a pairing unseen for more than QuietDays is seen again
//   moved         a current pairing is seen on another router or interface
//   gone          a current pairing missed 3 normal walks of its router
inline constexpr std::string_view kEventKinds[] = {
    "new_ip", "mac_changed", "flip_flop", "reused_mac", "new_activity", "moved", "gone"};

inline bool IsEventKind(std::string_view kind) {
  for (const std::string_view known : kEventKinds)
    if (kind == known) return true;
  return false;
}

struct AddressEvent {
  int64_t time = 0;  // UTC seconds
  std::string kind;
  std::string ip;
  std::string mac;      // "00 1a 2b 3c 4d 5e"
  std::string old_mac;  // the MAC address before a change; empty for the other kinds
  std::string router;
  int32_t if_index = 0;
  bool delivered = true;  // false: recorded but held back
  std::string vendor;     // of `mac`, from the IEEE registries; shown, never stored
  friend bool operator==(const AddressEvent&, const AddressEvent&) = default;
};

}  // namespace vexa
