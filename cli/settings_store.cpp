#include "settings_store.h"

#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "command.h"
#include "db/schema_upgrade.h"
#include "text_escape.h"

namespace vexa::cli {

namespace {

using settings::FieldRule;
using settings::SettingsFields;

bool IsLockError(int code) {
  const int primary = code & 0xff;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

// The file, its journal files or its folder withheld from this user.
bool IsAccessError(int code) {
  const int primary = code & 0xff;
  return primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY || primary == SQLITE_PERM ||
         primary == SQLITE_AUTH;
}

// Who may use the database at `path`.
std::string AccessHint(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  return "run as root or as the owner of " + (folder.empty() ? "/" : folder);
}

int SchemaVersionOf(Database& db) {
  Statement st = db.Prepare("PRAGMA user_version");
  st.Step();
  return static_cast<int>(st.ColumnInt64(0));
}

std::string Quote(const std::string& identifier) {
  return "\"" + identifier + "\"";
}

std::vector<std::string> SettingsFieldNames() {
  std::vector<std::string> names;
  for (const FieldRule& f : SettingsFields()) names.emplace_back(f.name);
  return names;
}

}  // namespace

void GuardDatabase(const std::string& path, const char* doing, const std::function<void()>& work) {
  try {
    work();
  } catch (const DatabaseError& e) {
    if (IsLockError(e.code()))
      throw Failure("the database " + path + " is locked by another program (" + e.what() +
                    "); nothing was " + doing + ", try again");
    throw Failure("the database " + path + " failed while " + doing + ": " + e.what() +
                  (IsAccessError(e.code()) ? "; " + AccessHint(path) : ""));
  }
}

Database OpenProgramDatabase(const std::string& path, DatabaseAccess access) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == EACCES)
      throw Failure("cannot reach the database " + path + ": " + std::strerror(errno) + "; " +
                    AccessHint(path));
    throw Failure("there is no database " + path + " (name the program folder with --folder DIR)");
  }
  // SQLite would wait forever on a FIFO, and a device is no database.
  if (!S_ISREG(st.st_mode)) throw Failure("the database " + path + " is not a regular file");
  try {
    if (access == DatabaseAccess::kWrite) {
      UpgradeSchema(path);
      return Database::Open(path);
    }
    Database db = Database::Open(path, /*read_only=*/true);
    const int version = SchemaVersionOf(db);
    if (version >= 0 && version < CurrentSchemaVersion())
      throw Failure("the database " + path + " is of schema version " + std::to_string(version) +
                    ", older than this program's " + std::to_string(CurrentSchemaVersion()) +
                    ", and this command only reads it: start the service or change a setting "
                    "(vexa-arp set) to bring it up to date");
    // A newer or unknown version is refused, the file left as it is.
    if (version != CurrentSchemaVersion()) UpgradeSchema(path);
    return db;
  } catch (const SchemaError& e) {
    throw Failure(e.what());
  } catch (const DatabaseError& e) {
    if (IsLockError(e.code()))
      throw Failure("the database " + path + " is locked by another program (" + e.what() + ")");
    throw Failure("cannot open the database " + path + ": " + e.what() +
                  (IsAccessError(e.code()) ? "; " + AccessHint(path) : ""));
  }
}

void RequireShape(Database& db, const std::string& path, const std::string& table,
                  const std::vector<std::string>& fields) {
  GuardDatabase(path, "read", [&] {
    if (!db.TableExists(table))
      throw Failure("the database " + path + " has no table " + table +
                    "; it is not a Vexa ARP database, or of an older shape");
    Statement info = db.Prepare("SELECT name FROM pragma_table_info(?1)");
    info.Bind(1, table);
    std::vector<std::string> present;
    while (info.Step()) present.push_back(info.ColumnText(0));
    for (const std::string& field : fields) {
      bool found = false;
      for (const std::string& p : present)
        found = found || strcasecmp(p.c_str(), field.c_str()) == 0;
      if (!found)
        throw Failure("the table " + table + " of " + path + " has no field " + field +
                      "; the database is of an older shape");
    }
  });
}

SettingsStore::SettingsStore(const std::string& folder, DatabaseAccess access)
    : path_(folder + "/" + kDatabaseFileName), db_(OpenProgramDatabase(path_, access)) {
  RequireShape(db_, path_, settings::kSettingsTable, SettingsFieldNames());
}

std::vector<StoredValue> SettingsStore::ReadRecord(int64_t* rowid) {
  std::string sql = "SELECT rowid";
  for (const FieldRule& f : SettingsFields()) sql += ", " + Quote(f.name);
  sql += " FROM " + Quote(settings::kSettingsTable) + " ORDER BY rowid LIMIT 1";
  Statement st = db_.Prepare(sql);
  if (!st.Step())
    throw Failure("the table " + std::string(settings::kSettingsTable) + " of " + path_ +
                  " has no record");
  if (rowid != nullptr) *rowid = st.ColumnInt64(0);
  std::vector<StoredValue> values;
  for (int i = 1; i < st.ColumnCount(); ++i) {
    if (st.ColumnType(i) == SQLITE_NULL)
      values.emplace_back(std::nullopt);
    else
      values.emplace_back(st.ColumnText(i));
  }
  return values;
}

std::vector<StoredValue> SettingsStore::Read() {
  std::vector<StoredValue> values;
  GuardDatabase(path_, "read", [&] { values = ReadRecord(nullptr); });
  return values;
}

void SettingsStore::Update(
    const std::function<std::vector<Change>(const std::vector<StoredValue>&)>& change) {
  GuardDatabase(path_, "written", [&] {
    Transaction transaction(db_);
    int64_t rowid = 0;
    const std::vector<Change> changes = change(ReadRecord(&rowid));
    if (changes.empty()) return;
    std::string sql = "UPDATE " + Quote(settings::kSettingsTable) + " SET ";
    for (size_t i = 0; i < changes.size(); ++i)
      sql += (i > 0 ? ", " : "") + Quote(changes[i].field->name) + " = ?" + std::to_string(i + 1);
    sql += " WHERE rowid = ?" + std::to_string(changes.size() + 1);
    Statement update = db_.Prepare(sql);
    for (size_t i = 0; i < changes.size(); ++i) {
      const int index = static_cast<int>(i + 1);
      if (const auto* number = std::get_if<int64_t>(&changes[i].value.stored))
        update.Bind(index, *number);
      else
        update.Bind(index, std::get<std::string>(changes[i].value.stored));
    }
    update.Bind(static_cast<int>(changes.size() + 1), rowid);
    update.Step();
    transaction.Commit();
  });
}

}  // namespace vexa::cli
