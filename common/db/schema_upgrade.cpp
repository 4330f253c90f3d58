#include "db/schema_upgrade.h"

#include <initializer_list>

#include "db/sqlite.h"

namespace vexa {

namespace {

// Step n makes version n from version n - 1; the first build's schema is
// version 0. New steps go at the end, for example:
//   {1, "ALTER TABLE Settings_General ADD COLUMN Name INTEGER NOT NULL DEFAULT 0;"},
constexpr std::initializer_list<SchemaStep> kSteps = {
    // The SNMP version and security, GETBULK and the neighbour table; every
    // default keeps the walk of version 0 (SNMPv2c, get-next, ipNetToMediaTable).
    {1,
     "ALTER TABLE Settings_General ADD COLUMN SnmpVersion INTEGER NOT NULL DEFAULT 2;"
     "ALTER TABLE Settings_General ADD COLUMN UseBulk INTEGER NOT NULL DEFAULT 0;"
     "ALTER TABLE Settings_General ADD COLUMN MaxRepetitions INTEGER NOT NULL DEFAULT 25;"
     "ALTER TABLE Settings_General ADD COLUMN NeighbourTable INTEGER NOT NULL DEFAULT 0;"
     "ALTER TABLE Settings_General ADD COLUMN V3User TEXT NOT NULL DEFAULT '';"
     "ALTER TABLE Settings_General ADD COLUMN V3AuthProtocol TEXT NOT NULL DEFAULT 'none';"
     "ALTER TABLE Settings_General ADD COLUMN V3AuthPassword TEXT NOT NULL DEFAULT '';"
     "ALTER TABLE Settings_General ADD COLUMN V3PrivProtocol TEXT NOT NULL DEFAULT 'none';"
     "ALTER TABLE Settings_General ADD COLUMN V3PrivPassword TEXT NOT NULL DEFAULT '';"
     "ALTER TABLE Settings_General ADD COLUMN V3Context TEXT NOT NULL DEFAULT '';"},
    // Address history across jobs and its change events, walks side by side
    // and the metrics file; every default keeps the job of version 1.
    {2,
     "ALTER TABLE Settings_General ADD COLUMN HistoryDays INTEGER NOT NULL DEFAULT 400;"
     "ALTER TABLE Settings_General ADD COLUMN QuietDays INTEGER NOT NULL DEFAULT 180;"
     "ALTER TABLE Settings_General ADD COLUMN EventCommand TEXT NOT NULL DEFAULT '';"
     "ALTER TABLE Settings_General ADD COLUMN ParallelWalks INTEGER NOT NULL DEFAULT 1;"
     "ALTER TABLE Settings_General ADD COLUMN MetricsFile TEXT NOT NULL DEFAULT '';"
     "CREATE TABLE ArpHistory ("
     "  IpAddr TEXT NOT NULL, MacAddr TEXT NOT NULL, IpKey BLOB NOT NULL,"
     "  Router TEXT NOT NULL, IfIndex INTEGER NOT NULL,"
     "  FirstSeen INTEGER NOT NULL, LastSeen INTEGER NOT NULL, Cycles INTEGER NOT NULL,"
     "  IsCurrent INTEGER NOT NULL DEFAULT 0, MissedWalks INTEGER NOT NULL DEFAULT 0,"
     "  PRIMARY KEY (IpAddr, MacAddr));"
     "CREATE INDEX ArpHistory_MacAddr ON ArpHistory (MacAddr);"
     "CREATE INDEX ArpHistory_IpKey ON ArpHistory (IpKey);"
     "CREATE INDEX ArpHistory_LastSeen ON ArpHistory (LastSeen);"
     "CREATE TABLE ArpEvent ("
     "  ID INTEGER PRIMARY KEY, Time INTEGER NOT NULL, Kind TEXT NOT NULL,"
     "  IpAddr TEXT NOT NULL, MacAddr TEXT NOT NULL, OldMacAddr TEXT NOT NULL DEFAULT '',"
     "  Router TEXT NOT NULL, IfIndex INTEGER NOT NULL, Delivered INTEGER NOT NULL DEFAULT 1);"
     "CREATE INDEX ArpEvent_Time ON ArpEvent (Time);"
     "CREATE INDEX ArpEvent_IpAddr ON ArpEvent (IpAddr, Time);"},
};

int ReadVersion(Database& db) {
  Statement st = db.Prepare("PRAGMA user_version");
  st.Step();
  return static_cast<int>(st.ColumnInt64(0));
}

void CheckKnown(int version, int current, const std::string& path) {
  if (version < 0)
    throw SchemaError("The database '" + path + "' is of an unknown schema version (" +
                      std::to_string(version) +
                      "); it was not made by Vexa ARP. Nothing was changed.");
  if (version > current)
    throw SchemaError("The database '" + path + "' is of schema version " +
                      std::to_string(version) + ", newer than this program reads (up to " +
                      std::to_string(current) +
                      "): it was made or upgraded by a newer Vexa ARP, which is needed to use it. "
                      "Nothing was changed.");
}

}  // namespace

std::span<const SchemaStep> SchemaSteps() {
  return {kSteps.begin(), kSteps.size()};
}

int CurrentSchemaVersion() {
  return static_cast<int>(SchemaSteps().size());
}

int UpgradeSchema(const std::string& path, std::span<const SchemaStep> steps) {
  const int current = static_cast<int>(steps.size());
  for (int i = 0; i < current; ++i)
    if (steps[static_cast<size_t>(i)].version != i + 1)
      throw std::logic_error("schema steps out of order at version " + std::to_string(i + 1));

  int found = 0;
  {
    Database db = Database::Open(path, /*read_only=*/true);
    found = ReadVersion(db);
  }
  CheckKnown(found, current, path);
  if (found == current) return found;

  Database db = Database::Open(path);
  Transaction transaction(db);  // a failed step leaves the file as it was
  // Another program may have upgraded the file since it was read.
  const int now = ReadVersion(db);
  CheckKnown(now, current, path);
  try {
    for (int version = now + 1; version <= current; ++version)
      db.Exec(steps[static_cast<size_t>(version - 1)].sql);
    db.Exec("PRAGMA user_version = " + std::to_string(current));
    transaction.Commit();
  } catch (const DatabaseError& e) {
    throw DatabaseError(e.code(), "Could not bring the database '" + path +
                                      "' from schema version " + std::to_string(now) + " to " +
                                      std::to_string(current) + ": " + e.what() +
                                      ". Nothing was changed.");
  }
  return found;
}

}  // namespace vexa
