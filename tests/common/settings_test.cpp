// Loading the collector's settings from a real database file made by the
// program-folder script, and every way the load can fail.
#include "settings/collector_settings.h"

#include <gtest/gtest.h>

#include "db/sqlite.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  // Loads and returns the failure text ("" on success).
  std::string Load() {
    try {
      LoadCollectorSettings(folder.Database(), settings);
      return "";
    } catch (const std::exception& e) {
      return e.what();
    }
  }
  void Set(const std::string& assignments) {
    folder.Sql("UPDATE Settings_General SET " + assignments);
  }

  test::ProgramFolder folder;
  CollectorSettings settings;
};

TEST_F(SettingsTest, ShippedDefaultsLoad) {
  ASSERT_EQ(Load(), "");
  EXPECT_FALSE(settings.debug_mode);
  EXPECT_EQ(settings.router_list, "");
  EXPECT_EQ(settings.community, "public");
  EXPECT_EQ(settings.timeout_seconds, 5);
  EXPECT_EQ(settings.retries, 2);
  EXPECT_EQ(settings.check_interval_seconds, 300);
  EXPECT_FALSE(settings.save_only_dynamic);
  EXPECT_TRUE(settings.resolve_names);
  EXPECT_EQ(settings.stop_time.minute, 0);
  EXPECT_GE(settings.stop_time.year, 2024);
}

TEST_F(SettingsTest, FirstRecordWinsAndTextIsKeptExactly) {
  std::string routers;
  for (int i = 1; i <= 30; ++i) routers += "10.0.0." + std::to_string(i) + (i < 30 ? "\r\n" : "");
  Set("DebugMode = 1, RouterList = '" + routers +
      "', GetComm = ' s3cret ', TimeOut = 32767, Retries = -1, CheckInterval = 2147483647, "
      "SaveOnlyDynamic = 1, DnsCheck = 0, StopTime = '2004-06-01 23:00'");
  folder.Sql(
      "INSERT INTO Settings_General (DebugMode, RouterList, GetComm, TimeOut, Retries, "
      "CheckInterval, SaveOnlyDynamic, DnsCheck, StopTime) VALUES "
      "(0, 'other', 'other', 1, 1, 1, 0, 1, '1999-01-01 00:00')");
  ASSERT_EQ(Load(), "");
  EXPECT_TRUE(settings.debug_mode);
  EXPECT_EQ(settings.router_list, routers);  // all 30 lines; the poll takes the first 25
  EXPECT_EQ(settings.community, " s3cret ");
  EXPECT_EQ(settings.timeout_seconds, 32767);
  EXPECT_EQ(settings.retries, -1);
  EXPECT_EQ(settings.check_interval_seconds, 2147483647);
  EXPECT_TRUE(settings.save_only_dynamic);
  EXPECT_FALSE(settings.resolve_names);
  EXPECT_EQ(settings.stop_time, (LocalDateTime{2004, 6, 1, 23, 0, 0}));
}

TEST_F(SettingsTest, NumbersAndFlagsStoredAsTextConvert) {
  Set("DebugMode = 'True', TimeOut = ' 7 ', Retries = '2.5', CheckInterval = 900.0, "
      "SaveOnlyDynamic = '0', DnsCheck = 'false'");
  ASSERT_EQ(Load(), "");
  EXPECT_TRUE(settings.debug_mode);
  EXPECT_EQ(settings.timeout_seconds, 7);
  EXPECT_EQ(settings.retries, 2);  // half to even
  EXPECT_EQ(settings.check_interval_seconds, 900);
  EXPECT_FALSE(settings.save_only_dynamic);
  EXPECT_FALSE(settings.resolve_names);
}

TEST_F(SettingsTest, EmptyRouterListLoads) {
  Set("RouterList = ''");
  EXPECT_EQ(Load(), "");
  EXPECT_EQ(settings.router_list, "");
}

TEST_F(SettingsTest, NullRouterListFailsNamingTheFieldAndKeepsWhatWasRead) {
  Set("DebugMode = 1, RouterList = NULL, GetComm = 'private'");
  settings.community = "before";
  const std::string error = Load();
  EXPECT_NE(error.find("RouterList"), std::string::npos) << error;
  EXPECT_NE(error.find("NULL"), std::string::npos) << error;
  EXPECT_TRUE(settings.debug_mode);         // read before the failure
  EXPECT_EQ(settings.community, "before");  // never reached
}

TEST_F(SettingsTest, ValuesBeyondTheirWidthFail) {
  Set("TimeOut = 40000");
  std::string error = Load();
  EXPECT_NE(error.find("TimeOut"), std::string::npos) << error;
  EXPECT_NE(error.find("16-bit"), std::string::npos) << error;
  EXPECT_EQ(settings.community, "public");  // read before TimeOut
  EXPECT_EQ(settings.timeout_seconds, 0);

  Set("TimeOut = 5, Retries = -32769");
  EXPECT_NE(Load().find("Retries"), std::string::npos);
  Set("Retries = 2, CheckInterval = 2147483648");
  error = Load();
  EXPECT_NE(error.find("CheckInterval"), std::string::npos) << error;
  EXPECT_NE(error.find("32-bit"), std::string::npos) << error;
}

TEST_F(SettingsTest, ValuesOfTheWrongKindFailNamingTheField) {
  const std::pair<const char*, const char*> cases[] = {
      {"TimeOut = 'abc'", "TimeOut"},
      {"DebugMode = 'maybe'", "DebugMode"},
      {"DnsCheck = NULL", "DnsCheck"},
      {"StopTime = 'tomorrow'", "StopTime"},
      {"StopTime = '2004-02-30 10:00'", "StopTime"},
      {"StopTime = 12", "StopTime"},
      {"CheckInterval = X'01'", "CheckInterval"},
      {"GetComm = NULL", "GetComm"},
      {"SnmpVersion = 4", "SnmpVersion"},
      {"MaxRepetitions = 0", "MaxRepetitions"},
      {"NeighbourTable = 2", "NeighbourTable"},
      {"V3AuthProtocol = 'SHA-1'", "V3AuthProtocol"},
      {"V3PrivProtocol = 'AES-512'", "V3PrivProtocol"},
  };
  for (const auto& [assignment, field] : cases) {
    folder.Sql("DELETE FROM Settings_General");
    folder.Sql(
        "INSERT INTO Settings_General (DebugMode, RouterList, GetComm, TimeOut, Retries, "
        "CheckInterval, SaveOnlyDynamic, DnsCheck, StopTime) VALUES "
        "(0, '', 'public', 5, 2, 300, 0, 1, '2030-01-01 10:00')");
    Set(assignment);
    const std::string error = Load();
    EXPECT_NE(error.find(field), std::string::npos) << assignment << " gave: " << error;
  }
}

TEST_F(SettingsTest, MissingFileTableRecordOrFieldFailClearly) {
  folder.Sql("DELETE FROM Settings_General");
  EXPECT_NE(Load().find("has no record"), std::string::npos);

  folder.Sql("ALTER TABLE Settings_General DROP COLUMN DnsCheck");
  folder.Sql(
      "INSERT INTO Settings_General (DebugMode, RouterList, GetComm, TimeOut, Retries, "
      "CheckInterval, SaveOnlyDynamic, StopTime) VALUES (0, '', 'p', 5, 2, 300, 0, "
      "'2030-01-01 10:00')");
  EXPECT_NE(Load().find("DnsCheck is missing"), std::string::npos);

  folder.Sql("DROP TABLE Settings_General");
  EXPECT_NE(Load().find("Settings_General is missing"), std::string::npos);

  ::unlink(folder.Database().c_str());
  EXPECT_NE(Load().find("Could not find the database file"), std::string::npos);
  // The load never creates the file.
  EXPECT_EQ(::access(folder.Database().c_str(), F_OK), -1);
}

TEST_F(SettingsTest, AFileThatIsNotADatabaseFails) {
  test::WriteFile(folder.Database(), std::string(4096, 'x'));
  EXPECT_NE(Load().find("not a database"), std::string::npos) << Load();
}

}  // namespace
}  // namespace vexa
