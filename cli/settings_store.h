// The program folder's database as the command line uses it: opened with a
// clear message for a missing, locked, foreign, newer or unreadable database
// (an older one is brought up to date by a command that writes), the first
// record of Settings_General read field by field, and writes in one
// transaction.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "db/sqlite.h"
#include "settings/settings_rules.h"

namespace vexa::cli {

inline constexpr const char* kDatabaseFileName = "VexaArp.mdb";

// kRead opens in SQLite's read-only mode: the file is never written, and a
// database of an older schema is refused (only a command that writes brings
// it up to date). kWrite brings an older schema up to date first.
enum class DatabaseAccess { kRead, kWrite };

// Opens the database at `path` (<folder>/VexaArp.mdb); throws CliError naming
// the file and the cause. A refused open says who may open it: "run as root
// or as the owner of <folder>".
Database OpenProgramDatabase(const std::string& path,
                             DatabaseAccess access = DatabaseAccess::kRead);

// Throws CliError unless `table` exists with every one of `fields`.
void RequireShape(Database& db, const std::string& path, const std::string& table,
                  const std::vector<std::string>& fields);

// Runs `work`; a database error becomes a CliError that names the file, what
// was being done and, for a lock held by another program, says so.
void GuardDatabase(const std::string& path, const char* doing, const std::function<void()>& work);

// A stored value as text: nullopt for NULL.
using StoredValue = std::optional<std::string>;

class SettingsStore {
 public:
  SettingsStore(const std::string& folder, DatabaseAccess access);

  const std::string& path() const { return path_; }

  // The fields of the first record, in the order of SettingsFields().
  std::vector<StoredValue> Read();

  struct Change {
    const settings::FieldRule* field;
    settings::CheckedValue value;
  };
  // Reads the first record, lets `change` decide the new values of some
  // fields, and writes them, all in one transaction that holds the write
  // lock from the read to the commit. Nothing is written when `change`
  // throws.
  void Update(const std::function<std::vector<Change>(const std::vector<StoredValue>&)>& change);

 private:
  std::vector<StoredValue> ReadRecord(int64_t* rowid);

  std::string path_;
  Database db_;
};

}  // namespace vexa::cli
