// Figures for the collector's poll cycle and export, printed, never asserted.
//
//   collector_bench merge FOLDER ROWS
//       The merge of ROWS walked rows into ArpTable of the program folder's
//       database: a first cycle that inserts them all, a second that counts
//       them all again. Waits run on a simulated clock, so the time printed
//       is the work outside the specified pauses.
//   collector_bench poll FOLDER ROUTER...
//       One poll cycle over real agents on the real clock: total time, time
//       in the specified waits (where the walks happen) and the rest, and
//       the CPU time of this process. How the routers are asked is taken
//       from the folder's settings (SnmpVersion, V3User, ..., UseBulk,
//       MaxRepetitions, NeighbourTable, ParallelWalks). Also prints the
//       slowest walk and a digest of ArpTable, to compare two cycles.
//   collector_bench export FOLDER batch|single
//       Names for every stored address and ArpList.txt, with lookups
//       concurrent (batch) or one at a time (single), on the real clock:
//       total time, and the part spent in the loop's waits (the lookups run
//       there, beside the 50 ms pauses). The DNS servers come from
//       VEXAARP_DNS_SERVERS.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "arp/export.h"
#include "arp/mac_format.h"
#include "arp/poll_cycle.h"
#include "arp/snmp_security_settings.h"
#include "arp/store.h"
#include "arp/walk.h"
#include "arp/walker_pool.h"
#include "db/sqlite.h"
#include "dns/cares_reverse_resolver.h"
#include "platform/local_time.h"

namespace {

using Seconds = std::chrono::duration<double>;

double Since(std::chrono::steady_clock::time_point start) {
  return Seconds(std::chrono::steady_clock::now() - start).count();
}

// User and system CPU time of this process so far.
double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Collector {
  explicit Collector(vexa::Clock& clock, const std::string& folder_path)
      : loop(clock), folder(folder_path), db(folder + "/VexaArp.mdb"), log(loop, folder) {
    settings.community = "public";
    settings.timeout_seconds = 5;
    settings.retries = 2;
    settings.stop_time = {2030, 1, 1, 0, 0, 0};
  }
  vexa::EventLoop loop;
  std::string folder;
  std::string db;
  vexa::CollectorSettings settings;
  vexa::EventLog log;
  vexa::CollectorContext ctx{loop, log, folder, db, settings};
};

int Merge(const std::string& folder, int rows) {
  vexa::SimulatedClock clock(vexa::FromLocal({2024, 3, 5, 11, 0, 0}));
  Collector c(clock, folder);
  c.settings.router_list = "10.0.0.1";
  std::vector<vexa::ArpRow> walked(static_cast<size_t>(rows));
  for (int i = 1; i <= rows; ++i) {
    vexa::ArpRow& row = walked[static_cast<size_t>(i - 1)];
    row.ip_address = "10." + std::to_string(i >> 16) + "." + std::to_string((i >> 8) & 255) + "." +
                     std::to_string(i & 255);
    row.mac_address = vexa::FormatMac(std::string("\x02\x00\x00\x00", 4) +
                                      static_cast<char>(i >> 8) + static_cast<char>(i));
    row.if_index = 1 + i % 4;
    row.type = 3;
  }
  vexa::ArpStore store(c.ctx);
  vexa::PollCycle cycle(c.ctx, store, [&](const std::string&) {
    vexa::WalkResult result;
    result.rows = walked;
    return result;
  });
  store.Clear();
  for (const char* what : {"new addresses", "known addresses"}) {
    const auto start = std::chrono::steady_clock::now();
    cycle.Run();
    std::printf("merge of %d rows (%s): %.3f s outside the pauses (pauses: %.1f s)\n", rows, what,
                Since(start), Seconds(c.loop.TimeInWaits()).count());
  }
  return 0;
}

int Poll(const std::string& folder, const std::vector<std::string>& routers) {
  vexa::SystemClock clock;
  Collector c(clock, folder);
  for (const auto& r : routers)
    c.settings.router_list += (c.settings.router_list.empty() ? "" : "\r\n") + r;
  vexa::CollectorSettings stored;
  vexa::LoadCollectorSettings(c.db, stored);
  c.settings.snmp_version = stored.snmp_version;
  c.settings.use_bulk = stored.use_bulk;
  c.settings.max_repetitions = stored.max_repetitions;
  c.settings.neighbour_table = stored.neighbour_table;
  c.settings.v3_user = stored.v3_user;
  c.settings.v3_auth_protocol = stored.v3_auth_protocol;
  c.settings.v3_auth_password = stored.v3_auth_password;
  c.settings.v3_priv_protocol = stored.v3_priv_protocol;
  c.settings.v3_priv_password = stored.v3_priv_password;
  c.settings.v3_context = stored.v3_context;
  c.settings.parallel_walks = stored.parallel_walks;
  const vexa::SnmpSecurity security = vexa::SnmpSecurityOf(c.settings);
  if (!security.problem.empty()) {
    std::fprintf(stderr, "%s\n", security.problem.c_str());
    return 1;
  }
  vexa::snmp::Manager manager(c.loop);
  if (security.version == vexa::snmp::Version::kV3) manager.SetUsmUser(security.user);
  vexa::ArpWalker walker(c.ctx, manager);
  vexa::ArpStore store(c.ctx);
  vexa::PollCycle cycle(c.ctx, store,
                        [&](const std::string& router) { return walker.Walk(router); });
  manager.Open();
  vexa::WalkerPool pool(c.ctx, walker);
  pool.Resize(c.settings.parallel_walks,
              security.version == vexa::snmp::Version::kV3 ? &security.user : nullptr);
  cycle.WalkSideBySideWith([&] { return pool.Walkers(); });
  store.Clear();
  const auto start = std::chrono::steady_clock::now();
  const double cpu_before = CpuSeconds();
  cycle.Run();
  const double total = Since(start);
  const double cpu = CpuSeconds() - cpu_before;
  const double waits = Seconds(c.loop.TimeInWaits()).count();
  vexa::Database db = vexa::Database::Open(c.db);
  vexa::Statement count = db.Prepare("SELECT count(*) FROM ArpTable");
  count.Step();
  // FNV-1a over the table in address order: equal digests, equal tables.
  uint64_t digest = 14695981039346656037ull;
  vexa::Statement rows =
      db.Prepare("SELECT IpAddr, MacAddr, Type, IfIndex, SeenTimes FROM ArpTable ORDER BY IpAddr");
  while (rows.Step())
    for (int column = 0; column < 5; ++column)
      for (const char ch : rows.ColumnText(column) + '\t') {
        digest ^= static_cast<unsigned char>(ch);
        digest *= 1099511628211ull;
      }
  const vexa::RouterWalkFigures* slowest = nullptr;
  for (const auto& walk : cycle.LastFigures().walks)
    if (slowest == nullptr || walk.duration > slowest->duration) slowest = &walk;
  std::printf(
      "poll of %zu routers (%s): %lld addresses stored; total %.2f s, in the specified waits "
      "(walks included) %.2f s, outside them %.2f s; CPU of the collector %.2f s\n",
      routers.size(),
      security.version == vexa::snmp::Version::kV3   ? manager.UsmUserDescription().c_str()
      : security.version == vexa::snmp::Version::kV1 ? "SNMPv1"
                                                     : "SNMPv2c",
      static_cast<long long>(count.ColumnInt64(0)), total, waits, total - waits, cpu);
  std::printf("ParallelWalks %d; slowest walk %s %.2f s; ArpTable digest %016llx\n",
              c.settings.parallel_walks, slowest ? slowest->router.c_str() : "-",
              slowest ? static_cast<double>(slowest->duration.count()) / 1000 : 0.0,
              static_cast<unsigned long long>(digest));
  return 0;
}

int Export(const std::string& folder, bool concurrent) {
  vexa::SystemClock clock;
  Collector c(clock, folder);
  vexa::dns::CaresResolverOptions options = vexa::dns::ResolverOptionsFromEnvironment();
  if (!concurrent) options.max_in_flight = 1;
  vexa::dns::CaresReverseResolver resolver(c.loop, options);
  const vexa::LocalDateTime start_time{2024, 3, 5, 10, 0, 0};
  vexa::ArpExport exporter(c.ctx, resolver, start_time);
  const auto start = std::chrono::steady_clock::now();
  exporter.Run(true);
  const double total = Since(start);
  std::printf("export with %s lookups: %.2f s, of which %.2f s in the loop's waits\n",
              concurrent ? "concurrent" : "one-at-a-time", total,
              Seconds(c.loop.TimeInWaits()).count());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "merge") == 0) return Merge(argv[2], std::atoi(argv[3]));
  if (argc >= 4 && std::strcmp(argv[1], "poll") == 0)
    return Poll(argv[2], std::vector<std::string>(argv + 3, argv + argc));
  if (argc == 4 && std::strcmp(argv[1], "export") == 0)
    return Export(argv[2], std::strcmp(argv[3], "single") != 0);
  std::fprintf(stderr,
               "usage: collector_bench merge FOLDER ROWS | poll FOLDER ROUTER... | "
               "export FOLDER batch|single\n");
  return 2;
}
