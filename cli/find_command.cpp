// vexa-arp find: which IP address sat behind which MAC address, searched by
// address, prefix, MAC address, host name or vendor in ArpTable and the
// history, as tab-separated lines or JSON lines.
#include "arp/address_search.h"
#include "arp/vendor.h"
#include "command.h"
#include "platform/local_time.h"
#include "settings_store.h"
#include "text_escape.h"

namespace vexa::cli {

namespace {

constexpr const char* kHeader =
    "IpAddr\tMacAddr\tVendor\tRouter\tIfIndex\tFirstSeen\tLastSeen\tCycles\tCurrent\tDnsName";

std::string Number(const std::optional<int64_t>& v) {
  return v ? std::to_string(*v) : std::string();
}

std::string Time(const std::optional<int64_t>& v) {
  return v ? FormatIsoLocal(*v) : std::string();
}

std::string TextLine(const Pairing& p) {
  return EscapeText(p.ip) + '\t' + EscapeText(p.mac) + '\t' + EscapeText(p.vendor) + '\t' +
         EscapeText(p.router) + '\t' + Number(p.if_index) + '\t' + Time(p.first_seen) + '\t' +
         Time(p.last_seen) + '\t' + Number(p.cycles) + '\t' + (p.current ? "yes" : "no") + '\t' +
         EscapeText(p.name);
}

std::string JsonString(const std::string& s) {
  return "\"" + EscapeJson(s) + "\"";
}

std::string JsonNumber(const std::optional<int64_t>& v) {
  return v ? std::to_string(*v) : "null";
}

std::string JsonTime(const std::optional<int64_t>& v) {
  const std::string text = Time(v);
  return text.empty() ? "null" : JsonString(text);
}

std::string JsonLine(const Pairing& p) {
  return "{\"ip\":" + JsonString(p.ip) + ",\"mac\":" + JsonString(p.mac) +
         ",\"router\":" + (p.in_history ? JsonString(p.router) : "null") +
         ",\"if_index\":" + JsonNumber(p.if_index) + ",\"first_seen\":" + JsonTime(p.first_seen) +
         ",\"last_seen\":" + JsonTime(p.last_seen) + ",\"cycles\":" + JsonNumber(p.cycles) +
         ",\"current\":" + (p.current ? "true" : "false") + ",\"vendor\":" + JsonString(p.vendor) +
         ",\"name\":" + JsonString(p.name) + "}";
}

int Find(Context& c, const Arguments& args) {
  bool json = false;
  bool current_only = false;
  std::optional<std::string> query_text;
  for (const std::string& arg : args) {
    if (arg == "--json")
      json = true;
    else if (arg == "--current")
      current_only = true;
    else if (arg.starts_with("--"))
      throw UsageError("unknown option " + arg + "; the options are --json and --current");
    else if (query_text)
      throw UsageError("give one QUERY; " + arg +
                       " is one too many (quote a MAC address "
                       "written with blanks)");
    else
      query_text = arg;
  }
  if (!query_text) throw UsageError(std::string("give a QUERY: ") + kAddressQueryNotations);
  const std::optional<AddressQuery> query = ParseAddressQuery(*query_text);
  if (!query)
    throw UsageError("cannot read the query '" + *query_text + "'; give " + kAddressQueryNotations);

  const VendorRegistry& vendors = Vendors(c, "find");
  const std::string path = c.File(kDatabaseFileName);
  Database db = OpenProgramDatabase(path);
  RequireShape(db, path, "ArpTable", {"IpAddr", "MacAddr", "IfIndex", "DnsName"});
  std::vector<Pairing> found;
  GuardDatabase(path, "read", [&] { found = FindPairings(db, *query, vendors, current_only); });
  if (found.empty()) {
    c.err << "vexa-arp: find: no " << (current_only ? "current " : "") << "pairing matches "
          << EscapeText(*query_text) << '\n';
    return kExitFailure;
  }
  if (!json) c.out << kHeader << '\n';
  for (const Pairing& p : found) c.out << (json ? JsonLine(p) : TextLine(p)) << '\n';
  c.out.flush();
  if (!c.out) throw Failure("could not write the pairings to the output");
  return 0;
}

constexpr Command kCommands[] = {
    {"find", "QUERY [--json] [--current]", "find pairings of IP and MAC addresses",
     "Searches ArpTable and the history for the pairings of an IP address and a MAC\n"
     "address that QUERY matches, and prints one line per pairing, newest first:\n"
     "IpAddr, MacAddr, Vendor, Router, IfIndex, FirstSeen, LastSeen, Cycles, Current\n"
     "(yes or no) and DnsName, tab-separated after a header line. QUERY is one of\n"
     "  192.0.2.7, 2001:db8::1        an address\n"
     "  192.0.2.0/24, 2001:db8::/48   a prefix\n"
     "  00:1a:2b:3c:4d:5e, 00-1A-2B-3C-4D-5E, 001a.2b3c.4d5e, 001a2b3c4d5e,\n"
     "  \"00 1a 2b 3c 4d 5e\"           a MAC address\n"
     "  00:1a:2b, 001a2b              its first 3 octets or more\n"
     "  pc12, mail.example            part of the host name the export found\n"
     "                                (any case)\n"
     "  vendor:TEXT                   part of the vendor's name (any case)\n"
     "A row of ArpTable the history has no record of is shown as current, with its\n"
     "IfIndex and without router, times and cycles. Names are ArpTable's DnsName;\n"
     "vendors come from the IEEE registries of the ieee-data package.\n"
     "\n"
     "  --current  only the current pairings\n"
     "  --json     one JSON object per line: ip, mac, router, if_index, first_seen,\n"
     "             last_seen (ISO 8601 local time), cycles, current, vendor, name;\n"
     "             null where the history has no record\n"
     "\n"
     "Exit status: 0 found, 1 nothing found (or the database could not be read),\n"
     "2 a QUERY that cannot be read.\n",
     Find},
};

}  // namespace

std::span<const Command> FindCommands() {
  return kCommands;
}

}  // namespace vexa::cli
