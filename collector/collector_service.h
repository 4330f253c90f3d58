// The collector process: start-up and command line, and the reaction to the
// service's state notifications. It owns the values that live as long as the
// process (program folder, database path, settings) and the parts of the
// job: the SNMP walker, the poll cycle and its timer, the store, the export.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

#include "arp/context.h"
#include "arp/cycle_metrics.h"
#include "arp/event_delivery.h"
#include "arp/event_log.h"
#include "arp/export.h"
#include "arp/poll_cycle.h"
#include "arp/store.h"
#include "arp/trace_file.h"
#include "arp/walk.h"
#include "arp/walker_pool.h"
#include "message_box.h"
#include "platform/event_loop.h"
#include "platform/program_folder.h"
#include "poll_timer.h"
#include "service/service_host.h"
#include "service/service_manager.h"
#include "settings/collector_settings.h"
#include "snmp/manager.h"

namespace vexa {

// How long an export that is running when the service is told to stop may
// go on writing ArpList.txt; name lookups still undecided then are
// cancelled. With the stop's own wait it fits well inside the service
// manager's stop timeout (kServiceStopTimeoutSeconds).
inline constexpr std::chrono::seconds kExportGraceAfterStop{20};

class CollectorService {
 public:
  struct Platform {
    EventLoop& loop;
    ServiceManager& services;
    dns::ReverseResolver& resolver;  // names for the export
    MessageBoxFn message_box = PrintMessageBox;
    std::function<std::string()> executable_path = ExecutablePath;
    // Where the changes of the address history go, one entry each (the
    // program passes SystemJournal()); none: the changes are only stored.
    JournalWriter journal = {};
    // Ends the process at once with the given status.
    std::function<void(int status)> terminate;
  };

  explicit CollectorService(Platform platform);

  // Start-up with the command line. Returns true when the program goes on as
  // the service (the event loop must then run); otherwise the process ends
  // with ExitStatus().
  bool StartUp(const std::string& command_line);
  int ExitStatus() const { return exit_status_; }

  // For tests: what the start sequence set up.
  const std::string& DatabasePath() const { return database_path_; }
  const LocalDateTime& ServiceStartTime() const { return service_start_time_; }
  snmp::Manager& SnmpManager() { return snmp_manager_; }
  PollTimer& Polling() { return poll_timer_; }
  ArpWalker& Walker() { return walker_; }
  CycleMetrics& Metrics() { return metrics_; }
  ServiceHost& Host() { return host_; }

 private:
  // The handler of the service's state notifications.
  void OnServiceState();
  void StartSequence();
  void WarnOfExposedDatabase();
  void StopSequence();
  bool RunExport();
  void SetProgramFolder();

  Platform platform_;
  std::string program_folder_;
  std::string database_path_;  // empty until the first service start
  CollectorSettings settings_;
  LocalDateTime service_start_time_;
  EventLog log_;
  TraceReporter trace_reporter_;
  CollectorContext ctx_;
  snmp::Manager snmp_manager_;
  ArpWalker walker_;
  WalkerPool walkers_;
  ArpStore store_;
  EventDelivery delivery_;
  PollCycle poll_cycle_;
  CycleMetrics metrics_;
  // The history's changes of this job by kind, for the metrics file.
  std::map<std::string, uint64_t> event_counts_;
  ArpExport export_;
  PollTimer poll_timer_;
  ServiceHost host_;
  InstanceLock instance_lock_;
  int exit_status_ = 0;
  bool exporting_ = false;
  bool exit_after_export_ = false;  // a stop came while the export ran
};

// The arguments as the one command-line text the collector compares: joined
// by single blanks, without the program's own path.
std::string CommandLineText(int argc, char** argv);

}  // namespace vexa
