// What the console's "Service Control" tab shows of the collector service,
// held as one value: what the console last learnt of the service, and the
// operation under way or the last one with its outcome. ShowServiceState()
// draws from it the status line, the captions of the two buttons, what a
// click on each asks for and whether it takes one; nothing reads a caption
// back.
//
// The console does not read the state again after an operation: the outcome
// alone moves the value (a start that succeeded means running). A status
// that says nothing of running (not installed, unknown) leaves the start
// button offering what it offered, and a failed operation leaves the rest of
// the value as it was, with both buttons open so the operator can try either.
#pragma once

#include <string>

namespace vexa {

// What the console last learnt of the service.
enum class ServiceStatus {
  kUnchecked,  // nothing yet: the tab as drawn
  kNotInstalled,
  kStopped,
  kRunning,
  kUnknown,  // installed, but neither stopped nor running, or not readable
};

// The operations of the tab, and what a click on either button asks for
// (kNone: nothing, the install button as drawn).
enum class ServiceAction { kNone, kCheck, kInstall, kUninstall, kStart, kStop };

class ServiceControlState {
 public:
  // `action` begins; the tab shows it under way until it succeeds or fails.
  void Begin(ServiceAction action);
  // The status check read `status` (it may learn "installed" first, as
  // kUnknown, and the state after).
  void Learn(ServiceStatus status);
  void Succeed();
  // `error` is the code shown: the service manager's errno value, or for an
  // install the installer's exit status (0 when it could not be run).
  void Fail(int error);

  ServiceStatus Status() const { return status_; }
  ServiceAction Action() const { return action_; }
  bool Busy() const { return busy_; }
  bool Failed() const { return failed_; }
  int Error() const { return error_; }
  // Whether the last stopped-or-running status learnt was running.
  bool SeenRunning() const { return seen_running_; }

 private:
  ServiceStatus status_ = ServiceStatus::kUnchecked;
  bool seen_running_ = false;
  ServiceAction action_ = ServiceAction::kNone;
  bool busy_ = false;
  bool failed_ = false;
  int error_ = 0;
};

struct ServiceStateView {
  std::string status_text;
  ServiceAction install = ServiceAction::kNone;  // kInstall, kUninstall, or kNone as drawn
  std::string install_caption;
  bool install_enabled = false;
  ServiceAction start = ServiceAction::kStart;  // kStart or kStop
  std::string start_caption;
  bool start_enabled = false;
};

ServiceStateView ShowServiceState(const ServiceControlState& state);

}  // namespace vexa
