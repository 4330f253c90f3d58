#include "arp/walker_pool.h"

#include <algorithm>

namespace vexa {

void WalkerPool::Resize(int count, const snmp::UsmUser* user) {
  extras_.clear();
  const int wanted = std::clamp(count, 1, 25) - 1;
  for (int i = 0; i < wanted; ++i) {
    auto extra = std::make_unique<Extra>(ctx_);
    try {
      // The address VEXAARP_SNMP_BIND pins, but not its port: the first
      // walker's endpoint has that.
      extra->manager.SetLocalPort(0);
      extra->manager.SetIgnorePinnedPort(true);
      extra->manager.Open();
      if (user != nullptr) extra->manager.SetUsmUser(*user);
    } catch (const std::exception& e) {
      ctx_.log.LogEvent(
          kLogSourceCollector, "ServiceOpen",
          "Walker " + std::to_string(i + 2) + " of " + std::to_string(count) + ": " + e.what(),
          kLevelError);
      break;
    }
    extra->walker.ShareJobNotes(first_);
    extra->walker.SetEnabled(first_.Enabled());
    extras_.push_back(std::move(extra));
  }
}

std::vector<ArpWalker*> WalkerPool::Walkers() {
  std::vector<ArpWalker*> walkers{&first_};
  for (const auto& extra : extras_) walkers.push_back(&extra->walker);
  return walkers;
}

void WalkerPool::SetEnabled(bool enabled) {
  for (ArpWalker* walker : Walkers()) walker->SetEnabled(enabled);
}

}  // namespace vexa
