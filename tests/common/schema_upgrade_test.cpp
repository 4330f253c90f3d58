// Schema versions of a real program folder's database: an older file brought
// up to date in one transaction with its values kept, a newer or unknown one
// refused and left as it was. The programs' own refusals are tested with each
// program.
#include "db/schema_upgrade.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <vector>

#include "db/sqlite.h"
#include "settings/collector_settings.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

using test::ReadFile;

class SchemaUpgradeTest : public ::testing::Test {
 protected:
  int64_t Query(const std::string& sql) {
    Database db = Database::Open(folder.Database(), /*read_only=*/true);
    Statement st = db.Prepare(sql);
    st.Step();
    return st.ColumnInt64(0);
  }

  test::ProgramFolder folder;
};

TEST_F(SchemaUpgradeTest, TheShippedSchemaIsCurrentAndOnlyRead) {
  EXPECT_EQ(Query("PRAGMA user_version"), CurrentSchemaVersion());
  const std::string before = ReadFile(folder.Database());
  EXPECT_EQ(UpgradeSchema(folder.Database()), CurrentSchemaVersion());
  EXPECT_EQ(ReadFile(folder.Database()), before);
}

// The database of an earlier release (tests/data/schema-version-N.sql), with
// settings changed by its console and an address learnt by its collector.
void MakeReleaseDatabase(const test::ProgramFolder& folder, int version) {
  std::filesystem::remove(folder.Database());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(folder.Database().c_str(), &db), SQLITE_OK);
  const std::string schema = ReadFile(std::string(VEXA_SOURCE_DIR) + "/tests/data/schema-version-" +
                                      std::to_string(version) + ".sql");
  EXPECT_EQ(sqlite3_exec(db, schema.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  folder.Sql("UPDATE Settings_General SET GetComm = 'kept', TimeOut = 9, RouterList = '10.0.0.1'");
  folder.Sql("INSERT INTO ArpTable VALUES ('10.0.0.7', '00 11 22 33 44 55', 3, 2, 4, '')");
}

TEST_F(SchemaUpgradeTest, AnEarlierReleasesFileGetsTheNewColumnsAndTablesKeepingItsValues) {
  for (const int release : {0, 1}) {
    SCOPED_TRACE("schema version " + std::to_string(release));
    MakeReleaseDatabase(folder, release);
    ASSERT_EQ(Query("PRAGMA user_version"), release);
    // A step that fails undoes the steps before it.
    std::vector<SchemaStep> failing(SchemaSteps().begin(), SchemaSteps().end());
    failing.push_back({CurrentSchemaVersion() + 1, "ALTER TABLE Missing ADD COLUMN X INTEGER"});
    const std::string before = ReadFile(folder.Database());
    EXPECT_THROW(UpgradeSchema(folder.Database(), failing), DatabaseError);
    EXPECT_EQ(ReadFile(folder.Database()), before);

    // Read as the collector reads it: today's walk and cycle, and the values kept.
    CollectorSettings settings;
    LoadCollectorSettings(folder.Database(), settings);
    EXPECT_EQ(Query("PRAGMA user_version"), CurrentSchemaVersion());
    EXPECT_EQ(settings.community, "kept");
    EXPECT_EQ(settings.timeout_seconds, 9);
    EXPECT_EQ(settings.router_list, "10.0.0.1");
    const CollectorSettings defaults;
    EXPECT_EQ(settings.snmp_version, defaults.snmp_version);
    EXPECT_EQ(settings.use_bulk, defaults.use_bulk);
    EXPECT_EQ(settings.max_repetitions, defaults.max_repetitions);
    EXPECT_EQ(settings.neighbour_table, defaults.neighbour_table);
    EXPECT_EQ(settings.v3_auth_protocol, "none");
    EXPECT_EQ(settings.v3_priv_protocol, "none");
    EXPECT_EQ(settings.history_days, defaults.history_days);
    EXPECT_EQ(settings.quiet_days, defaults.quiet_days);
    EXPECT_EQ(settings.parallel_walks, 1);
    EXPECT_EQ(settings.event_command, "");
    EXPECT_EQ(settings.metrics_file, "");
    EXPECT_EQ(Query("SELECT count(*) FROM ArpTable WHERE MacAddr = '00 11 22 33 44 55'"), 1);
    // Upgraded, it has the columns and tables of a database made by this version.
    EXPECT_EQ(Query("SELECT count(*) FROM pragma_table_info('Settings_General')"), 25);
    EXPECT_EQ(Query("SELECT count(*) FROM ArpHistory") + Query("SELECT count(*) FROM ArpEvent"), 0);
  }
}

TEST_F(SchemaUpgradeTest, ANewerOrUnknownVersionIsRefusedAndTheFileLeftAsItWas) {
  const struct {
    int version;
    const char* says;
  } cases[] = {
      {CurrentSchemaVersion() + 1, "newer than this program reads"},
      {-1, "unknown schema version (-1)"},
  };
  for (const auto& c : cases) {
    folder.Sql("PRAGMA user_version = " + std::to_string(c.version));
    const std::string before = ReadFile(folder.Database());
    try {
      UpgradeSchema(folder.Database());
      ADD_FAILURE() << c.version << " was taken";
    } catch (const SchemaError& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadFile(folder.Database()), before);
  }
}

}  // namespace
}  // namespace vexa
