#include "arp_store.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <unordered_set>

#include "db/sqlite.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "row_pacer.h"
#include "trace_file.h"

namespace vexa {

namespace {

constexpr size_t kMaxRouters = 25;

// Opens the database for the collector's writes: WAL is set by the schema;
// NORMAL sync keeps commits cheap and is safe with WAL.
Database OpenStore(const std::string& path) {
  Database db = Database::Open(path);
  db.Exec("PRAGMA synchronous = NORMAL");
  return db;
}

// Blanks typed around an address in the console are no part of it.
std::string_view TrimBlanks(std::string_view entry) {
  const size_t first = entry.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return entry.substr(first, entry.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::vector<std::string> SplitRouterList(const std::string& text) {
  std::vector<std::string> entries;
  std::string_view rest = text;
  while (entries.size() < kMaxRouters && !rest.empty()) {
    const size_t pair = rest.find("\r\n");
    if (pair == std::string_view::npos) {
      entries.emplace_back(TrimBlanks(rest));
      break;
    }
    entries.emplace_back(TrimBlanks(rest.substr(0, pair)));
    rest.remove_prefix(pair + 2);
  }
  return entries;
}

void ArpStore::WriteTraceBlock(const std::string& start) const {
  const SnmpMessRecord& mess = walk_.SnmpMess;
  std::string block = "Router:\t" + walk_.CurrentRouter + "\r\nStart:\t" + start + "\r\nFinish:\t" +
                      FormatDateTime(ctx_.LocalNow()) +
                      "\r\n\r\nRow\tIpAddress\tMacAddress\tType\tIfIndex\r\n";
  for (int r = 1; r <= mess.tmpRow; ++r) {
    const ArpRow& row = walk_.ArpRows[r];
    block += std::to_string(r) + '\t' + row.IpAddress + '\t' + row.MacAddress + '\t' +
             std::to_string(row.Type) + '\t' + std::to_string(row.IfIndex) + "\r\n";
  }
  block += "\r\n\r\n";
  AppendTrace(ctx_.Files().arp_table, block);
}

void ArpStore::LogArpEntries() {
  try {
    const std::string trace = ctx_.Files().arp_table;
    if (::unlink(trace.c_str()) != 0 && errno != ENOENT)
      throw std::system_error(errno, std::generic_category(), "Could not delete " + trace);

    std::unordered_set<std::string> handled;
    RowPacer pacer(ctx_.loop);
    for (const std::string& router : SplitRouterList(ctx_.Settings.RouterList)) {
      if (router.empty()) continue;
      walk_.CurrentRouter = router;
      const std::string start = FormatDateTime(ctx_.LocalNow());
      get_arp_table_();
      ctx_.loop.WaitMs(40);
      while (walk_.SnmpMess.Busy) ctx_.loop.WaitMs(40);
      ctx_.loop.WaitMs(1000);
      if (ctx_.Settings.DebugMode) WriteTraceBlock(start);

      Database db = OpenStore(ctx_.DbConnectionString);
      // One address at most once per cycle; an address already stored only
      // gains a sighting, keeping the MAC address, type and interface it has.
      Statement merge = db.Prepare(
          "INSERT INTO ArpTable (IpAddr, MacAddr, Type, IfIndex, SeenTimes) "
          "VALUES (?1, ?2, ?3, ?4, 1) "
          "ON CONFLICT (IpAddr) DO UPDATE SET SeenTimes = SeenTimes + 1");
      // Rows are written in short transactions, committed before every
      // pause, so nothing is pending while other events run and everything
      // written before a failure stays.
      WriteBatch batch(db);
      const int rows = walk_.SnmpMess.tmpRow;
      for (int r = 1; r <= rows; ++r) {
        const ArpRow& row = walk_.ArpRows[r];
        if (handled.insert(row.IpAddress).second &&
            (!ctx_.Settings.SaveOnlyDynamic || row.Type == kArpTypeDynamic)) {
          batch.Begin();
          merge.Bind(1, row.IpAddress)
              .Bind(2, row.MacAddress)
              .Bind(3, static_cast<int64_t>(row.Type))
              .Bind(4, static_cast<int64_t>(row.IfIndex));
          merge.Step();
          merge.Reset();
        }
        pacer.Count([&] { batch.Commit(); });
      }
      batch.Commit();
    }
  } catch (const std::exception& e) {
    ctx_.log.LogEvent(kModuleName, "LogArpEntries",
                      "SnmpMess.tmpRow=" + std::to_string(walk_.SnmpMess.tmpRow) + ", " + e.what(),
                      kLevelError);
  }
}

void ArpStore::ClearArpTable() {
  try {
    Database db = OpenStore(ctx_.DbConnectionString);
    db.Exec("DELETE FROM ArpTable");
  } catch (const std::exception& e) {
    ctx_.log.LogEvent(kModuleName, "ClearArpTable", e.what(), kLevelError);
  }
}

}  // namespace vexa
