#include "settings/settings_rules.h"

#include <strings.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <set>

#include "settings/collector_settings.h"

namespace vexa::settings {

namespace {

constexpr const char* kSnmpVersions[] = {"1", "2", "3"};
constexpr const char* kNeighbourTables[] = {"0", "1"};
// USM user and context names are SnmpAdminStrings of at most 32 octets.
constexpr size_t kMaxV3NameLength = 32;

// PATH_MAX, terminating zero included.
constexpr size_t kMaxPathLength = 4095;

constexpr std::array<FieldRule, 24> kFields = {{
    {"DebugMode", FieldKind::kFlag},
    {"RouterList", FieldKind::kRouterList},
    {"GetComm", FieldKind::kText},
    {"TimeOut", FieldKind::kNumber, INT16_MIN, INT16_MAX, "16-bit"},
    {"Retries", FieldKind::kNumber, INT16_MIN, INT16_MAX, "16-bit"},
    {"CheckInterval", FieldKind::kNumber, INT32_MIN, INT32_MAX, "32-bit"},
    {"SaveOnlyDynamic", FieldKind::kFlag},
    {"DnsCheck", FieldKind::kFlag},
    {"StopTime", FieldKind::kStopTime},
    {"SnmpVersion", FieldKind::kChoice, 0, 0, "", kSnmpVersions, true},
    {"UseBulk", FieldKind::kFlag},
    {"MaxRepetitions", FieldKind::kNumber, kMinRepetitions, kMaxRepetitions},
    {"NeighbourTable", FieldKind::kChoice, 0, 0, "", kNeighbourTables, true},
    {"V3User", FieldKind::kText, 0, 0, "", {}, false, kMaxV3NameLength},
    {"V3AuthProtocol", FieldKind::kChoice, 0, 0, "", kAuthProtocolNames},
    {"V3AuthPassword", FieldKind::kPassword},
    {"V3PrivProtocol", FieldKind::kChoice, 0, 0, "", kPrivProtocolNames},
    {"V3PrivPassword", FieldKind::kPassword},
    {"V3Context", FieldKind::kText, 0, 0, "", {}, false, kMaxV3NameLength},
    {"HistoryDays", FieldKind::kNumber, 0, kMaxHistoryDays},
    {"QuietDays", FieldKind::kNumber, kMinQuietDays, kMaxHistoryDays},
    {"EventCommand", FieldKind::kPath, 0, 0, "", {}, false, kMaxPathLength},
    {"ParallelWalks", FieldKind::kNumber, 1, kMaxParallelWalks},
    {"MetricsFile", FieldKind::kPath, 0, 0, "", {}, false, kMaxPathLength},
}};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string TwoDigits(int v) {
  return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
}

bool HasControlCharacter(std::string_view text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  return false;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string ChoiceList(const FieldRule& field) {
  std::string list;
  for (const char* choice : field.choices) list += (list.empty() ? "" : ", ") + std::string(choice);
  return list;
}

std::string StopTimeRefusal(std::string_view text) {
  return std::string("StopTime must be a date and a whole hour, YYYY-MM-DD HH:00; ") +
         Quoted(text) + " is not.";
}

}  // namespace

std::span<const FieldRule> SettingsFields() {
  return kFields;
}

const FieldRule* FindField(std::string_view name) {
  for (const FieldRule& f : kFields)
    if (SameName(name, f.name)) return &f;
  return nullptr;
}

std::optional<int64_t> ParseWholeNumber(std::string_view text, int64_t minimum, int64_t maximum) {
  std::string_view t = Trim(text);
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  if (t.empty() || t.size() > 19) return std::nullopt;
  for (const char c : t)
    if (!IsDigit(c)) return std::nullopt;
  uint64_t magnitude = 0;
  std::from_chars(t.data(), t.data() + t.size(), magnitude);
  // Nineteen digits always fit; the range check below does the rest.
  const auto limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (magnitude > limit + (negative ? 1 : 0)) return std::nullopt;
  const int64_t value =
      negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  if (value < minimum || value > maximum) return std::nullopt;
  return value;
}

std::string NumberRefusal(const FieldRule& field, std::string_view text) {
  return std::string(field.name) + " must be a whole number from " + std::to_string(field.minimum) +
         " to " + std::to_string(field.maximum) + "; " + Quoted(text) + " is not.";
}

double LeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t start = i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  bool negative_exponent = false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t e = i + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) negative_exponent = text[e++] == '-';
    if (e < text.size() && IsDigit(text[e])) {
      while (e < text.size() && IsDigit(text[e])) ++e;
      i = e;
    } else {
      negative_exponent = false;
    }
  }
  // from_chars reads no sign and no locale: "1,5" is 1 whatever the locale.
  double value = 0.0;
  const auto result = std::from_chars(text.data() + start, text.data() + i, value);
  if (result.ec == std::errc::result_out_of_range)
    value = negative_exponent ? 0.0 : std::numeric_limits<double>::infinity();
  return negative ? -value : value;
}

std::string ApplyCheckIntervalMinimum(const std::string& text) {
  if (LeadingNumber(text) < static_cast<double>(kMinimumCheckInterval))
    return std::to_string(kMinimumCheckInterval);
  return text;
}

StopTimeParts SplitStopTime(std::string_view stored) {
  StopTimeParts parts;
  const auto t = ParseLocalDateTime(Trim(stored));
  if (!t) return parts;
  parts.date = LocalDateTime{.year = t->year, .month = t->month, .day = t->day};
  // A date alone has no hour; "HH:00" and "HH:00:00" are whole hours.
  if (Trim(stored).size() > 10 && t->minute == 0 && t->second == 0) parts.hour = t->hour;
  return parts;
}

std::string ComposeStopTime(const LocalDateTime& date, int hour) {
  return FormatDateMinute(LocalDateTime{
      .year = date.year, .month = date.month, .day = date.day, .hour = hour, .minute = 0});
}

std::vector<std::string> StopHourEntries() {
  std::vector<std::string> hours;
  for (int h = 0; h < 24; ++h) hours.push_back(TwoDigits(h) + ":00");
  return hours;
}

std::vector<std::string> RouterLines(std::string_view stored) {
  std::vector<std::string> lines;
  if (stored.empty()) return lines;
  while (true) {
    const size_t end = stored.find("\r\n");
    lines.emplace_back(stored.substr(0, end));
    if (end == std::string_view::npos) break;
    stored.remove_prefix(end + 2);
  }
  return lines;
}

std::vector<std::string> PolledRouters(std::string_view stored) {
  std::vector<std::string> routers = RouterLines(stored);
  if (!routers.empty() && routers.back().empty()) routers.pop_back();
  if (routers.size() > kMaxRouterLines) routers.resize(kMaxRouterLines);
  // Blanks typed around an address are no part of it.
  for (std::string& router : routers) {
    const size_t first = router.find_first_not_of(" \t");
    router = first == std::string::npos
                 ? std::string()
                 : router.substr(first, router.find_last_not_of(" \t") - first + 1);
  }
  return routers;
}

std::string JoinRouterLines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

std::vector<std::string> SplitRouterEntries(std::string_view text) {
  std::vector<std::string> entries;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ',' || IsBlank(text[i]))) ++i;
    const size_t start = i;
    while (i < text.size() && text[i] != ',' && !IsBlank(text[i])) ++i;
    if (i > start) entries.emplace_back(text.substr(start, i - start));
  }
  return entries;
}

std::optional<std::string> CheckRouterList(const std::vector<std::string>& kept,
                                           const std::vector<std::string>& added,
                                           const RouterAddressCheck& usable) {
  // Lines that are no address (typed in by hand elsewhere) match only
  // themselves.
  const auto key = [&](const std::string& entry) {
    const auto k = usable(entry);
    return k ? "address " + *k : "text " + entry;
  };
  std::set<std::string> seen;
  for (const std::string& line : kept)
    if (!line.empty()) seen.insert(key(line));
  std::set<std::string> given;
  for (const std::string& entry : added) {
    if (!usable(entry) || HasControlCharacter(entry))
      return Quoted(entry) +
             " is not a router address the collector can poll (a numeric IPv4 or IPv6 "
             "address).";
    if (given.count(key(entry)) != 0) return Quoted(entry) + " is given twice.";
    if (seen.count(key(entry)) != 0) return Quoted(entry) + " is in the router list already.";
    given.insert(key(entry));
  }
  if (added.empty()) return std::nullopt;
  if (kept.size() + added.size() > kMaxRouterLines)
    return "The router list would have " + std::to_string(kept.size() + added.size()) +
           " lines; the collector polls the routers of the first " +
           std::to_string(kMaxRouterLines) + " only.";
  std::vector<std::string> all = kept;
  all.insert(all.end(), added.begin(), added.end());
  const size_t length = JoinRouterLines(all).size();
  if (length > kRouterListMaxLength)
    return "The router list would be " + std::to_string(length) +
           " characters long; it holds at most " + std::to_string(kRouterListMaxLength) + ".";
  return std::nullopt;
}

CheckedValue CheckValue(const FieldRule& field, std::string_view value,
                        const RouterAddressCheck& usable) {
  CheckedValue out;
  switch (field.kind) {
    case FieldKind::kFlag:
      if (value == "0" || value == "1")
        out.stored = int64_t{value == "1" ? 1 : 0};
      else
        out.error = std::string(field.name) + " must be 0 or 1; " + Quoted(value) + " is not.";
      break;
    case FieldKind::kText:
      out.stored = std::string(value);
      if (HasControlCharacter(value))
        out.error = std::string(field.name) + " must not hold control characters.";
      else if (field.max_length > 0 && value.size() > field.max_length)
        out.error = std::string(field.name) + " holds at most " + std::to_string(field.max_length) +
                    " bytes; " + Quoted(value) + " has " + std::to_string(value.size()) + ".";
      break;
    case FieldKind::kPath:
      out.stored = std::string(value);
      if (HasControlCharacter(value))
        out.error = std::string(field.name) + " must not hold control characters.";
      else if (!value.empty() && value.front() != '/')
        out.error = std::string(field.name) +
                    " must be an absolute path (beginning with /) or empty; " + Quoted(value) +
                    " is not.";
      else if (value.size() > field.max_length)
        out.error = std::string(field.name) + " holds at most " + std::to_string(field.max_length) +
                    " bytes; the path given has " + std::to_string(value.size()) + ".";
      break;
    case FieldKind::kPassword:
      // The refusal never repeats the password.
      out.stored = std::string(value);
      if (HasControlCharacter(value))
        out.error = std::string(field.name) + " must not hold control characters.";
      break;
    case FieldKind::kChoice:
      for (const char* choice : field.choices) {
        if (!SameName(value, choice)) continue;
        if (field.choice_is_number)
          out.stored = int64_t{*ParseWholeNumber(choice, INT64_MIN, INT64_MAX)};
        else
          out.stored = std::string(choice);
        return out;
      }
      out.error = std::string(field.name) + " must be one of " + ChoiceList(field) + "; " +
                  Quoted(value) + " is not.";
      break;
    case FieldKind::kNumber: {
      const auto number = ParseWholeNumber(value, field.minimum, field.maximum);
      if (!number) {
        out.error = NumberRefusal(field, value);
      } else if (std::string_view(field.name) == "CheckInterval" &&
                 *number < kMinimumCheckInterval) {
        out.error = "CheckInterval must be at least " + std::to_string(kMinimumCheckInterval) +
                    " seconds; " + Quoted(value) + " is less (the console would raise it to 300).";
      } else {
        out.stored = *number;
      }
      break;
    }
    case FieldKind::kRouterList: {
      const std::vector<std::string> entries = SplitRouterEntries(value);
      if (auto refused = CheckRouterList({}, entries, usable))
        out.error = "RouterList: " + *refused;
      else
        out.stored = JoinRouterLines(entries);
      break;
    }
    case FieldKind::kStopTime: {
      // Only the exact form the console writes: a date and a whole hour.
      const StopTimeParts parts = SplitStopTime(value);
      if (parts.date && parts.hour && ComposeStopTime(*parts.date, *parts.hour) == value)
        out.stored = std::string(value);
      else
        out.error = StopTimeRefusal(value);
      break;
    }
  }
  return out;
}

std::vector<std::string> CombinationRefusals(const FieldTexts& record,
                                             const std::set<std::string>& changed) {
  const auto value = [&](const char* field) {
    const auto it = record.find(field);
    return it == record.end() ? std::string() : it->second;
  };
  const auto applies = [&](std::initializer_list<const char*> fields) {
    for (const char* f : fields)
      if (changed.count(f) != 0) return true;
    return false;
  };
  const auto is_none = [](const std::string& protocol) { return SameName(Trim(protocol), "none"); };
  std::vector<std::string> refusals;
  if (applies({"SnmpVersion", "V3User"}) && Trim(value("SnmpVersion")) == "3" &&
      value("V3User").empty())
    refusals.push_back("SnmpVersion 3 needs a V3User; it is empty.");
  if (applies({"V3AuthProtocol", "V3PrivProtocol"}) && !is_none(value("V3PrivProtocol")) &&
      is_none(value("V3AuthProtocol")))
    refusals.push_back("V3PrivProtocol " + value("V3PrivProtocol") +
                       " needs an authentication protocol; V3AuthProtocol is none.");
  const auto check_password = [&](const char* protocol, const char* password) {
    if (!applies({protocol, password}) || is_none(value(protocol))) return;
    const size_t length = value(password).size();
    if (length < kMinV3PasswordLength)
      refusals.push_back(std::string(password) + " must be at least " +
                         std::to_string(kMinV3PasswordLength) + " characters long with " +
                         protocol + " " + value(protocol) + "; it has " + std::to_string(length) +
                         ".");
  };
  check_password("V3AuthProtocol", "V3AuthPassword");
  check_password("V3PrivProtocol", "V3PrivPassword");
  return refusals;
}

bool HoldsPassword(const FieldTexts& record) {
  for (const FieldRule& f : kFields) {
    if (f.kind != FieldKind::kPassword) continue;
    const auto it = record.find(f.name);
    if (it != record.end() && !it->second.empty()) return true;
  }
  return false;
}

}  // namespace vexa::settings
