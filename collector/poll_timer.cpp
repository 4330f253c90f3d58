#include "poll_timer.h"

#include <algorithm>
#include <limits>

#include "collector_form.h"
#include "platform/local_time.h"

namespace vexa {

namespace {

int32_t SaturateToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

PollTimer::PollTimer(const CollectorContext& ctx, Actions actions)
    : ctx_(ctx),
      actions_(std::move(actions)),
      timer_(ctx.loop, kInterval, [this] { timer1_Timer(); }) {}

void PollTimer::Arm() {
  if (stopped_for_good_) return;
  LastHour = static_cast<int16_t>(ctx_.LocalNow().hour);
  FirstPollPending = true;
  timer_.SetEnabled(true);
}

void PollTimer::Poll() {
  const int64_t started = ctx_.NowSeconds();
  actions_.log_arp_entries();
  PollCountdown =
      SaturateToInt32(int64_t{ctx_.Settings.CheckInterval} - (ctx_.NowSeconds() - started));
}

void PollTimer::TryExport() {
  if (!actions_.lookup_and_export()) return;  // the next tick tries again
  export_due_ = false;
  timer_.SetEnabled(false);
  stopped_for_good_ = true;
}

void PollTimer::timer1_Timer() {
  try {
    if (export_due_) {  // the collection has ended: only the list is left to write
      TryExport();
      return;
    }
    const int hour = ctx_.LocalNow().hour;
    if (hour < LastHour) actions_.clear_debug_dir();
    PollCountdown = SaturateToInt32(int64_t{PollCountdown} - 30);
    if (FirstPollPending) {
      if (hour != LastHour) {
        Poll();
        FirstPollPending = false;
      }
    } else if (PollCountdown <= 0) {
      Poll();
    }
    const LocalDateTime now = ctx_.LocalNow();
    LastHour = static_cast<int16_t>(now.hour);
    if (FormatDateMinute(now) > FormatDateMinute(ctx_.Settings.StopTime)) {
      export_due_ = true;
      TryExport();
    }
  } catch (const std::exception& e) {
    LastHour = static_cast<int16_t>(ctx_.LocalNow().hour);
    ctx_.log.LogEvent(kFormName, "timer1", e.what(), kLevelError);
  }
}

}  // namespace vexa
