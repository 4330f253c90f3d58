#include "platform/event_loop.h"

#include <algorithm>
#include <cassert>
#include <vector>

namespace vexa {

namespace {
constexpr Millis kSlice{10};
constexpr Millis kIdlePoll{1000};

// Calls `handler` (a copy: it may destroy its own registration), then `after`,
// whether the handler returns or throws.
template <typename After>
void CallThen(EventLoop::Callback handler, After after) {
  try {
    handler();
  } catch (...) {
    after();
    throw;
  }
  after();
}
}  // namespace

EventLoop::WaitScope::WaitScope(EventLoop& loop) : loop_(loop), start_(loop.clock_.Now()) {
  assert(loop_.no_wait_depth_ == 0 && "a wait where the handler must not wait");
  ++loop_.wait_depth_;
}

EventLoop::WaitScope::~WaitScope() {
  if (--loop_.wait_depth_ == 0) loop_.time_in_waits_ += loop_.clock_.Now() - start_;
}

void EventLoop::HandlePending() {
  const WaitScope scope(*this);
  RunOnce(clock_.Now());
}

void EventLoop::WaitMs(int n) {
  const int slices = n / 10;
  if (slices <= 0) return;
  const WaitScope scope(*this);
  for (int i = 0; i < slices; ++i) {
    const SteadyTime slice_end = clock_.Now() + kSlice;
    while (clock_.Now() < slice_end) RunOnce(slice_end);
    RunOnce(clock_.Now());  // whatever became pending at the end of the slice
  }
}

bool EventLoop::WaitUntil(const std::function<bool()>& done, Millis limit) {
  if (done()) return true;
  const WaitScope scope(*this);
  const SteadyTime end = clock_.Now() + limit;
  for (;;) {
    const SteadyTime now = clock_.Now();
    if (now >= end) return done();
    RunOnce(std::min(end, now + kSlice));
    if (done()) return true;
  }
}

void EventLoop::Run() {
  quit_ = false;
  while (!quit_) RunOnce(clock_.Now() + kIdlePoll);
}

bool EventLoop::RunFor(Millis max_wait) {
  const SteadyTime deadline = clock_.Now() + max_wait;
  do {
    if (RunOnce(deadline)) return true;
  } while (clock_.Now() < deadline);
  return false;
}

int EventLoop::Watch(int fd, short events, ReadyCallback on_ready) {
  const int id = next_id_++;
  watches_[id] = FdWatch{fd, events, false, std::move(on_ready)};
  return id;
}

void EventLoop::SetWatchEvents(int id, short events) {
  const auto it = watches_.find(id);
  if (it != watches_.end()) it->second.events = events;
}

int EventLoop::WatchReadable(int fd, Callback on_readable) {
  return Watch(fd, POLLIN, [cb = std::move(on_readable)](short) { cb(); });
}

bool EventLoop::RunPosted() {
  // Only what was queued before this pass; callbacks may post more.
  size_t count = posted_.size();
  bool handled = false;
  while (count-- > 0 && !posted_.empty()) {
    Callback cb = std::move(posted_.front());
    posted_.pop_front();
    ++events_handled_;
    handled = true;
    cb();
  }
  return handled;
}

void EventLoop::RunTimer(int id) {
  auto it = timers_.find(id);
  TimerState& t = it->second;
  t.running = true;
  if (t.interval.count() == 0) t.enabled = false;  // one shot: off until started again
  t.due += t.interval;
  ++events_handled_;
  // Runs when the handler returns or throws; the handler may have switched
  // or destroyed its own timer meanwhile.
  const auto finish = [this, id] {
    const auto after = timers_.find(id);
    if (after == timers_.end()) return;
    TimerState& state = after->second;
    state.running = false;
    // Ticks that fell due while the handler ran are dropped, keeping the grid;
    // the handler may have run for minutes, so this asks the clock again.
    const SteadyTime now = clock_.Now();
    if (state.interval.count() > 0 && state.due <= now) {
      const auto missed = (now - state.due) / state.interval + 1;
      state.due += state.interval * missed;
    }
  };
  CallThen(t.on_tick, finish);
}

bool EventLoop::RunDueTimers(SteadyTime now) {
  std::vector<int> due;
  for (const auto& [id, t] : timers_)
    if (t.enabled && !t.running && t.due <= now) due.push_back(id);
  bool handled = false;
  for (int id : due) {
    auto it = timers_.find(id);
    // An earlier handler of this pass may have switched it off, or run it in
    // a wait of its own and so moved it on.
    if (it == timers_.end() || !it->second.enabled || it->second.running || it->second.due > now)
      continue;
    RunTimer(id);
    handled = true;
  }
  return handled;
}

SteadyTime EventLoop::NextTimerDue(SteadyTime limit) const {
  SteadyTime next = limit;
  for (const auto& [id, t] : timers_)
    if (t.enabled && !t.running) next = std::min(next, t.due);
  return next;
}

bool EventLoop::RunOnce(SteadyTime deadline) {
  const SteadyTime now = clock_.Now();
  bool handled = RunPosted();
  handled |= RunDueTimers(now);

  std::vector<pollfd> fds;
  std::vector<int> ids;
  for (const auto& [id, w] : watches_) {
    if (w.running || w.events == 0) continue;
    fds.push_back({w.fd, w.events, 0});
    ids.push_back(id);
  }
  // Nothing ran since `now` was read unless something was handled, and then
  // the poll does not wait.
  Millis timeout{0};
  if (!handled && posted_.empty()) {
    const SteadyTime until = NextTimerDue(deadline);
    if (until > now) {
      timeout = std::chrono::ceil<Millis>(until - now);
    }
  }
  const int ready = clock_.Poll(fds.data(), fds.size(), timeout);
  for (size_t i = 0; ready > 0 && i < fds.size(); ++i) {
    const short revents = fds[i].revents;
    if (revents == 0) continue;
    auto it = watches_.find(ids[i]);
    // An earlier handler of this pass may have removed or rearranged it.
    if (it == watches_.end() || it->second.running || it->second.fd != fds[i].fd) continue;
    if ((revents & (it->second.events | POLLERR | POLLHUP | POLLNVAL)) == 0) continue;
    it->second.running = true;
    ++events_handled_;
    handled = true;
    const ReadyCallback handler = it->second.on_ready;
    CallThen([&handler, revents] { handler(revents); },
             [this, id = ids[i]] {
               const auto after = watches_.find(id);
               if (after != watches_.end()) after->second.running = false;
             });
  }
  return handled;
}

PeriodicTimer::PeriodicTimer(EventLoop& loop, Millis interval, EventLoop::Callback on_tick)
    : loop_(loop), id_(loop.next_id_++) {
  EventLoop::TimerState state;
  state.interval = interval;
  state.on_tick = std::move(on_tick);
  loop_.timers_[id_] = std::move(state);
}

PeriodicTimer::~PeriodicTimer() {
  loop_.timers_.erase(id_);
}

void PeriodicTimer::SetEnabled(bool enabled) {
  EventLoop::TimerState& t = loop_.timers_[id_];
  if (enabled && !t.enabled) t.due = loop_.clock_.Now() + t.interval;
  t.enabled = enabled;
}

bool PeriodicTimer::Enabled() const {
  return loop_.timers_.at(id_).enabled;
}

OneShotTimer::OneShotTimer(EventLoop& loop, EventLoop::Callback on_fire)
    : loop_(loop), id_(loop.next_id_++) {
  EventLoop::TimerState state;
  state.on_tick = std::move(on_fire);
  loop_.timers_[id_] = std::move(state);
}

OneShotTimer::~OneShotTimer() {
  loop_.timers_.erase(id_);
}

void OneShotTimer::StartAt(SteadyTime when) {
  EventLoop::TimerState& t = loop_.timers_[id_];
  t.due = when;
  t.enabled = true;
}

void OneShotTimer::Stop() {
  loop_.timers_[id_].enabled = false;
}

bool OneShotTimer::Active() const {
  return loop_.timers_.at(id_).enabled;
}

}  // namespace vexa
