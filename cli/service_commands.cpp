// vexa-arp service: install, uninstall, start, stop and status of the
// service "Vexa ARP" through the same service layer as the console.
// Installing runs "VexaArpSrv -install_noMsg" from the program folder, as the
// console does, and reports its exit status.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "command.h"
#include "cycle_status.h"
#include "service/service_manager.h"
#include "service_start.h"
#include "settings/collector_settings.h"
#include "settings_store.h"
#include "text_escape.h"

extern char** environ;

namespace vexa::cli {

namespace {

constexpr const char* kCollectorProgram = "VexaArpSrv";
constexpr const char* kInstallOption = "-install_noMsg";
constexpr auto kInstallTimeLimit = std::chrono::seconds(30);

// Runs the installer in the program folder with stdin on /dev/null; its own
// message (on a failure) goes to our stderr. Returns its exit status, 128 +
// the signal that ended it, or throws when it could not be run.
int RunInstaller(const std::string& folder) {
  const std::string program = folder + "/" + kCollectorProgram;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::string arg0 = program;
  std::string arg1 = kInstallOption;
  char* argv[] = {arg0.data(), arg1.data(), nullptr};
  pid_t pid = 0;
  const int err = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) throw Failure("cannot run " + program + ": " + std::strerror(err));

  const auto give_up = std::chrono::steady_clock::now() + kInstallTimeLimit;
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) throw Failure(std::string("waitpid: ") + std::strerror(errno));
    if (std::chrono::steady_clock::now() >= give_up) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      throw Failure(program + " " + kInstallOption +
                    " did not end within 30 seconds and was killed");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

int Check(const char* what, int error) {
  if (error != 0)
    throw Failure(std::string(what) + ": " + ServiceErrorText(error) + " (error " +
                  std::to_string(error) + ")");
  return 0;
}

int Service(Context& c, const Arguments& args) {
  if (args.size() != 1) throw UsageError("give one of install, uninstall, start, stop, status");
  const std::string& what = args[0];
  if (what == "install") {
    const int status = RunInstaller(c.folder);
    if (status != 0)
      throw Failure(std::string(kCollectorProgram) + " " + kInstallOption +
                    " ended with exit status " + std::to_string(status));
    c.out << "The service is installed.\n";
    return 0;
  }
  const auto services = MakeServiceManager();
  if (what == "uninstall") {
    Check("uninstall", services->Uninstall());
    c.out << "The service is uninstalled.\n";
  } else if (what == "start") {
    Check("start", services->Start());
    c.out << "The service is started.\n";
  } else if (what == "stop") {
    Check("stop", services->Stop());
    c.out << "The service is stopped.\n";
  } else if (what == "status") {
    const int installed = services->CheckInstalled();
    if (installed != 0 && installed != kServiceNotInstalled) Check("status", installed);
    c.out << "Installed\t" << (installed == 0 ? "yes" : "no") << '\n';
    if (installed == 0) {
      ServiceState state = ServiceState::kOther;
      Check("status", services->QueryState(state));
      c.out << "State\t"
            << (state == ServiceState::kRunning   ? "running"
                : state == ServiceState::kStopped ? "stopped"
                                                  : "other")
            << '\n';
    }
    const std::string started = LastServiceStart(c.File("Debug/AppEvent.txt"));
    c.out << "Started\t" << (started.empty() ? "-" : started) << '\n';
    // The last cycle, where the collector writes its metrics file.
    CollectorSettings settings;
    try {
      LoadCollectorSettings(c.File(kDatabaseFileName), settings);
    } catch (const std::exception&) {  // no database yet: nothing to tell
    }
    if (!settings.metrics_file.empty()) PrintLastCycle(settings.metrics_file, c.out);
  } else {
    throw UsageError("unknown subcommand " + what +
                     "; give one of install, uninstall, start, stop, status");
  }
  return 0;
}

constexpr Command kCommands[] = {
    {"service", "install | uninstall | start | stop | status",
     "install and control the service \"Vexa ARP\"",
     "install    runs VexaArpSrv -install_noMsg from the program folder and reports\n"
     "           its exit status\n"
     "uninstall  asks a running service to stop and removes it\n"
     "start      starts the service\n"
     "stop       stops the service and waits for it to end (at most 45 seconds)\n"
     "status     prints Installed (yes/no), State (running, stopped, other) and\n"
     "           Started: the time of the last \"Service Started.\" line of\n"
     "           Debug/AppEvent.txt, or - when there is none; with MetricsFile set,\n"
     "           the last poll cycle from that file: when it ended and how long it\n"
     "           took, the records of ArpTable, and per router the rows, time and\n"
     "           resends of its last walk, its last success and its failures by\n"
     "           outcome since the service started\n"
     "Errors name the service layer's error code, as the console shows it.\n"
     "VEXAARP_SERVICE_MANAGER, VEXAARP_SERVICE_DIR and VEXAARP_SYSTEMD_UNIT_DIR\n"
     "select the service manager as for the console.\n",
     Service},
};

}  // namespace

std::span<const Command> ServiceCommands() {
  return kCommands;
}

}  // namespace vexa::cli
