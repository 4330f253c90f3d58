// Which changes the sighting of an IP address in a poll cycle makes, against
// the pairings (IP, MAC) the history held for that address before the cycle.
// Pure decisions: the history store reads the pairings and writes the result.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vexa {

struct KnownPairing {
  std::string mac;
  std::string router;
  int32_t if_index = 0;
  int64_t last_seen = 0;  // UTC seconds
  bool current = false;
};

struct Sighting {
  std::string mac;
  std::string router;
  int32_t if_index = 0;
  int64_t time = 0;  // UTC seconds of the cycle
};

struct SightingDecision {
  // Kinds raised now, in this order: new_ip, mac_changed, flip_flop,
  // reused_mac, new_activity. `moved` is decided at the end of the cycle,
  // once every router has been heard: see `moved_from`.
  std::vector<std::string> kinds;
  std::string old_mac;  // the MAC address the change replaced, if any
  // The sighting is of the current pairing, on another router or interface
  // than its last one: a move, unless the cycle also sees it where it was.
  bool maybe_moved = false;
};

// `quiet_seconds`: a pairing unseen for longer is new activity when seen again.
SightingDecision DecideSighting(std::span<const KnownPairing> before, const Sighting& seen,
                                int64_t quiet_seconds);

// Virtual-router addresses (VRRP, HSRP, GLBP) move between routers by
// design: a change to or from one raises no mac_changed, flip_flop or
// reused_mac.
bool IsVirtualRouterText(const std::string& mac);

}  // namespace vexa
