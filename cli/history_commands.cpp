// vexa-arp history and events: the address history the collector keeps
// across jobs (ArpHistory) and the changes it found (ArpEvent), read-only,
// as tab-separated lines or JSON lines. Times are shown in local time with
// the offset; values from agents are written escaped.
#include <cctype>
#include <ctime>

#include "arp/address_json.h"
#include "arp/address_query.h"
#include "arp/vendor.h"
#include "command.h"
#include "platform/local_time.h"
#include "settings_store.h"
#include "text_escape.h"

namespace vexa::cli {

namespace {

const char* const kNotations =
    "give an IPv4 or IPv6 address, or a MAC address as 00:1a:2b:3c:4d:5e, 00-1a-2b-3c-4d-5e, "
    "001a.2b3c.4d5e, 001a2b3c4d5e or \"00 1a 2b 3c 4d 5e\"";

const std::vector<std::string> kHistoryColumns = {"IpAddr",    "MacAddr",  "Router", "IfIndex",
                                                  "FirstSeen", "LastSeen", "Cycles", "IsCurrent"};
const std::vector<std::string> kEventColumns = {
    "ID", "Time", "Kind", "IpAddr", "MacAddr", "OldMacAddr", "Router", "IfIndex", "Delivered"};

// Opens the database read-only with both tables of the history in shape.
Database OpenHistory(const std::string& path) {
  Database db = OpenProgramDatabase(path);
  RequireShape(db, path, "ArpHistory", kHistoryColumns);
  RequireShape(db, path, "ArpEvent", kEventColumns);
  return db;
}

void Flush(Context& c) {
  c.out.flush();
  if (!c.out) throw Failure("could not write to the output");
}

int History(Context& c, const Arguments& args) {
  bool json = false;
  std::optional<std::string> query;
  for (const std::string& arg : args) {
    if (arg == "--json")
      json = true;
    else if (arg.starts_with("-") && arg.size() > 1 && !CanonicalIp(arg))
      throw UsageError("unknown option " + arg + "; the only option is --json");
    else if (query)
      throw UsageError("one address at a time; " + std::string(kNotations));
    else
      query = arg;
  }
  if (!query) throw UsageError("name the address: " + std::string(kNotations));
  const std::optional<std::string> ip = CanonicalIp(*query);
  const std::optional<std::string> mac = ip ? std::nullopt : ParseMacAddress(*query);
  if (!ip && !mac)
    throw UsageError("cannot read \"" + EscapeText(*query) + "\" as an address; " + kNotations);

  const VendorRegistry& vendors = Vendors(c, "history");
  const std::string path = c.File(kDatabaseFileName);
  Database db = OpenHistory(path);
  size_t found = 0;
  GuardDatabase(path, "read", [&] {
    Statement st = db.Prepare(
        std::string("SELECT IpAddr, MacAddr, Router, IfIndex, FirstSeen, LastSeen, Cycles, "
                    "IsCurrent FROM ArpHistory WHERE ") +
        (ip ? "IpAddr" : "MacAddr") + " = ?1 ORDER BY LastSeen DESC, FirstSeen DESC, IpAddr");
    st.Bind(1, ip ? *ip : *mac);
    if (!json)
      c.out << "IpAddr\tMacAddr\tVendor\tRouter\tIfIndex\tFirstSeen\tLastSeen\tCycles\tCurrent\n";
    while (st.Step()) {
      ++found;
      PairingRecord p{st.ColumnText(0),
                      st.ColumnText(1),
                      st.ColumnText(2),
                      static_cast<int32_t>(st.ColumnInt64(3)),
                      st.ColumnInt64(4),
                      st.ColumnInt64(5),
                      st.ColumnInt64(6),
                      st.ColumnInt64(7) != 0,
                      ""};
      p.vendor = vendors.VendorOf(p.mac);
      if (json)
        c.out << PairingJsonLine(p);
      else
        c.out << EscapeText(p.ip) << '\t' << EscapeText(p.mac) << '\t' << EscapeText(p.vendor)
              << '\t' << EscapeText(p.router) << '\t' << p.if_index << '\t'
              << FormatIsoLocal(p.first_seen) << '\t' << FormatIsoLocal(p.last_seen) << '\t'
              << p.cycles << '\t' << (p.current ? "yes" : "no") << '\n';
    }
  });
  Flush(c);
  if (found == 0) throw Failure("the history holds no pairing of " + (ip ? *ip : *mac));
  return 0;
}

// "2026-12-09T12:00:00+01:00", "...Z", or a local "YYYY-MM-DD[ HH:MM[:SS]]":
// UTC seconds.
std::optional<int64_t> ParseTime(std::string text) {
  std::optional<int> offset_seconds;
  if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) {
    offset_seconds = 0;
    text.pop_back();
  } else if (text.size() > 16 && (text[text.size() - 6] == '+' || text[text.size() - 6] == '-') &&
             text[text.size() - 3] == ':') {
    const std::string zone = text.substr(text.size() - 5);
    if (!std::isdigit(static_cast<unsigned char>(zone[0])) ||
        !std::isdigit(static_cast<unsigned char>(zone[1])) ||
        !std::isdigit(static_cast<unsigned char>(zone[3])) ||
        !std::isdigit(static_cast<unsigned char>(zone[4])))
      return std::nullopt;
    const int hours = (zone[0] - '0') * 10 + zone[1] - '0';
    const int minutes = (zone[3] - '0') * 10 + zone[4] - '0';
    if (hours > 23 || minutes > 59) return std::nullopt;
    offset_seconds = (text[text.size() - 6] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
    text.resize(text.size() - 6);
  }
  const std::optional<LocalDateTime> t = ParseLocalDateTime(text);
  if (!t) return std::nullopt;
  if (!offset_seconds)
    return std::chrono::duration_cast<std::chrono::seconds>(FromLocal(*t).time_since_epoch())
        .count();
  struct tm fields {};
  fields.tm_year = t->year - 1900;
  fields.tm_mon = t->month - 1;
  fields.tm_mday = t->day;
  fields.tm_hour = t->hour;
  fields.tm_min = t->minute;
  fields.tm_sec = t->second;
  return static_cast<int64_t>(::timegm(&fields)) - *offset_seconds;
}

std::string KindList() {
  std::string list;
  for (const std::string_view kind : kEventKinds)
    list += (list.empty() ? "" : ", ") + std::string(kind);
  return list;
}

int Events(Context& c, const Arguments& args) {
  bool json = false;
  std::optional<int64_t> since;
  std::vector<std::string> kinds;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--json") {
      json = true;
    } else if (arg == "--since" || arg == "--kind") {
      if (i + 1 == args.size()) throw UsageError(arg + " needs a value");
      const std::string& value = args[++i];
      if (arg == "--kind") {
        if (!IsEventKind(value))
          throw UsageError("unknown kind \"" + EscapeText(value) + "\"; the kinds are " +
                           KindList());
        kinds.push_back(value);
      } else {
        since = ParseTime(value);
        if (!since)
          throw UsageError("cannot read \"" + EscapeText(value) +
                           "\" as a time; give YYYY-MM-DD, YYYY-MM-DD HH:MM[:SS] (local time) "
                           "or 2026-12-09T12:00:00+01:00");
      }
    } else {
      throw UsageError("unknown argument " + EscapeText(arg) +
                       "; the options are --since TIME, --kind KIND and --json");
    }
  }
  const VendorRegistry& vendors = Vendors(c, "events");
  const std::string path = c.File(kDatabaseFileName);
  Database db = OpenHistory(path);
  GuardDatabase(path, "read", [&] {
    std::string sql =
        "SELECT Time, Kind, IpAddr, MacAddr, OldMacAddr, Router, IfIndex, Delivered FROM ArpEvent "
        "WHERE Time >= ?1";
    if (!kinds.empty()) {
      sql += " AND Kind IN (";
      for (size_t i = 0; i < kinds.size(); ++i)
        sql += (i > 0 ? ", ?" : "?") + std::to_string(i + 2);
      sql += ")";
    }
    sql += " ORDER BY Time, ID";
    Statement st = db.Prepare(sql);
    st.Bind(1, since.value_or(INT64_MIN));
    for (size_t i = 0; i < kinds.size(); ++i) st.Bind(static_cast<int>(i) + 2, kinds[i]);
    if (!json)
      c.out << "Time\tKind\tIpAddr\tMacAddr\tVendor\tOldMacAddr\tRouter\tIfIndex\tDelivered\n";
    while (st.Step()) {
      AddressEvent e{st.ColumnInt64(0),
                     st.ColumnText(1),
                     st.ColumnText(2),
                     st.ColumnText(3),
                     st.ColumnText(4),
                     st.ColumnText(5),
                     static_cast<int32_t>(st.ColumnInt64(6)),
                     st.ColumnInt64(7) != 0,
                     ""};
      e.vendor = vendors.VendorOf(e.mac);
      if (json)
        c.out << EventJsonLine(e);
      else
        c.out << FormatIsoLocal(e.time) << '\t' << EscapeText(e.kind) << '\t' << EscapeText(e.ip)
              << '\t' << EscapeText(e.mac) << '\t' << EscapeText(e.vendor) << '\t'
              << EscapeText(e.old_mac) << '\t' << EscapeText(e.router) << '\t' << e.if_index << '\t'
              << (e.delivered ? "yes" : "no") << '\n';
    }
  });
  Flush(c);
  return 0;
}

constexpr Command kCommands[] = {
    {"history", "ADDRESS [--json]", "every MAC an IP had, or every IP a MAC had",
     "Prints every pairing of ADDRESS in the address history, newest first: an IP\n"
     "address (IPv4 or IPv6, any spelling) gives every MAC address it had, a MAC\n"
     "address (00:1a:2b:3c:4d:5e, 00-1A-2B-3C-4D-5E, 001a.2b3c.4d5e, 001a2b3c4d5e or\n"
     "\"00 1a 2b 3c 4d 5e\") every IP address it had. A header line, then per pairing\n"
     "the tab-separated IpAddr, MacAddr, Vendor, Router, IfIndex, FirstSeen, LastSeen\n"
     "(local time with its offset), Cycles (poll cycles it was seen in) and Current\n"
     "(yes when it is the IP address's latest MAC address); with --json one JSON\n"
     "object per line with the keys ip, mac, router, if_index, first_seen,\n"
     "last_seen, cycles, current, vendor. Exit status 0 when a pairing was found, 1 when none, 2 "
     "when\n"
     "ADDRESS cannot be read.\n",
     History},
    {"events", "[--since TIME] [--kind KIND]... [--json]", "the changes the collector found",
     "Prints the changes stored in the history, oldest first: a header line, then\n"
     "per change the tab-separated Time, Kind, IpAddr, MacAddr, Vendor, OldMacAddr,\n"
     "Router, IfIndex and Delivered (no for a flip flop held back within a day of\n"
     "the last one); with --json one JSON object per line with the keys time, kind,\n"
     "ip, mac, old_mac, router, if_index, vendor. --since TIME keeps the changes from TIME on\n"
     "(YYYY-MM-DD or YYYY-MM-DD HH:MM[:SS] in local time, or ISO 8601 with an\n"
     "offset such as 2026-12-09T12:00:00+01:00). --kind KIND keeps one kind; it may\n"
     "be given more than once. The kinds: new_ip, mac_changed, flip_flop,\n"
     "reused_mac, new_activity, moved, gone.\n",
     Events},
};

}  // namespace

std::span<const Command> HistoryCommands() {
  return kCommands;
}

}  // namespace vexa::cli
