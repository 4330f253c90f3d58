// systemd backend: the service is the unit vexa-arp.service; installing writes
// the unit and reloads systemd, everything else is systemctl's.
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/process.h"
#include "service/service_manager.h"

namespace vexa {

namespace {

// Quotes a path for an ExecStart= or WorkingDirectory= line.
std::string UnitQuote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '%') out += '%';  // specifier escape
    out += c;
  }
  return out + "\"";
}

class SystemdServiceManager final : public ServiceManager {
 public:
  explicit SystemdServiceManager(std::string unit_dir)
      : unit_path_(std::move(unit_dir) + "/" + kSystemdUnitName) {}

  int Install(const std::string& program, const std::string& working_dir) override {
    if (program.find('\n') != std::string::npos || working_dir.find('\n') != std::string::npos)
      return EINVAL;
    if (FileExists(unit_path_)) return kServiceAlreadyInstalled;
    const std::string unit =
        "[Unit]\n"
        "Description=" +
        std::string(kServiceName) +
        "\n"
        "After=network-online.target\n"
        "\n"
        "[Service]\n"
        "Type=simple\n"
        "ExecStart=" +
        UnitQuote(program) +
        "\n"
        "WorkingDirectory=" +
        UnitQuote(working_dir) +
        "\n"
        "KillSignal=SIGTERM\n"
        "\n"
        "[Install]\n"
        "WantedBy=multi-user.target\n";
    if (const int err = ReplaceFile(unit_path_, unit)) return err;
    return Systemctl({"daemon-reload"});
  }

  int Uninstall() override {
    if (!FileExists(unit_path_)) return kServiceNotInstalled;
    Systemctl({"stop", "--no-block", kSystemdUnitName});
    if (::unlink(unit_path_.c_str()) != 0) return errno;
    return Systemctl({"daemon-reload"});
  }

  int CheckInstalled() override { return FileExists(unit_path_) ? 0 : kServiceNotInstalled; }

  int QueryState(ServiceState& state) override {
    if (!FileExists(unit_path_)) return kServiceNotInstalled;
    const CommandResult r =
        RunCommand({"systemctl", "show", "-p", "ActiveState", "--value", kSystemdUnitName});
    if (r.spawn_error != 0) return r.spawn_error;
    if (r.exit_status != 0) return kServiceControlFailed;
    std::string value = r.output;
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
    if (value == "active")
      state = ServiceState::kRunning;
    else if (value == "inactive" || value == "failed")
      state = ServiceState::kStopped;
    else
      state = ServiceState::kOther;
    return 0;
  }

  int Start() override {
    ServiceState state{};
    if (const int err = QueryState(state)) return err;
    if (state == ServiceState::kRunning) return kServiceAlreadyRunning;
    return Systemctl({"start", kSystemdUnitName});
  }

  int Stop() override {
    ServiceState state{};
    if (const int err = QueryState(state)) return err;
    if (state != ServiceState::kRunning) return kServiceNotActive;
    return Systemctl({"stop", kSystemdUnitName});
  }

 private:
  static int Systemctl(std::vector<std::string> args) {
    args.insert(args.begin(), "systemctl");
    const CommandResult r = RunCommand(args);
    if (r.spawn_error != 0) return r.spawn_error;
    return r.exit_status == 0 ? 0 : kServiceControlFailed;
  }

  std::string unit_path_;
};

}  // namespace

std::unique_ptr<ServiceManager> MakeSystemdServiceManager(const std::string& unit_dir) {
  return std::make_unique<SystemdServiceManager>(unit_dir);
}

}  // namespace vexa
