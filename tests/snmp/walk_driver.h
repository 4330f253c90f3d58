// A small walker over the SNMP manager, for tests and benchmarks of the SNMP
// layer on its own: chained get-next requests over one or more columns (one
// row per exchange, as the collector walks), re-sent after a time-out up to
// a number of retries, ending at the end of the first column, an error, a
// refusal of the agent or when the retries run out.
//
//   vexa::test::WalkRequest walk{.address = "127.0.12.1", .port = 161,
//                                .columns = {"1.3.6.1.2.1.1.9"},
//                                .version = vexa::snmp::Version::kV3};
//   vexa::test::WalkResult result = vexa::test::Walk(loop, manager, walk);
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "snmp/manager.h"

namespace vexa::test {

struct WalkRequest {
  std::string address{};
  int port = 161;
  std::vector<std::string> columns{};  // the subtrees walked side by side
  snmp::Version version = snmp::Version::kV2c;
  std::string community = "public";  // v1/v2c only
  std::chrono::milliseconds timeout{1000};
  int retries = 2;
  size_t max_rows = 1000000;
};

struct WalkResult {
  std::vector<std::vector<snmp::VarBind>> rows;  // one binding per column
  std::optional<snmp::Refusal> refusal;          // the agent refused a request
  int32_t error_status = 0;                      // the agent answered with an error
  bool timed_out = false;                        // retries ran out
  int resends = 0;                               // time-outs that sent again
};

// Walks the manager's agent; the manager must be open. Sets the manager's
// agent, response and refusal handlers.
WalkResult Walk(EventLoop& loop, snmp::Manager& manager, const WalkRequest& request);

}  // namespace vexa::test
