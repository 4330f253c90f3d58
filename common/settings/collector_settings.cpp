#include "settings/collector_settings.h"

#include <string.h>
#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

#include "db/schema_upgrade.h"
#include "db/sqlite.h"

namespace vexa {

namespace {

constexpr const char* kTable = "Settings_General";

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

// A whole number from a text that holds a decimal number ("12", " 7 ",
// "3.5"), rounded half to even like the numeric columns' own conversion.
std::optional<double> NumberFromText(const std::string& text) {
  const std::string t = Trim(text);
  if (t.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || errno == ERANGE || !std::isfinite(v)) return std::nullopt;
  return v;
}

// Reads one field of the current record; each conversion names the field in
// its error.
class RecordReader {
 public:
  explicit RecordReader(Statement& st) : st_(st) {}

  bool Boolean(const char* field) {
    const int col = Column(field);
    switch (st_.ColumnType(col)) {
      case SQLITE_INTEGER:
        return st_.ColumnInt64(col) != 0;
      case SQLITE_FLOAT:
        return st_.ColumnDouble(col) != 0.0;
      case SQLITE_TEXT: {
        const std::string text = Trim(st_.ColumnText(col));
        if (strcasecmp(text.c_str(), "true") == 0) return true;
        if (strcasecmp(text.c_str(), "false") == 0) return false;
        if (const auto v = NumberFromText(text)) return *v != 0.0;
        throw Bad(field, "'" + st_.ColumnText(col) + "', which is not a yes/no value");
      }
      default:
        throw NullOrBlob(field, col);
    }
  }

  std::string Text(const char* field) {
    const int col = Column(field);
    const int type = st_.ColumnType(col);
    if (type == SQLITE_NULL) throw NullOrBlob(field, col);
    return st_.ColumnText(col);
  }

  int64_t Integer(const char* field, int64_t min, int64_t max, const char* kind) {
    const int col = Column(field);
    std::optional<double> value;
    switch (st_.ColumnType(col)) {
      case SQLITE_INTEGER: {
        const int64_t v = st_.ColumnInt64(col);
        if (v < min || v > max) throw OutOfRange(field, std::to_string(v), min, max, kind);
        return v;
      }
      case SQLITE_FLOAT:
        value = st_.ColumnDouble(col);
        break;
      case SQLITE_TEXT:
        value = NumberFromText(st_.ColumnText(col));
        if (!value) throw Bad(field, "'" + st_.ColumnText(col) + "', which is not a number");
        break;
      default:
        throw NullOrBlob(field, col);
    }
    const double rounded = std::nearbyint(*value);
    if (rounded < static_cast<double>(min) || rounded > static_cast<double>(max))
      throw OutOfRange(field, st_.ColumnText(col), min, max, kind);
    return static_cast<int64_t>(rounded);
  }

  // One of `names`, in the spelling of `names`.
  template <size_t N>
  std::string Choice(const char* field, const char* const (&names)[N]) {
    const std::string text = Trim(Text(field));
    for (const char* name : names)
      if (strcasecmp(text.c_str(), name) == 0) return name;
    std::string list;
    for (const char* name : names) list += (list.empty() ? "" : ", ") + std::string(name);
    throw Bad(field, "'" + text + "', which is none of " + list);
  }

  LocalDateTime DateTime(const char* field) {
    const int col = Column(field);
    if (st_.ColumnType(col) != SQLITE_TEXT) {
      if (st_.ColumnType(col) == SQLITE_NULL) throw NullOrBlob(field, col);
      throw Bad(field, "'" + st_.ColumnText(col) + "', which is not a date and time");
    }
    const std::string text = Trim(st_.ColumnText(col));
    const auto t = ParseLocalDateTime(text);
    if (!t)
      throw Bad(field, "'" + st_.ColumnText(col) +
                           "', which is not a date and time of the form YYYY-MM-DD HH:MM");
    return *t;
  }

 private:
  int Column(const char* field) {
    for (int i = 0; i < st_.ColumnCount(); ++i)
      if (strcasecmp(st_.ColumnName(i).c_str(), field) == 0) return i;
    throw SettingsError(std::string("The field ") + field + " is missing from the table " + kTable);
  }

  static SettingsError Bad(const char* field, const std::string& detail) {
    return SettingsError(std::string("The field ") + field + " of " + kTable + " holds " + detail);
  }

  SettingsError NullOrBlob(const char* field, int col) {
    if (st_.ColumnType(col) == SQLITE_NULL)
      return SettingsError(std::string("The field ") + field + " of " + kTable +
                           " holds no value (NULL)");
    return Bad(field, "binary data");
  }

  static SettingsError OutOfRange(const char* field, const std::string& value, int64_t min,
                                  int64_t max, const char* kind) {
    return Bad(field, value + ", which is outside the range of a " + kind + " number (" +
                          std::to_string(min) + " to " + std::to_string(max) + ")");
  }

  Statement& st_;
};

}  // namespace

void CollectorSettings::WipePasswords() {
  for (std::string* password : {&v3_auth_password, &v3_priv_password}) {
    password->resize(password->capacity());
    ::explicit_bzero(password->data(), password->size());
    password->clear();
  }
}

void LoadCollectorSettings(const std::string& database_path, CollectorSettings& settings) {
  // A missing table is named as such, not as a failed schema upgrade.
  if (!Database::Open(database_path, /*read_only=*/true).TableExists(kTable))
    throw SettingsError(std::string("The table ") + kTable + " is missing from the database '" +
                        database_path + "'");
  UpgradeSchema(database_path);
  Database db = Database::Open(database_path, /*read_only=*/true);
  Statement st = db.Prepare("SELECT * FROM \"Settings_General\" ORDER BY rowid LIMIT 1");
  if (!st.Step()) throw SettingsError(std::string("The table ") + kTable + " has no record");
  RecordReader r(st);
  settings.debug_mode = r.Boolean("DebugMode");
  settings.router_list = r.Text("RouterList");
  settings.community = r.Text("GetComm");
  settings.timeout_seconds =
      static_cast<int16_t>(r.Integer("TimeOut", INT16_MIN, INT16_MAX, "16-bit"));
  settings.retries = static_cast<int16_t>(r.Integer("Retries", INT16_MIN, INT16_MAX, "16-bit"));
  settings.check_interval_seconds =
      static_cast<int32_t>(r.Integer("CheckInterval", INT32_MIN, INT32_MAX, "32-bit"));
  settings.save_only_dynamic = r.Boolean("SaveOnlyDynamic");
  settings.resolve_names = r.Boolean("DnsCheck");
  settings.stop_time = r.DateTime("StopTime");
  settings.snmp_version = static_cast<int>(r.Integer("SnmpVersion", 1, 3, "permitted"));
  settings.use_bulk = r.Boolean("UseBulk");
  settings.max_repetitions = static_cast<int32_t>(
      r.Integer("MaxRepetitions", kMinRepetitions, kMaxRepetitions, "permitted"));
  settings.neighbour_table = static_cast<int>(
      r.Integer("NeighbourTable", kNeighbourTableMedia, kNeighbourTablePhysical, "permitted"));
  settings.v3_user = r.Text("V3User");
  settings.v3_auth_protocol = r.Choice("V3AuthProtocol", kAuthProtocolNames);
  settings.v3_auth_password = r.Text("V3AuthPassword");
  settings.v3_priv_protocol = r.Choice("V3PrivProtocol", kPrivProtocolNames);
  settings.v3_priv_password = r.Text("V3PrivPassword");
  settings.v3_context = r.Text("V3Context");
  settings.history_days =
      static_cast<int32_t>(r.Integer("HistoryDays", 0, kMaxHistoryDays, "permitted"));
  settings.quiet_days =
      static_cast<int32_t>(r.Integer("QuietDays", kMinQuietDays, kMaxHistoryDays, "permitted"));
  settings.event_command = r.Text("EventCommand");
  settings.parallel_walks =
      static_cast<int32_t>(r.Integer("ParallelWalks", 1, kMaxParallelWalks, "permitted"));
  settings.metrics_file = r.Text("MetricsFile");
}

}  // namespace vexa
