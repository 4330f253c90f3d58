// The collector's settings: the nine values of the first record of the table
// Settings_General, read once at the service start. The collector never
// writes them; the console edits them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/local_time.h"

namespace vexa {

struct CollectorSettings {
  bool DebugMode = false;
  std::string RouterList;     // router addresses, one per line, lines split by CR LF
  std::string GetComm;        // SNMP community
  int16_t TimeOut = 0;        // seconds to wait for one response
  int16_t Retries = 0;        // re-sends allowed over the walk of one router
  int32_t CheckInterval = 0;  // seconds from the start of one poll to the next
  bool SaveOnlyDynamic = false;
  bool DnsCheck = false;
  LocalDateTime StopTime;  // compared at minute resolution
};

// A settings load that failed; what() names the table or field at fault.
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the first record of Settings_General from the database file at
// `database_path` into `settings`, field by field in the order of the struct.
// On a failure it throws SettingsError (or DatabaseError when the file cannot
// be opened); the fields read before the failing one keep their new values.
void LoadCollectorSettings(const std::string& database_path, CollectorSettings& settings);

}  // namespace vexa
