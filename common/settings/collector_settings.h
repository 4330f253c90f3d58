// The collector's settings: the nine values of the first record of the table
// Settings_General, read once at the service start. The collector never
// writes them; the console edits them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/local_time.h"

namespace vexa {

// Each member reads the column of Settings_General named beside it.
struct CollectorSettings {
  bool debug_mode = false;             // DebugMode: write the trace files
  std::string router_list;             // RouterList: one address a line, CR LF between
  std::string community;               // GetComm: the SNMP community
  int16_t timeout_seconds = 0;         // TimeOut: wait for one response
  int16_t retries = 0;                 // Retries: re-sends over the walk of one router
  int32_t check_interval_seconds = 0;  // CheckInterval: from one poll's start to the next
  bool save_only_dynamic = false;      // SaveOnlyDynamic: store dynamic entries only
  bool resolve_names = false;          // DnsCheck: names for the export
  LocalDateTime stop_time;             // StopTime: compared at minute resolution
};

// A settings load that failed; what() names the table or field at fault.
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the first record of Settings_General from the database file at
// `database_path` into `settings`, field by field in the order of the struct.
// A database of an older schema is brought up to date first (the only write
// the collector makes to the settings); a newer one is refused. On a failure
// it throws SettingsError, SchemaError or DatabaseError (a file that cannot
// be opened); the fields read before the failing one keep their new values.
void LoadCollectorSettings(const std::string& database_path, CollectorSettings& settings);

}  // namespace vexa
