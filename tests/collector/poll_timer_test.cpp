// The poll timer on the simulated clock: when polls run, when the SNMP traces
// are cleared, and when the export runs and polling ends.
#include "poll_timer.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/local_time.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

using std::chrono::milliseconds;

class PollTimerTest : public ::testing::Test {
 protected:
  void StartAt(const LocalDateTime& t) {
    clock = std::make_unique<SimulatedClock>(FromLocal(t));
    loop = std::make_unique<EventLoop>(*clock);
    log = std::make_unique<EventLog>(*loop, folder);
    ctx = std::make_unique<CollectorContext>(CollectorContext{*loop, *log, folder, db, settings});
    timer = std::make_unique<PollTimer>(
        *ctx, PollTimer::Actions{[this] { events.push_back("clear " + Now()); },
                                 [this] {
                                   events.push_back("poll " + Now());
                                   if (poll_ms > 0) loop->WaitMs(poll_ms);
                                 },
                                 [this] {
                                   events.push_back("export " + Now());
                                   return export_fails-- <= 0;
                                 }});
    timer->Arm();
  }
  std::string Now() const { return FormatDateTime(ToLocal(clock->WallNow())); }
  // Lets the loop run until the wall clock reaches `t`.
  void RunUntil(const LocalDateTime& t) {
    const WallTime target = FromLocal(t);
    for (int guard = 0; guard < 1000000 && clock->WallNow() < target; ++guard)
      loop->RunFor(std::chrono::ceil<milliseconds>(target - clock->WallNow()));
  }

  std::string folder = "/nonexistent-vexa-folder";  // no event log needed
  std::string db;
  CollectorSettings settings = [] {
    CollectorSettings s;
    s.check_interval_seconds = 300;
    s.stop_time = {2030, 1, 1, 0, 0, 0};
    return s;
  }();
  std::unique_ptr<SimulatedClock> clock;
  std::unique_ptr<EventLoop> loop;
  std::unique_ptr<EventLog> log;
  std::unique_ptr<CollectorContext> ctx;
  std::unique_ptr<PollTimer> timer;
  std::vector<std::string> events;
  int poll_ms = 0;
  int export_fails = 0;  // attempts that fail before one succeeds
};

TEST_F(PollTimerTest, FirstPollAtTheNextFullHourThenEveryCheckInterval) {
  StartAt({2024, 3, 5, 10, 17, 0});
  RunUntil({2024, 3, 5, 11, 0, 0});
  EXPECT_TRUE(events.empty());
  RunUntil({2024, 3, 5, 11, 12, 0});
  // Ticks fall every 30 s from the start: 11:00:00 is the first of the new hour.
  EXPECT_EQ(events,
            (std::vector<std::string>{"poll 2024-03-05 11:00:00", "poll 2024-03-05 11:05:00",
                                      "poll 2024-03-05 11:10:00"}));
}

TEST_F(PollTimerTest, ThePollsOwnDurationIsSubtracted) {
  StartAt({2024, 3, 5, 10, 59, 45});
  poll_ms = 70000;
  RunUntil({2024, 3, 5, 11, 12, 0});
  // The poll at 11:00:15 takes 70 s; the countdown is 230 and the eighth
  // handled tick after it (the ticks during the poll are dropped) polls again.
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0], "poll 2024-03-05 11:00:15");
  EXPECT_EQ(events[1], "poll 2024-03-05 11:05:15");
  EXPECT_EQ(events[2], "poll 2024-03-05 11:10:15");
}

TEST_F(PollTimerTest, APollLongerThanTheIntervalIsFollowedAtOnce) {
  settings.check_interval_seconds = 300;
  StartAt({2024, 3, 5, 10, 59, 45});
  poll_ms = 400000;
  RunUntil({2024, 3, 5, 11, 14, 0});
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[1], "poll 2024-03-05 11:07:15");
}

TEST_F(PollTimerTest, TracesAreClearedAtTheFirstTickAfterMidnightOnly) {
  StartAt({2024, 3, 5, 23, 58, 50});
  RunUntil({2024, 3, 6, 1, 1, 0});
  std::vector<std::string> clears;
  for (const auto& e : events)
    if (e.rfind("clear", 0) == 0) clears.push_back(e);
  EXPECT_EQ(clears, (std::vector<std::string>{"clear 2024-03-06 00:00:20"}));
}

TEST_F(PollTimerTest, APollAcrossMidnightSkipsThatNightsClearance) {
  settings.check_interval_seconds = 60;
  StartAt({2024, 3, 5, 22, 59, 50});
  RunUntil({2024, 3, 5, 23, 59, 0});
  poll_ms = 60000;  // the poll of 23:59:20 ends after midnight
  RunUntil({2024, 3, 6, 0, 10, 0});
  for (const auto& e : events) EXPECT_NE(e.rfind("clear", 0), 0u) << e;
}

TEST_F(PollTimerTest, ExportRunsOnceAtTheFirstTickAfterTheStopMinute) {
  settings.stop_time = {2024, 3, 5, 18, 0, 0};
  StartAt({2024, 3, 5, 17, 58, 10});
  RunUntil({2024, 3, 5, 18, 10, 0});
  std::vector<std::string> exports;
  for (const auto& e : events)
    if (e.rfind("export", 0) == 0) exports.push_back(e);
  EXPECT_EQ(exports, (std::vector<std::string>{"export 2024-03-05 18:01:10"}));
  EXPECT_FALSE(timer->Enabled());
  // No poll after the export; the timer stays off.
  EXPECT_EQ(events.back(), "export 2024-03-05 18:01:10");
  timer->Arm();
  EXPECT_FALSE(timer->Enabled());
}

TEST_F(PollTimerTest, AFailedExportIsTriedAgainAtEachTickWithoutPolling) {
  settings.stop_time = {2024, 3, 5, 11, 0, 0};
  settings.check_interval_seconds = 30;
  StartAt({2024, 3, 5, 10, 59, 50});
  export_fails = 2;
  RunUntil({2024, 3, 5, 11, 5, 0});
  // The tick of 11:01:20 polls, then finds the stop time passed.
  EXPECT_EQ(events,
            (std::vector<std::string>{"poll 2024-03-05 11:00:20", "poll 2024-03-05 11:00:50",
                                      "poll 2024-03-05 11:01:20", "export 2024-03-05 11:01:20",
                                      "export 2024-03-05 11:01:50", "export 2024-03-05 11:02:20"}));
  EXPECT_FALSE(timer->Enabled());
}

TEST_F(PollTimerTest, AStopTimeAlreadyPastExportsAtTheFirstTick) {
  settings.stop_time = {2024, 3, 1, 8, 0, 0};
  StartAt({2024, 3, 5, 10, 17, 0});
  RunUntil({2024, 3, 5, 10, 20, 0});
  EXPECT_EQ(events, (std::vector<std::string>{"export 2024-03-05 10:17:30"}));
}

TEST_F(PollTimerTest, WithCheckIntervalZeroEveryTickPolls) {
  settings.check_interval_seconds = 0;
  StartAt({2024, 3, 5, 10, 59, 50});
  RunUntil({2024, 3, 5, 11, 2, 0});
  EXPECT_EQ(events.size(), 4u);  // 11:00:20, 11:00:50, 11:01:20, 11:01:50
}

}  // namespace
}  // namespace vexa
