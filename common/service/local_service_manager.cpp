// Local backend: the registration is a small key=value file in a state
// directory; a start runs the registered program detached and records its pid;
// a stop sends SIGTERM. The service counts as running while the recorded pid
// is alive and runs the registered program.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>

#include "platform/files.h"
#include "platform/process.h"
#include "service/service_manager.h"
#include "text/printable.h"

namespace vexa {

namespace {

constexpr auto kStopWait = std::chrono::seconds(kServiceStopTimeoutSeconds);
constexpr auto kStopPoll = std::chrono::milliseconds(20);

struct Registration {
  std::string program;
  std::string working_dir;
};

class LocalServiceManager final : public ServiceManager {
 public:
  explicit LocalServiceManager(std::string dir)
      : dir_(std::move(dir)),
        registration_path_(dir_ + "/vexa-arp.service"),
        pid_path_(dir_ + "/vexa-arp.pid") {}

  int Install(const std::string& program, const std::string& working_dir) override {
    detail_.clear();
    if (::access(program.c_str(), X_OK) != 0) {
      const int err = errno;
      return Fail(err, "The program \"" + WithoutControlBytes(program) + "\" cannot be run");
    }
    detail_ = InstallPermissionProblem(program, working_dir);
    if (!detail_.empty()) return EPERM;
    const int err = Register(program, working_dir);
    if (err == kServiceAlreadyInstalled)
      detail_ = ServiceErrorText(err);
    else if (err != 0)
      Fail(err, "The service cannot be registered in \"" + WithoutControlBytes(dir_) + "\"");
    return err;
  }

  // Writes the registration; Install() has named the program's problems.
  int Register(const std::string& program, const std::string& working_dir) {
    if (program.find('\n') != std::string::npos || working_dir.find('\n') != std::string::npos)
      return EINVAL;
    if (FileExists(registration_path_)) return kServiceAlreadyInstalled;
    // The running service is recognised by /proc/<pid>/exe, which is canonical.
    char* canonical = ::realpath(program.c_str(), nullptr);
    if (canonical == nullptr) return errno;
    const std::string exec_start = canonical;
    std::free(canonical);
    if (::access(exec_start.c_str(), X_OK) != 0) return errno;
    if (const int err = MakeDirectories(dir_)) return err;
    return ReplaceFile(registration_path_, "Name=" + std::string(kServiceName) +
                                               "\nExecStart=" + exec_start +
                                               "\nWorkingDirectory=" + working_dir + "\n");
  }

  int Uninstall() override {
    Registration reg;
    if (const int err = Read(reg)) return err;
    if (const auto pid = RunningPid(reg)) ::kill(*pid, SIGTERM);
    ::unlink(pid_path_.c_str());
    if (::unlink(registration_path_.c_str()) != 0) return errno;
    return 0;
  }

  int CheckInstalled() override {
    Registration reg;
    return Read(reg);
  }

  int QueryState(ServiceState& state) override {
    Registration reg;
    if (const int err = Read(reg)) return err;
    state = RunningPid(reg) ? ServiceState::kRunning : ServiceState::kStopped;
    return 0;
  }

  int Start() override {
    Registration reg;
    if (const int err = Read(reg)) return err;
    if (RunningPid(reg)) return kServiceAlreadyRunning;
    int error = 0;
    const auto pid = SpawnDetached(reg.program, {}, reg.working_dir, error);
    if (!pid) return error;
    return ReplaceFile(pid_path_, std::to_string(*pid) + "\n");
  }

  int Stop() override {
    Registration reg;
    if (const int err = Read(reg)) return err;
    const auto pid = RunningPid(reg);
    if (!pid) return kServiceNotActive;
    if (::kill(*pid, SIGTERM) != 0) return errno;
    const auto give_up = std::chrono::steady_clock::now() + kStopWait;
    while (ProcessRunsProgram(*pid, reg.program) && std::chrono::steady_clock::now() < give_up)
      std::this_thread::sleep_for(kStopPoll);
    if (ProcessRunsProgram(*pid, reg.program)) return kServiceStopTimedOut;
    ::unlink(pid_path_.c_str());
    return 0;
  }

  std::string ErrorDetail() const override { return detail_; }

 private:
  int Fail(int error, const std::string& what) {
    detail_ = InstallStepFailure(what, error);
    return error;
  }

  int Read(Registration& reg) const {
    const auto text = ReadSmallFile(registration_path_, 64 * 1024);
    if (!text) return FileExists(registration_path_) ? EIO : kServiceNotInstalled;
    size_t pos = 0;
    while (pos < text->size()) {
      size_t end = text->find('\n', pos);
      if (end == std::string::npos) end = text->size();
      const std::string line = text->substr(pos, end - pos);
      pos = end + 1;
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = line.substr(0, eq);
      if (key == "ExecStart") reg.program = line.substr(eq + 1);
      if (key == "WorkingDirectory") reg.working_dir = line.substr(eq + 1);
    }
    return reg.program.empty() ? EIO : 0;
  }

  std::optional<pid_t> RunningPid(const Registration& reg) const {
    const auto text = ReadSmallFile(pid_path_, 64);
    if (!text) return std::nullopt;
    char* end = nullptr;
    const long pid = std::strtol(text->c_str(), &end, 10);
    if (end == text->c_str() || pid <= 0 || pid > 0x3fffffff) return std::nullopt;
    if (!ProcessRunsProgram(static_cast<pid_t>(pid), reg.program)) return std::nullopt;
    return static_cast<pid_t>(pid);
  }

  std::string dir_;
  std::string registration_path_;
  std::string pid_path_;
  std::string detail_;
};

}  // namespace

std::unique_ptr<ServiceManager> MakeLocalServiceManager(const std::string& state_dir) {
  return std::make_unique<LocalServiceManager>(state_dir);
}

}  // namespace vexa
