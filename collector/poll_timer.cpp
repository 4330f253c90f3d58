#include "poll_timer.h"

#include <algorithm>
#include <limits>

#include "arp/event_log.h"
#include "platform/local_time.h"

namespace vexa {

namespace {

int32_t SaturateToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

PollTimer::PollTimer(const CollectorContext& ctx, Actions actions)
    : ctx_(ctx), actions_(std::move(actions)), timer_(ctx.loop, kInterval, [this] { OnTick(); }) {}

void PollTimer::Arm() {
  if (stopped_for_good_) return;
  last_hour_ = static_cast<int16_t>(ctx_.LocalNow().hour);
  first_poll_pending_ = true;
  timer_.SetEnabled(true);
}

void PollTimer::Poll() {
  const int64_t started = ctx_.NowSeconds();
  actions_.poll();
  poll_countdown_ = SaturateToInt32(int64_t{ctx_.settings.check_interval_seconds} -
                                    (ctx_.NowSeconds() - started));
}

void PollTimer::TryExport() {
  if (!actions_.lookup_and_export()) return;  // the next tick tries again
  export_due_ = false;
  timer_.SetEnabled(false);
  stopped_for_good_ = true;
}

void PollTimer::OnTick() {
  try {
    if (export_due_) {  // the collection has ended: only the list is left to write
      TryExport();
      return;
    }
    const int hour = ctx_.LocalNow().hour;
    if (hour < last_hour_) actions_.clear_snmp_traces();
    poll_countdown_ = SaturateToInt32(int64_t{poll_countdown_} - 30);
    if (first_poll_pending_) {
      if (hour != last_hour_) {
        Poll();
        first_poll_pending_ = false;
      }
    } else if (poll_countdown_ <= 0) {
      Poll();
    }
    const LocalDateTime now = ctx_.LocalNow();
    last_hour_ = static_cast<int16_t>(now.hour);
    if (FormatDateMinute(now) > FormatDateMinute(ctx_.settings.stop_time)) {
      export_due_ = true;
      TryExport();
    }
  } catch (const std::exception& e) {
    last_hour_ = static_cast<int16_t>(ctx_.LocalNow().hour);
    ctx_.log.LogEvent(kLogSourceService, "timer1", e.what(), kLevelError);
  }
}

}  // namespace vexa
