// The metrics file (MetricsFile): after every poll cycle the collector
// replaces it with the figures of that cycle in the Prometheus text format,
// for a node exporter's textfile collector. Labels name routers and kinds of
// events, never addresses, so the series stay few.
//
//   CycleMetrics metrics(ctx);
//   metrics.SetEventCounts([] { return counts; });  // optional
//   metrics.AfterCycle(poll_cycle.LastFigures());   // writes when MetricsFile is set
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "arp/context.h"
#include "arp/poll_cycle.h"

namespace vexa {

class CycleMetrics {
 public:
  // Counts of the address history's change events by kind, over the job.
  using EventCountsFn = std::function<std::map<std::string, uint64_t>()>;

  explicit CycleMetrics(const CollectorContext& ctx) : ctx_(ctx) {}

  void SetEventCounts(EventCountsFn counts) { event_counts_ = std::move(counts); }
  // A new job: the counters start from zero and a failure is told again.
  void NewJob();

  // Takes the figures of a finished cycle and, with MetricsFile set,
  // replaces the file. A file that cannot be written is logged once per job.
  void AfterCycle(const CycleFigures& figures);

  // The text of the file for the figures taken so far and `table_entries`.
  std::string Text(int64_t table_entries) const;

 private:
  struct RouterState {
    RouterWalkFigures last;
    double last_success = 0;                   // wall seconds; 0: never
    std::map<std::string, uint64_t> failures;  // by outcome, over the job
  };

  int64_t TableEntries() const;

  const CollectorContext& ctx_;
  EventCountsFn event_counts_;
  CycleFigures cycle_;
  bool have_cycle_ = false;
  std::map<std::string, RouterState> routers_;
  bool failure_told_ = false;
};

// The value of a label as the text format writes it: backslash, double quote
// and line feed escaped.
std::string PrometheusLabelValue(const std::string& value);

// The outcome of a failed walk as a label value ("no_answer", ...); empty
// for a walk that reached the end of its table or was stopped.
std::string FailureLabel(WalkOutcome outcome);

}  // namespace vexa
