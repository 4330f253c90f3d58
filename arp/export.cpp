#include "arp/export.h"

#include <system_error>

#include "arp/event_log.h"
#include "db/sqlite.h"
#include "platform/files.h"

namespace vexa {

namespace {

// The export file, written under a temporary name beside ArpList.txt and
// renamed over it once whole: a reader never sees a part of a list, and a
// link in its place is replaced, not written through. After a failure the
// temporary file is removed and whatever list was there stays.
class ExportFile {
 public:
  explicit ExportFile(const std::string& path) : path_(path), file_(path, 0644) {
    if (file_.error() != 0)
      throw std::system_error(file_.error(), std::generic_category(), "Could not open " + path);
  }
  std::string& buffer() { return buffer_; }
  void Flush() {
    const int err = file_.Write(buffer_);
    buffer_.clear();
    if (err != 0) throw std::system_error(err, std::generic_category(), "Could not write " + path_);
  }
  void Close() {
    Flush();
    if (const int err = file_.Commit())
      throw std::system_error(err, std::generic_category(), "Could not write " + path_);
  }

 private:
  std::string path_;
  FileReplacement file_;
  std::string buffer_;
};

std::string ColumnText(Statement& st, int column) {
  return st.ColumnType(column) == SQLITE_NULL ? std::string() : st.ColumnText(column);
}

}  // namespace

std::string ExportListHead(std::string_view start, std::string_view stop) {
  std::string head = "Start:\t";
  head += start;
  head += "\r\nStop:\t";
  head += stop;
  head += "\r\n\r\nIpAddress\tMacAddress\tSeenTimes\tDnsName\r\n";
  return head;
}

void AppendExportListLine(std::string& out, std::string_view ip_address,
                          std::string_view mac_address, std::string_view seen_times,
                          std::string_view dns_name) {
  out += ip_address;
  out += '\t';
  out += mac_address;
  out += '\t';
  out += seen_times;
  out += '\t';
  out += dns_name;
  out += "\r\n";
}

std::string ListedName(const dns::LookupResult& lookup) {
  if (lookup.HasName()) return lookup.text.find("ERROR") == std::string::npos ? lookup.text : "n/a";
  return lookup.Failed() || lookup.Cancelled() ? "Error" : "n/a";
}

ArpExport::ArpExport(const CollectorContext& ctx, dns::ReverseResolver& resolver,
                     const LocalDateTime& service_start_time)
    : ctx_(ctx),
      resolver_(resolver),
      service_start_time_(service_start_time),
      deadline_(ctx.loop, [this] {
        past_deadline_ = true;
        resolver_.CancelAll();
      }) {}

std::string ArpExport::StoredName(const dns::LookupResult& lookup) {
  if (lookup.Failed())
    ctx_.log.LogEvent(kLogSourceCollector, "ReverseDnsLookup", lookup.text, kLevelError);
  return ListedName(lookup);
}

void ArpExport::FinishBy(SteadyTime deadline) {
  finishing_ = true;
  deadline_.StartAt(deadline);
}

bool ArpExport::Run(bool resolve_names) {
  try {
    Database db = Database::Open(ctx_.database_path);
    db.Exec("PRAGMA synchronous = NORMAL");
    RowPacer pacer(ctx_.loop, &finishing_);  // one count over both passes
    if (resolve_names && !names_stored_) {
      StoreNames(db, pacer);
      names_stored_ = true;
    }
    WriteList(db, pacer, resolve_names);
  } catch (const std::exception& e) {
    ++failed_attempts_;
    // A cause that persists is logged once, not at every attempt.
    if (e.what() != last_failure_) {
      last_failure_ = e.what();
      ctx_.log.LogEvent(kLogSourceCollector, "DnsLookupAndExport", e.what(), kLevelError);
    }
    return false;
  }
  names_stored_ = false;  // a later export looks every name up again
  if (failed_attempts_ > 0)
    ctx_.log.LogEvent(
        kLogSourceCollector, "DnsLookupAndExport",
        "ArpList.txt written after " + std::to_string(failed_attempts_) + " failed attempts",
        kLevelInfo);
  failed_attempts_ = 0;
  last_failure_.clear();
  return true;
}

void LookUpInBatches(
    dns::ReverseResolver& resolver, const std::vector<std::string>& addresses, size_t batch_size,
    const std::function<bool()>& look_up,
    const std::function<void(size_t index, const dns::LookupResult& lookup)>& on_result) {
  for (size_t begin = 0; begin < addresses.size(); begin += batch_size) {
    const size_t end = std::min(addresses.size(), begin + batch_size);
    const std::vector<std::string> batch(addresses.begin() + static_cast<ptrdiff_t>(begin),
                                         addresses.begin() + static_cast<ptrdiff_t>(end));
    std::vector<dns::LookupResult> found;
    if (look_up()) found = resolver.LookupAll(batch);
    found.resize(batch.size(),
                 {dns::LookupOutcome::kFailed, "The resolver gave no result for the address"});
    for (size_t i = begin; i < end; ++i) on_result(i, found[i - begin]);
  }
}

void ArpExport::StoreNames(Database& db, RowPacer& pacer) {
  std::vector<int64_t> rowids;
  std::vector<std::string> addresses;
  {
    Statement all = db.Prepare("SELECT rowid, IpAddr FROM ArpTable ORDER BY rowid");
    while (all.Step()) {
      rowids.push_back(all.ColumnInt64(0));
      addresses.push_back(ColumnText(all, 1));
    }
  }
  Statement store = db.Prepare("UPDATE ArpTable SET DnsName = ?1 WHERE rowid = ?2");
  WriteBatch batch_write(db);
  size_t cancelled = 0;
  // Names are stored, logged and paused for in table order, as one lookup
  // after the other would have done. Nothing is left uncommitted while
  // events run.
  LookUpInBatches(
      resolver_, addresses, kLookupBatch, [this] { return !past_deadline_; },
      [&](size_t i, const dns::LookupResult& lookup) {
        std::string name;
        // Past the stop's deadline nothing more is looked up or logged one by one.
        if (lookup.Cancelled() || (past_deadline_ && lookup.Failed())) {
          name = "Error";
          ++cancelled;
        } else {
          if (lookup.Failed()) batch_write.Commit();  // logging waits
          name = StoredName(lookup);
        }
        batch_write.Begin();
        store.Bind(1, name).Bind(2, rowids[i]);
        store.Step();
        store.Reset();
        pacer.CountMayWait([&] { batch_write.Commit(); });
      });
  batch_write.Commit();
  if (cancelled > 0)
    ctx_.log.LogEvent(
        kLogSourceCollector, "DnsLookupAndExport",
        "Service stop: " + std::to_string(cancelled) + " name lookups cancelled, listed as Error",
        kLevelError);
}

void ArpExport::WriteList(Database& db, RowPacer& pacer, bool with_names) {
  ExportFile out(ctx_.Files().export_list);
  out.buffer() = ExportListHead(FormatDateMinute(service_start_time_),
                                FormatDateMinute(ctx_.settings.stop_time));
  Statement list =
      db.Prepare("SELECT IpAddr, MacAddr, SeenTimes, DnsName FROM ArpTable ORDER BY rowid");
  while (list.Step()) {
    AppendExportListLine(out.buffer(), ColumnText(list, 0), ColumnText(list, 1),
                         ColumnText(list, 2), with_names ? ColumnText(list, 3) : std::string());
    pacer.CountMayWait([&] { out.Flush(); });
  }
  out.Close();
}

}  // namespace vexa
