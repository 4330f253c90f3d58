// vexa-arp table: ArpTable as collected so far, in the order the collector
// stored the addresses, as tab-separated lines or JSON lines. The values come
// from agents and are written escaped.
#include <cmath>
#include <cstdio>

#include "arp/vendor.h"
#include "command.h"
#include "settings_store.h"
#include "text_escape.h"

namespace vexa::cli {

namespace {

const std::vector<std::string> kColumns = {"IpAddr",  "MacAddr",   "Type",
                                           "IfIndex", "SeenTimes", "DnsName"};

std::string JsonValue(const Statement& st, int column) {
  switch (st.ColumnType(column)) {
    case SQLITE_NULL:
      return "null";
    case SQLITE_INTEGER:
      return std::to_string(st.ColumnInt64(column));
    case SQLITE_FLOAT: {
      const double v = st.ColumnDouble(column);
      if (!std::isfinite(v)) break;
      char text[32];
      std::snprintf(text, sizeof text, "%.17g", v);
      return text;
    }
    default:
      break;
  }
  return "\"" + EscapeJson(st.ColumnText(column)) + "\"";
}

int Table(Context& c, const Arguments& args) {
  bool json = false;
  for (const std::string& arg : args) {
    if (arg == "--json")
      json = true;
    else
      throw UsageError("unknown argument " + arg + "; the only option is --json");
  }
  const std::string path = c.File(kDatabaseFileName);
  Database db = OpenProgramDatabase(path);
  RequireShape(db, path, "ArpTable", kColumns);
  const VendorRegistry* vendors = nullptr;
  if (json) vendors = &Vendors(c, "table");
  GuardDatabase(path, "read", [&] {
    std::string sql = "SELECT ";
    for (size_t i = 0; i < kColumns.size(); ++i)
      sql += (i > 0 ? ", \"" : "\"") + kColumns[i] + "\"";
    sql += " FROM \"ArpTable\" ORDER BY rowid";
    // One read transaction: the rows are one snapshot even while the
    // collector writes.
    db.Exec("BEGIN");
    Statement st = db.Prepare(sql);
    if (!json) {
      for (size_t i = 0; i < kColumns.size(); ++i) c.out << (i > 0 ? "\t" : "") << kColumns[i];
      c.out << '\n';
    }
    while (st.Step()) {
      std::string line;
      for (int i = 0; i < static_cast<int>(kColumns.size()); ++i) {
        if (json) {
          line +=
              (i > 0 ? ",\"" : "{\"") + kColumns[static_cast<size_t>(i)] + "\":" + JsonValue(st, i);
        } else {
          if (i > 0) line += '\t';
          if (st.ColumnType(i) != SQLITE_NULL) line += EscapeText(st.ColumnText(i));
        }
      }
      if (json) {
        const std::string mac = st.ColumnType(1) == SQLITE_NULL ? std::string() : st.ColumnText(1);
        line += ",\"vendor\":\"" + EscapeJson(vendors->VendorOf(mac)) + "\"}";
      }
      c.out << line << '\n';
    }
    db.Exec("COMMIT");
  });
  c.out.flush();
  if (!c.out) throw Failure("could not write the table to the output");
  return 0;
}

constexpr Command kCommands[] = {
    {"table", "[--json]", "print ArpTable as collected so far",
     "Prints ArpTable in the order the addresses were learnt: a header line and one\n"
     "tab-separated line per address (IpAddr, MacAddr, Type, IfIndex, SeenTimes,\n"
     "DnsName), or with --json one JSON object per line with those keys and vendor,\n"
     "the MAC address's vendor from the IEEE registries (ieee-data). Values are\n"
     "escaped: in the lines, \\\\ \\t \\n \\r and \\xHH for control bytes and bytes that\n"
     "are not UTF-8, \\uHHHH for the characters that reorder text (U+202A-202E,\n"
     "U+2066-2069); in JSON, the JSON escapes (\\u00HH for such bytes).\n",
     Table},
};

}  // namespace

std::span<const Command> TableCommands() {
  return kCommands;
}

}  // namespace vexa::cli
