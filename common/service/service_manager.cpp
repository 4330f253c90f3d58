#include "service/service_manager.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

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

}  // namespace vexa
