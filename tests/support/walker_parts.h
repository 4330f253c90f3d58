// What every walk test sets up the same way: a folder with its Debug
// folder, settings with the community "public", a time-out of five seconds
// and two re-sends, the event log, the context, an SNMP manager open on a
// free port, and the walker. The clock is the test's: simulated for scripted
// agents, the system's for real ones. A test changes the settings it needs
// before it walks; one that needs a program folder with a database points
// `folder` and `db` at it (the parts hold them by reference).
//
//   class MyWalkTest : public ::testing::Test, protected test::WalkerParts<SimulatedClock> {
//    protected:
//     MyWalkTest() : WalkerParts(FromLocal({2024, 3, 5, 14, 3, 7})) { settings.retries = 0; }
//   };
#pragma once

#include <sys/stat.h>

#include <string>
#include <utility>

#include "arp/context.h"
#include "arp/event_log.h"
#include "arp/walk.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "settings/collector_settings.h"
#include "snmp/manager.h"
#include "support/test_folder.h"

namespace vexa::test {

template <typename ClockType>
struct WalkerParts {
  template <typename... ClockArgs>
  explicit WalkerParts(ClockArgs&&... clock_args) : clock(std::forward<ClockArgs>(clock_args)...) {
    ::mkdir((folder + "/Debug").c_str(), 0755);
    settings.community = "public";
    settings.timeout_seconds = 5;
    settings.retries = 2;
    manager.Open();
  }

  TempDir dir;
  std::string folder = dir.path();
  std::string db;
  ClockType clock;
  EventLoop loop{clock};
  CollectorSettings settings;
  EventLog log{loop, folder};
  CollectorContext ctx{loop, log, folder, db, settings};
  snmp::Manager manager{loop};
  ArpWalker walker{ctx, manager};
  WalkResult result;
};

}  // namespace vexa::test
