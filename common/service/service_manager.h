// Installing and controlling the collector service "Vexa ARP". Two backends:
// systemd (unit vexa-arp.service) and a local manager for machines without
// systemd (a registration file and a PID file in a state directory). Every
// operation returns 0 or an errno value; ServiceErrorText() explains them.
#pragma once

#include <cerrno>
#include <memory>
#include <string>

namespace vexa {

inline constexpr const char* kServiceName = "Vexa ARP";
inline constexpr const char* kSystemdUnitName = "vexa-arp.service";

// Error codes of the service operations (errno values, one per cause).
// The numbers are shown to the operator ("Error [2] ..."), so they are
// Linux's, documented in the README.
inline constexpr int kServiceNotInstalled = ENOENT;
inline constexpr int kServiceAlreadyInstalled = EEXIST;
inline constexpr int kServiceAlreadyRunning = EALREADY;
inline constexpr int kServiceNotActive = ESRCH;
inline constexpr int kServiceControlFailed = EIO;
inline constexpr int kServicePermissionDenied = EACCES;
inline constexpr int kServiceStopTimedOut = ETIMEDOUT;

// How long a stop may take: the collector's stop sequence, with the grace it
// gives an export in progress, fits well inside it. The systemd unit's
// TimeoutStopSec= and the local manager's wait both use it.
inline constexpr int kServiceStopTimeoutSeconds = 45;

enum class ServiceState { kStopped, kRunning, kOther };

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // Registers `program` (run with an empty command line in `working_dir`).
  virtual int Install(const std::string& program, const std::string& working_dir) = 0;
  // Asks a running service to stop (not waiting for it) and removes it.
  virtual int Uninstall() = 0;
  virtual int CheckInstalled() = 0;
  virtual int QueryState(ServiceState& state) = 0;
  virtual int Start() = 0;
  // Asks the service to stop and waits up to kServiceStopTimeoutSeconds for it
  // to end; kServiceStopTimedOut when it is still running then.
  virtual int Stop() = 0;
  // More about the last failure than its code tells (for example which part
  // of a path systemd cannot take), or empty.
  virtual std::string ErrorDetail() const { return {}; }
};

// VEXAARP_SERVICE_MANAGER=systemd|local selects the backend; otherwise systemd
// when /run/systemd/system exists, else local.
std::unique_ptr<ServiceManager> MakeServiceManager();

// Local backend in `state_dir` (VEXAARP_SERVICE_DIR, default /var/lib/vexa-arp).
std::unique_ptr<ServiceManager> MakeLocalServiceManager(const std::string& state_dir);
// systemd backend writing units into `unit_dir` (VEXAARP_SYSTEMD_UNIT_DIR,
// default /etc/systemd/system) and calling `systemctl` from PATH.
std::unique_ptr<ServiceManager> MakeSystemdServiceManager(const std::string& unit_dir);

std::string ServiceErrorText(int error);

// Why the service must not be installed to run `program` in `folder`, as a
// sentence for the event log; empty when it may. The service runs the
// program as the folder's owner (root for root's folder) and writes into the
// folder and its Debug folder: whoever else can write one of them, or the
// program file, could change what it runs or where it writes.
std::string InstallPermissionProblem(const std::string& program, const std::string& folder);

// A failed step of an install as a sentence: `what` and the cause, with a
// word on the privilege an install needs when the cause is a refusal.
std::string InstallStepFailure(const std::string& what, int error);

}  // namespace vexa
