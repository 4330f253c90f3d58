// The settings rules shared by the console and vexa-arp: how a stored stop
// time is read, the check interval's minimum, the number ranges, and what a
// value given on the command line is stored as or why it is refused.
#include "settings/settings_rules.h"

#include <gtest/gtest.h>

#include <cmath>

#include "router_address.h"

namespace vexa::settings {
namespace {

TEST(SettingsRules, StoredStopTimeSplitsIntoDateAndWholeHour) {
  struct Case {
    const char* stored;
    const char* date;  // "" when there is none
    int hour;          // -1 when there is none
  };
  const Case cases[] = {
      {"2004-06-01 23:00", "2004-06-01", 23},
      {"2004-06-01 00:00", "2004-06-01", 0},
      {"2004-06-01 07:00:00", "2004-06-01", 7},
      {" 2004-06-01T07:00 ", "2004-06-01", 7},
      {"2004-06-01 23:30", "2004-06-01", -1},
      {"2004-06-01 23:00:05", "2004-06-01", -1},
      {"2004-06-01 24:00", "", -1},
      {"2004-06-01", "2004-06-01", -1},
      {"2004-02-30 10:00", "", -1},
      {"", "", -1},
      {"tomorrow 10:00", "", -1},
  };
  for (const Case& c : cases) {
    const StopTimeParts parts = SplitStopTime(c.stored);
    EXPECT_EQ(parts.date ? FormatDateMinute(*parts.date).substr(0, 10) : "", c.date) << c.stored;
    EXPECT_EQ(parts.hour.value_or(-1), c.hour) << c.stored;
  }
  EXPECT_EQ(ComposeStopTime({.year = 2004, .month = 6, .day = 1}, 23), "2004-06-01 23:00");
  const auto hours = StopHourEntries();
  ASSERT_EQ(hours.size(), 24u);
  EXPECT_EQ(hours.front(), "00:00");
  EXPECT_EQ(hours.back(), "23:00");
}

TEST(SettingsRules, CheckIntervalMinimumReadsTheLeadingNumber) {
  const std::pair<const char*, const char*> cases[] = {
      {"60", "300"},    {"900", "900"},   {"abc", "300"},     {"  450", "  450"},
      {"299.9", "300"}, {"3e2", "3e2"},   {"1e999", "1e999"}, {"1e-999", "300"},
      {"+600", "+600"}, {"0x500", "300"}, {"", "300"},        {"-900", "300"},
      {"300.", "300."}, {".5e3", ".5e3"}, {"5e", "300"},      {"1,5e3", "300"},
  };
  for (const auto& [typed, left] : cases)
    EXPECT_EQ(ApplyCheckIntervalMinimum(typed), left) << typed;
  EXPECT_TRUE(std::isinf(LeadingNumber("-1e999")));
}

TEST(SettingsRules, WholeNumbersWithinTheFieldRange) {
  EXPECT_EQ(ParseWholeNumber(" 7 ", -32768, 32767), 7);
  EXPECT_EQ(ParseWholeNumber("+7", -32768, 32767), 7);
  EXPECT_EQ(ParseWholeNumber("-32768", -32768, 32767), -32768);
  EXPECT_EQ(ParseWholeNumber("-9223372036854775808", INT64_MIN, INT64_MAX), INT64_MIN);
  for (const char* refused : {"32768", "7.5", "", "-", "5 5", "99999999999999999999", "0x10"})
    EXPECT_EQ(ParseWholeNumber(refused, -32768, 32767), std::nullopt) << refused;
}

// Values as vexa-arp gives them: the stored value, or the reason of the
// refusal (a part of it).
TEST(SettingsRules, CommandLineValuesAreStoredOrRefusedWithTheReason) {
  struct Case {
    const char* field;
    const char* value;
    std::variant<int64_t, std::string> stored;
    const char* refusal;  // "" when accepted
  };
  const Case cases[] = {
      {"DebugMode", "1", int64_t{1}, ""},
      {"dnscheck", "0", int64_t{0}, ""},
      {"SaveOnlyDynamic", "yes", {}, "SaveOnlyDynamic must be 0 or 1"},
      {"GetComm", "pr!vate community", std::string("pr!vate community"), ""},
      {"GetComm", "a\tb", {}, "GetComm must not hold control characters"},
      {"TimeOut", "32767", int64_t{32767}, ""},
      {"TimeOut", "40000", {}, "TimeOut must be a whole number from -32768 to 32767"},
      {"Retries", "2.5", {}, "Retries must be a whole number"},
      {"CheckInterval", "300", int64_t{300}, ""},
      {"CheckInterval", "2147483647", int64_t{2147483647}, ""},
      {"CheckInterval", "299", {}, "at least 300 seconds; \"299\" is less"},
      {"CheckInterval", "2147483648", {}, "from -2147483648 to 2147483647"},
      {"StopTime", "2030-01-01 05:00", std::string("2030-01-01 05:00"), ""},
      {"StopTime", "2030-01-01 05:30", {}, "a whole hour"},
      {"StopTime", "2030-02-30 05:00", {}, "a whole hour"},
      {"StopTime", "2030-01-01 05:00:00", {}, "a whole hour"},
      {"RouterList", "192.0.2.1, 2001:db8::1\n192.0.2.2",
       std::string("192.0.2.1\r\n2001:db8::1\r\n192.0.2.2"), ""},
      {"RouterList", "", std::string(""), ""},
      {"RouterList", "192.0.2.1 router.example", {}, "\"router.example\" is not a router address"},
      {"RouterList", "127.1", {}, "\"127.1\" is not a router address"},
      {"RouterList", "192.0.2.1 ::ffff:192.0.2.1", {}, "\"::ffff:192.0.2.1\" is given twice"},
  };
  for (const Case& c : cases) {
    const FieldRule* field = FindField(c.field);
    ASSERT_NE(field, nullptr) << c.field;
    const CheckedValue v = CheckValue(*field, c.value, cli::RouterAddressKey);
    if (*c.refusal == '\0') {
      EXPECT_EQ(v.error, "") << c.field << " " << c.value;
      EXPECT_EQ(v.stored, c.stored) << c.field << " " << c.value;
    } else {
      EXPECT_NE(v.error.find(c.refusal), std::string::npos) << c.field << ": " << v.error;
    }
  }
  EXPECT_EQ(FindField("NoSuchField"), nullptr);
}

TEST(SettingsRules, RouterListKeepsToTheLinesTheCollectorReads) {
  const auto check = [](const std::vector<std::string>& kept,
                        const std::vector<std::string>& added) {
    return CheckRouterList(kept, added, cli::RouterAddressKey).value_or("");
  };
  std::vector<std::string> full;
  for (int i = 1; i <= 24; ++i) full.push_back("::" + std::to_string(i));
  EXPECT_EQ(check(full, {"::99"}), "");
  EXPECT_NE(check(full, {"::99", "::98"}).find("25"), std::string::npos);
  // Empty lines count: the collector reads the first 25 lines.
  EXPECT_NE(check({"", "", ""}, std::vector<std::string>(full.begin(), full.begin() + 23))
                .find("26 lines"),
            std::string::npos);
  // Lines typed elsewhere that are no address match only their own text.
  EXPECT_EQ(check({"gateway"}, {"192.0.2.1"}), "");
  EXPECT_NE(check({"192.0.2.1"}, {"192.0.2.1"}).find("in the router list already"),
            std::string::npos);
  // 255 stored characters: 17 lines of 13 characters and 16 line breaks = 253.
  std::vector<std::string> long_list(17, "");
  for (int i = 0; i < 17; ++i)
    long_list[static_cast<size_t>(i)] = "192.0.100." + std::to_string(100 + i);
  EXPECT_EQ(JoinRouterLines(long_list).size(), 253u);
  EXPECT_NE(check(long_list, {"1.2.3.4"}).find("at most 255"), std::string::npos);
  EXPECT_EQ(RouterLines("a\r\n\r\nb\rc\r\n"), (std::vector<std::string>{"a", "", "b\rc", ""}));
  EXPECT_TRUE(RouterLines("").empty());
}

}  // namespace
}  // namespace vexa::settings
