#include "arp/poll_cycle.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>

#include "arp/trace_file.h"
#include "platform/local_time.h"
#include "settings/settings_rules.h"

namespace vexa {

namespace {

// "412.3 s"
std::string SecondsText(Millis duration) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(duration.count()) / 1000.0);
  return text;
}

}  // namespace

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
  const SteadyTime started = ctx_.loop.clock().Now();
  figures_ = CycleFigures{};
  try {
    // The trace holds the latest cycle only, whether or not it is written;
    // one that cannot be deleted is reported and the cycle goes on.
    const std::string trace = ctx_.Files().arp_table;
    if (::unlink(trace.c_str()) != 0 && errno != ENOENT && ctx_.trace_failures != nullptr)
      ctx_.trace_failures->Failed("Could not delete " + trace + ": " + std::strerror(errno));

    std::vector<std::string> routers;
    for (const std::string& router : settings::PolledRouters(ctx_.settings.router_list))
      if (!router.empty()) routers.push_back(router);

    std::vector<ArpWalker*> walkers;
    if (ctx_.settings.parallel_walks > 1 && walkers_) walkers = walkers_();
    if (walkers.size() > static_cast<size_t>(ctx_.settings.parallel_walks))
      walkers.resize(static_cast<size_t>(ctx_.settings.parallel_walks));
    std::erase_if(walkers, [](const ArpWalker* walker) { return walker->Busy(); });
    const bool side_by_side = walkers.size() > 1 && routers.size() > 1;
    // Side by side, the merges follow one another while the walks go on: a
    // 50 ms pause per 101 rows would put the whole cycle behind them, and
    // the walks' own events run in the briefer pauses.
    MergePass pass(ctx_.loop, side_by_side);
    if (side_by_side)
      WalkSideBySide(routers, std::move(walkers), pass);
    else
      WalkOneByOne(routers, pass);
    // Closed also after a stop: the changes of the routers merged so far are
    // in the history already and must be told.
    store_.FinishCycle(pass);
  } catch (const std::exception& e) {
    ctx_.log.LogEvent(kLogSourceCollector, "LogArpEntries",
                      "SnmpMess.tmpRow=" + std::to_string(last_walk_rows_) + ", " + e.what(),
                      kLevelError);
  }
  figures_.duration = std::chrono::duration_cast<Millis>(ctx_.loop.clock().Now() - started);
  figures_.end = ctx_.loop.clock().WallNow();
  if (!figures_.stopped) TellOverrun();
}

void PollCycle::WalkOneByOne(const std::vector<std::string>& routers, MergePass& pass) {
  for (const std::string& router : routers) {
    const std::string start = FormatDateTime(ctx_.LocalNow());
    const WalkResult walked = walk_(router);
    last_walk_rows_ = walked.rows.size();
    if (walked.outcome == WalkOutcome::kStopped) {  // the service is stopping
      figures_.stopped = true;
      break;
    }
    NoteWalk(router, walked);
    // The pause between a walk and the use of its rows; late replies are
    // handled, and dropped, in it.
    ctx_.loop.WaitMs(40);
    ctx_.loop.WaitMs(1000);
    UseWalk(router, start, walked, pass);
  }
}

namespace {

// The pause between a walk's end and the use of its rows, as the cycle of
// one walk at a time has it (40 ms, then 1000 ms).
constexpr Millis kPauseBeforeUse{1040};

// The walks of one side-by-side cycle. The walkers' callbacks hold it too,
// so that a callback that comes after the cycle has ended (it failed) finds
// it and changes nothing.
struct SideBySide {
  struct Walk {
    std::string start;         // trace text of the walk's start
    WalkResult result;         // its rows point into `rows`
    std::vector<ArpRow> rows;  // copied: the walker goes on to the next router
    SteadyTime ended{};
    bool started = false;
    bool done = false;
  };
  std::vector<std::string> routers;
  std::vector<Walk> walks;
  std::deque<ArpWalker*> idle;
  size_t next_start = 0;
  bool stopping = false;
  bool over = false;  // the cycle has ended; late callbacks change nothing
};

void StartWalks(const CollectorContext& ctx, const std::shared_ptr<SideBySide>& state) {
  SideBySide& s = *state;
  while (!s.over && !s.stopping && s.next_start < s.routers.size() && !s.idle.empty()) {
    ArpWalker* walker = s.idle.front();
    s.idle.pop_front();
    const size_t i = s.next_start++;
    s.walks[i].start = FormatDateTime(ctx.LocalNow());
    s.walks[i].started = true;
    walker->Start(s.routers[i], [&ctx, state, walker, i] {
      SideBySide& st = *state;
      if (st.over) return;
      SideBySide::Walk& walk = st.walks[i];
      walk.result = walker->LastResult();
      walk.rows.assign(walk.result.rows.begin(), walk.result.rows.end());
      walk.result.rows = walk.rows;
      walk.ended = ctx.loop.clock().Now();
      walk.done = true;
      if (walk.result.outcome == WalkOutcome::kStopped) st.stopping = true;
      st.idle.push_back(walker);
      StartWalks(ctx, state);
    });
  }
}

}  // namespace

void PollCycle::WalkSideBySide(const std::vector<std::string>& routers,
                               std::vector<ArpWalker*> walkers, MergePass& pass) {
  auto state = std::make_shared<SideBySide>();
  state->routers = routers;
  state->walks.resize(routers.size());
  state->idle.assign(walkers.begin(), walkers.end());
  // However the cycle ends, no walk of it goes on into the next one.
  struct EndWalks {
    SideBySide& s;
    std::vector<ArpWalker*>& walkers;
    ~EndWalks() {
      s.over = true;
      for (ArpWalker* walker : walkers) walker->Abandon();
    }
  } end_walks{*state, walkers};

  StartWalks(ctx_, state);
  SideBySide& s = *state;
  for (size_t next = 0; next < routers.size();) {
    // Rows are used in list order, each walk's once its pause is over; the
    // routers after it keep walking meanwhile.
    const SideBySide::Walk& walk = s.walks[next];
    if (!walk.done) {
      if (s.stopping) break;
      if (!walk.started) StartWalks(ctx_, state);
      ctx_.loop.WaitMs(20);
      continue;
    }
    last_walk_rows_ = walk.result.rows.size();
    if (walk.result.outcome == WalkOutcome::kStopped) break;
    const Millis left =
        std::chrono::duration_cast<Millis>(walk.ended + kPauseBeforeUse - ctx_.loop.clock().Now());
    if (left.count() > 0) {
      ctx_.loop.WaitMs(static_cast<int>(std::max<int64_t>(10, (left.count() + 9) / 10 * 10)));
      continue;
    }
    NoteWalk(routers[next], walk.result);
    UseWalk(routers[next], walk.start, walk.result, pass);
    ++next;
  }
  if (s.stopping) figures_.stopped = true;
}

void PollCycle::UseWalk(const std::string& router, const std::string& start,
                        const WalkResult& walked, MergePass& pass) {
  if (ctx_.settings.debug_mode) WriteTraceBlock(router, start, walked);
  store_.Merge(router, walked, pass);
}

void PollCycle::NoteWalk(const std::string& router, const WalkResult& walked) {
  figures_.walks.push_back(
      {router, walked.outcome, walked.rows.size(), walked.resends, walked.duration});
}

void PollCycle::TellOverrun() {
  const int64_t interval = ctx_.settings.check_interval_seconds;
  if (overrun_told_ || interval <= 0 || figures_.duration <= std::chrono::seconds(interval)) return;
  overrun_told_ = true;
  const auto slowest = std::max_element(figures_.walks.begin(), figures_.walks.end(),
                                        [](const RouterWalkFigures& a, const RouterWalkFigures& b) {
                                          return a.duration < b.duration;
                                        });
  std::string text = "The poll cycle took " + SecondsText(figures_.duration) +
                     ", longer than CheckInterval (" + std::to_string(interval) + " s)";
  if (slowest != figures_.walks.end())
    text += "; slowest router " + slowest->router + " (" + SecondsText(slowest->duration) + ")";
  text += "; raise ParallelWalks or set UseBulk";
  ctx_.log.LogEvent(kLogSourceCollector, "PollCycle", text, kLevelWarning);
}

}  // namespace vexa
