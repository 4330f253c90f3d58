// Schema versions of a real program folder's database: an older file brought
// up to date in one transaction with its values kept, a newer or unknown one
// refused and left as it was. The programs' own refusals are tested with each
// program.
#include "db/schema_upgrade.h"

#include <gtest/gtest.h>

#include "db/sqlite.h"
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

TEST_F(SchemaUpgradeTest, AnOlderFileGetsTheMissingStepsInOneTransactionKeepingItsValues) {
  folder.Sql("UPDATE Settings_General SET GetComm = 'kept', TimeOut = 9");
  const SchemaStep steps[] = {
      {1, "ALTER TABLE Settings_General ADD COLUMN UseBulk INTEGER NOT NULL DEFAULT 0"},
      {2,
       "ALTER TABLE Settings_General ADD COLUMN MaxRepetitions INTEGER NOT NULL DEFAULT 25;"
       "UPDATE Settings_General SET MaxRepetitions = 30"},
  };
  // A step that fails undoes the steps before it.
  const SchemaStep failing[] = {steps[0], {2, "ALTER TABLE Missing ADD COLUMN X INTEGER"}};
  const std::string before = ReadFile(folder.Database());
  EXPECT_THROW(UpgradeSchema(folder.Database(), failing), DatabaseError);
  EXPECT_EQ(ReadFile(folder.Database()), before);

  // Version 0 to 1, then only the step that is missing (step 1 again would fail).
  EXPECT_EQ(UpgradeSchema(folder.Database(), std::span(steps, 1)), 0);
  EXPECT_EQ(UpgradeSchema(folder.Database(), steps), 1);
  EXPECT_EQ(Query("PRAGMA user_version"), 2);
  EXPECT_EQ(Query("SELECT GetComm = 'kept' AND TimeOut = 9 AND UseBulk = 0 AND "
                  "MaxRepetitions = 30 FROM Settings_General"),
            1);
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
