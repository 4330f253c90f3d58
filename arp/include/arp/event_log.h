// The event log Debug/AppEvent.txt and the daily clean-up of the SNMP traces.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/event_loop.h"

namespace vexa {

inline constexpr int16_t kLevelError = 1;
inline constexpr int16_t kLevelWarning = 2;
inline constexpr int16_t kLevelInfo = 3;

// The sources that event-log lines name before the procedure, spelled as
// operators and their scripts know them from the log: the service's start,
// stop and timers, and the collection (walks, store, export).
inline constexpr const char* kLogSourceService = "frmVexaArpSrv";
inline constexpr const char* kLogSourceCollector = "modSnmpComm";

class EventLog {
 public:
  // `program_folder` is read at every call, so the log follows the folder
  // once start-up has set it.
  EventLog(EventLoop& loop, const std::string& program_folder)
      : loop_(loop), program_folder_(program_folder) {}

  // Appends "date time<TAB>level<TAB>module_procedure<TAB>text<CR><LF>" and
  // then waits 500 ms, letting pending events run. Never fails to its caller:
  // when the line cannot be written (no Debug folder, a link in the log's
  // place) the wait is skipped, and the first such line of a job goes to
  // standard error with the cause, the only place left to tell it.
  void LogEvent(std::string_view module, std::string_view procedure, std::string_view text,
                int16_t level);

  // Sends every line to `sink` (source "module_procedure", text, level)
  // instead of the file, without the wait: for a program that runs parts of
  // the collector outside the service and must leave the Debug folder alone.
  using Sink = std::function<void(std::string_view source, std::string_view text, int16_t level)>;
  void RedirectTo(Sink sink) { sink_ = std::move(sink); }

  // A new job: the first line that cannot be written is told again.
  void NewJob() { failure_told_ = false; }

  // Deletes the SNMP traces, Debug/s*.txt (any case). A file that cannot be
  // deleted is logged; the ones deleted before it stay deleted.
  void ClearSnmpTraces();

 private:
  EventLoop& loop_;
  const std::string& program_folder_;
  Sink sink_;
  bool failure_told_ = false;
};

// Deletes the files of `folder` matching `pattern` (case ignored). Returns 0,
// or the errno of the first file that could not be deleted, naming it in
// `failed`. Files deleted before the failure stay deleted.
int DeleteMatchingFiles(const std::string& folder, const std::string& pattern, std::string& failed);

}  // namespace vexa
