#include "arp/poll_cycle.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "arp/trace_file.h"
#include "platform/local_time.h"
#include "settings/settings_rules.h"

namespace vexa {

void PollCycle::WriteTraceBlock(const std::string& router, const std::string& start,
                                const WalkResult& walked) const {
  std::string block = "Router:\t" + router + "\r\nStart:\t" + start + "\r\nFinish:\t" +
                      FormatDateTime(ctx_.LocalNow()) + "\r\n";
  // Which tables answered, and what they held that is no address we keep.
  if (ctx_.settings.neighbour_table == kNeighbourTablePhysical) {
    block += std::string("Table:\t") + walked.table->name;
    if (walked.second_table != nullptr) block += std::string(", ") + walked.second_table->name;
    block += "\r\nSkipped:\t" + std::to_string(walked.skipped_other_type) +
             " of other address types, " + std::to_string(walked.skipped_bad_index) +
             " with a bad index";
    if (walked.skipped_no_phys_address > 0)
      block +=
          ", " + std::to_string(walked.skipped_no_phys_address) + " without a physical address";
    block += "\r\n";
  }
  block += "\r\nRow\tIpAddress\tMacAddress\tType\tIfIndex\r\n";
  size_t number = 0;
  for (const ArpRow& row : walked.rows)
    block += std::to_string(++number) + '\t' + row.ip_address + '\t' + row.mac_address + '\t' +
             std::to_string(row.type) + '\t' + std::to_string(row.if_index) + "\r\n";
  block += "\r\n\r\n";
  ctx_.AppendTrace(ctx_.Files().arp_table, block);
}

void PollCycle::Run() {
  try {
    // The trace holds the latest cycle only, whether or not it is written;
    // one that cannot be deleted is reported and the cycle goes on.
    const std::string trace = ctx_.Files().arp_table;
    if (::unlink(trace.c_str()) != 0 && errno != ENOENT && ctx_.trace_failures != nullptr)
      ctx_.trace_failures->Failed("Could not delete " + trace + ": " + std::strerror(errno));

    MergePass pass(ctx_.loop);
    for (const std::string& router : settings::PolledRouters(ctx_.settings.router_list)) {
      if (router.empty()) continue;
      const std::string start = FormatDateTime(ctx_.LocalNow());
      const WalkResult walked = walk_(router);
      last_walk_rows_ = walked.rows.size();
      if (walked.outcome == WalkOutcome::kStopped) break;  // the service is stopping
      // The pause between a walk and the use of its rows; late replies are
      // handled, and dropped, in it.
      ctx_.loop.WaitMs(40);
      ctx_.loop.WaitMs(1000);
      if (ctx_.settings.debug_mode) WriteTraceBlock(router, start, walked);
      store_.Merge(router, walked, pass);
    }
    store_.FinishCycle(pass);
  } catch (const std::exception& e) {
    ctx_.log.LogEvent(kLogSourceCollector, "LogArpEntries",
                      "SnmpMess.tmpRow=" + std::to_string(last_walk_rows_) + ", " + e.what(),
                      kLevelError);
  }
}

}  // namespace vexa
