// Schema versions of a real program folder's database: an older file brought
// up to date in one transaction with its values kept, a newer or unknown one
// refused and left as it was. The programs' own refusals are tested with each
// program.
#include "db/schema_upgrade.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

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

// The database of the first release, settings changed by its console.
void MakeFirstReleaseDatabase(const test::ProgramFolder& folder) {
  std::filesystem::remove(folder.Database());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(folder.Database().c_str(), &db), SQLITE_OK);
  const std::string schema =
      ReadFile(std::string(VEXA_SOURCE_DIR) + "/tests/data/schema-version-0.sql");
  EXPECT_EQ(sqlite3_exec(db, schema.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  folder.Sql("UPDATE Settings_General SET GetComm = 'kept', TimeOut = 9, RouterList = '10.0.0.1'");
}

TEST_F(SchemaUpgradeTest, AFirstReleaseFileGetsTheNewColumnsWithTheirDefaultsKeepingItsValues) {
  MakeFirstReleaseDatabase(folder);
  ASSERT_EQ(Query("PRAGMA user_version"), 0);
  // A step that fails undoes the steps before it.
  const SchemaStep failing[] = {SchemaSteps()[0], {2, "ALTER TABLE Missing ADD COLUMN X INTEGER"}};
  const std::string before = ReadFile(folder.Database());
  EXPECT_THROW(UpgradeSchema(folder.Database(), failing), DatabaseError);
  EXPECT_EQ(ReadFile(folder.Database()), before);

  // Read as the collector reads it: today's walk, and the values kept.
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
  // Upgraded, it has the columns of a database made by this version.
  EXPECT_EQ(Query("SELECT count(*) FROM pragma_table_info('Settings_General')"), 20);
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
