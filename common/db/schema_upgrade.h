// Versions of the program folder's database schema. The version is kept in
// the file itself (PRAGMA user_version): db/schema.sql makes a file of the
// newest version, and a file made by an earlier build carries a lower one.
// Every program brings an older file up to date when it opens it, in one
// transaction, and refuses a newer one, whose meaning it cannot know.
//
// A schema change is one more step at the end of the list in
// schema_upgrade.cpp (a step that has shipped never changes) and the same
// change in db/schema.sql, whose user_version is raised to match.
#pragma once

#include <span>
#include <stdexcept>
#include <string>

namespace vexa {

// Brings the schema from version `version` - 1 to `version`.
struct SchemaStep {
  int version;
  const char* sql;  // one or more statements
};

// A database this program must not use: of a newer schema, or of none it
// knows. Nothing has been written to it.
class SchemaError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The steps, in order; their count is this program's schema version.
std::span<const SchemaStep> SchemaSteps();
int CurrentSchemaVersion();

// Brings the database file at `path` (which must exist) to the version of
// `steps`: when the file's version is older, the missing steps run in order
// and the version is set, all in one transaction. Returns the version the
// file had. Throws SchemaError for a newer or unknown version and
// DatabaseError when the file cannot be read or a step fails; the file is
// unchanged then. A file of the current version is only read.
int UpgradeSchema(const std::string& path, std::span<const SchemaStep> steps = SchemaSteps());

}  // namespace vexa
