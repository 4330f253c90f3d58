// The poll cycle over all routers and the store of learnt addresses
// (table ArpTable): one record per IP address with the MAC address, type and
// interface of the row that created it and the number of cycles it was seen in.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "collector_context.h"
#include "walk_data.h"

namespace vexa {

// Splits the router list at CR LF pairs into at most 25 entries, each with
// the blanks (spaces, tabs) around it removed; anything else is kept as
// written (a lone CR or LF stays inside). An empty text after the last pair
// is no entry. Empty entries in between are kept; callers skip them.
std::vector<std::string> SplitRouterList(const std::string& text);

class ArpStore {
 public:
  // `get_arp_table` walks the router in walk.CurrentRouter and returns when
  // the walk has ended (or given up waiting for it).
  ArpStore(const CollectorContext& ctx, WalkData& walk, std::function<void()> get_arp_table)
      : ctx_(ctx), walk_(walk), get_arp_table_(std::move(get_arp_table)) {}

  // One poll: walks every router of the list and merges the rows into
  // ArpTable. Failures end the cycle and are logged, never thrown.
  void LogArpEntries();

  // Empties ArpTable. Failures are logged, never thrown.
  void ClearArpTable();

 private:
  void WriteTraceBlock(const std::string& start) const;

  const CollectorContext& ctx_;
  WalkData& walk_;
  std::function<void()> get_arp_table_;
};

}  // namespace vexa
