#include "arp/store.h"

#include <optional>

#include "db/sqlite.h"

namespace vexa {

namespace {

// Opens the database for the collector's writes: WAL is set by the schema;
// NORMAL sync keeps commits cheap and is safe with WAL.
Database OpenStore(const std::string& path) {
  Database db = Database::Open(path);
  db.Exec("PRAGMA synchronous = NORMAL");
  return db;
}

}  // namespace

void ArpStore::Merge(const std::string& router, const WalkResult& walked, MergePass& pass) {
  // Only a walk that ended normally tells the history what its router holds.
  const bool recorded = history_.Enabled() && (walked.outcome == WalkOutcome::kEndOfTable ||
                                               walked.outcome == WalkOutcome::kRowLimit);
  if (recorded) pass.history.routers.insert(router);
  MergeRows(recorded ? &router : nullptr, walked.rows, pass);
}

void ArpStore::MergeRows(const std::string* router, std::span<const ArpRow> rows, MergePass& pass) {
  Database db = OpenStore(ctx_.database_path);
  // An address already stored only gains a sighting, keeping the MAC
  // address, type and interface it has.
  Statement merge = db.Prepare(
      "INSERT INTO ArpTable (IpAddr, MacAddr, Type, IfIndex, SeenTimes) "
      "VALUES (?1, ?2, ?3, ?4, 1) "
      "ON CONFLICT (IpAddr) DO UPDATE SET SeenTimes = SeenTimes + 1");
  // Rows are written in short transactions, committed before every pause, so
  // nothing is pending while other events run and everything written before
  // a failure stays.
  WriteBatch batch(db);
  std::optional<AddressHistory::Writer> history;
  if (router != nullptr) {
    batch.Begin();
    history.emplace(history_, db, pass.history);
  }
  for (const ArpRow& row : rows) {
    if (history) {
      batch.Begin();
      history->Record(*router, row);
    }
    if (pass.handled.insert(row.ip_address).second &&
        (!ctx_.settings.save_only_dynamic || row.type == kArpTypeDynamic)) {
      batch.Begin();
      merge.Bind(1, row.ip_address)
          .Bind(2, row.mac_address)
          .Bind(3, static_cast<int64_t>(row.type))
          .Bind(4, static_cast<int64_t>(row.if_index));
      merge.Step();
      merge.Reset();
    }
    pass.pacer.CountMayWait([&] { batch.Commit(); });
  }
  batch.Commit();
}

void ArpStore::FinishCycle(MergePass& pass) {
  const std::vector<AddressEvent> events = history_.FinishCycle(pass.history);
  if (!events.empty() && on_events_) on_events_(events);
}

void ArpStore::Clear() {
  try {
    Database db = OpenStore(ctx_.database_path);
    db.Exec("DELETE FROM ArpTable");
  } catch (const std::exception& e) {
    ctx_.log.LogEvent(kLogSourceCollector, "ClearArpTable", e.what(), kLevelError);
  }
}

}  // namespace vexa
