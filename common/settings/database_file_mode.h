// The program folder's database holds the SNMPv3 passwords in clear (the
// collector needs them to make its keys), so a database that holds one is
// kept readable and writable by its owner only. The programs that write the
// settings call this around every write; the collector, which runs as the
// owner of the program folder, still reads the file when it owns it too.
#pragma once

#include <string>

namespace vexa::settings {

// Takes the group and other permissions from the database file and from its
// journal files that exist (-wal, -shm: they hold the same data). Returns ""
// when done, or one sentence that says what is wrong: a file whose mode
// cannot be changed, or a database owned by another user than the program
// folder, which the service (running as the folder's owner) could then not
// read.
std::string RestrictDatabaseToOwner(const std::string& database_path);

}  // namespace vexa::settings
