#include "arp/address_history.h"

#include <algorithm>

#include "arp/address_query.h"
#include "arp/event_decisions.h"
#include "arp/mac_class.h"

namespace vexa {

namespace {

constexpr int64_t kDaySeconds = 24 * 3600;

int64_t WallSeconds(const CollectorContext& ctx) {
  return std::chrono::duration_cast<std::chrono::seconds>(
             ctx.loop.clock().WallNow().time_since_epoch())
      .count();
}

int64_t SingleInt(Database& db, const char* sql) {
  Statement st = db.Prepare(sql);
  return st.Step() ? st.ColumnInt64(0) : 0;
}

// A MAC address the history keeps: six octets, neither all-zero nor a group
// address (broadcast and multicast).
bool RecordableMac(const std::string& mac) {
  const std::optional<uint64_t> value = MacValue(mac);
  return value && *value != 0 && !IsGroupMac(*value);
}

// The IpKey of an address the history keeps: not 0.0.0.0 nor ::.
std::optional<std::string> RecordableIpKey(const std::string& ip) {
  std::optional<std::string> key = IpKeyOf(ip);
  if (key && std::all_of(key->begin(), key->end(), [](char c) { return c == 0; }))
    return std::nullopt;
  return key;
}

// "?, ?, ..." for `count` parameters from `first`.
std::string Parameters(size_t count, int first) {
  std::string text;
  for (size_t i = 0; i < count; ++i)
    text += (i > 0 ? ", ?" : "?") + std::to_string(first + static_cast<int>(i));
  return text;
}

}  // namespace

void AddressHistory::Start(Database& db, HistoryCycle& cycle) const {
  // Stamps never go back: after a clock step back the cycle keeps to the
  // latest stamp stored, so the order of the history stays as it was.
  const int64_t latest = std::max(SingleInt(db, "SELECT MAX(LastSeen) FROM ArpHistory"),
                                  SingleInt(db, "SELECT MAX(Time) FROM ArpEvent"));
  cycle.time = std::max(WallSeconds(ctx_), latest + 1);
  cycle.baseline = SingleInt(db, "SELECT NOT EXISTS (SELECT 1 FROM ArpHistory)") != 0;
  cycle.last_event = SingleInt(db, "SELECT MAX(ID) FROM ArpEvent");
  cycle.started = true;
}

AddressHistory::Writer::Writer(AddressHistory& history, Database& db, HistoryCycle& cycle)
    : db_(db),
      cycle_(cycle),
      // The usual row: the current pairing where it was last time, not quiet.
      seen_again_(
          db.Prepare("UPDATE ArpHistory SET LastSeen = ?1, Cycles = Cycles + 1, MissedWalks = 0 "
                     "WHERE IpAddr = ?2 AND MacAddr = ?3 AND IsCurrent = 1 AND Router = ?4 "
                     "AND IfIndex = ?5 AND LastSeen >= ?6")),
      pairings_(db.Prepare("SELECT MacAddr, Router, IfIndex, LastSeen, IsCurrent FROM ArpHistory "
                           "WHERE IpAddr = ?1")),
      not_current_(
          db.Prepare("UPDATE ArpHistory SET IsCurrent = 0 WHERE IpAddr = ?1 AND MacAddr <> ?2 "
                     "AND IsCurrent = 1")),
      // ?8: the pairing becomes current; ?9: its router and interface change.
      upsert_(db.Prepare(
          "INSERT INTO ArpHistory (IpAddr, MacAddr, IpKey, Router, IfIndex, FirstSeen, "
          "LastSeen, Cycles, IsCurrent, MissedWalks) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?6, 1, ?7, 0) "
          "ON CONFLICT (IpAddr, MacAddr) DO UPDATE SET LastSeen = ?6, Cycles = Cycles + 1, "
          "MissedWalks = 0, IsCurrent = MAX(IsCurrent, ?7), "
          "Router = CASE WHEN ?8 THEN ?4 ELSE Router END, "
          "IfIndex = CASE WHEN ?8 THEN ?5 ELSE IfIndex END")),
      recent_flip_(db.Prepare(
          "SELECT 1 FROM ArpEvent WHERE IpAddr = ?1 AND Time > ?2 AND Kind = 'flip_flop' "
          "LIMIT 1")),
      insert_event_(db.Prepare(
          "INSERT INTO ArpEvent (Time, Kind, IpAddr, MacAddr, OldMacAddr, Router, IfIndex, "
          "Delivered) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)")) {
  if (!cycle.started) history.Start(db, cycle);
  quiet_cutoff_ = cycle.time - int64_t{history.ctx_.settings.quiet_days} * kDaySeconds;
}

void AddressHistory::Writer::Record(const std::string& router, const ArpRow& row) {
  if (!RecordableMac(row.mac_address)) return;
  const std::optional<std::string> key = RecordableIpKey(row.ip_address);
  if (!key) return;
  // The first MAC address of an IP address in the cycle decides its changes;
  // a second one (another router's stale entry) is only recorded.
  const auto [known, first] = cycle_.first_mac.try_emplace(row.ip_address, row.mac_address);
  if (!first && (known->second == row.mac_address ||
                 !cycle_.other_pairings.insert(row.ip_address + ' ' + row.mac_address).second)) {
    // Seen twice in the cycle: where it was last time, it has not moved.
    const auto move = cycle_.moves.find(row.ip_address);
    if (move != cycle_.moves.end() && move->second.mac == row.mac_address &&
        move->second.old_router == router && move->second.old_if_index == row.if_index)
      cycle_.moves.erase(move);
    return;
  }
  ++cycle_.recorded;
  if (first) {
    seen_again_.Bind(1, cycle_.time)
        .Bind(2, row.ip_address)
        .Bind(3, row.mac_address)
        .Bind(4, router)
        .Bind(5, int64_t{row.if_index})
        .Bind(6, quiet_cutoff_);
    seen_again_.Step();
    seen_again_.Reset();
    if (sqlite3_changes(db_.handle()) == 1) return;
  }

  std::vector<KnownPairing> before;
  pairings_.Bind(1, row.ip_address);
  while (pairings_.Step())
    before.push_back({pairings_.ColumnText(0), pairings_.ColumnText(1),
                      static_cast<int32_t>(pairings_.ColumnInt64(2)), pairings_.ColumnInt64(3),
                      pairings_.ColumnInt64(4) != 0});
  pairings_.Reset();

  const Sighting seen{row.mac_address, router, row.if_index, cycle_.time};
  SightingDecision decision;
  if (first) decision = DecideSighting(before, seen, cycle_.time - quiet_cutoff_);
  if (decision.maybe_moved) {
    for (const KnownPairing& p : before)
      if (p.current)
        cycle_.moves[row.ip_address] = {row.mac_address, router, p.router, row.if_index,
                                        p.if_index};
  }
  if (first) {
    not_current_.Bind(1, row.ip_address).Bind(2, row.mac_address);
    not_current_.Step();
    not_current_.Reset();
  }
  upsert_.Bind(1, row.ip_address)
      .Bind(2, row.mac_address)
      .BindBlob(3, *key)
      .Bind(4, router)
      .Bind(5, int64_t{row.if_index})
      .Bind(6, cycle_.time)
      .Bind(7, int64_t{first})
      .Bind(8, int64_t{!decision.maybe_moved});
  upsert_.Step();
  upsert_.Reset();
  if (cycle_.baseline) return;
  for (const std::string& kind : decision.kinds)
    Raise(kind, row.ip_address, row.mac_address, decision.old_mac, router, row.if_index);
}

void AddressHistory::Writer::Raise(const std::string& kind, const std::string& ip,
                                   const std::string& mac, const std::string& old_mac,
                                   const std::string& router, int32_t if_index) {
  bool deliver = true;
  if (kind == "flip_flop") {
    recent_flip_.Bind(1, ip).Bind(2, cycle_.time - kFlipFlopHoldSeconds);
    deliver = !recent_flip_.Step();
    recent_flip_.Reset();
  }
  insert_event_.Bind(1, cycle_.time)
      .Bind(2, kind)
      .Bind(3, ip)
      .Bind(4, mac)
      .Bind(5, old_mac)
      .Bind(6, router)
      .Bind(7, int64_t{if_index})
      .Bind(8, int64_t{deliver});
  insert_event_.Step();
  insert_event_.Reset();
}

std::vector<AddressEvent> AddressHistory::FinishCycle(HistoryCycle& cycle) {
  std::vector<AddressEvent> events;
  Database db = Database::Open(ctx_.database_path);
  db.Exec("PRAGMA synchronous = NORMAL");
  Transaction transaction(db);
  if (!Enabled()) {
    Prune(db, WallSeconds(ctx_));
    transaction.Commit();
    return events;
  }
  if (!cycle.started) Start(db, cycle);

  // A current pairing seen on another router or interface, and not where it
  // was: moved, once its old router has been heard; while that router is
  // silent the pairing keeps its place.
  Statement move = db.Prepare(
      "UPDATE ArpHistory SET Router = ?3, IfIndex = ?4 WHERE IpAddr = ?1 AND MacAddr = ?2");
  Statement insert_event = db.Prepare(
      "INSERT INTO ArpEvent (Time, Kind, IpAddr, MacAddr, OldMacAddr, Router, IfIndex) "
      "VALUES (?1, ?2, ?3, ?4, '', ?5, ?6)");
  const auto raise = [&](const char* kind, const std::string& ip, const std::string& mac,
                         const std::string& router, int64_t if_index) {
    insert_event.Bind(1, cycle.time)
        .Bind(2, kind)
        .Bind(3, ip)
        .Bind(4, mac)
        .Bind(5, router)
        .Bind(6, if_index);
    insert_event.Step();
    insert_event.Reset();
  };
  for (const auto& [ip, m] : cycle.moves) {
    if (!cycle.routers.contains(m.old_router)) continue;
    move.Bind(1, ip).Bind(2, m.mac).Bind(3, m.router).Bind(4, int64_t{m.if_index});
    move.Step();
    move.Reset();
    raise("moved", ip, m.mac, m.router, m.if_index);
  }

  // Current pairings their router's normal walk did not show.
  if (!cycle.routers.empty()) {
    const std::vector<std::string> routers(cycle.routers.begin(), cycle.routers.end());
    const std::string in = "Router IN (" + Parameters(routers.size(), 2) + ")";
    Statement missed = db.Prepare(
        "UPDATE ArpHistory SET MissedWalks = MissedWalks + 1 WHERE IsCurrent = 1 AND "
        "LastSeen < ?1 AND " +
        in);
    // Closed and told in one statement: the rows it returns are the ones it closed.
    Statement gone =
        db.Prepare("UPDATE ArpHistory SET IsCurrent = 0 WHERE IsCurrent = 1 AND MissedWalks >= " +
                   std::to_string(kMissedWalksForGone) + " AND " + in +
                   " RETURNING IpAddr, MacAddr, Router, IfIndex");
    missed.Bind(1, cycle.time);
    for (size_t i = 0; i < routers.size(); ++i) {
      missed.Bind(static_cast<int>(i) + 2, routers[i]);
      gone.Bind(static_cast<int>(i) + 2, routers[i]);
    }
    missed.Step();
    while (gone.Step())
      raise("gone", gone.ColumnText(0), gone.ColumnText(1), gone.ColumnText(2),
            gone.ColumnInt64(3));
  }

  Prune(db, cycle.time);

  Statement read = db.Prepare(
      "SELECT Time, Kind, IpAddr, MacAddr, OldMacAddr, Router, IfIndex, Delivered FROM ArpEvent "
      "WHERE ID > ?1 ORDER BY ID");
  read.Bind(1, cycle.last_event);
  while (read.Step())
    events.push_back({read.ColumnInt64(0), read.ColumnText(1), read.ColumnText(2),
                      read.ColumnText(3), read.ColumnText(4), read.ColumnText(5),
                      static_cast<int32_t>(read.ColumnInt64(6)), read.ColumnInt64(7) != 0, ""});
  transaction.Commit();

  if (cycle.baseline && cycle.recorded > 0)
    ctx_.log.LogEvent(kLogSourceCollector, "AddressHistory",
                      "Address history started: " + std::to_string(cycle.recorded) +
                          " pairings recorded as the baseline",
                      kLevelInfo);
  return events;
}

// Once a day: pairings last seen, and events raised, more than HistoryDays
// ago go; with HistoryDays 0 everything goes.
void AddressHistory::Prune(Database& db, int64_t now) {
  if (last_prune_ != INT64_MIN && now - last_prune_ < kDaySeconds && now >= last_prune_) return;
  last_prune_ = now;
  const int64_t cutoff =
      Enabled() ? now - int64_t{ctx_.settings.history_days} * kDaySeconds : INT64_MAX;
  Statement pairings = db.Prepare("DELETE FROM ArpHistory WHERE LastSeen < ?1");
  pairings.Bind(1, cutoff).Step();
  Statement events = db.Prepare("DELETE FROM ArpEvent WHERE Time < ?1");
  events.Bind(1, cutoff).Step();
}

}  // namespace vexa
