// When the service last started, as its event log tells it.
#pragma once

#include <string>

namespace vexa::cli {

// The date and time ("YYYY-MM-DD HH:MM:SS") of the last "Service Started."
// line of the event log at `event_log`, or empty when there is none.
std::string LastServiceStart(const std::string& event_log);

}  // namespace vexa::cli
