// The process-wide values that the collector's parts share. They are owned
// by the collector service and live as long as the process; the parts get
// them through this one bundle of references.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "arp/event_log.h"
#include "arp/program_files.h"
#include "arp/trace_file.h"
#include "platform/event_loop.h"
#include "settings/collector_settings.h"

namespace vexa {

struct CollectorContext {
  EventLoop& loop;
  EventLog& log;
  const std::string& program_folder;
  const std::string& database_path;  // empty until the first service start
  const CollectorSettings& settings;
  // Where a trace that cannot be written is reported; none: dropped.
  TraceReporter* trace_failures = nullptr;

  // The paths, made once per program folder rather than at every trace line.
  const ProgramFiles& Files() const {
    if (!files_ || files_->folder != program_folder) files_.emplace(program_folder);
    return *files_;
  }
  LocalDateTime LocalNow() const { return ToLocal(loop.clock().WallNow()); }
  // Whole seconds of the steady clock: deadlines are compared at one-second
  // resolution, and a deadline equal to now has not passed yet.
  int64_t NowSeconds() const {
    return std::chrono::duration_cast<std::chrono::seconds>(loop.clock().Now().time_since_epoch())
        .count();
  }

  // Appends to a trace file of the Debug folder, best effort: a failure is
  // reported, never thrown, and never waits.
  void AppendTrace(const std::string& path, std::string_view text) const {
    vexa::AppendTrace(path, text, trace_failures);
  }

  mutable std::optional<ProgramFiles> files_ = std::nullopt;
};

}  // namespace vexa
