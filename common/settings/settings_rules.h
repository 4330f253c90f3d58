// What a value of Settings_General may be: the one rule set of the programs
// that edit the settings (the console window and the vexa-arp command line).
// The console applies them to what the operator types; the command line
// refuses what they refuse, with the reason, where the console would correct
// the value instead.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
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

// kChoice: one of a list of names (compared without regard to case, stored in
// the list's spelling). kPassword: a text that is never shown or repeated in
// a message. kPath: empty, or an absolute file path (the collector's working
// folder is no place to guess a relative one from).
enum class FieldKind { kFlag, kText, kNumber, kRouterList, kStopTime, kChoice, kPassword, kPath };

struct FieldRule {
  const char* name;
  FieldKind kind;
  int64_t minimum = 0;  // kNumber: the range the field holds
  int64_t maximum = 0;
  const char* range_name = "";  // "16-bit", "32-bit"
  // kChoice: the values the field takes, as stored; stored as integers when
  // `choice_is_number`.
  std::span<const char* const> choices = {};
  bool choice_is_number = false;
  // kText: the most octets the field holds (0: no limit).
  size_t max_length = 0;
};

// The fields in the order the collector reads them.
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
// The routers a poll cycle walks: the first kMaxRouterLines of RouterLines,
// each with the spaces and tabs around it removed (a lone CR or LF inside
// stays). An empty text after the last pair is no entry; empty entries in
// between are kept, count towards the limit, and are skipped by the cycle.
std::vector<std::string> PolledRouters(std::string_view stored);

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

// SNMPv3 passwords shorter than this are refused (the agents' rule too).
inline constexpr size_t kMinV3PasswordLength = 8;

// Field values as stored, as text ("" for none), by the field's name as
// SettingsFields() spells it.
using FieldTexts = std::map<std::string, std::string>;

// The rules that join fields: SNMPv3 needs a user; privacy needs
// authentication; a password is at least kMinV3PasswordLength long where its
// protocol is not "none". Only a rule that reads one of the `changed` fields
// applies, so a record stored by another program is not refused for a field
// left alone. Returns one sentence per refusal; a password never shows in it.
std::vector<std::string> CombinationRefusals(const FieldTexts& record,
                                             const std::set<std::string>& changed);

// Whether the record holds an SNMPv3 password (either one not empty).
bool HoldsPassword(const FieldTexts& record);

}  // namespace vexa::settings
