// The poll timer's tick: the day-change clean-up, the first poll at the next
// full hour, a poll every check interval after that, and the export at the
// stop time. An export that fails is tried again at every following tick,
// with no more polls; once it is written the timer stays off.
#pragma once

#include <cstdint>
#include <functional>

#include "arp/context.h"
#include "platform/event_loop.h"

namespace vexa {

class PollTimer {
 public:
  static constexpr auto kInterval = std::chrono::milliseconds(30000);

  struct Actions {
    std::function<void()> clear_snmp_traces;
    std::function<void()> poll;               // one poll cycle over every router
    std::function<bool()> lookup_and_export;  // names and ArpList.txt; true when written
  };

  PollTimer(const CollectorContext& ctx, Actions actions);

  // Called by the service start: polling begins at the next full hour.
  void Arm();
  void Disarm() { timer_.SetEnabled(false); }
  bool Enabled() const { return timer_.Enabled(); }

  // The hour of the day seen at the previous tick, and whether the first poll
  // (at the next full hour) is still to come.
  int LastHour() const { return last_hour_; }
  bool FirstPollPending() const { return first_poll_pending_; }

 private:
  void OnTick();
  void Poll();
  void TryExport();

  const CollectorContext& ctx_;
  Actions actions_;
  int16_t last_hour_ = 0;
  int32_t poll_countdown_ = 0;  // seconds to the next poll; may go negative
  bool first_poll_pending_ = false;
  bool export_due_ = false;  // the stop time has passed; the list is not written yet
  bool stopped_for_good_ = false;
  PeriodicTimer timer_;
};

}  // namespace vexa
