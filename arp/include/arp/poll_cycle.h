// One poll cycle: the routers of the list walked one after the other, the
// rows of each traced (in debug mode) and merged into the store.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "arp/context.h"
#include "arp/store.h"
#include "arp/walk.h"

namespace vexa {

class PollCycle {
 public:
  // Walks one router and returns when the walk has ended.
  using WalkFn = std::function<WalkResult(const std::string& router)>;

  PollCycle(const CollectorContext& ctx, ArpStore& store, WalkFn walk)
      : ctx_(ctx), store_(store), walk_(std::move(walk)) {}

  // Walks every router of the list and merges what each walk found.
  // Failures end the cycle and are logged, never thrown.
  void Run();

 private:
  void WriteTraceBlock(const std::string& router, const std::string& start,
                       const WalkResult& walked) const;

  const CollectorContext& ctx_;
  ArpStore& store_;
  WalkFn walk_;
  size_t last_walk_rows_ = 0;  // for the failure line: rows of the latest walk
};

}  // namespace vexa
