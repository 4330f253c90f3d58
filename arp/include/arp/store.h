// The store of learnt addresses (table ArpTable): one record per IP address
// with the MAC address, type and interface of the row that created it and
// the number of poll cycles it was seen in.
#pragma once

#include <span>
#include <string>
#include <unordered_set>

#include "arp/context.h"
#include "arp/row.h"
#include "arp/row_pacer.h"

namespace vexa {

// What one poll cycle has merged so far: every address counts at most once
// per cycle, and the pause after every 101 rows runs on over all routers
// (brief: see RowPacer).
struct MergePass {
  explicit MergePass(EventLoop& loop, bool brief_pauses = false)
      : pacer(loop, nullptr, brief_pauses) {}
  std::unordered_set<std::string> handled;
  RowPacer pacer;
};

class ArpStore {
 public:
  explicit ArpStore(const CollectorContext& ctx) : ctx_(ctx) {}

  // Merges the rows of one walk: a new address becomes a record seen once, a
  // known one gains a sighting; with SaveOnlyDynamic only dynamic rows count.
  // Throws on a database failure; what was written before it stays.
  void Merge(std::span<const ArpRow> rows, MergePass& pass);

  // Empties ArpTable. Failures are logged, never thrown.
  void Clear();

 private:
  const CollectorContext& ctx_;
};

}  // namespace vexa
