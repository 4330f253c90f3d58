// Loops over rows and records pause for 50 ms after every 101 items, so the
// service answers its own events during long tables. The count runs on over
// everything one call of the loop's owner handles.
#pragma once

#include "platform/event_loop.h"

namespace vexa {

class RowPacer {
 public:
  // While `*hurry` (when given) is true the pauses are left out: a stopping
  // service has no events left to answer.
  // A `brief` pacer handles only the events pending at each pause instead of
  // waiting 50 ms: for loops that run while walks keep the loop busy anyway.
  explicit RowPacer(EventLoop& loop, const bool* hurry = nullptr, bool brief = false)
      : loop_(loop), hurry_(hurry), brief_(brief) {}

  // Counts one item; after every 101st runs `before_pause` (to leave nothing
  // half-written while other events run) and then waits: the caller may be
  // re-entered there, as in any wait of the event loop.
  template <typename BeforePause>
  void CountMayWait(BeforePause before_pause) {
    if (++count_ <= kItemsPerPause) return;
    before_pause();
    if (brief_)
      loop_.HandlePending();
    else if (hurry_ == nullptr || !*hurry_)
      loop_.WaitMs(kPauseMs);
    count_ = 0;
  }
  void CountMayWait() {
    CountMayWait([] {});
  }

 private:
  static constexpr int kItemsPerPause = 100;  // the pause comes after item 101
  static constexpr int kPauseMs = 50;

  EventLoop& loop_;
  const bool* hurry_;
  bool brief_;
  int count_ = 0;
};

}  // namespace vexa
