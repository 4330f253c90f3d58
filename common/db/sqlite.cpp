#include "db/sqlite.h"

#include "platform/files.h"

namespace vexa {

namespace {
constexpr int kBusyTimeoutMs = 5000;
}

Database Database::Open(const std::string& path, bool read_only) {
  if (!FileExists(path))
    throw DatabaseError(SQLITE_CANTOPEN, "Could not find the database file '" + path + "'");
  sqlite3* db = nullptr;
  const int flags = (read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                    SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
  const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    const std::string msg = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    throw DatabaseError(rc, "Could not open the database file '" + path + "': " + msg);
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  Database out(db);
  // A file that is not a database shows up only at the first read.
  out.Exec("SELECT count(*) FROM sqlite_schema");
  return out;
}

Database::~Database() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
}

void Database::Exec(const std::string& sql) {
  char* err = nullptr;
  const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    const std::string msg = err != nullptr ? err : sqlite3_errstr(rc);
    sqlite3_free(err);
    throw DatabaseError(rc, msg);
  }
}

Statement Database::Prepare(std::string_view sql) {
  sqlite3_stmt* stmt = nullptr;
  const int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
  if (rc != SQLITE_OK) throw DatabaseError(rc, sqlite3_errmsg(db_));
  return Statement(stmt, db_);
}

bool Database::TableExists(const std::string& name) {
  Statement st = Prepare("SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ?1");
  st.Bind(1, name);
  return st.Step();
}

Statement::~Statement() {
  if (stmt_ != nullptr) sqlite3_finalize(stmt_);
}

void Statement::Check(int rc, const char* what) {
  if (rc != SQLITE_OK) throw DatabaseError(rc, std::string(what) + ": " + sqlite3_errmsg(db_));
}

Statement& Statement::Bind(int index, int64_t value) {
  Check(sqlite3_bind_int64(stmt_, index, value), "bind");
  return *this;
}

Statement& Statement::Bind(int index, std::string_view value) {
  Check(sqlite3_bind_text(stmt_, index, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT),
        "bind");
  return *this;
}

Statement& Statement::BindBlob(int index, std::string_view bytes) {
  Check(sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT),
        "bind");
  return *this;
}

Statement& Statement::BindNull(int index) {
  Check(sqlite3_bind_null(stmt_, index), "bind");
  return *this;
}

bool Statement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw DatabaseError(rc, sqlite3_errmsg(db_));
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int Statement::ColumnCount() const {
  return sqlite3_column_count(stmt_);
}

std::string Statement::ColumnName(int column) const {
  const char* name = sqlite3_column_name(stmt_, column);
  return name != nullptr ? name : "";
}

int Statement::ColumnType(int column) const {
  return sqlite3_column_type(stmt_, column);
}

int64_t Statement::ColumnInt64(int column) const {
  return sqlite3_column_int64(stmt_, column);
}

double Statement::ColumnDouble(int column) const {
  return sqlite3_column_double(stmt_, column);
}

std::string Statement::ColumnText(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  const int bytes = sqlite3_column_bytes(stmt_, column);
  return text != nullptr ? std::string(text, static_cast<size_t>(bytes)) : std::string();
}

Transaction::Transaction(Database& db) : db_(db) {
  db_.Exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
  if (!open_) return;
  try {
    db_.Exec("ROLLBACK");
  } catch (const DatabaseError&) {  // a failed statement may have ended it already
  }
}

void Transaction::Commit() {
  db_.Exec("COMMIT");
  open_ = false;
}

WriteBatch::~WriteBatch() {
  try {
    Commit();
  } catch (const DatabaseError&) {
    // Nothing more can be kept; the caller is already reporting a failure.
  }
}

void WriteBatch::Begin() {
  if (open_) return;
  db_.Exec("BEGIN");
  open_ = true;
}

void WriteBatch::Commit() {
  if (!open_) return;
  open_ = false;
  db_.Exec("COMMIT");
}

}  // namespace vexa
