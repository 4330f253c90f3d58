// Reverse lookups through c-ares. Each batch runs on the calling thread:
// it opens its own c-ares channels, polls their sockets with poll() and
// closes them before returning, so nothing outlives the call.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "dns/reverse_resolver.h"

namespace vexa::dns {

struct CaresResolverOptions {
  // Hard limit for one lookup, all tries and servers included. A lookup
  // still unanswered then counts as timed out.
  std::chrono::milliseconds timeout{5000};
  // Rounds over the server list within that limit (at least 1).
  int tries = 2;
  // Lookups in flight at once (at least 1).
  size_t max_in_flight = 64;
  // Servers in the syntax of VEXAARP_DNS_SERVERS. Empty: the system's
  // configuration, /etc/hosts first, then the servers of /etc/resolv.conf.
  // When set, only these servers answer and /etc/hosts is not read.
  std::string servers;
};

// Default options, with `servers` taken from VEXAARP_DNS_SERVERS when set.
CaresResolverOptions ResolverOptionsFromEnvironment();

class CaresReverseResolver final : public ReverseResolver {
 public:
  explicit CaresReverseResolver(CaresResolverOptions options = ResolverOptionsFromEnvironment());

  // Outcomes: a name; kNotFound, kTimedOut, kServerError or kBadAnswer for
  // "no name"; kFailed when the text is no IP address or c-ares cannot be
  // set up (including an unusable server list). The whole batch takes at
  // most about ceil(addresses / max_in_flight) * timeout.
  std::vector<LookupResult> LookupAll(const std::vector<std::string>& addresses) override;

  const CaresResolverOptions& options() const { return options_; }

 private:
  CaresResolverOptions options_;
};

}  // namespace vexa::dns
