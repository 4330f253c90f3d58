#include "platform/clock.h"

#include <cerrno>

namespace vexa {

int SystemClock::Poll(pollfd* fds, nfds_t count, Millis timeout) {
  const int ms = timeout.count() < 0 ? 0 : static_cast<int>(timeout.count());
  int rc;
  do {
    rc = ::poll(fds, count, ms);
  } while (rc < 0 && errno == EINTR && ms == 0);
  return rc < 0 && errno == EINTR ? 0 : rc;
}

SimulatedClock::SimulatedClock(WallTime wall_start)
    : steady_start_(SteadyTime{} + std::chrono::hours(24)),
      steady_(steady_start_),
      wall_start_(wall_start) {}

int SimulatedClock::Poll(pollfd* fds, nfds_t count, Millis timeout) {
  if (timeout.count() < 0) timeout = Millis{0};
  const Millis budget = std::min(timeout, real_poll_budget_);
  int rc = ::poll(fds, count, static_cast<int>(budget.count()));
  if (rc < 0 && errno == EINTR) rc = 0;
  if (rc <= 0) {
    steady_ += timeout;
    waited_ += timeout;
  }
  return rc;
}

}  // namespace vexa
