// The one source of "now" for the programs. Steady time drives timers and
// deadlines; wall time is what gets printed. Waiting for file descriptors goes
// through the clock too, so a simulated clock can move time forward instead of
// sleeping and tests can run hours of timer ticks in milliseconds.
#pragma once

#include <poll.h>

#include <chrono>

namespace vexa {

using SteadyTime = std::chrono::steady_clock::time_point;
using WallTime = std::chrono::system_clock::time_point;
using Millis = std::chrono::milliseconds;

class Clock {
 public:
  virtual ~Clock() = default;
  virtual SteadyTime Now() const = 0;
  virtual WallTime WallNow() const = 0;
  // poll(2) on fds for at most `timeout`; returns what poll returns.
  virtual int Poll(pollfd* fds, nfds_t count, Millis timeout) = 0;
};

class SystemClock final : public Clock {
 public:
  SteadyTime Now() const override { return std::chrono::steady_clock::now(); }
  WallTime WallNow() const override { return std::chrono::system_clock::now(); }
  int Poll(pollfd* fds, nfds_t count, Millis timeout) override;
};

// Time stands still until a wait moves it. A wait first looks at the file
// descriptors for at most `real_poll_budget` of real time (zero by default,
// so traffic that is already queued is seen); when nothing is ready the whole
// timeout passes at once.
class SimulatedClock final : public Clock {
 public:
  explicit SimulatedClock(WallTime wall_start);
  SteadyTime Now() const override { return steady_; }
  WallTime WallNow() const override { return wall_start_ + (steady_ - steady_start_); }
  int Poll(pollfd* fds, nfds_t count, Millis timeout) override;

  void Advance(Millis by) { steady_ += by; }
  void SetRealPollBudget(Millis budget) { real_poll_budget_ = budget; }
  // Total time that waits have let pass; lets tests count slices.
  Millis WaitedTotal() const { return waited_; }

 private:
  SteadyTime steady_start_;
  SteadyTime steady_;
  WallTime wall_start_;
  Millis real_poll_budget_{0};
  Millis waited_{0};
};

}  // namespace vexa
