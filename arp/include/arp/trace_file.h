// Appending to one of the trace files of the Debug folder. Traces are best
// effort: a write that fails is dropped and its caller goes on (a request is
// still sent, a cycle still merged, the list still exported). The first
// failure of each job is reported where an operator looks: one line on
// standard error (the journal, under systemd) and one event-log line.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "arp/event_log.h"
#include "platform/event_loop.h"
#include "platform/files.h"

namespace vexa {

// The collector's reporter of trace failures. While one lives, AppendTrace
// and ReportTraceFailure report through it; without one (parts run alone in
// tests and tools) a failure is only dropped.
class TraceReporter {
 public:
  TraceReporter(EventLoop& loop, EventLog& log) : loop_(loop), log_(log), outer_(active_) {
    active_ = this;
  }
  ~TraceReporter() {
    if (active_ == this) active_ = outer_;
  }
  TraceReporter(const TraceReporter&) = delete;
  TraceReporter& operator=(const TraceReporter&) = delete;

  // A new job: its first failure is reported again.
  void NewJob() { reported_ = false; }

  // `description` names the file and the cause.
  void Failed(const std::string& description) {
    if (reported_) return;
    reported_ = true;
    const std::string text =
        description + "; the job goes on, and further trace failures of this job are not reported";
    WriteFully(2, "VexaArpSrv: " + text + "\n");
    // The log line waits and lets events run: not inside the trace's caller,
    // which may be about to send a request, but once it has returned.
    loop_.Post(
        [this, text] { log_.LogEvent(kLogSourceCollector, "WriteTrace", text, kLevelError); });
  }

  static TraceReporter* Active() { return active_; }

 private:
  EventLoop& loop_;
  EventLog& log_;
  TraceReporter* outer_;
  bool reported_ = false;
  static inline TraceReporter* active_ = nullptr;
};

inline void ReportTraceFailure(const std::string& description) {
  if (TraceReporter* reporter = TraceReporter::Active()) reporter->Failed(description);
}

// Trace files are created readable by their owner only: the request traces
// carry the community.
inline void AppendTrace(const std::string& path, std::string_view text) {
  if (const int err = AppendToFile(path, text, 0600))
    ReportTraceFailure("Could not write " + path + ": " + std::strerror(err));
}

}  // namespace vexa
