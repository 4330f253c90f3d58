// A thin RAII layer over SQLite: a connection that never creates the file,
// prepared statements with bound parameters, and errors as exceptions that
// carry SQLite's own description.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vexa {

class DatabaseError : public std::runtime_error {
 public:
  DatabaseError(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

class Statement;

class Database {
 public:
  // Opens an existing database file for reading and writing. A missing file
  // is an error: the programs never create the database.
  static Database Open(const std::string& path, bool read_only = false);

  Database(Database&& other) noexcept : db_(other.db_) { other.db_ = nullptr; }
  Database& operator=(Database&&) = delete;
  Database(const Database&) = delete;
  ~Database();

  void Exec(const std::string& sql);
  Statement Prepare(std::string_view sql);
  bool TableExists(const std::string& name);
  sqlite3* handle() const { return db_; }

 private:
  explicit Database(sqlite3* db) : db_(db) {}
  sqlite3* db_;
};

class Statement {
 public:
  Statement(Statement&& other) noexcept : stmt_(other.stmt_), db_(other.db_) {
    other.stmt_ = nullptr;
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement();

  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, std::string_view value);
  // Bytes as a BLOB, compared byte by byte (the history's IpKey).
  Statement& BindBlob(int index, std::string_view bytes);
  Statement& BindNull(int index);
  // Returns true while a row is available.
  bool Step();
  void Reset();

  int ColumnCount() const;
  std::string ColumnName(int column) const;
  int ColumnType(int column) const;  // SQLITE_INTEGER, SQLITE_TEXT, ...
  int64_t ColumnInt64(int column) const;
  double ColumnDouble(int column) const;
  std::string ColumnText(int column) const;

 private:
  friend class Database;
  Statement(sqlite3_stmt* stmt, sqlite3* db) : stmt_(stmt), db_(db) {}
  void Check(int rc, const char* what);

  sqlite3_stmt* stmt_;
  sqlite3* db_;
};

// A write transaction that takes the write lock at once (BEGIN IMMEDIATE) and
// rolls back unless committed, so a failure leaves the file as it was.
class Transaction {
 public:
  explicit Transaction(Database& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit();

 private:
  Database& db_;
  bool open_ = true;
};

// Groups writes into one transaction that is opened on demand and committed
// on request or when the batch goes, also after an error: what was written
// stays written. Commit before anything that lets other code run.
class WriteBatch {
 public:
  explicit WriteBatch(Database& db) : db_(db) {}
  ~WriteBatch();
  WriteBatch(const WriteBatch&) = delete;
  WriteBatch& operator=(const WriteBatch&) = delete;

  void Begin();   // opens the transaction unless it is open
  void Commit();  // commits it if it is open

 private:
  Database& db_;
  bool open_ = false;
};

}  // namespace vexa
