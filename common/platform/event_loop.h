// The single-threaded event loop. It owns periodic timers, readable-file
// watches and posted events, and hands them out only from Run() (the idle
// pump of a program) and WaitMs() (the cooperative wait of a running
// procedure). Handlers may call WaitMs() themselves; waits nest and the inner
// one finishes first. A timer or watch whose handler is still running further
// up the stack is not handed out again until it returns, so ticks never
// overlap themselves.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>

#include "platform/clock.h"

namespace vexa {

class EventLoop {
 public:
  using Callback = std::function<void()>;

  explicit EventLoop(Clock& clock) : clock_(clock) {}
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  Clock& clock() const { return clock_; }

  // Waits n milliseconds as n / 10 slices of 10 ms (remainder dropped). Within
  // a slice, events are handled as they arrive; after it, whatever is pending.
  // Below 10 (and negative) it returns at once and handles nothing.
  void WaitMs(int n);
  // How many WaitMs calls are active on the stack.
  int WaitDepth() const { return wait_depth_; }
  // Time spent inside outermost WaitMs calls so far, by the loop's clock;
  // lets a benchmark tell the specified waits from the work around them.
  SteadyTime::duration TimeInWaits() const { return time_in_waits_; }

  // The idle pump: handles events until Quit().
  void Run();
  void Quit() { quit_ = true; }

  // Handles events for at most `max_wait`, returning after the first pass that
  // handled something or when the time is up. For tests and small tools.
  bool RunFor(Millis max_wait);

  // Queues a callback for the next pass of the loop.
  void Post(Callback cb) { posted_.push_back(std::move(cb)); }

  // Calls on_readable whenever fd polls readable. Returns an id for Unwatch.
  int WatchReadable(int fd, Callback on_readable);
  void Unwatch(int id) { watches_.erase(id); }

  // Events handed out so far (timer ticks, readable fds, posted callbacks).
  uint64_t EventsHandled() const { return events_handled_; }

 private:
  friend class PeriodicTimer;

  struct TimerState {
    Millis interval{0};
    bool enabled = false;
    bool running = false;
    SteadyTime due{};
    Callback on_tick;
  };
  struct Watch {
    int fd = -1;
    bool running = false;
    Callback on_readable;
  };

  // One pass: posted events, due timers, then fds, waiting until `deadline`
  // at most. Returns whether anything was handled.
  bool RunOnce(SteadyTime deadline);
  bool RunPosted();
  bool RunDueTimers();
  void RunTimer(int id);
  SteadyTime NextTimerDue(SteadyTime limit) const;

  Clock& clock_;
  std::map<int, TimerState> timers_;
  std::map<int, Watch> watches_;
  std::deque<Callback> posted_;
  int next_id_ = 1;
  int wait_depth_ = 0;
  SteadyTime::duration time_in_waits_{0};
  bool quit_ = false;
  uint64_t events_handled_ = 0;
};

// A periodic timer with an on/off switch, like a form timer: switching it on
// starts the interval from now; a tick that falls due while the previous tick
// is still running is dropped.
class PeriodicTimer {
 public:
  PeriodicTimer(EventLoop& loop, Millis interval, EventLoop::Callback on_tick);
  ~PeriodicTimer();
  PeriodicTimer(const PeriodicTimer&) = delete;
  PeriodicTimer& operator=(const PeriodicTimer&) = delete;

  void SetEnabled(bool enabled);
  bool Enabled() const;

 private:
  EventLoop& loop_;
  int id_;
};

}  // namespace vexa
