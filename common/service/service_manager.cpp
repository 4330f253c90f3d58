#include "service/service_manager.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text/printable.h"

namespace vexa {

namespace {

std::string EnvOr(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? v : fallback;
}

}  // namespace

std::unique_ptr<ServiceManager> MakeServiceManager() {
  const std::string choice = EnvOr("VEXAARP_SERVICE_MANAGER", "");
  struct stat st {};
  const bool systemd =
      choice == "systemd" || (choice != "local" && ::stat("/run/systemd/system", &st) == 0);
  if (systemd)
    return MakeSystemdServiceManager(EnvOr("VEXAARP_SYSTEMD_UNIT_DIR", "/etc/systemd/system"));
  return MakeLocalServiceManager(EnvOr("VEXAARP_SERVICE_DIR", "/var/lib/vexa-arp"));
}

std::string ServiceErrorText(int error) {
  switch (error) {
    case 0:
      return "The operation completed successfully";
    case kServiceNotInstalled:
      return "The service \"Vexa ARP\" is not installed";
    case kServiceAlreadyInstalled:
      return "The service \"Vexa ARP\" is already installed";
    case kServiceAlreadyRunning:
      return "The service \"Vexa ARP\" is already running";
    case kServiceNotActive:
      return "The service \"Vexa ARP\" is not running";
    case kServiceControlFailed:
      return "The service manager could not carry out the request";
    case kServiceStopTimedOut:
      return "The service \"Vexa ARP\" did not stop in time";
    default:
      return std::strerror(error);
  }
}

std::string InstallPermissionProblem(const std::string& program, const std::string& folder) {
  const std::pair<std::string, const char*> paths[] = {
      {folder, "The program folder"}, {folder + "/Debug", "The folder"}, {program, "The program"}};
  for (const auto& [path, what] : paths) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || (st.st_mode & (S_IWGRP | S_IWOTH)) == 0) continue;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return std::string(what) + " \"" + WithoutControlBytes(path) +
           "\" can be written by group or others (mode " + mode +
           "): they could change what the service runs or where it writes. Take that right "
           "away (chmod go-w) and install again";
  }
  return {};
}

std::string InstallStepFailure(const std::string& what, int error) {
  std::string text = what + ": " + ServiceErrorText(error);
  if (error == EACCES || error == EPERM) text += "; installing the service needs root";
  return text;
}

}  // namespace vexa
