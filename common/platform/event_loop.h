// The single-threaded event loop. It owns periodic and one-shot timers,
// file-descriptor watches and posted events, and hands them out only from
// Run() (the idle pump of a program) and the cooperative waits WaitMs() and
// WaitUntil() of a running procedure. Handlers may wait themselves; waits
// nest and the inner one finishes first. A timer or watch whose handler is
// still running further up the stack is not handed out again until it
// returns, so ticks never overlap themselves.
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
  // Waits until `done` holds, handling events as they arrive, for at most
  // `limit`; `done` is asked before the wait and after every pass of the
  // loop. Returns whether it holds. For a procedure that waits on events of
  // its own (answers to its queries) rather than for a fixed time.
  bool WaitUntil(const std::function<bool()>& done, Millis limit);
  // Handles what is pending now (posted events, due timers, ready fds)
  // without waiting for more: a wait like the others as far as re-entry
  // goes, for loops that give way often and cannot afford a slice each time.
  void HandlePending();
  // How many waits (WaitMs, WaitUntil) are active on the stack.
  int WaitDepth() const { return wait_depth_; }

  // Marks a stretch of a handler that must not wait (a request half built,
  // an answer half read): other events would run in the middle of it. A wait
  // inside it is a fault of the code, stopped by an assertion in debug
  // builds.
  class NoWaitScope {
   public:
    explicit NoWaitScope(EventLoop& loop) : loop_(loop) { ++loop_.no_wait_depth_; }
    ~NoWaitScope() { --loop_.no_wait_depth_; }
    NoWaitScope(const NoWaitScope&) = delete;
    NoWaitScope& operator=(const NoWaitScope&) = delete;

   private:
    EventLoop& loop_;
  };
  // Time spent inside outermost waits so far, by the loop's clock; lets a
  // benchmark tell the specified waits from the work around them.
  SteadyTime::duration TimeInWaits() const { return time_in_waits_; }

  // The idle pump: handles events until Quit().
  void Run();
  void Quit() { quit_ = true; }

  // Handles events for at most `max_wait`, returning after the first pass that
  // handled something or when the time is up. For tests and small tools.
  bool RunFor(Millis max_wait);

  // Queues a callback for the next pass of the loop.
  void Post(Callback cb) { posted_.push_back(std::move(cb)); }

  // Calls on_ready with the poll events that occurred whenever fd polls
  // ready for `events` (POLLIN, POLLOUT or both; errors and hang-ups are
  // reported too). No events: the watch rests. Returns an id for Unwatch.
  using ReadyCallback = std::function<void(short revents)>;
  int Watch(int fd, short events, ReadyCallback on_ready);
  void SetWatchEvents(int id, short events);
  // Calls on_readable whenever fd polls readable.
  int WatchReadable(int fd, Callback on_readable);
  void Unwatch(int id) { watches_.erase(id); }

  // Events handed out so far (timer ticks, readable fds, posted callbacks).
  uint64_t EventsHandled() const { return events_handled_; }

 private:
  friend class PeriodicTimer;
  friend class OneShotTimer;

  struct TimerState {
    Millis interval{0};  // zero: one shot, switched off as it fires
    bool enabled = false;
    bool running = false;
    SteadyTime due{};
    Callback on_tick;
  };
  struct FdWatch {
    int fd = -1;
    short events = 0;
    bool running = false;
    ReadyCallback on_ready;
  };

  // Keeps the wait depth and the time spent in outermost waits.
  class WaitScope {
   public:
    explicit WaitScope(EventLoop& loop);
    ~WaitScope();

   private:
    EventLoop& loop_;
    SteadyTime start_;
  };

  // One pass: posted events, due timers, then fds, waiting until `deadline`
  // at most. The clock is read once, at the start of the pass. Returns
  // whether anything was handled.
  bool RunOnce(SteadyTime deadline);
  bool RunPosted();
  bool RunDueTimers(SteadyTime now);
  void RunTimer(int id);
  SteadyTime NextTimerDue(SteadyTime limit) const;

  Clock& clock_;
  std::map<int, TimerState> timers_;
  std::map<int, FdWatch> watches_;
  std::deque<Callback> posted_;
  int next_id_ = 1;
  int wait_depth_ = 0;
  int no_wait_depth_ = 0;
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

// A timer that fires once at a set moment, then rests until it is started
// again (also from its own handler).
class OneShotTimer {
 public:
  OneShotTimer(EventLoop& loop, EventLoop::Callback on_fire);
  ~OneShotTimer();
  OneShotTimer(const OneShotTimer&) = delete;
  OneShotTimer& operator=(const OneShotTimer&) = delete;

  // Fires at `when` (at once when it has passed); replaces an earlier start.
  void StartAt(SteadyTime when);
  void Stop();
  bool Active() const;

 private:
  EventLoop& loop_;
  int id_;
};

}  // namespace vexa
