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
  const std::string long_path = "/" + std::string(4095, 'm');
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
      {"SnmpVersion", "3", int64_t{3}, ""},
      {"SnmpVersion", "2c", {}, "SnmpVersion must be one of 1, 2, 3; \"2c\" is not"},
      {"MaxRepetitions", "1000", int64_t{1000}, ""},
      {"MaxRepetitions", "0", {}, "MaxRepetitions must be a whole number from 1 to 1000"},
      {"NeighbourTable", "2", {}, "NeighbourTable must be one of 0, 1"},
      {"V3AuthProtocol", "sha-256", std::string("SHA-256"), ""},
      {"V3PrivProtocol", "AES128", {}, "must be one of none, DES, AES, AES-192, AES-256"},
      {"V3User", "uuuuuuuuuuuuuuuuuuuuuuuuuuuuuuuu", std::string(32, 'u'), ""},
      {"V3Context", "ccccccccccccccccccccccccccccccccc", {}, "V3Context holds at most 32 bytes"},
      {"V3AuthPassword", "pass\x7fword", {}, "V3AuthPassword must not hold control characters."},
      {"HistoryDays", "0", int64_t{0}, ""},
      {"HistoryDays", "36501", {}, "HistoryDays must be a whole number from 0 to 36500"},
      {"QuietDays", "0", {}, "QuietDays must be a whole number from 1 to 36500"},
      {"ParallelWalks", "26", {}, "ParallelWalks must be a whole number from 1 to 25"},
      {"EventCommand", "", std::string(""), ""},
      {"EventCommand", "/usr/local/bin/mail-events", std::string("/usr/local/bin/mail-events"), ""},
      {"EventCommand", "mail-events", {}, "EventCommand must be an absolute path"},
      {"MetricsFile", "/var/lib/x\n.prom", {}, "MetricsFile must not hold control characters"},
      {"MetricsFile", long_path.c_str(), {}, "MetricsFile holds at most 4095"},
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

// The rules that join the SNMPv3 fields apply where the change touches them.
TEST(SettingsRules, SnmpV3FieldsAreCheckedTogether) {
  const FieldTexts usable = {{"SnmpVersion", "3"},      {"V3User", "ops"},
                             {"V3AuthProtocol", "SHA"}, {"V3AuthPassword", "12345678"},
                             {"V3PrivProtocol", "AES"}, {"V3PrivPassword", "abcdefgh"}};
  struct Case {
    std::vector<std::pair<std::string, std::string>> change;
    const char* refusal;  // "" when accepted
  };
  const Case cases[] = {
      {{}, ""},
      {{{"V3User", ""}}, "SnmpVersion 3 needs a V3User"},
      {{{"V3AuthProtocol", "none"}}, "V3PrivProtocol AES needs an authentication protocol"},
      {{{"V3AuthProtocol", "none"}, {"V3PrivProtocol", "NONE"}, {"V3AuthPassword", ""}}, ""},
      {{{"V3AuthPassword", "1234567"}},
       "V3AuthPassword must be at least 8 characters long with V3AuthProtocol SHA; it has 7."},
      {{{"V3PrivProtocol", "AES-256"}, {"V3PrivPassword", ""}},
       "V3PrivPassword must be at least 8"},
      {{{"SnmpVersion", "2"}, {"V3User", ""}}, ""},
  };
  for (const Case& c : cases) {
    FieldTexts record = usable;
    std::set<std::string> changed = {"SnmpVersion"};
    for (const auto& [field, value] : c.change) record[field] = value, changed.insert(field);
    const auto refusals = CombinationRefusals(record, changed);
    const std::string all = refusals.empty() ? "" : refusals.front();
    EXPECT_EQ(refusals.size(), *c.refusal == '\0' ? 0u : 1u) << all;
    EXPECT_NE(all.find(c.refusal), std::string::npos) << all;
    EXPECT_EQ(all.find("1234567"), std::string::npos) << "a password shows: " << all;
  }
  // A short password stored by another program is left alone by a change
  // elsewhere.
  FieldTexts stored = usable;
  stored["V3AuthPassword"] = "short";
  EXPECT_TRUE(CombinationRefusals(stored, {"GetComm", "V3Context"}).empty());
  EXPECT_TRUE(HoldsPassword(stored));
  EXPECT_FALSE(HoldsPassword({{"V3User", "ops"}}));
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
  EXPECT_EQ(PolledRouters("a\r\nb\r\n"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(PolledRouters("a\r\n\r\nb"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(PolledRouters(" a \nb\rc"), (std::vector<std::string>{"a \nb\rc"}));
  EXPECT_TRUE(PolledRouters("").empty());
}

}  // namespace
}  // namespace vexa::settings
