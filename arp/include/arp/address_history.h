// The address history (table ArpHistory): one record per pairing of an IP
// and a MAC address ever seen, kept across jobs, with the router and
// interface of its latest sighting, first and last seen, the poll cycles it
// was seen in and whether it is the address's current one; and the changes
// found (table ArpEvent). The store hands it the rows of every walk that
// ended normally, in the transaction of their merge into ArpTable, then
// closes the cycle:
//
//   HistoryCycle cycle;
//   history.Record(db, cycle, router, rows);  // per walk, inside the batch
//   history.FinishCycle(cycle);               // -> the cycle's events
//
// A failed walk is never handed in: a router that goes silent closes nothing.
// The first cycle on an empty history records a baseline and raises no
// change. HistoryDays 0 keeps nothing.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "arp/address_event.h"
#include "arp/context.h"
#include "arp/row.h"
#include "db/sqlite.h"

namespace vexa {

// What one poll cycle has handed to the history so far.
struct HistoryCycle {
  bool started = false;
  bool baseline = false;   // the history was empty at the cycle's start
  int64_t time = 0;        // UTC seconds stamped on everything of the cycle
  int64_t last_event = 0;  // the highest ArpEvent.ID before the cycle
  // By IP address, the MAC address of its first row in the cycle.
  std::unordered_map<std::string, std::string> first_mac;
  std::unordered_set<std::string> other_pairings;  // "ip mac" of its other rows
  struct Move {
    std::string mac, router, old_router;
    int32_t if_index = 0, old_if_index = 0;
  };
  std::map<std::string, Move> moves;  // by IP: current pairings seen elsewhere
  std::set<std::string> routers;      // routers whose walk ended normally
  size_t recorded = 0;                // pairings written
};

class AddressHistory {
 public:
  static constexpr int kMissedWalksForGone = 3;
  static constexpr int64_t kFlipFlopHoldSeconds = 24 * 3600;

  explicit AddressHistory(const CollectorContext& ctx) : ctx_(ctx) {}

  bool Enabled() const { return ctx_.settings.history_days > 0; }

  // Records the rows of one walk of `router` that ended normally, with the
  // changes they make, on `db` inside the caller's open transaction. Rows
  // without a usable address (all-zero, broadcast or group MAC, 0.0.0.0,
  // ::, text that is no address) are left out.
  class Writer;

  // Closes the cycle in one transaction: moves, gone pairings, the daily
  // pruning; returns the events raised in the cycle, oldest first. Logs the
  // baseline. Throws on a database failure.
  std::vector<AddressEvent> FinishCycle(HistoryCycle& cycle);

 private:
  friend class Writer;
  void Start(Database& db, HistoryCycle& cycle) const;
  void Prune(Database& db, int64_t now);

  const CollectorContext& ctx_;
  int64_t last_prune_ = INT64_MIN;  // cycle time of the last pruning
};

class AddressHistory::Writer {
 public:
  Writer(AddressHistory& history, Database& db, HistoryCycle& cycle);
  // One row of a normally ended walk of `router`.
  void Record(const std::string& router, const ArpRow& row);

 private:
  void Raise(const std::string& kind, const std::string& ip, const std::string& mac,
             const std::string& old_mac, const std::string& router, int32_t if_index);

  Database& db_;
  HistoryCycle& cycle_;
  int64_t quiet_cutoff_ = 0;
  Statement seen_again_, pairings_, not_current_, upsert_, recent_flip_, insert_event_;
};

}  // namespace vexa
