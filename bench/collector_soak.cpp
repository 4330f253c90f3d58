// The collector's work left alone for weeks, on a simulated clock: the ARP
// engine's poll cycle (walk with its reply watch, merge, event log, traces)
// polls a scripted agent of ROWS rows every 300 seconds for DAYS simulated
// days, as the service's poll timer runs it.
// Prints, at the start (after the first poll) and after every simulated
// day, the resident memory, the open file descriptors, the size of the event
// log and of the Debug folder, and how the walks went. Needs root (the agent
// listens on port 161 of 127.0.9.2).
//
//   collector_soak FOLDER [DAYS] [ROWS] [debug]    (default 30 days, 50 rows)
//
// With "debug" the trace files are written too (DebugMode 1).
//
// FOLDER is a program folder (scripts/make-program-folder.sh); bench/soak.sh
// makes one and runs this.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "arp/context.h"
#include "arp/event_log.h"
#include "arp/poll_cycle.h"
#include "arp/store.h"
#include "arp/walk.h"
#include "db/sqlite.h"
#include "platform/local_time.h"
#include "settings/collector_settings.h"
#include "snmp/manager.h"
#include "support/scripted_agent.h"

namespace {

constexpr const char* kAgent = "127.0.9.2";

long ResidentKiB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

int OpenDescriptors() {
  int count = -1;  // the directory's own descriptor
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(dir))
      if (entry->d_name[0] != '.') ++count;
    ::closedir(dir);
  }
  return count;
}

long long FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

long long FolderSize(const std::string& folder) {
  long long total = 0;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir))
      if (entry->d_name[0] != '.') total += FileSize(folder + "/" + entry->d_name);
    ::closedir(dir);
  }
  return total;
}

int CountLines(const std::string& path) {
  int lines = 0;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    for (int c; (c = std::fgetc(f)) != EOF;) lines += c == '\n';
    std::fclose(f);
  }
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: collector_soak FOLDER [DAYS] [ROWS] [debug]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const int days = argc > 2 ? std::atoi(argv[2]) : 30;
  const int rows = argc > 3 ? std::atoi(argv[3]) : 50;
  const bool debug = argc > 4 && std::string(argv[4]) == "debug";
  {
    vexa::Database db = vexa::Database::Open(folder + "/VexaArp.mdb");
    db.Exec(std::string("UPDATE Settings_General SET RouterList = '") + kAgent +
            "', CheckInterval = 300, StopTime = '2099-01-01 00:00', DebugMode = " +
            (debug ? "1" : "0"));
  }

  vexa::SimulatedClock clock(vexa::FromLocal({2024, 3, 5, 10, 59, 0}));
  vexa::EventLoop loop(clock);
  vexa::test::ScriptedAgent agent(loop, kAgent);
  agent.rows = vexa::test::MakeRows(rows);
  const std::string database = folder + "/VexaArp.mdb";
  vexa::CollectorSettings settings;
  vexa::LoadCollectorSettings(database, settings);
  vexa::EventLog event_log(loop, folder);
  vexa::TraceReporter trace_failures(loop, event_log);
  const vexa::CollectorContext ctx{loop, event_log, folder, database, settings, &trace_failures};
  vexa::snmp::Manager manager(loop);
  vexa::ArpWalker walker(ctx, manager);
  walker.OpenEndpoint("snmpManager");
  vexa::ArpStore store(ctx);
  store.Clear();
  vexa::PollCycle cycle(ctx, store, [&](const std::string& router) { return walker.Walk(router); });
  // The first poll at 11:00, then one every CheckInterval, as the poll timer
  // starts them.
  vexa::PeriodicTimer poll(loop, std::chrono::seconds(settings.check_interval_seconds),
                           [&] { cycle.Run(); });
  while (clock.WallNow() < vexa::FromLocal({2024, 3, 5, 11, 0, 0}))
    loop.RunFor(
        std::chrono::ceil<vexa::Millis>(vexa::FromLocal({2024, 3, 5, 11, 0, 0}) - clock.WallNow()));
  cycle.Run();
  poll.SetEnabled(true);

  const std::string app_event = folder + "/Debug/AppEvent.txt";
  const auto started = std::chrono::steady_clock::now();
  // The agent keeps what it receives; the count is kept here instead, so the
  // agent's memory does not hide the collector's.
  size_t requests = 0;
  const auto run_until = [&](vexa::WallTime until) {
    while (clock.WallNow() < until) {
      loop.RunFor(std::chrono::ceil<vexa::Millis>(until - clock.WallNow()));
      requests += agent.requests.size();
      agent.requests.clear();
    }
  };
  const auto report = [&](const char* when) {
    vexa::Database db = vexa::Database::Open(folder + "/VexaArp.mdb", /*read_only=*/true);
    vexa::Statement st =
        db.Prepare("SELECT count(*), min(SeenTimes), max(SeenTimes) FROM ArpTable");
    st.Step();
    std::printf(
        "%-10s %s  resident %6ld KiB  fds %3d  AppEvent.txt %6lld B (%d lines)  "
        "Debug %7lld B  requests %8zu  answered %8llu  stored %lld seen %lld..%lld  "
        "real %.1f s\n",
        when, vexa::FormatDateTime(vexa::ToLocal(clock.WallNow())).c_str(), ResidentKiB(),
        OpenDescriptors(), FileSize(app_event), CountLines(app_event),
        FolderSize(folder + "/Debug"), requests,
        static_cast<unsigned long long>(manager.ResponsesAccepted()),
        static_cast<long long>(st.ColumnInt64(0)), static_cast<long long>(st.ColumnInt64(1)),
        static_cast<long long>(st.ColumnInt64(2)),
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    std::fflush(stdout);
  };

  // The first poll runs at the first tick of 11:00; "start" is just after it.
  const vexa::WallTime begin = vexa::FromLocal({2024, 3, 5, 11, 1, 0});
  run_until(begin);
  report("start");
  for (int day = 1; day <= days; ++day) {
    run_until(begin + std::chrono::hours(24) * day);
    report(("day " + std::to_string(day)).c_str());
  }
  const int polls = 1 + days * 24 * 3600 / 300;
  const std::string log = [&] {
    std::string text;
    if (FILE* f = std::fopen(app_event.c_str(), "rb")) {
      for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
      std::fclose(f);
    }
    return text;
  }();
  std::printf("polls expected %d, requests expected %d (rows + 1 per poll); event log:\n%s", polls,
              polls * (rows + 1), log.c_str());
  return 0;
}
