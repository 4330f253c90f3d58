// The collector's settings: the values of the first record of the table
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

  // How the routers are asked (schema version 1); the defaults are the walk
  // of a database of version 0.
  int snmp_version = 2;                   // SnmpVersion: 1, 2 (SNMPv2c) or 3
  bool use_bulk = false;                  // UseBulk: GETBULK where the version has it
  int32_t max_repetitions = 25;           // MaxRepetitions: rows asked per GETBULK
  int neighbour_table = 0;                // NeighbourTable: see kNeighbourTable*
  std::string v3_user;                    // V3User
  std::string v3_auth_protocol = "none";  // V3AuthProtocol: one of kAuthProtocolNames
  std::string v3_auth_password;           // V3AuthPassword
  std::string v3_priv_protocol = "none";  // V3PrivProtocol: one of kPrivProtocolNames
  std::string v3_priv_password;           // V3PrivPassword
  std::string v3_context;                 // V3Context: empty for the agent's default context

  // History, walks side by side and metrics (schema version 2); the defaults
  // keep the cycle of version 1.
  int32_t history_days = 400;  // HistoryDays: days kept; 0 keeps none and reports no changes
  int32_t quiet_days = 180;    // QuietDays: unseen this long, a pairing is new activity again
  std::string event_command;   // EventCommand: absolute path of a program; empty for none
  int32_t parallel_walks = 1;  // ParallelWalks: routers walked at once
  std::string metrics_file;    // MetricsFile: absolute path; empty for none

  // Overwrites the two passwords in a way the compiler keeps, and empties
  // them: once the SNMPv3 keys are made from them they have no more use.
  void WipePasswords();
};

// NeighbourTable: ipNetToMediaTable only, or ipNetToPhysicalTable with
// ipNetToMediaTable where an agent has no ipNetToPhysicalTable.
inline constexpr int kNeighbourTableMedia = 0;
inline constexpr int kNeighbourTablePhysical = 1;
inline constexpr int32_t kMaxHistoryDays = 36500;
inline constexpr int32_t kMinQuietDays = 1;
inline constexpr int32_t kMaxParallelWalks = 25;
inline constexpr int32_t kMinRepetitions = 1;
inline constexpr int32_t kMaxRepetitions = 1000;
// The protocol names as stored (net-snmp's spellings, compared without
// regard to case when read); "none" for no authentication or privacy.
inline constexpr const char* kAuthProtocolNames[] = {"none",    "MD5",     "SHA",    "SHA-224",
                                                     "SHA-256", "SHA-384", "SHA-512"};
inline constexpr const char* kPrivProtocolNames[] = {"none", "DES", "AES", "AES-192", "AES-256"};

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
