// vexa-arp export: the list the collector writes at the stop time, made now
// from ArpTable with the collector's own list format and name lookups, to a
// file or stdout. ArpTable is only read; the names found are not stored, and
// the program folder's own ArpList.txt is never written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "arp/export.h"
#include "arp/vendor.h"
#include "command.h"
#include "dns/cares_reverse_resolver.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "service_start.h"
#include "settings/collector_settings.h"
#include "settings_store.h"
#include "text/csv.h"
#include "text_escape.h"

namespace vexa::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kListFileName = "ArpList.txt";

struct StoredRow {
  std::string ip_address;
  std::string mac_address;
  std::string seen_times;
  // The history's record of the pairing, when it has one.
  std::optional<int64_t> first_seen;
  std::optional<int64_t> last_seen;
  std::string router;
  std::optional<int64_t> if_index;
};

enum class ListFormat { kTsv, kCsv, kJson };

std::string ColumnText(Statement& st, int column) {
  return st.ColumnType(column) == SQLITE_NULL ? std::string() : st.ColumnText(column);
}

std::optional<int64_t> ColumnInt(Statement& st, int column) {
  if (st.ColumnType(column) != SQLITE_INTEGER) return std::nullopt;
  return st.ColumnInt64(column);
}

// `path` with every symbolic link along it followed, also one at its end
// whose target does not exist yet (opening with O_CREAT would follow it).
fs::path ResolvedPath(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  for (int links = 0; links < 40 && fs::is_symlink(p, ec); ++links) {
    const fs::path target = fs::read_symlink(p, ec);
    if (ec) break;
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  const fs::path resolved = fs::weakly_canonical(p, ec);
  return ec ? p.lexically_normal() : resolved;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

[[noreturn]] void RefuseOwnFile(const std::string& file, const char* name) {
  throw Failure(file + " is the program folder's " + name +
                "; the export writes to another file or to stdout");
}

// Refuses a FILE that is, by any name or link, one of the program folder's
// files the export must not write over.
void RefuseProgramFile(const Context& c, const std::string& file) {
  const fs::path target = ResolvedPath(file);
  struct stat target_stat {};
  const bool target_exists = ::stat(file.c_str(), &target_stat) == 0;
  for (const char* name : {kListFileName, kDatabaseFileName}) {
    const std::string own = c.File(name);
    struct stat own_stat {};
    const bool same =
        (target_exists && ::stat(own.c_str(), &own_stat) == 0 && SameFile(target_stat, own_stat)) ||
        target == ResolvedPath(own);
    if (same) RefuseOwnFile(file, name);
  }
}

// A FIFO or a terminal is written as it is; anything else that is there
// already is refused.
void WriteToDevice(const std::string& file, const std::string& text) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw Failure("could not open " + file + ": " + std::strerror(errno));
  struct stat opened {};
  int err = ::fstat(fd, &opened) != 0 ? errno : 0;
  if (err == 0 && !S_ISFIFO(opened.st_mode) && !S_ISCHR(opened.st_mode)) {
    ::close(fd);
    throw Failure(file + " changed while it was opened; nothing was written");
  }
  if (err == 0) err = WriteFully(fd, text);
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) throw Failure("could not write " + file + ": " + std::strerror(err));
}

// Writes `text` to `file`: a FIFO or terminal directly, otherwise as a new
// file renamed over it, which keeps the permissions of the file it replaces.
// A symbolic link is refused, never written through or replaced: in a folder
// others can write, it may point anywhere.
void WriteExportFile(const Context& c, const std::string& file, const std::string& text) {
  struct stat there {};
  if (::lstat(file.c_str(), &there) == 0) {
    if (S_ISLNK(there.st_mode))
      throw Failure(file +
                    " is a symbolic link; the export writes neither through a link nor over it: "
                    "give the file it points to, or - for stdout");
    if (S_ISFIFO(there.st_mode) || S_ISCHR(there.st_mode)) return WriteToDevice(file, text);
    if (!S_ISREG(there.st_mode) && !S_ISDIR(there.st_mode))
      throw Failure(file + " is neither a regular file, a FIFO nor a terminal");
  }
  FileReplacement out(file, 0644);
  if (out.error() != 0) throw Failure("could not open " + file + ": " + std::strerror(out.error()));
  // Checked again where the file goes now that its folder is open: a folder
  // on the way that was swapped for a link meanwhile cannot turn the rename
  // onto the program's own files.
  struct stat folder {};
  struct stat own_folder {};
  if (::fstat(out.folder_fd(), &folder) == 0 && ::stat(c.folder.c_str(), &own_folder) == 0 &&
      SameFile(folder, own_folder))
    for (const char* name : {kListFileName, kDatabaseFileName})
      if (out.name() == name) RefuseOwnFile(file, name);
  struct stat old {};
  if (::fstatat(out.folder_fd(), out.name().c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!S_ISREG(old.st_mode))
      throw Failure(file + " changed while it was opened; nothing was written");
    out.SetMode(old.st_mode & 0666);
  }
  out.Write(text);
  if (const int err = out.Commit())
    throw Failure("could not write " + file + ": " + std::strerror(err));
}

std::vector<StoredRow> ReadArpTable(const std::string& path) {
  OpenProgramDatabase(path);  // a missing, locked or newer database, named clearly
  std::vector<StoredRow> rows;
  GuardDatabase(path, "read", [&] {
    Database db = Database::Open(path, /*read_only=*/true);
    RequireShape(db, path, "ArpTable", {"IpAddr", "MacAddr", "SeenTimes"});
    const bool history = db.TableExists("ArpHistory");
    Statement st = db.Prepare(
        history ? "SELECT t.IpAddr, t.MacAddr, t.SeenTimes, h.FirstSeen, h.LastSeen, h.Router, "
                  "h.IfIndex FROM ArpTable t LEFT JOIN ArpHistory h "
                  "ON h.IpAddr = t.IpAddr AND h.MacAddr = t.MacAddr ORDER BY t.rowid"
                : "SELECT IpAddr, MacAddr, SeenTimes, NULL, NULL, NULL, NULL FROM ArpTable "
                  "ORDER BY rowid");
    while (st.Step())
      rows.push_back({ColumnText(st, 0), ColumnText(st, 1), ColumnText(st, 2), ColumnInt(st, 3),
                      ColumnInt(st, 4), ColumnText(st, 5), ColumnInt(st, 6)});
  });
  return rows;
}

// The listed name of every row, looked up a batch at a time as the
// collector does. Lookups that failed are counted and the first cause kept.
std::vector<std::string> LookUpNames(const std::vector<StoredRow>& rows, Context& c) {
  SystemClock clock;
  EventLoop loop(clock);
  dns::CaresReverseResolver resolver(loop);
  std::vector<std::string> names;
  names.reserve(rows.size());
  size_t failed = 0;
  std::string first_failure;
  std::vector<std::string> addresses;
  addresses.reserve(rows.size());
  for (const StoredRow& row : rows) addresses.push_back(row.ip_address);
  LookUpInBatches(
      resolver, addresses, ArpExport::kLookupBatch, [] { return true; },
      [&](size_t, const dns::LookupResult& lookup) {
        if (lookup.Failed() && failed++ == 0) first_failure = lookup.text;
        names.push_back(ListedName(lookup));
      });
  if (failed > 0)
    c.err << "vexa-arp: export: warning: " << failed
          << " name lookups failed and are listed as Error: " << EscapeText(first_failure) << '\n';
  return names;
}

std::string Time(const std::optional<int64_t>& v) {
  return v ? FormatIsoLocal(*v) : std::string();
}

std::string Number(const std::optional<int64_t>& v) {
  return v ? std::to_string(*v) : std::string();
}

// The list as CSV (a header record, then one record per address) or as JSON
// lines, each with its vendor and the history's record.
std::string MachineList(ListFormat format, const std::vector<StoredRow>& rows,
                        const std::vector<std::string>& names, Context& c) {
  const VendorRegistry& vendors = Vendors(c, "export");
  std::string text;
  if (format == ListFormat::kCsv)
    text = CsvRecord({"IpAddress", "MacAddress", "Vendor", "SeenTimes", "DnsName", "FirstSeen",
                      "LastSeen", "Router", "IfIndex"});
  const auto json = [](const std::string& s) { return "\"" + EscapeJson(s) + "\""; };
  const auto json_or_null = [&](const std::string& s, bool known) {
    return known ? json(s) : std::string("null");
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    const StoredRow& row = rows[i];
    const std::string vendor = vendors.VendorOf(row.mac_address);
    const bool recorded = row.last_seen.has_value();
    if (format == ListFormat::kCsv) {
      text +=
          CsvRecord({row.ip_address, row.mac_address, vendor, row.seen_times, names[i],
                     Time(row.first_seen), Time(row.last_seen), row.router, Number(row.if_index)});
      continue;
    }
    const bool seen_number = !row.seen_times.empty() &&
                             row.seen_times.find_first_not_of("0123456789") == std::string::npos &&
                             row.seen_times.size() < 19;
    text += "{\"ip\":" + json(row.ip_address) + ",\"mac\":" + json(row.mac_address) +
            ",\"vendor\":" + json(vendor) +
            ",\"seen_times\":" + (seen_number ? row.seen_times : std::string("null")) +
            ",\"name\":" + json(names[i]) +
            ",\"first_seen\":" + json_or_null(Time(row.first_seen), row.first_seen.has_value()) +
            ",\"last_seen\":" + json_or_null(Time(row.last_seen), recorded) +
            ",\"router\":" + json_or_null(row.router, recorded) +
            ",\"if_index\":" + (row.if_index ? std::to_string(*row.if_index) : "null") + "}\n";
  }
  return text;
}

ListFormat ParseFormat(const std::string& name) {
  if (name == "tsv") return ListFormat::kTsv;
  if (name == "csv") return ListFormat::kCsv;
  if (name == "json") return ListFormat::kJson;
  throw UsageError("unknown --format " + name + "; the formats are tsv, csv and json");
}

int Export(Context& c, const Arguments& args) {
  bool resolve_names = true;
  ListFormat format = ListFormat::kTsv;
  std::optional<std::string> file;
  for (size_t a = 0; a < args.size(); ++a) {
    const std::string& arg = args[a];
    if (arg == "--no-dns")
      resolve_names = false;
    else if (arg == "--format" && a + 1 < args.size())
      format = ParseFormat(args[++a]);
    else if (arg.starts_with("--format="))
      format = ParseFormat(arg.substr(9));
    else if (arg == "--format")
      throw UsageError("--format needs tsv, csv or json");
    else if (arg.starts_with("-") && arg != "-")
      throw UsageError("unknown option " + arg + "; the options are --no-dns and --format");
    else if (file)
      throw UsageError("give one FILE; " + arg + " is one too many");
    else
      file = arg;
  }
  if (file && file->empty()) throw UsageError("the FILE name is empty");
  const bool to_stdout = !file || *file == "-";
  if (!to_stdout) RefuseProgramFile(c, *file);

  const std::string path = c.File(kDatabaseFileName);
  const std::vector<StoredRow> rows = ReadArpTable(path);
  CollectorSettings settings;
  LoadCollectorSettings(path, settings);

  std::string start_minute;
  if (format == ListFormat::kTsv) {
    const std::string started = LastServiceStart(c.File("Debug/AppEvent.txt"));
    if (const auto start = ParseLocalDateTime(started))
      start_minute = FormatDateMinute(*start);
    else
      c.err << "vexa-arp: export: warning: Debug/AppEvent.txt has no \"Service Started.\" line; "
               "the Start: line is left empty\n";
  }

  const std::vector<std::string> names =
      resolve_names ? LookUpNames(rows, c) : std::vector<std::string>(rows.size());
  std::string text;
  if (format == ListFormat::kTsv) {
    text = ExportListHead(start_minute, FormatDateMinute(settings.stop_time));
    for (size_t i = 0; i < rows.size(); ++i)
      AppendExportListLine(text, rows[i].ip_address, rows[i].mac_address, rows[i].seen_times,
                           names[i]);
  } else {
    text = MachineList(format, rows, names, c);
  }

  if (to_stdout) {
    c.out << text;
    c.out.flush();
    if (!c.out) throw Failure("could not write the list to the output");
  } else {
    WriteExportFile(c, *file, text);
  }
  return 0;
}

constexpr Command kCommands[] = {
    {"export", "[--no-dns] [--format tsv|csv|json] [FILE]",
     "write the export list now, to FILE or stdout",
     "Writes the list the collector writes to ArpList.txt at the stop time, byte for\n"
     "byte in its format, now: the Start line from the last \"Service Started.\" line\n"
     "of Debug/AppEvent.txt, the Stop line from the settings, and one line per\n"
     "address of ArpTable (IpAddress, MacAddress, SeenTimes, DnsName), CR LF ended.\n"
     "Names are looked up now as the collector looks them up (VEXAARP_DNS_SERVERS\n"
     "applies); with --no-dns the DnsName column is left empty.\n"
     "\n"
     "--format picks the list's format: tsv (the default) is the list above; csv\n"
     "(RFC 4180: a header record, fields quoted where needed, CR LF) and json (one\n"
     "JSON object per line) carry for each address of ArpTable its IP and MAC\n"
     "address, the MAC address's vendor, SeenTimes and name, and from the history\n"
     "its first and last seen time (ISO 8601 local time), router and interface,\n"
     "empty (null) where the history has no record of the pairing. JSON keys: ip,\n"
     "mac, vendor, seen_times, name, first_seen, last_seen, router, if_index.\n"
     "\n"
     "The list goes to FILE, or to stdout without FILE or with -. ArpTable is only\n"
     "read: the names found are not stored. FILE must not be the program folder's\n"
     "ArpList.txt or VexaArp.mdb, by whatever name or link.\n"
     "\n"
     "FILE is replaced whole: the list is written beside it and renamed over it,\n"
     "with the permissions of the file it replaces. A symbolic link as FILE is\n"
     "refused; a FIFO or a terminal is written to as it is.\n",
     Export},
};

}  // namespace

std::span<const Command> ExportCommands() {
  return kCommands;
}

}  // namespace vexa::cli
