// The program folder's database holds the SNMP community, and the SNMPv3
// passwords in clear (the collector needs them to make its keys), so a
// database that holds one of them is kept readable and writable by its owner
// only; the programs that make it make it so from the start. The programs
// that write the settings call RestrictDatabaseToOwner around every write;
// the collector, which runs as the owner of the program folder, still reads
// the file when it owns it too. The collector and `vexa-arp settings` warn
// about a database that holds a secret and is open to others.
#pragma once

#include <string>
#include <string_view>

#include "settings/settings_rules.h"

namespace vexa::settings {

// Whether a settings record holds a secret: a community or a password that is
// not empty.
bool HoldsSecret(std::string_view community, std::string_view auth_password,
                 std::string_view priv_password);
bool HoldsSecret(const FieldTexts& record);

// Takes the group and other permissions from the database file and from its
// journal files that exist (-wal, -shm: they hold the same data). A symbolic
// link in the place of one of them is left alone. Returns "" when done, or
// one sentence that says what is wrong: a file whose mode cannot be changed,
// or a database owned by another user than the program folder, which the
// service (running as the folder's owner) could then not read.
std::string RestrictDatabaseToOwner(const std::string& database_path);

// "" when the database and its journal files are its owner's only, otherwise
// one sentence that names the first file open to group or others and says how
// to mend it.
std::string DatabaseExposure(const std::string& database_path);

}  // namespace vexa::settings
