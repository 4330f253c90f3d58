// What a value of Settings_General may be: the one rule set of the programs
// that edit the settings (the console window and the vexa-arp command line).
// The console applies them to what the operator types; the command line
// refuses what they refuse, with the reason, where the console would correct
// the value instead.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/local_time.h"

namespace vexa::settings {

inline constexpr const char* kSettingsTable = "Settings_General";
inline constexpr int64_t kMinimumCheckInterval = 300;  // seconds
// Length of the stored router list (CR LF counts as two characters).
inline constexpr size_t kRouterListMaxLength = 255;
// The collector polls the routers of the first 25 lines of the list.
inline constexpr size_t kMaxRouterLines = 25;

enum class FieldKind { kFlag, kText, kNumber, kRouterList, kStopTime };

struct FieldRule {
  const char* name;
  FieldKind kind;
  int64_t minimum = 0;  // kNumber: the range the field holds
  int64_t maximum = 0;
  const char* range_name = "";  // "16-bit", "32-bit"
};

// The nine fields in the order the collector reads them.
std::span<const FieldRule> SettingsFields();
// The field of that name (compared without regard to case), or nullptr.
const FieldRule* FindField(std::string_view name);

// A whole number within [minimum, maximum], written in decimal with optional
// blanks around it and an optional sign; nullopt for anything else.
std::optional<int64_t> ParseWholeNumber(std::string_view text, int64_t minimum, int64_t maximum);
// Why `text` is refused for a number field, as one sentence naming the field.
std::string NumberRefusal(const FieldRule& field, std::string_view text);

// The number a text begins with, read the way a person reads it: leading
// blanks, a sign, digits, a decimal part, an exponent. 0 when the text does
// not begin with a number.
double LeadingNumber(std::string_view text);
// The check interval after the console's correction: a text whose leading
// number is below the minimum becomes "300"; any other text stays as it is.
std::string ApplyCheckIntervalMinimum(const std::string& text);

// The stop time as stored, "YYYY-MM-DD HH:MM", read for the date picker and
// the hour list: blanks around it, seconds and a "T" for the blank are
// tolerated. `hour` is set only for a whole hour.
struct StopTimeParts {
  std::optional<LocalDateTime> date;  // year, month and day only
  std::optional<int> hour;
};
StopTimeParts SplitStopTime(std::string_view stored);
// "YYYY-MM-DD HH:00".
std::string ComposeStopTime(const LocalDateTime& date, int hour);
// The 24 entries of the hour list, "00:00" to "23:00".
std::vector<std::string> StopHourEntries();

// The stored router list split into its lines as the collector splits it
// (on CR LF); a lone CR or LF stays inside its line.
std::vector<std::string> RouterLines(std::string_view stored);
std::string JoinRouterLines(const std::vector<std::string>& lines);

// Tells whether the collector can send to a router address; returns a key
// that is the same for two texts of one address (nullopt: not usable).
using RouterAddressCheck = std::function<std::optional<std::string>(std::string_view)>;

// Router entries as a command line gives them: separated by commas, blanks
// or line breaks.
std::vector<std::string> SplitRouterEntries(std::string_view text);

// Checks the router list that results from keeping `kept` (stored lines,
// taken as they are) and adding `added` after them: every added entry must
// be usable and appear once in the whole list, fall within the lines the
// collector reads, and the stored text must fit the field. Returns the
// reason of the first refusal, or nullopt.
std::optional<std::string> CheckRouterList(const std::vector<std::string>& kept,
                                           const std::vector<std::string>& added,
                                           const RouterAddressCheck& usable);

// A value given for a field on the command line, checked and converted to
// what is stored: an integer for flags and numbers, a text otherwise.
struct CheckedValue {
  std::variant<int64_t, std::string> stored;
  std::string error;  // empty when the value is accepted
};
CheckedValue CheckValue(const FieldRule& field, std::string_view value,
                        const RouterAddressCheck& usable);

}  // namespace vexa::settings
