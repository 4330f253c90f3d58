// The console's calls on the collector service "Vexa ARP", each one a short
// sequence of steps paced by a pause and reported on the progress bar. They
// return 0 or the service layer's errno value; GetCollectorState returns the
// status read instead.
#pragma once

#include <functional>
#include <memory>

#include "service/service_manager.h"
#include "service/service_state.h"

namespace vexa::console {

struct ServiceControlSteps {
  // Opens the service manager for one call.
  std::function<std::unique_ptr<ServiceManager>()> open_manager;
  std::function<void(int value)> progress;
  std::function<void()> pause;
  // Runs one call of the service manager and returns its result; the window
  // runs it off its own thread. Empty: the call runs directly.
  std::function<int(const std::function<int()>& call)> run;
};

// 0 when the service is registered, else the error (not installed: ENOENT).
int CheckCollectorInstalled(const ServiceControlSteps& steps);
// kStopped, kRunning, or kUnknown for any other state and on a failure.
ServiceStatus GetCollectorState(const ServiceControlSteps& steps);
// Asks a running service to stop (without waiting) and removes it.
int UninstallCollector(const ServiceControlSteps& steps);
int StartCollector(const ServiceControlSteps& steps);
int StopCollector(const ServiceControlSteps& steps);

}  // namespace vexa::console
