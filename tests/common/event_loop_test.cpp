// Contract of the event loop and its cooperative wait, mostly on the
// simulated clock so slice counts and tick times are exact.
#include "platform/event_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/local_time.h"

namespace vexa {
namespace {

using std::chrono::milliseconds;

WallTime SomeMorning() {
  return FromLocal({2024, 3, 5, 10, 17, 0});
}

class SimulatedLoop : public ::testing::Test {
 protected:
  SimulatedClock clock{SomeMorning()};
  EventLoop loop{clock};
};

TEST_F(SimulatedLoop, WaitBelowOneSliceReturnsAtOnceWithoutHandlingEvents) {
  int handled = 0;
  loop.Post([&] { ++handled; });
  for (int n : {5, 9, 0, -20}) loop.WaitMs(n);
  EXPECT_EQ(clock.WaitedTotal(), milliseconds(0));
  EXPECT_EQ(handled, 0);
}

TEST_F(SimulatedLoop, WaitDropsTheRemainderOfTheSlice) {
  loop.WaitMs(19);
  EXPECT_EQ(clock.WaitedTotal(), milliseconds(10));
  loop.WaitMs(1000);
  EXPECT_EQ(clock.WaitedTotal(), milliseconds(1010));
}

TEST_F(SimulatedLoop, PostedEventsRunOnlyInsideAWait) {
  std::vector<int> order;
  loop.Post([&] { order.push_back(1); });
  order.push_back(0);
  loop.WaitMs(10);
  order.push_back(2);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST_F(SimulatedLoop, TimerFallingDueDuringAWaitIsHandledWithinIt) {
  std::vector<SteadyTime> ticks;
  PeriodicTimer timer(loop, milliseconds(30), [&] { ticks.push_back(clock.Now()); });
  const SteadyTime start = clock.Now();
  timer.SetEnabled(true);
  loop.WaitMs(100);
  ASSERT_EQ(ticks.size(), 3u);
  for (size_t i = 0; i < ticks.size(); ++i) {
    const auto due = start + milliseconds(30) * static_cast<int>(i + 1);
    EXPECT_GE(ticks[i], due);
    EXPECT_LE(ticks[i], due + milliseconds(10)) << "tick " << i << " handled late";
  }
}

TEST_F(SimulatedLoop, DisabledTimerDoesNotTickAndEnablingRestartsTheInterval) {
  int ticks = 0;
  PeriodicTimer timer(loop, milliseconds(50), [&] { ++ticks; });
  loop.WaitMs(200);
  EXPECT_EQ(ticks, 0);
  timer.SetEnabled(true);
  loop.WaitMs(40);
  EXPECT_EQ(ticks, 0);
  loop.WaitMs(20);
  EXPECT_EQ(ticks, 1);
  timer.SetEnabled(false);
  loop.WaitMs(500);
  EXPECT_EQ(ticks, 1);
}

TEST_F(SimulatedLoop, NestedWaitsFinishInnerFirst) {
  std::vector<std::string> order;
  loop.Post([&] {
    order.push_back("inner begins at depth " + std::to_string(loop.WaitDepth()));
    loop.WaitMs(50);
    order.push_back("inner ends");
  });
  loop.WaitMs(20);
  order.push_back("outer ends at depth " + std::to_string(loop.WaitDepth()));
  EXPECT_EQ(order, (std::vector<std::string>{"inner begins at depth 1", "inner ends",
                                             "outer ends at depth 0"}));
  // The inner 50 ms use up the outer wait's first slice; its second follows.
  EXPECT_EQ(clock.WaitedTotal(), milliseconds(60));
}

TEST_F(SimulatedLoop, TicksNeverOverlapAndTicksMissedMeanwhileAreDropped) {
  int depth = 0;
  int max_depth = 0;
  std::vector<milliseconds> ticks;
  const SteadyTime start = clock.Now();
  PeriodicTimer timer(loop, milliseconds(30), [&] {
    ticks.push_back(std::chrono::duration_cast<milliseconds>(clock.Now() - start));
    max_depth = std::max(max_depth, ++depth);
    if (ticks.size() == 1) loop.WaitMs(100);  // long handler: ticks at 60, 90, 120 fall due
    --depth;
  });
  timer.SetEnabled(true);
  loop.WaitMs(200);
  EXPECT_EQ(max_depth, 1);
  ASSERT_GE(ticks.size(), 3u);
  EXPECT_EQ(ticks[0], milliseconds(30));
  // The first tick ran until 130; the grid goes on at 150 without catching up.
  EXPECT_EQ(ticks[1], milliseconds(150));
  for (size_t i = 2; i < ticks.size(); ++i) EXPECT_EQ(ticks[i] - ticks[i - 1], milliseconds(30));
}

TEST_F(SimulatedLoop, OtherTimersTickWhileOneHandlerWaits) {
  int fast = 0;
  PeriodicTimer slow(loop, milliseconds(100), [&] { loop.WaitMs(1000); });
  PeriodicTimer quick(loop, milliseconds(100), [&] { ++fast; });
  slow.SetEnabled(true);
  quick.SetEnabled(true);
  loop.WaitMs(1100);
  EXPECT_GE(fast, 9);
}

TEST_F(SimulatedLoop, ReadableDescriptorIsHandledInTheSliceItArrives) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::string got;
  const int id = loop.WatchReadable(fds[0], [&] {
    char buf[16];
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n > 0) got.append(buf, static_cast<size_t>(n));
  });
  loop.Post([&] { ASSERT_EQ(::write(fds[1], "ping", 4), 4); });
  loop.WaitMs(10);
  EXPECT_EQ(got, "ping");
  loop.Unwatch(id);
  ASSERT_EQ(::write(fds[1], "more", 4), 4);
  loop.WaitMs(30);
  EXPECT_EQ(got, "ping");
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST(RealClockLoop, EventsArriveWithoutWaitingForTheSliceToEnd) {
  SystemClock clock;
  EventLoop loop(clock);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  int reads = 0;
  loop.WatchReadable(fds[0], [&] {
    char c;
    if (::read(fds[0], &c, 1) == 1 && ++reads < 50) {
      ASSERT_EQ(::write(fds[1], "x", 1), 1);
    }
  });
  ASSERT_EQ(::write(fds[1], "x", 1), 1);
  const auto start = std::chrono::steady_clock::now();
  loop.WaitMs(100);
  const auto took = std::chrono::steady_clock::now() - start;
  // Fifty round trips in one 100 ms wait: they are handled as they come, not
  // one per 10 ms slice.
  EXPECT_EQ(reads, 50);
  EXPECT_GE(took, milliseconds(100));
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

TEST_F(SimulatedLoop, AHandlerThatThrowsDoesNotSilenceItsTimerOrWatch) {
  int ticks = 0;
  PeriodicTimer timer(loop, std::chrono::milliseconds(10), [&] {
    if (++ticks == 1) throw std::runtime_error("first tick fails");
  });
  timer.SetEnabled(true);
  EXPECT_THROW(loop.WaitMs(20), std::runtime_error);
  EXPECT_EQ(loop.WaitDepth(), 0);
  loop.WaitMs(50);
  EXPECT_GE(ticks, 4);

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  int reads = 0;
  loop.WatchReadable(fds[0], [&] {
    char c;
    ASSERT_EQ(::read(fds[0], &c, 1), 1);
    if (++reads == 1) throw std::runtime_error("first read fails");
  });
  ASSERT_EQ(::write(fds[1], "ab", 2), 2);
  timer.SetEnabled(false);
  EXPECT_THROW(loop.WaitMs(10), std::runtime_error);
  loop.WaitMs(10);
  EXPECT_EQ(reads, 2);
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

TEST_F(SimulatedLoop, AOneShotTimerFiresOnceAtItsMomentAndCanBeStartedAgain) {
  std::vector<milliseconds> fired;
  const SteadyTime start = clock.Now();
  OneShotTimer timer(loop, [&] {
    fired.push_back(std::chrono::duration_cast<milliseconds>(clock.Now() - start));
    if (fired.size() == 1) timer.StartAt(clock.Now() + milliseconds(50));  // from its own handler
  });
  timer.StartAt(start + milliseconds(30));
  loop.WaitMs(200);
  EXPECT_EQ(fired, (std::vector<milliseconds>{milliseconds(30), milliseconds(80)}));
  EXPECT_FALSE(timer.Active());
  timer.StartAt(clock.Now() + milliseconds(20));
  timer.Stop();
  loop.WaitMs(100);
  EXPECT_EQ(fired.size(), 2u);
}

TEST_F(SimulatedLoop, WaitUntilEndsAsSoonAsItsConditionHoldsOrAtItsLimit) {
  int ticks = 0;
  PeriodicTimer timer(loop, milliseconds(25), [&] { ++ticks; });
  timer.SetEnabled(true);
  const SteadyTime start = clock.Now();
  EXPECT_TRUE(loop.WaitUntil([&] { return ticks == 3; }, milliseconds(1000)));
  EXPECT_EQ(clock.Now() - start, milliseconds(75));
  EXPECT_FALSE(loop.WaitUntil([] { return false; }, milliseconds(40)));
  EXPECT_EQ(clock.Now() - start, milliseconds(115));
  EXPECT_EQ(loop.WaitDepth(), 0);
}

TEST_F(SimulatedLoop, AWatchReportsTheEventsItAsksForAndRestsWithoutAny) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::vector<short> seen;
  int id = 0;
  id = loop.Watch(fds[1], POLLOUT, [&](short revents) {
    seen.push_back(revents);
    loop.SetWatchEvents(id, 0);  // written what it had: nothing more to ask for
  });
  loop.WaitMs(30);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen.front() & POLLOUT);
  loop.SetWatchEvents(id, POLLIN);  // the write end never becomes readable
  loop.WaitMs(30);
  EXPECT_EQ(seen.size(), 1u);
  loop.Unwatch(id);
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
}  // namespace vexa
