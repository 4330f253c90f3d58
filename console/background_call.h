// Runs a call that may block (a service stop waits up to
// kServiceStopTimeoutSeconds for the collector to end) on a thread of its
// own, while the window goes on handling its events.
#pragma once

#include <functional>

namespace vexa::console {

// Returns what `call` returned. A call that throws counts as a failure of the
// service manager (kServiceControlFailed).
int RunKeepingWindowResponsive(const std::function<int()>& call);

}  // namespace vexa::console
