#include "service/service_state.h"

namespace vexa {

namespace {

const char* Verb(ServiceAction action) {
  switch (action) {
    case ServiceAction::kInstall:
      return "install";
    case ServiceAction::kUninstall:
      return "uninstall";
    case ServiceAction::kStart:
      return "start";
    case ServiceAction::kStop:
      return "stop";
    case ServiceAction::kNone:
    case ServiceAction::kCheck:
      break;
  }
  return "";
}

std::string StatusText(const ServiceControlState& state) {
  const ServiceAction action = state.Action();
  if (state.Busy()) {
    if (action == ServiceAction::kCheck) return "Checking service status...";
    return std::string("Attempting to ") + Verb(action) + " the service...";
  }
  // Two blanks after the bracket.
  if (state.Failed())
    return "Error [" + std::to_string(state.Error()) + "]  when " + Verb(action) + " the service.";
  switch (action) {
    case ServiceAction::kNone:
      return "Info";
    case ServiceAction::kInstall:
      return "Service installed successfully.";
    case ServiceAction::kUninstall:
      return "The service is uninstalled.";
    case ServiceAction::kStart:
      return "Service started successfully.";
    case ServiceAction::kStop:
      return "The service is stopped.";
    case ServiceAction::kCheck:
      break;
  }
  switch (state.Status()) {
    case ServiceStatus::kNotInstalled:
      return "The service is not installed.";
    case ServiceStatus::kStopped:
      return "The service is stopped.";
    case ServiceStatus::kRunning:
      return "The service is started.";
    case ServiceStatus::kUnchecked:
    case ServiceStatus::kUnknown:
      break;
  }
  return "The service is installed. Status unknown.";
}

std::string Caption(ServiceAction offer) {
  switch (offer) {
    case ServiceAction::kInstall:
      return "Install Service";
    case ServiceAction::kUninstall:
      return "Uninstall Service";
    case ServiceAction::kStart:
      return "Start Service";
    case ServiceAction::kStop:
      return "Stop Service";
    case ServiceAction::kNone:
    case ServiceAction::kCheck:
      break;
  }
  // The install button as drawn, before the first check.
  return "&Install Service";
}

}  // namespace

void ServiceControlState::Begin(ServiceAction action) {
  action_ = action;
  busy_ = true;
  failed_ = false;
  error_ = 0;
}

void ServiceControlState::Learn(ServiceStatus status) {
  status_ = status;
  if (status == ServiceStatus::kStopped || status == ServiceStatus::kRunning)
    seen_running_ = status == ServiceStatus::kRunning;
}

void ServiceControlState::Succeed() {
  busy_ = false;
  switch (action_) {
    case ServiceAction::kInstall:  // registered, not started
    case ServiceAction::kStop:
      Learn(ServiceStatus::kStopped);
      break;
    case ServiceAction::kUninstall:
      Learn(ServiceStatus::kNotInstalled);
      break;
    case ServiceAction::kStart:
      Learn(ServiceStatus::kRunning);
      break;
    case ServiceAction::kNone:
    case ServiceAction::kCheck:  // the check learnt the status itself
      break;
  }
}

void ServiceControlState::Fail(int error) {
  busy_ = false;
  failed_ = true;
  error_ = error;
  // A start refused offers the start again (and the uninstall), as for a
  // stopped service, whatever the service is doing.
  if (action_ == ServiceAction::kStart) Learn(ServiceStatus::kStopped);
}

ServiceStateView ShowServiceState(const ServiceControlState& state) {
  ServiceStateView view;
  view.status_text = StatusText(state);
  switch (state.Status()) {
    case ServiceStatus::kUnchecked:
      view.install = ServiceAction::kNone;
      break;
    case ServiceStatus::kNotInstalled:
      view.install = ServiceAction::kInstall;
      break;
    case ServiceStatus::kStopped:
    case ServiceStatus::kRunning:
    case ServiceStatus::kUnknown:
      view.install = ServiceAction::kUninstall;
      break;
  }
  view.start = state.SeenRunning() ? ServiceAction::kStop : ServiceAction::kStart;
  view.install_caption = Caption(view.install);
  view.start_caption = Caption(view.start);

  if (state.Busy()) return view;  // neither button takes a click
  if (state.Failed()) {
    view.install_enabled = view.start_enabled = true;
    return view;
  }
  const ServiceStatus status = state.Status();
  view.install_enabled = status == ServiceStatus::kUnchecked ||
                         status == ServiceStatus::kNotInstalled ||
                         status == ServiceStatus::kStopped;
  view.start_enabled = status == ServiceStatus::kUnchecked || status == ServiceStatus::kStopped ||
                       status == ServiceStatus::kRunning;
  return view;
}

}  // namespace vexa
