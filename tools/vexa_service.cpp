// vexa-service: status, start and stop of the service "Vexa ARP" from a shell,
// through the same service layer as the console (for machines without a
// desktop, and for scripts). Installing and removing stay with the collector
// ("VexaArpSrv -install", "VexaArpSrv -uninstall").
#include <cstdio>
#include <cstring>
#include <string>

#include "service/service_manager.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: vexa-service status|start|stop\n");
  return 2;
}

int Report(const char* what, int err) {
  if (err == 0) return 0;
  std::fprintf(stderr, "vexa-service: %s: %s (error %d)\n", what,
               vexa::ServiceErrorText(err).c_str(), err);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return Usage();
  const std::string command = argv[1];
  auto services = vexa::MakeServiceManager();
  if (command == "status") {
    vexa::ServiceState state{};
    if (const int err = services->QueryState(state)) {
      if (err == vexa::kServiceNotInstalled) {
        std::printf("not installed\n");
        return 3;
      }
      return Report("status", err);
    }
    std::printf("%s\n", state == vexa::ServiceState::kRunning   ? "running"
                        : state == vexa::ServiceState::kStopped ? "stopped"
                                                                : "other");
    return 0;
  }
  if (command == "start") return Report("start", services->Start());
  if (command == "stop") return Report("stop", services->Stop());
  return Usage();
}
