// One poll cycle: the routers of the list walked one after the other (or,
// with ParallelWalks above 1, up to that many at once), the rows of each
// traced (in debug mode) and merged into the store in the order of the list.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "arp/context.h"
#include "arp/store.h"
#include "arp/walk.h"
#include "platform/clock.h"

namespace vexa {

// What one router's walk of the last cycle came to.
struct RouterWalkFigures {
  std::string router;
  WalkOutcome outcome = WalkOutcome::kEndOfTable;
  size_t rows = 0;
  int resends = 0;
  Millis duration{0};
};

// The figures of the last cycle, for the overrun line and the metrics.
struct CycleFigures {
  Millis duration{0};                    // from the cycle's start to the merge of its last router
  WallTime end{};                        // when it ended, by the wall clock
  std::vector<RouterWalkFigures> walks;  // in list order, the routers walked
  bool stopped = false;                  // a stop ended it
};

class PollCycle {
 public:
  // Walks one router and returns when the walk has ended.
  using WalkFn = std::function<WalkResult(const std::string& router)>;
  // The walkers that may walk side by side, the first one first.
  using WalkersFn = std::function<std::vector<ArpWalker*>()>;

  PollCycle(const CollectorContext& ctx, ArpStore& store, WalkFn walk)
      : ctx_(ctx), store_(store), walk_(std::move(walk)) {}

  // With ParallelWalks above 1 the routers are walked by these walkers.
  void WalkSideBySideWith(WalkersFn walkers) { walkers_ = std::move(walkers); }

  // Walks every router of the list and merges what each walk found.
  // Failures end the cycle and are logged, never thrown.
  void Run();

  // A new job: the overrun line may be said again.
  void NewJob() { overrun_told_ = false; }

  const CycleFigures& LastFigures() const { return figures_; }

 private:
  void WalkOneByOne(const std::vector<std::string>& routers, MergePass& pass);
  void WalkSideBySide(const std::vector<std::string>& routers, std::vector<ArpWalker*> walkers,
                      MergePass& pass);
  // The one place where a walk's rows are used: its trace block, then the
  // merge into the store. Called router by router in the order of the list.
  void UseWalk(const std::string& router, const std::string& start, const WalkResult& walked,
               MergePass& pass);
  void NoteWalk(const std::string& router, const WalkResult& walked);
  // Says, once per job, that a cycle took longer than CheckInterval.
  void TellOverrun();
  void WriteTraceBlock(const std::string& router, const std::string& start,
                       const WalkResult& walked) const;

  const CollectorContext& ctx_;
  ArpStore& store_;
  WalkFn walk_;
  WalkersFn walkers_;
  size_t last_walk_rows_ = 0;  // for the failure line: rows of the latest walk
  CycleFigures figures_;
  bool overrun_told_ = false;
};

}  // namespace vexa
