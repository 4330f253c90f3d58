#include "service_control.h"

namespace vexa::console {

namespace {

void Step(const ServiceControlSteps& steps, int progress) {
  steps.pause();
  steps.progress(progress);
}

int Run(const ServiceControlSteps& steps, const std::function<int()>& call) {
  return steps.run ? steps.run(call) : call();
}

// The shape shared by uninstall, start and stop: open the manager, then the
// service, then the call, each followed by a paced step.
int ControlCall(const ServiceControlSteps& steps, int (ServiceManager::*call)()) {
  const auto manager = steps.open_manager();
  Step(steps, 1);
  Step(steps, 2);
  const int result = Run(steps, [&] { return ((*manager).*call)(); });
  Step(steps, 3);
  Step(steps, 4);
  return result;
}

}  // namespace

int CheckCollectorInstalled(const ServiceControlSteps& steps) {
  const auto manager = steps.open_manager();
  Step(steps, 2);
  const int result = Run(steps, [&] { return manager->CheckInstalled(); });
  Step(steps, 3);
  return result;
}

ServiceStatus GetCollectorState(const ServiceControlSteps& steps) {
  const auto manager = steps.open_manager();
  Step(steps, 4);
  ServiceState state = ServiceState::kOther;
  ServiceStatus status = ServiceStatus::kUnknown;
  if (Run(steps, [&] { return manager->QueryState(state); }) == 0) {
    if (state == ServiceState::kStopped) status = ServiceStatus::kStopped;
    if (state == ServiceState::kRunning) status = ServiceStatus::kRunning;
  }
  Step(steps, 5);
  return status;
}

int UninstallCollector(const ServiceControlSteps& steps) {
  return ControlCall(steps, &ServiceManager::Uninstall);
}

int StartCollector(const ServiceControlSteps& steps) {
  return ControlCall(steps, &ServiceManager::Start);
}

int StopCollector(const ServiceControlSteps& steps) {
  return ControlCall(steps, &ServiceManager::Stop);
}

}  // namespace vexa::console
