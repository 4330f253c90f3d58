#include "collector_service.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <system_error>

#include "arp/program_files.h"
#include "arp/snmp_security_settings.h"
#include "platform/files.h"
#include "settings/database_file_mode.h"

namespace vexa {

namespace {

enum ExitStatus { kExitOk = 0, kExitFailed = 1, kExitInvalidOption = 2 };

// The failure of a service operation; `detail` (from the service layer) says
// more than the error code where it has more to say.
class ServiceFailure : public std::runtime_error {
 public:
  ServiceFailure(const char* what, int err, const std::string& detail)
      : std::runtime_error(std::string("Could not ") + what + " the service \"" + kServiceName +
                           "\": " + (detail.empty() ? ServiceErrorText(err) : detail)),
        detail_(detail) {}
  const std::string& detail() const { return detail_; }

 private:
  std::string detail_;
};

}  // namespace

std::string CommandLineText(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  return text;
}

CollectorService::CollectorService(Platform platform)
    : platform_(std::move(platform)),
      log_(platform_.loop, program_folder_),
      trace_reporter_(platform_.loop, log_),
      ctx_{platform_.loop, log_, program_folder_, database_path_, settings_, &trace_reporter_},
      snmp_manager_(platform_.loop),
      walker_(ctx_, snmp_manager_),
      walkers_(ctx_, walker_),
      store_(ctx_),
      delivery_(ctx_, platform_.journal),
      poll_cycle_(ctx_, store_, [this](const std::string& router) { return walker_.Walk(router); }),
      metrics_(ctx_),
      export_(ctx_, platform_.resolver, service_start_time_),
      poll_timer_(ctx_, {[this] { log_.ClearSnmpTraces(); },
                         [this] {
                           poll_cycle_.Run();
                           metrics_.AfterCycle(poll_cycle_.LastFigures());
                         },
                         [this] { return RunExport(); }}),
      host_(platform_.loop) {
  walker_.SetEnabled(false);  // walks run from the start sequence on
  poll_cycle_.WalkSideBySideWith([this] { return walkers_.Walkers(); });
  store_.OnEvents([this](const std::vector<AddressEvent>& events) {
    for (const AddressEvent& event : events) ++event_counts_[event.kind];
    delivery_.Deliver(events);
  });
  metrics_.SetEventCounts([this] { return event_counts_; });
  host_.OnState = [this] { OnServiceState(); };
}

void CollectorService::SetProgramFolder() {
  program_folder_ = FolderOf(platform_.executable_path());
}

bool CollectorService::StartUp(const std::string& command_line) {
  std::string pending;  // the operation under way, for the error box
  try {
    if (!instance_lock_.Acquire(platform_.executable_path())) {
      platform_.message_box("The Vexa ARP Service is already running", BoxIcon::kNone);
      exit_status_ = kExitFailed;
      return false;
    }
    if (command_line.compare(0, 8, "-install") == 0) {
      SetProgramFolder();
      if (::chdir(program_folder_.c_str()) != 0)
        throw std::system_error(errno, std::generic_category(),
                                "Could not change to the folder " + program_folder_);
      pending = "install";
      if (const int err = platform_.services.Install(platform_.executable_path(), program_folder_))
        throw ServiceFailure("install", err, platform_.services.ErrorDetail());
      log_.LogEvent(kLogSourceService, "Form_Load", "Service Installed", kLevelInfo);
      if (command_line != "-install_noMsg")
        platform_.message_box("Vexa ARP Service Installed Successfully", BoxIcon::kInformation);
      exit_status_ = kExitOk;
      return false;
    }
    if (command_line == "-uninstall") {
      SetProgramFolder();
      pending = "uninstall";
      if (const int err = platform_.services.Uninstall())
        throw ServiceFailure("uninstall", err, platform_.services.ErrorDetail());
      log_.LogEvent(kLogSourceService, "Form_Load", "Service Uninstalled", kLevelInfo);
      platform_.message_box("Vexa ARP Service Uninstalled Successfully", BoxIcon::kInformation);
      exit_status_ = kExitOk;
      return false;
    }
    if (!command_line.empty()) {
      platform_.message_box("Invalid command option", BoxIcon::kInformation);
      exit_status_ = kExitInvalidOption;
      return false;
    }
    SetProgramFolder();
    host_.RunAsService();
    return true;
  } catch (const std::exception& e) {
    log_.LogEvent(kLogSourceService, "Form_Load", e.what(), kLevelError);
    std::string text = pending == "install"     ? "Vexa ARP Service Failed To Install"
                       : pending == "uninstall" ? "Vexa ARP Service Failed To Uninstall"
                                                : "Error";
    // A cause the operator must act on (a folder systemd cannot name) goes
    // on a second line of the box.
    if (const auto* failure = dynamic_cast<const ServiceFailure*>(&e);
        failure != nullptr && !failure->detail().empty())
      text += "\n" + failure->detail();
    platform_.message_box(text, BoxIcon::kCritical);
    exit_status_ = kExitFailed;
    return false;
  }
}

void CollectorService::OnServiceState() {
  try {
    switch (host_.State()) {
      case ServiceHost::kStop:
        StopSequence();
        break;
      case ServiceHost::kPause:
        log_.LogEvent(kLogSourceService, "dartSvc_State", "Pause Not Implemented", kLevelInfo);
        break;
      case ServiceHost::kStart:
        if (database_path_.empty()) StartSequence();
        break;
      case ServiceHost::kResume:
        log_.LogEvent(kLogSourceService, "dartSvc_State", "Resume Not Implemented", kLevelInfo);
        break;
      default:
        break;
    }
  } catch (const std::exception& e) {
    log_.LogEvent(kLogSourceService, "dartSvc_State", e.what(), kLevelError);
  }
}

void CollectorService::StartSequence() {
  log_.NewJob();
  trace_reporter_.NewJob();
  const ProgramFiles files(program_folder_);
  database_path_ = files.database;
  LoadCollectorSettings(database_path_, settings_);
  // An SNMPv3 user that cannot be used fails the start like any bad setting;
  // its keys are derived once, here, rather than at the first poll.
  SnmpSecurity security = SnmpSecurityOf(settings_);
  settings_.WipePasswords();  // the user holds them until its keys are made
  if (!security.problem.empty()) throw SettingsError(security.problem);
  if (security.version == snmp::Version::kV3) snmp_manager_.SetUsmUser(security.user);
  // The walkers beside the first one, on endpoints of their own.
  const bool v3 = security.version == snmp::Version::kV3;
  walkers_.Resize(settings_.parallel_walks, v3 ? &security.user : nullptr);
  security.user.WipePasswords();

  std::string failed;
  if (const int err = DeleteMatchingFiles(files.debug_folder, "*.txt", failed))
    throw std::system_error(err, std::generic_category(), "Could not delete " + failed);
  if (FileExists(files.export_list) && ::unlink(files.export_list.c_str()) != 0)
    throw std::system_error(errno, std::generic_category(),
                            "Could not delete " + files.export_list);
  WarnOfExposedDatabase();
  store_.Clear();
  walker_.OpenEndpoint("snmpManager");
  LocalDateTime start = ctx_.LocalNow();
  start.second = 0;
  service_start_time_ = start;
  poll_timer_.Arm();  // notes the hour and waits for the next one
  poll_cycle_.NewJob();
  metrics_.NewJob();
  // Every kind is counted from 0, so that each series exists from the job's start.
  event_counts_.clear();
  for (const std::string_view kind : kEventKinds) event_counts_[std::string(kind)] = 0;
  walkers_.SetEnabled(true);
  log_.LogEvent(kLogSourceService, "dartSvc_State", "Service Started.", kLevelInfo);
}

// The service reads the database and leaves its mode to the operator: one
// that holds a secret and that others can open is told about, on stderr for
// the journal and in the log of this start.
void CollectorService::WarnOfExposedDatabase() {
  if (!settings::HoldsSecret(settings_.community, settings_.v3_auth_password,
                             settings_.v3_priv_password))
    return;
  const std::string exposure = settings::DatabaseExposure(database_path_);
  if (exposure.empty()) return;
  WriteFully(2, "VexaArpSrv: warning: " + exposure + "\n");
  log_.LogEvent(kLogSourceService, "dartSvc_State", exposure, kLevelError);
}

bool CollectorService::RunExport() {
  exporting_ = true;
  const bool written = export_.Run(settings_.resolve_names);
  exporting_ = false;
  if (exit_after_export_) platform_.terminate(kExitOk);
  return written;
}

void CollectorService::StopSequence() {
  // An export under way finishes the list first, within its grace; the
  // process ends when it returns. Anything else (a walk) is not waited for.
  if (exporting_ && !exit_after_export_) {
    exit_after_export_ = true;
    export_.FinishBy(platform_.loop.clock().Now() + kExportGraceAfterStop);
  }
  walkers_.SetEnabled(false);
  poll_timer_.Disarm();
  log_.LogEvent(kLogSourceService, "dartSvc_State", "Service Stopped", kLevelInfo);
  platform_.loop.WaitMs(1000);
  if (!exit_after_export_) platform_.terminate(kExitOk);
}

}  // namespace vexa
