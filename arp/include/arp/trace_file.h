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

// The reporter of trace failures of a collector's job: one line on standard
// error and one event-log line for the first failure of each job. The parts
// reach it through their context (CollectorContext::AppendTrace); parts run
// alone, in tests and tools, have none and only drop what fails.
class TraceReporter {
 public:
  TraceReporter(EventLoop& loop, EventLog& log) : loop_(loop), log_(log) {}
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

 private:
  EventLoop& loop_;
  EventLog& log_;
  bool reported_ = false;
};

// Appends `text` to the trace file at `path`, created readable by its owner
// only (the request traces carry the community). A failure goes to
// `reporter` when there is one; it never waits.
inline void AppendTrace(const std::string& path, std::string_view text, TraceReporter* reporter) {
  if (const int err = AppendToFile(path, text, 0600); err != 0 && reporter != nullptr)
    reporter->Failed("Could not write " + path + ": " + std::strerror(err));
}

}  // namespace vexa
