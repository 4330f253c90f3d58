// Broken-down local date and time, and the fixed text patterns that files and
// comparisons use ("YYYY-MM-DD HH:MM:SS", "YYYY-MM-DD HH:MM", "HH:MM:SS").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace vexa {

struct LocalDateTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;

  friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// Local time of the process's time zone.
LocalDateTime ToLocal(WallTime t);
// Inverse of ToLocal (mktime rules for gaps and overlaps of daylight saving).
WallTime FromLocal(const LocalDateTime& t);

std::string FormatDateTime(const LocalDateTime& t);    // YYYY-MM-DD HH:MM:SS
std::string FormatDateMinute(const LocalDateTime& t);  // YYYY-MM-DD HH:MM
std::string FormatTimeOfDay(const LocalDateTime& t);   // HH:MM:SS
// ISO 8601 in local time with the zone's offset at that moment:
// "2026-12-09T12:00:00+01:00".
std::string FormatIsoLocal(int64_t utc_seconds);

// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS" (a "T" may
// stand for the blank). Rejects anything else, including impossible dates.
std::optional<LocalDateTime> ParseLocalDateTime(std::string_view text);

}  // namespace vexa
