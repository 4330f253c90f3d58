// The walk of one router's ARP table (ipNetToMediaTable) by chained
// get-next requests, one row per exchange. GetArpTable() starts the walk and
// waits; each accepted response stores a row and asks for the next one from
// inside snmpManager_Response(); the reply-watch tick timer2_Timer() asks for
// re-sends of overdue requests and gives up walks that stall.
#pragma once

#include <cstdint>
#include <string>

#include "collector_context.h"
#include "snmp/manager.h"
#include "walk_data.h"

namespace vexa {

class ArpWalk {
 public:
  static constexpr int kWalkLimitSeconds = 600;
  static constexpr int kAgentPort = 161;

  ArpWalk(const CollectorContext& ctx, WalkData& walk, snmp::Manager& manager);

  // Opens the SNMP endpoint once, for the control name "snmpManager" only.
  void ServiceOpen(const std::string& control_name);

  // Walks the router in CurrentRouter; returns when the walk has ended.
  void GetArpTable();
  // Sends the get-next request for ColumnOids 1..count followed by RowIndex.
  void SnmpSend(int16_t count);
  // Handles the response the manager has placed in its message object.
  void snmpManager_Response();
  // The reply-watch tick (every second while the service runs).
  void timer2_Timer();

 private:
  void HandleResponse();
  void ReportResponseFailure(const std::string& description);
  void WriteTimerTrace(const char* event);
  std::string ResponseHeader(const std::string& failure) const;

  const CollectorContext& ctx_;
  WalkData& walk_;
  snmp::Manager& manager_;
};

// Whether `oid` lies strictly after `after` in the MIB's order (arc by arc).
// Texts that are not dotted decimal identifiers compare as "not after".
bool OidComesAfter(const std::string& oid, const std::string& after);
// Whether `oid` is an instance under the column `column` (arc-wise prefix).
bool OidUnderColumn(const std::string& oid, const std::string& column);

}  // namespace vexa
