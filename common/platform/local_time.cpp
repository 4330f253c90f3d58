#include "platform/local_time.h"

#include <cstdio>
#include <ctime>

namespace vexa {

namespace {

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Reads exactly `width` decimal digits at `pos`.
bool Digits(std::string_view s, size_t pos, size_t width, int& out) {
  if (pos + width > s.size()) return false;
  int v = 0;
  for (size_t i = pos; i < pos + width; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  out = v;
  return true;
}

}  // namespace

LocalDateTime ToLocal(WallTime t) {
  const std::time_t secs = std::chrono::system_clock::to_time_t(t);
  std::tm tm{};
  localtime_r(&secs, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

WallTime FromLocal(const LocalDateTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

std::string FormatDateTime(const LocalDateTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

std::string FormatIsoLocal(int64_t utc_seconds) {
  const time_t t = static_cast<time_t>(utc_seconds);
  struct tm local {};
  if (::localtime_r(&t, &local) == nullptr) return std::to_string(utc_seconds);
  const int offset_minutes = static_cast<int>(local.tm_gmtoff / 60) % (24 * 60);
  const int magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                offset_minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
  return buf;
}

std::string FormatDateMinute(const LocalDateTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute);
  return buf;
}

std::string FormatTimeOfDay(const LocalDateTime& t) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return buf;
}

std::optional<LocalDateTime> ParseLocalDateTime(std::string_view s) {
  LocalDateTime t;
  if (!Digits(s, 0, 4, t.year) || s.size() < 10 || s[4] != '-' || !Digits(s, 5, 2, t.month) ||
      s[7] != '-' || !Digits(s, 8, 2, t.day))
    return std::nullopt;
  if (s.size() != 10) {
    if (s.size() != 16 && s.size() != 19) return std::nullopt;
    if ((s[10] != ' ' && s[10] != 'T') || !Digits(s, 11, 2, t.hour) || s[13] != ':' ||
        !Digits(s, 14, 2, t.minute))
      return std::nullopt;
    if (s.size() == 19 && (s[16] != ':' || !Digits(s, 17, 2, t.second))) return std::nullopt;
  }
  if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > DaysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59)
    return std::nullopt;
  return t;
}

}  // namespace vexa
