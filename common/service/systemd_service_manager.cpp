// systemd backend: the service is the unit vexa-arp.service; installing writes
// the unit and reloads systemd, everything else is systemctl's.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/files.h"
#include "platform/process.h"
#include "service/service_manager.h"
#include "service/systemd_unit.h"
#include "settings/collector_settings.h"

namespace vexa {

namespace {

struct SystemctlResult {
  int error = 0;       // 0 or the operation's error code
  std::string output;  // stdout, line ends removed
};

// What systemctl printed, as an error code: a caller the service manager
// turns away (no privilege, polkit says no) is "permission denied"; any
// other failure is the manager's.
int SystemctlError(const CommandResult& r) {
  if (r.spawn_error != 0) return r.spawn_error;
  if (r.exit_status == 0) return 0;
  for (std::string_view denied :
       {"Access denied", "Interactive authentication required", "Permission denied"})
    if (r.errors.find(denied) != std::string::npos) return kServicePermissionDenied;
  return kServiceControlFailed;
}

SystemctlResult Systemctl(std::vector<std::string> args) {
  // Never wait for a password prompt: a caller without the right is told so.
  args.insert(args.begin(), {"systemctl", "--no-ask-password"});
  const CommandResult r = RunCommand(args);
  SystemctlResult result{SystemctlError(r), r.output};
  while (!result.output.empty() && (result.output.back() == '\n' || result.output.back() == '\r'))
    result.output.pop_back();
  return result;
}

// The MetricsFile setting of the folder's database, as the unit is written:
// empty where there is none or it cannot be read.
std::string MetricsFile(const std::string& folder) {
  try {
    CollectorSettings settings;
    LoadCollectorSettings(folder + "/VexaArp.mdb", settings);
    return settings.metrics_file;
  } catch (const std::exception&) {
    return {};
  }
}

class SystemdServiceManager final : public ServiceManager {
 public:
  explicit SystemdServiceManager(std::string unit_dir)
      : unit_path_(std::move(unit_dir) + "/" + kSystemdUnitName) {}

  int Install(const std::string& program, const std::string& working_dir) override {
    detail_ = SystemdUnitPathProblem(program, working_dir);
    if (!detail_.empty()) return EINVAL;
    if (FileExists(unit_path_))
      return Fail(kServiceAlreadyInstalled, "The unit file \"" + unit_path_ + "\" exists already");
    if (::access(program.c_str(), X_OK) != 0) {
      const int err = errno;
      return Fail(err, "The program \"" + program + "\" cannot be run");
    }
    struct stat folder {};
    if (::stat(working_dir.c_str(), &folder) != 0) {
      const int err = errno;
      return Fail(err, "The program folder \"" + working_dir + "\" cannot be read");
    }
    if (!S_ISDIR(folder.st_mode))
      return Fail(ENOTDIR, "The program folder \"" + working_dir + "\" is no folder");
    detail_ = InstallPermissionProblem(program, working_dir);
    if (!detail_.empty()) return EPERM;
    const std::string unit =
        SystemdUnitText(program, working_dir, folder.st_uid, folder.st_gid,
                        MetricsFolderToWrite(MetricsFile(working_dir), working_dir));
    if (const int err = ReplaceFile(unit_path_, unit))
      return Fail(err, "The unit file \"" + unit_path_ + "\" cannot be written");
    // A unit systemd has not read is no installation: take it back.
    if (const int err = Systemctl({"daemon-reload"}).error) {
      ::unlink(unit_path_.c_str());
      return Fail(err, "systemd did not read the unit (systemctl daemon-reload)");
    }
    return 0;
  }

  int Uninstall() override {
    detail_.clear();
    if (!FileExists(unit_path_)) return kServiceNotInstalled;
    Systemctl({"stop", "--no-block", kSystemdUnitName});
    // An operator may have enabled it at boot; that link goes with the unit.
    Systemctl({"disable", "--no-reload", kSystemdUnitName});
    if (::unlink(unit_path_.c_str()) != 0) return errno;
    const int err = Systemctl({"daemon-reload"}).error;
    Systemctl({"reset-failed", kSystemdUnitName});
    return err;
  }

  int CheckInstalled() override { return FileExists(unit_path_) ? 0 : kServiceNotInstalled; }

  int QueryState(ServiceState& state) override {
    if (!FileExists(unit_path_)) return kServiceNotInstalled;
    const SystemctlResult r = Systemctl({"show", "-p", "ActiveState", "--value", kSystemdUnitName});
    if (r.error != 0) return r.error;
    if (r.output == "active")
      state = ServiceState::kRunning;
    else if (r.output == "inactive" || r.output == "failed")
      state = ServiceState::kStopped;
    else
      state = ServiceState::kOther;
    return 0;
  }

  int Start() override {
    ServiceState state{};
    if (const int err = QueryState(state)) return err;
    if (state == ServiceState::kRunning) return kServiceAlreadyRunning;
    return Systemctl({"start", kSystemdUnitName}).error;
  }

  int Stop() override {
    ServiceState state{};
    if (const int err = QueryState(state)) return err;
    if (state != ServiceState::kRunning) return kServiceNotActive;
    if (const int err = Systemctl({"stop", kSystemdUnitName}).error) return err;
    // systemctl's stop also succeeds when systemd had to kill the collector
    // after TimeoutStopSec=; the unit's result tells.
    const SystemctlResult result = Systemctl({"show", "-p", "Result", "--value", kSystemdUnitName});
    return result.error == 0 && result.output == "timeout" ? kServiceStopTimedOut : 0;
  }

  std::string ErrorDetail() const override { return detail_; }

 private:
  int Fail(int error, const std::string& what) {
    detail_ = InstallStepFailure(what, error);
    return error;
  }

  std::string unit_path_;
  std::string detail_;
};

}  // namespace

std::unique_ptr<ServiceManager> MakeSystemdServiceManager(const std::string& unit_dir) {
  return std::make_unique<SystemdServiceManager>(unit_dir);
}

}  // namespace vexa
