#include "walk_driver.h"

#include <algorithm>
#include <charconv>

namespace vexa::test {

namespace {

std::vector<uint32_t> Arcs(const std::string& oid) {
  std::vector<uint32_t> arcs;
  const char* p = oid.data();
  const char* end = p + oid.size();
  while (p < end) {
    uint32_t arc = 0;
    const auto [next, ec] = std::from_chars(p, end, arc);
    if (ec != std::errc()) return {};
    arcs.push_back(arc);
    p = next + (next < end ? 1 : 0);
  }
  return arcs;
}

bool Under(const std::vector<uint32_t>& oid, const std::vector<uint32_t>& root) {
  return oid.size() > root.size() && std::equal(root.begin(), root.end(), oid.begin());
}

}  // namespace

WalkResult Walk(EventLoop& loop, snmp::Manager& manager, const WalkRequest& walk) {
  WalkResult result;
  std::vector<std::string> next = walk.columns;
  const std::vector<uint32_t> root = Arcs(walk.columns.at(0));
  std::vector<uint32_t> last = root;
  int32_t request_id = 0;
  int retries_left = walk.retries;
  bool busy = true;
  SteadyTime deadline{};

  const auto send = [&] {
    snmp::Message& m = manager.message();
    m.Reset();
    m.version = walk.version;
    if (walk.version != snmp::Version::kV3) m.community = walk.community;
    m.pdu_type = snmp::pdu::kGetNextRequest;
    m.request_id = ++request_id;
    for (const std::string& oid : next) m.AddBinding(oid);
    deadline = loop.clock().Now() + walk.timeout;
    manager.Send();
  };

  manager.SetAgentAddress(walk.address);
  manager.SetAgentPort(walk.port);
  manager.SetResponseHandler([&] {
    const snmp::Message& reply = manager.message();
    if (!busy || reply.request_id != request_id) return;  // a late copy
    busy = false;
    if (reply.error_status != 0) {
      result.error_status = reply.error_status;
      return;
    }
    if (reply.bindings.size() != next.size() || !reply.bindings[0].HasValue()) return;
    // The walk ends where the first column ends, and where an agent fails to
    // move forward.
    std::vector<uint32_t> first = Arcs(reply.bindings[0].oid);
    if (!Under(first, root) || !(last < first)) return;
    last = std::move(first);
    result.rows.push_back(reply.bindings);
    for (size_t i = 0; i < next.size(); ++i) next[i] = reply.bindings[i].oid;
    if (result.rows.size() >= walk.max_rows) return;
    retries_left = walk.retries;
    busy = true;
    send();
  });
  manager.SetRefusalHandler([&](const snmp::Refusal& refusal) {
    result.refusal = refusal;
    busy = false;
  });

  send();
  while (busy) {
    loop.WaitMs(10);
    if (busy && loop.clock().Now() > deadline) {
      if (retries_left-- > 0) {
        ++result.resends;
        send();
      } else {
        result.timed_out = true;
        busy = false;
      }
    }
  }
  manager.SetResponseHandler({});
  manager.SetRefusalHandler({});
  return result;
}

}  // namespace vexa::test
