// VexaArpSrv: the collector. With an empty command line it runs as the
// service "Vexa ARP"; "-install", "-install_noMsg" and "-uninstall" register
// and remove the service.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "collector_service.h"
#include "dns/cares_reverse_resolver.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "service/service_manager.h"

int main(int argc, char** argv) {
  // Queue stop and pause signals from the first moment; they are read as
  // notifications once the service runs.
  vexa::ServiceHost::BlockServiceSignals();
  try {
    vexa::SystemClock clock;
    vexa::EventLoop loop(clock);
    auto services = vexa::MakeServiceManager();
    vexa::dns::CaresReverseResolver resolver(loop);
    vexa::CollectorService service(
        {.loop = loop, .services = *services, .resolver = resolver, .terminate = [](int status) {
           std::fflush(nullptr);
           std::_Exit(status);
         }});
    if (!service.StartUp(vexa::CommandLineText(argc, argv))) return service.ExitStatus();
    loop.Run();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "VexaArpSrv: %s\n", e.what());
    return 1;
  }
}
