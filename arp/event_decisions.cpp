#include "arp/event_decisions.h"

#include "arp/mac_class.h"

namespace vexa {

bool IsVirtualRouterText(const std::string& mac) {
  const std::optional<uint64_t> value = MacValue(mac);
  return value && !VirtualRouterName(*value).empty();
}

SightingDecision DecideSighting(std::span<const KnownPairing> before, const Sighting& seen,
                                int64_t quiet_seconds) {
  SightingDecision decision;
  if (before.empty()) {
    decision.kinds.push_back("new_ip");
    return decision;
  }
  // The address's latest MAC: the current pairing, or when a `gone` closed it,
  // the one seen last.
  const KnownPairing* latest = nullptr;
  for (const KnownPairing& p : before)
    if (p.current) latest = &p;
  if (latest == nullptr)
    for (const KnownPairing& p : before)
      if (latest == nullptr || p.last_seen > latest->last_seen) latest = &p;
  const KnownPairing* same = nullptr;
  for (const KnownPairing& p : before)
    if (p.mac == seen.mac) same = &p;

  if (same == latest) {
    decision.maybe_moved =
        latest->current && (latest->router != seen.router || latest->if_index != seen.if_index);
  } else if (!IsVirtualRouterText(seen.mac) && !IsVirtualRouterText(latest->mac)) {
    decision.old_mac = latest->mac;
    if (same == nullptr) {
      decision.kinds.push_back("mac_changed");
    } else {
      // The MAC address the address had just before its latest one.
      const KnownPairing* previous = nullptr;
      for (const KnownPairing& p : before)
        if (&p != latest && (previous == nullptr || p.last_seen > previous->last_seen))
          previous = &p;
      decision.kinds.push_back(same == previous ? "flip_flop" : "reused_mac");
    }
  }
  if (same != nullptr && seen.time - same->last_seen > quiet_seconds)
    decision.kinds.push_back("new_activity");
  return decision;
}

}  // namespace vexa
