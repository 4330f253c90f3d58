#include "arp/cycle_metrics.h"

#include <cstdio>
#include <cstring>

#include "db/sqlite.h"
#include "platform/files.h"

namespace vexa {

namespace {

// World-readable: the exporter reading the file runs as a user of its own.
constexpr mode_t kMetricsMode = 0644;

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

double Seconds(Millis duration) {
  return static_cast<double>(duration.count()) / 1000.0;
}

double EpochSeconds(WallTime when) {
  return Seconds(std::chrono::duration_cast<Millis>(when.time_since_epoch()));
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
  out += std::string("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

std::string RouterLabel(const std::string& router) {
  return "{router=\"" + PrometheusLabelValue(router) + "\"}";
}

}  // namespace

std::string PrometheusLabelValue(const std::string& value) {
  std::string out;
  for (const char c : value) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '"')
      out += "\\\"";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::string FailureLabel(WalkOutcome outcome) {
  switch (outcome) {
    case WalkOutcome::kEndOfTable:
    case WalkOutcome::kStopped:
      return "";
    case WalkOutcome::kNoAnswer:
      return "no_answer";
    case WalkOutcome::kTimeLimit:
      return "time_limit";
    case WalkOutcome::kErrorStatus:
      return "error_status";
    case WalkOutcome::kNotIncreasing:
      return "not_increasing";
    case WalkOutcome::kNoValue:
      return "no_value";
    case WalkOutcome::kRowLimit:
      return "row_limit";
    case WalkOutcome::kBadResponse:
      return "bad_response";
    case WalkOutcome::kRefused:
      return "refused";
  }
  return "other";
}

void CycleMetrics::NewJob() {
  routers_.clear();
  have_cycle_ = false;
  failure_told_ = false;
}

void CycleMetrics::AfterCycle(const CycleFigures& figures) {
  if (figures.stopped) return;
  cycle_ = figures;
  have_cycle_ = true;
  for (const RouterWalkFigures& walk : figures.walks) {
    RouterState& state = routers_[walk.router];
    state.last = walk;
    const std::string failure = FailureLabel(walk.outcome);
    if (failure.empty())
      state.last_success = EpochSeconds(figures.end);
    else
      ++state.failures[failure];
  }
  const std::string& path = ctx_.settings.metrics_file;
  if (path.empty()) return;
  FileReplacement file(path, kMetricsMode);
  int err = file.error();
  if (err == 0) err = file.Write(Text(TableEntries()));
  if (err == 0) err = file.SetMode(kMetricsMode);
  if (err == 0) err = file.Commit();
  if (err != 0 && !failure_told_) {
    failure_told_ = true;
    ctx_.log.LogEvent(kLogSourceCollector, "WriteMetrics",
                      "Could not write " + path + ": " + std::strerror(err), kLevelError);
  }
}

int64_t CycleMetrics::TableEntries() const {
  try {
    Database db = Database::Open(ctx_.database_path);
    Statement count = db.Prepare("SELECT COUNT(*) FROM ArpTable");
    return count.Step() ? count.ColumnInt64(0) : 0;
  } catch (const std::exception&) {
    return -1;  // left out of the file
  }
}

std::string CycleMetrics::Text(int64_t table_entries) const {
  std::string out;
  if (have_cycle_) {
    Family(out, "vexa_arp_cycle_duration_seconds", "gauge",
           "Time the last poll cycle took, from its start to the merge of its last router.");
    out += "vexa_arp_cycle_duration_seconds " + Number(Seconds(cycle_.duration)) + '\n';
    Family(out, "vexa_arp_cycle_end_timestamp_seconds", "gauge",
           "When the last poll cycle ended, in seconds since the epoch.");
    out += "vexa_arp_cycle_end_timestamp_seconds " + Number(EpochSeconds(cycle_.end)) + '\n';
  }
  if (table_entries >= 0) {
    Family(out, "vexa_arp_table_entries", "gauge", "Records in ArpTable after the last cycle.");
    out += "vexa_arp_table_entries " + std::to_string(table_entries) + '\n';
  }
  if (!routers_.empty()) {
    Family(out, "vexa_arp_walk_rows", "gauge", "Rows the router's last walk returned.");
    for (const auto& [router, state] : routers_)
      out +=
          "vexa_arp_walk_rows" + RouterLabel(router) + ' ' + std::to_string(state.last.rows) + '\n';
    Family(out, "vexa_arp_walk_duration_seconds", "gauge", "Time the router's last walk took.");
    for (const auto& [router, state] : routers_)
      out += "vexa_arp_walk_duration_seconds" + RouterLabel(router) + ' ' +
             Number(Seconds(state.last.duration)) + '\n';
    Family(out, "vexa_arp_walk_resends", "gauge",
           "Requests the router's last walk sent again after an overdue reply.");
    for (const auto& [router, state] : routers_)
      out += "vexa_arp_walk_resends" + RouterLabel(router) + ' ' +
             std::to_string(state.last.resends) + '\n';
    Family(out, "vexa_arp_walk_last_success_timestamp_seconds", "gauge",
           "When a walk of the router last reached the end of its table (0: not in this job).");
    for (const auto& [router, state] : routers_)
      out += "vexa_arp_walk_last_success_timestamp_seconds" + RouterLabel(router) + ' ' +
             Number(state.last_success) + '\n';
    Family(out, "vexa_arp_walk_failures_total", "counter",
           "Walks of the router that ended before the end of its table, by outcome, since the "
           "service started.");
    for (const auto& [router, state] : routers_)
      for (const auto& [outcome, count] : state.failures)
        out += "vexa_arp_walk_failures_total{router=\"" + PrometheusLabelValue(router) +
               "\",outcome=\"" + PrometheusLabelValue(outcome) + "\"} " + std::to_string(count) +
               '\n';
  }
  if (event_counts_) {
    const std::map<std::string, uint64_t> counts = event_counts_();
    Family(out, "vexa_arp_events_total", "counter",
           "Change events of the address history, by kind, since the service started.");
    for (const auto& [kind, count] : counts)
      out += "vexa_arp_events_total{kind=\"" + PrometheusLabelValue(kind) + "\"} " +
             std::to_string(count) + '\n';
  }
  return out;
}

}  // namespace vexa
