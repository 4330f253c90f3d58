// The store of learnt addresses (table ArpTable): one record per IP address
// with the MAC address, type and interface of the row that created it and
// the number of poll cycles it was seen in; beside it the address history
// (arp/address_history.h), written in the same transactions.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "arp/address_history.h"
#include "arp/context.h"
#include "arp/row.h"
#include "arp/row_pacer.h"
#include "arp/walk.h"

namespace vexa {

// What one poll cycle has merged so far: every address counts at most once
// per cycle, and the pause after every 101 rows runs on over all routers
// (brief: see RowPacer).
struct MergePass {
  explicit MergePass(EventLoop& loop, bool brief_pauses = false)
      : pacer(loop, nullptr, brief_pauses) {}
  std::unordered_set<std::string> handled;
  RowPacer pacer;
  HistoryCycle history;
};

class ArpStore {
 public:
  // Takes the changes of a cycle that raised any, for delivery.
  using EventSink = std::function<void(const std::vector<AddressEvent>& events)>;

  explicit ArpStore(const CollectorContext& ctx) : ctx_(ctx), history_(ctx) {}

  void OnEvents(EventSink sink) { on_events_ = std::move(sink); }

  // Merges the rows of one walk of `router`: a new address becomes a record
  // seen once, a known one gains a sighting; with SaveOnlyDynamic only
  // dynamic rows count. The rows of a walk that ended normally (end of table
  // or row limit) also go into the history. Throws on a database failure;
  // what was written before it stays.
  void Merge(const std::string& router, const WalkResult& walked, MergePass& pass);

  // Closes the cycle's history and hands its changes to the sink. Throws on
  // a database failure.
  void FinishCycle(MergePass& pass);

  // Empties ArpTable. Failures are logged, never thrown.
  void Clear();

 private:
  void MergeRows(const std::string* router, std::span<const ArpRow> rows, MergePass& pass);

  const CollectorContext& ctx_;
  AddressHistory history_;
  EventSink on_events_;
};

}  // namespace vexa
