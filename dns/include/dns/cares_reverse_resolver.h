// Reverse lookups through c-ares, driven by the event loop: the sockets of
// c-ares are watches of the loop and its time-outs a timer of the loop, so a
// batch waits in the loop's cooperative wait and every other event (signals,
// timer ticks, SNMP replies) is handled while the lookups run. Each batch
// opens its own c-ares channels and closes them before it returns, so
// nothing outlives the call.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "dns/reverse_resolver.h"
#include "platform/event_loop.h"

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

class LookupBatch;  // the lookups of one LookupAll() call

class CaresReverseResolver final : public ReverseResolver {
 public:
  explicit CaresReverseResolver(EventLoop& loop,
                                CaresResolverOptions options = ResolverOptionsFromEnvironment());
  ~CaresReverseResolver() override;
  CaresReverseResolver(const CaresReverseResolver&) = delete;
  CaresReverseResolver& operator=(const CaresReverseResolver&) = delete;

  // Outcomes: a name; kNotFound, kTimedOut, kServerError or kBadAnswer for
  // "no name"; kFailed when the text is no IP address or c-ares cannot be
  // set up (including an unusable server list), or when a batch is already
  // running further up the stack; kCancelled after CancelAll(). The whole
  // batch takes at most about ceil(addresses / max_in_flight) * timeout.
  std::vector<LookupResult> LookupAll(const std::vector<std::string>& addresses) override;
  void CancelAll() override;

  const CaresResolverOptions& options() const { return options_; }

 private:
  EventLoop& loop_;
  CaresResolverOptions options_;
  LookupBatch* batch_ = nullptr;  // the batch waiting for its lookups, if any
};

}  // namespace vexa::dns
