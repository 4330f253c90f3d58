// VexaArpSrv: the collector. With an empty command line it runs as the
// service "Vexa ARP"; "-install", "-install_noMsg" and "-uninstall" register
// and remove the service.
#include <sqlite3.h>
#include <sys/prctl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "collector_service.h"
#include "dns/cares_reverse_resolver.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "service/service_manager.h"
#include "snmp/crypto.h"

namespace {

// SQLite's memory, wiped when it is freed: the settings record, passwords
// and all, passes through its page cache. Each block starts with a header
// that holds its size and keeps the block 16-byte aligned.
constexpr size_t kHeader = 16;

void* WipedMalloc(int size) {
  auto* block = static_cast<uint8_t*>(std::malloc(kHeader + static_cast<size_t>(size)));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &size, sizeof size);
  return block + kHeader;
}

int WipedSize(void* memory) {
  int size = 0;
  if (memory != nullptr) std::memcpy(&size, static_cast<uint8_t*>(memory) - kHeader, sizeof size);
  return size;
}

void WipedFree(void* memory) {
  if (memory == nullptr) return;
  uint8_t* block = static_cast<uint8_t*>(memory) - kHeader;
  vexa::snmp::crypto::Cleanse({block, kHeader + static_cast<size_t>(WipedSize(memory))});
  std::free(block);
}

void* WipedRealloc(void* memory, int size) {
  void* moved = WipedMalloc(size);
  if (moved == nullptr) return nullptr;
  if (memory != nullptr) {
    std::memcpy(moved, memory, static_cast<size_t>(std::min(size, WipedSize(memory))));
    WipedFree(memory);
  }
  return moved;
}

int WipedRoundup(int size) {
  return (size + 7) & ~7;
}

void UseWipedSqliteMemory() {
  static const sqlite3_mem_methods methods = {WipedMalloc,  WipedFree,
                                              WipedRealloc, WipedSize,
                                              WipedRoundup, [](void*) { return SQLITE_OK; },
                                              [](void*) {}, nullptr};
  sqlite3_config(SQLITE_CONFIG_MALLOC, &methods);
}

}  // namespace

int main(int argc, char** argv) {
  // No core file and no reading of its memory by other processes of its user:
  // the service holds the SNMPv3 keys (and, until they are made, passwords).
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  UseWipedSqliteMemory();  // before SQLite's first use
  // Queue stop and pause signals from the first moment; they are read as
  // notifications once the service runs.
  vexa::ServiceHost::BlockServiceSignals();
  try {
    vexa::SystemClock clock;
    vexa::EventLoop loop(clock);
    auto services = vexa::MakeServiceManager();
    vexa::dns::CaresReverseResolver resolver(loop);
    vexa::CollectorService service({.loop = loop,
                                    .services = *services,
                                    .resolver = resolver,
                                    .journal = vexa::SystemJournal(),
                                    .terminate = [](int status) {
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
