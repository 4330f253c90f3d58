// Figures for the address history, printed, never asserted.
//
//   history_bench FOLDER [VEXA_ARP]
//
// FOLDER is a fresh program folder (scripts/make-program-folder.sh). 25
// routers of 20000 rows each (500000 addresses) are merged per cycle, the
// waits on a simulated clock, so the times are the work outside the pauses
// (real seconds; the pauses themselves pass at once):
//   1. today's plain merge into ArpTable (HistoryDays 0), for comparison;
//   2. the same rows with the history on, over a history of 1000000
//      pairings (each address's current MAC and an older one), nothing
//      changed: the time, and the database's pages and records before and
//      after;
//   3. the same with 1% of the addresses answering with a new MAC.
// With VEXA_ARP (the vexa-arp binary) it also times `vexa-arp history` of one
// IP address and of one MAC address on that history, as a user runs it.
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "arp/address_query.h"
#include "arp/mac_format.h"
#include "arp/poll_cycle.h"
#include "arp/store.h"
#include "db/sqlite.h"
#include "platform/local_time.h"

namespace {

using Seconds = std::chrono::duration<double>;
constexpr int kRouters = 25;
constexpr int kRowsPerRouter = 20000;
constexpr int kChangeEvery = 100;  // 1% of the addresses change

std::string Ip(int router, int row) {
  return "10." + std::to_string(router) + "." + std::to_string(row >> 8) + "." +
         std::to_string(row & 255);
}
std::string Mac(int kind, int router, int row) {
  return vexa::FormatMac(std::string{'\x02', static_cast<char>(kind), '\x00',
                                     static_cast<char>(router), static_cast<char>(row >> 8),
                                     static_cast<char>(row)});
}

struct Bench {
  explicit Bench(const std::string& folder_path)
      : folder(folder_path), db(folder + "/VexaArp.mdb") {
    for (int r = 1; r <= kRouters; ++r)
      settings.router_list += (r > 1 ? "\r\n" : "") + ("192.0.2." + std::to_string(r));
    rows.resize(kRouters);
    for (int r = 0; r < kRouters; ++r)
      for (int i = 0; i < kRowsPerRouter; ++i) rows[r].push_back({Ip(r, i), Mac(0, r, i), 1, 3});
  }
  // One cycle; the real seconds it took (its pauses pass on the simulated
  // clock at once).
  double Cycle() {
    const auto start = std::chrono::steady_clock::now();
    cycle.Run();
    clock.Advance(std::chrono::minutes(5));
    return Seconds(std::chrono::steady_clock::now() - start).count();
  }
  long long Count(const std::string& sql) {
    vexa::Database d = vexa::Database::Open(db);
    vexa::Statement st = d.Prepare(sql);
    st.Step();
    return static_cast<long long>(st.ColumnInt64(0));
  }
  std::string Figures() {
    return std::to_string(Count("PRAGMA page_count")) + " pages, " +
           std::to_string(Count("SELECT count(*) FROM ArpHistory")) + " pairings, " +
           std::to_string(Count("SELECT count(*) FROM ArpEvent")) + " events";
  }

  std::string folder;
  std::string db;
  vexa::SimulatedClock clock{vexa::FromLocal({2026, 12, 9, 11, 0, 0})};
  vexa::EventLoop loop{clock};
  vexa::CollectorSettings settings;
  vexa::EventLog log{loop, folder};
  vexa::CollectorContext ctx{loop, log, folder, db, settings};
  std::vector<std::vector<vexa::ArpRow>> rows;
  vexa::ArpStore store{ctx};
  vexa::PollCycle cycle{ctx, store, [this](const std::string& router) {
                          vexa::WalkResult result;
                          result.rows = rows[std::stoi(router.substr(8)) - 1];
                          return result;
                        }};
};

// Each address's current pairing, and an older one last seen a month ago.
void FillHistory(Bench& b) {
  vexa::Database d = vexa::Database::Open(b.db);
  vexa::Transaction t(d);
  vexa::Statement insert = d.Prepare(
      "INSERT INTO ArpHistory (IpAddr, MacAddr, IpKey, Router, IfIndex, FirstSeen, LastSeen, "
      "Cycles, IsCurrent) VALUES (?1, ?2, ?3, ?4, 1, ?5, ?6, ?7, ?8)");
  const int64_t now =
      std::chrono::duration_cast<std::chrono::seconds>(b.clock.WallNow().time_since_epoch())
          .count();
  for (int r = 0; r < kRouters; ++r)
    for (int i = 0; i < kRowsPerRouter; ++i)
      for (int old = 0; old < 2; ++old) {
        const std::string ip = Ip(r, i);
        insert.Bind(1, ip)
            .Bind(2, Mac(old ? 4 : 0, r, i))
            .BindBlob(3, *vexa::IpKeyOf(ip))
            .Bind(4, "192.0.2." + std::to_string(r + 1))
            .Bind(5, now - 90 * 86400)
            .Bind(6, old ? now - 30 * 86400 : now - 300)
            .Bind(7, old ? 100 : 50)
            .Bind(8, old ? 0 : 1);
        insert.Step();
        insert.Reset();
      }
  t.Commit();
}

// The median of `runs` runs of the command, in milliseconds.
double MedianMs(const std::string& command, int runs) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
    ms.push_back(Seconds(std::chrono::steady_clock::now() - start).count() * 1000);
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: history_bench FOLDER [VEXA_ARP]\n");
    return 2;
  }
  Bench b(argv[1]);
  std::printf("%d routers x %d rows per cycle\n", kRouters, kRowsPerRouter);

  b.settings.history_days = 0;
  b.store.Clear();
  b.Cycle();
  std::printf("plain ArpTable merge (HistoryDays 0), known addresses: %.2f s\n", b.Cycle());

  b.settings.history_days = 400;
  const auto fill_start = std::chrono::steady_clock::now();
  FillHistory(b);
  std::printf("history filled: %s (%.1f s)\n", b.Figures().c_str(),
              Seconds(std::chrono::steady_clock::now() - fill_start).count());
  b.Count("PRAGMA wal_checkpoint(TRUNCATE)");
  const std::string before = b.Figures();
  const double unchanged = b.Cycle();
  b.Count("PRAGMA wal_checkpoint(TRUNCATE)");
  std::printf("cycle with history, nothing changed: %.2f s; before %s; after %s\n", unchanged,
              before.c_str(), b.Figures().c_str());

  for (int r = 0; r < kRouters; ++r)
    for (int i = 0; i < kRowsPerRouter; i += kChangeEvery) b.rows[r][i].mac_address = Mac(1, r, i);
  const long long events_before = b.Count("SELECT count(*) FROM ArpEvent");
  const double changed = b.Cycle();
  std::printf("cycle with history, 1%% of the addresses on a new MAC: %.2f s, %lld events\n",
              changed, b.Count("SELECT count(*) FROM ArpEvent") - events_before);

  if (argc >= 3) {
    const std::string cli = std::string(argv[2]) + " --folder " + argv[1] + " history ";
    std::printf("vexa-arp history of an IP address: %.1f ms (median of 21 runs)\n",
                MedianMs(cli + "10.12.40.7 >/dev/null", 21));
    std::printf("vexa-arp history of a MAC address: %.1f ms (median of 21 runs)\n",
                MedianMs(cli + "02:00:00:0c:28:07 >/dev/null", 21));
  }
  return 0;
}
