// Times the collector's walk of one router's ARP table against
// an agent: prints the rows walked and the median rows per second over
// several runs. bench/walk_vs_snmpwalk.sh runs it beside net-snmp's snmpwalk,
// bench/bulk_walk.sh (with REPETITIONS: GETBULK) beside snmpbulkwalk.
//
//   arp_walk_bench AGENT_ADDRESS [RUNS] [COMMUNITY] [REPETITIONS]
//   NEIGHBOUR_TABLE=1 arp_walk_bench ...     walks ipNetToPhysicalTable
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "arp/walk.h"
#include "platform/program_folder.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: arp_walk_bench AGENT_ADDRESS [RUNS] [COMMUNITY] [REPETITIONS]\n");
    return 2;
  }
  const std::string agent = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  char tmpl[] = "/tmp/vexa-walk-bench-XXXXXX";
  const std::string folder = ::mkdtemp(tmpl);
  ::mkdir((folder + "/Debug").c_str(), 0755);

  vexa::SystemClock clock;
  vexa::EventLoop loop(clock);
  vexa::CollectorSettings settings;
  settings.community = argc > 3 ? argv[3] : "public";
  settings.timeout_seconds = 5;
  settings.retries = 2;
  const char* table = std::getenv("NEIGHBOUR_TABLE");
  settings.neighbour_table = table && std::string(table) == "1" ? vexa::kNeighbourTablePhysical
                                                                : vexa::kNeighbourTableMedia;
  if (argc > 4) {
    settings.use_bulk = true;
    settings.max_repetitions = std::atoi(argv[4]);
  }
  std::string db;
  vexa::EventLog log(loop, folder);
  vexa::CollectorContext ctx{loop, log, folder, db, settings};
  vexa::snmp::Manager manager(loop);
  vexa::ArpWalker walker(ctx, manager);
  manager.Open();

  std::vector<double> seconds;
  int rows = 0;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const vexa::WalkResult result = walker.Walk(agent);
    seconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    rows = static_cast<int>(result.rows.size());
    std::printf("run %d: %d rows in %.3f s (%d re-sends, %s)\n", i + 1, rows, seconds.back(),
                result.resends, vexa::OutcomeText(result).c_str());
  }
  std::sort(seconds.begin(), seconds.end());
  const double median = seconds[seconds.size() / 2];
  std::printf("walk: %d rows, median %.3f s, %.0f rows/s\n", rows, median,
              median > 0 ? rows / median : 0.0);
  std::system(("rm -rf '" + folder + "'").c_str());
  return rows > 0 ? 0 : 1;
}
