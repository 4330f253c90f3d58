#include "arp_walk.h"

#include <charconv>
#include <limits>
#include <stdexcept>
#include <vector>

#include "collector_form.h"
#include "mac_format.h"
#include "platform/local_time.h"
#include "text/printable.h"
#include "trace_file.h"

namespace vexa {

namespace {

constexpr const char* kControlName = "snmpManager";

// Dotted decimal arcs; false for anything else.
bool ParseOid(const std::string& text, std::vector<uint32_t>& arcs) {
  arcs.clear();
  const char* p = text.data();
  const char* end = p + text.size();
  if (p == end) return false;
  while (p < end) {
    uint32_t arc = 0;
    const auto [next, ec] = std::from_chars(p, end, arc);
    if (ec != std::errc() || next == p) return false;
    arcs.push_back(arc);
    p = next;
    if (p == end) break;
    if (*p != '.' || p + 1 == end) return false;
    ++p;
  }
  return true;
}

// A whole decimal number in range, as the conversions of the row fields
// demand; anything else is a type mismatch or an overflow.
template <typename T>
T ToNumber(const std::string& text, const char* field) {
  int64_t value = 0;
  const auto [next, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range ||
      (ec == std::errc() &&
       (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max())))
    throw std::range_error(std::string("Overflow: ") + field + " '" + text + "'");
  if (ec != std::errc() || next != text.data() + text.size() || text.empty())
    throw std::invalid_argument(std::string("Type mismatch: ") + field + " '" + text +
                                "' is not a number");
  return static_cast<T>(value);
}

const snmp::VarBind& Binding(const snmp::Message& m, size_t n) {
  if (n < 1 || n > m.bindings.size())
    throw std::out_of_range("Subscript out of range: the response has " +
                            std::to_string(m.bindings.size()) + " bindings, binding " +
                            std::to_string(n) + " was asked for");
  return m.bindings[n - 1];
}

}  // namespace

bool OidComesAfter(const std::string& oid, const std::string& after) {
  std::vector<uint32_t> a, b;
  if (!ParseOid(oid, a) || !ParseOid(after, b)) return false;
  return b < a;
}

bool OidUnderColumn(const std::string& oid, const std::string& column) {
  std::vector<uint32_t> a, c;
  if (!ParseOid(oid, a) || !ParseOid(column, c)) return false;
  return a.size() > c.size() && std::equal(c.begin(), c.end(), a.begin());
}

ArpWalk::ArpWalk(const CollectorContext& ctx, WalkData& walk, snmp::Manager& manager)
    : ctx_(ctx), walk_(walk), manager_(manager) {
  manager_.SetResponseHandler([this] { snmpManager_Response(); });
}

void ArpWalk::ServiceOpen(const std::string& control_name) {
  if (control_name != kControlName) return;
  try {
    manager_.SetLocalPort(0);
    manager_.Open();
    ctx_.loop.WaitMs(1000);
    if (ctx_.Settings.DebugMode)
      AppendTrace(ctx_.Files().services,
                  "############ SNMP Manager Started ###########\r\n"
                  "IP Address:    " +
                      manager_.LocalAddress() +
                      "\r\n"
                      "Port:          " +
                      std::to_string(manager_.LocalPort()) + "\r\n\r\n");
  } catch (const snmp::Error& e) {
    const std::string text = e.number() == snmp::kErrorPortInUse ? "SNMP Manager Port was in use"
                             : e.number() == snmp::kErrorAddressNotAvailable
                                 ? "SNMP Manager IP Address is not valid"
                                 : e.what();
    ctx_.log.LogEvent(kModuleName, "ServiceOpen", text, kLevelError);
  } catch (const std::exception& e) {
    ctx_.log.LogEvent(kModuleName, "ServiceOpen", e.what(), kLevelError);
  }
}

void ArpWalk::GetArpTable() {
  SnmpMessRecord& mess = walk_.SnmpMess;
  try {
    walk_.RowIndex.clear();
    walk_.ColumnOids[0] = kColumnIfIndex;
    walk_.ColumnOids[1] = kColumnNetAddress;
    walk_.ColumnOids[2] = kColumnPhysAddress;
    walk_.ColumnOids[3] = kColumnType;
    mess.tmpRow = 0;
    mess.RequestName = kRequestGetArpTable;
    const int64_t now = ctx_.NowSeconds();
    mess.WalkDeadline = now + kWalkLimitSeconds;
    mess.ReplyDeadline = now + ctx_.Settings.TimeOut;
    mess.RetryCount = 0;
    mess.ResendDue = false;
    mess.Busy = true;
    SnmpSend(4);
    do {
      ctx_.loop.WaitMs(20);
      if (mess.ResendDue) {
        mess.RequestName = kRequestGetArpTable;
        mess.ResendDue = false;
        SnmpSend(4);
      }
    } while (mess.Busy);
  } catch (const std::exception& e) {
    ctx_.log.LogEvent(kModuleName, "GetArpTable", e.what(), kLevelError);
  }
}

void ArpWalk::SnmpSend(int16_t count) {
  SnmpMessRecord& mess = walk_.SnmpMess;
  try {
    manager_.SetAgentAddress(walk_.CurrentRouter);
    manager_.SetAgentPort(kAgentPort);
    snmp::Message& request = manager_.message();
    request.Reset();
    request.version = snmp::Version::kV2c;
    request.pdu_type = snmp::pdu::kGetNextRequest;
    request.community = ctx_.Settings.GetComm;
    mess.RequestId = NextRequestId(mess.RequestId);
    request.request_id = mess.RequestId;
    for (int i = 1; i <= count; ++i) {
      if (i > static_cast<int>(walk_.ColumnOids.size()))
        throw std::out_of_range("Subscript out of range: column " + std::to_string(i));
      request.AddBinding(walk_.ColumnOids[static_cast<size_t>(i - 1)] + walk_.RowIndex);
    }
    if (ctx_.Settings.DebugMode)
      AppendTrace(ctx_.Files().snmp, FormatTimeOfDay(ctx_.LocalNow()) + " --> snmp_33\t" +
                                         std::to_string(mess.RequestId) + '\t' +
                                         walk_.CurrentRouter + '\t' + ctx_.Settings.GetComm + '\t' +
                                         mess.RequestName + '\t' + walk_.ColumnOids[0] + '\t' +
                                         walk_.RowIndex + "\r\n\r\n");
    mess.ReplyDeadline = ctx_.NowSeconds() + ctx_.Settings.TimeOut;
    manager_.Send();
  } catch (const std::exception& e) {
    ctx_.log.LogEvent(kModuleName, "SnmpSend", e.what(), kLevelError);
  }
}

std::string ArpWalk::ResponseHeader(const std::string& failure) const {
  return FormatDateTime(ctx_.LocalNow()) + "\tsnmpManager_Response" + failure + "\r\n";
}

void ArpWalk::snmpManager_Response() {
  try {
    HandleResponse();
  } catch (const std::exception& e) {
    ReportResponseFailure(e.what());
  }
}

void ArpWalk::HandleResponse() {
  SnmpMessRecord& mess = walk_.SnmpMess;
  const snmp::Message& response = manager_.message();
  // A reply to an earlier copy of a re-sent request, a duplicate, or a reply
  // that comes after the walk has already ended changes nothing.
  if (IsEarlierRequestId(response.request_id, mess.RequestId) || !mess.Busy) return;

  std::string nulls;
  for (const snmp::VarBind& b : response.bindings)
    if (b.type() == 0) nulls += b.oid + "\r\n";
  const bool null_seen = !nulls.empty();

  const bool debug = ctx_.Settings.DebugMode;
  if (debug) {
    AppendTrace(ctx_.Files().snmp, FormatTimeOfDay(ctx_.LocalNow()) + " <-- snmp_Rx\t" +
                                       std::to_string(response.request_id) + '\t' +
                                       mess.RequestName + '\t' + Binding(response, 1).oid + '\t' +
                                       std::to_string(mess.tmpRow) + "\r\n\r\n");
    if (null_seen) AppendTrace(ctx_.Files().snmp_null_values, ResponseHeader("") + nulls + "\r\n");
  }

  if (response.error_status != 0) {
    mess.Busy = false;
    if (debug)
      AppendTrace(ctx_.Files().snmp_error,
                  ResponseHeader("") + "SNMP Request: " + mess.RequestName +
                      "\r\nSNMP Error: " + std::to_string(response.error_status) + "\r\n");
    return;
  }
  if (mess.RequestName != kRequestGetArpTable) return;

  // The row continues the table only while the agent moves forward inside the
  // ifIndex column; an agent that repeats or goes backwards ends the walk the
  // way the end of the column does.
  const std::string& first = Binding(response, 1).oid;
  const std::string requested = walk_.ColumnOids[0] + walk_.RowIndex;
  const bool continues = OidUnderColumn(first, walk_.ColumnOids[0]) &&
                         mess.tmpRow < ArpRowBuffer::kCapacity && !null_seen &&
                         OidComesAfter(first, requested);
  if (!continues) {
    mess.Busy = false;
    return;
  }

  // Every field is converted before the row is counted, so a counted row is
  // always whole.
  const snmp::VarBind& if_index = Binding(response, 1);
  const snmp::VarBind& net_address = Binding(response, 2);
  const snmp::VarBind& phys_address = Binding(response, 3);
  const snmp::VarBind& type = Binding(response, 4);
  const auto if_index_value = ToNumber<int32_t>(if_index.value, "IfIndex");
  const auto type_value = ToNumber<int16_t>(type.value, "Type");
  // Only an IpAddress value is an address: other text could carry tabs or
  // line ends into the store and the export.
  if (net_address.syntax != snmp::syntax::kIpAddress)
    throw std::invalid_argument("Type mismatch: the net address is not an IpAddress value");
  std::string mac = phys_address.value;
  ConvToMac(mac, ctx_.log);

  const int position = ++mess.tmpRow;
  walk_.RowIndex = "." + if_index.value + "." + net_address.value;
  ArpRow& row = walk_.ArpRows[position];
  row.IpAddress = net_address.value;
  row.MacAddress = std::move(mac);
  row.IfIndex = if_index_value;
  row.Type = type_value;
  SnmpSend(4);
}

void ArpWalk::ReportResponseFailure(const std::string& description) {
  if (ctx_.Settings.DebugMode) {
    // The description may quote the agent's values; neither may split a line.
    std::string text = ResponseHeader(WithoutControlBytes(description));
    for (const snmp::VarBind& b : manager_.message().bindings)
      text += "OID:   " + b.oid + "\r\nType:  " + std::to_string(b.type()) +
              "\r\nValue: " + WithoutControlBytes(b.value) + "\r\n\r\n";
    text += "\r\n";
    AppendToFile(ctx_.Files().app_event2, text);  // nowhere to report a failure of this
  }
  walk_.SnmpMess.Busy = false;
}

void ArpWalk::timer2_Timer() {
  SnmpMessRecord& mess = walk_.SnmpMess;
  if (!mess.Busy) return;
  const int64_t now = ctx_.NowSeconds();
  // The decision takes effect before its trace line is written, so a trace
  // that cannot be written never leaves a walk waiting for ever.
  const char* event = nullptr;
  if (now > mess.WalkDeadline) {
    mess.Busy = false;
    event = "TimeOut";
  } else if (now > mess.ReplyDeadline) {
    if (mess.RetryCount < ctx_.Settings.Retries) {
      ++mess.RetryCount;
      mess.ResendDue = true;
      event = "ReSend";
    } else {
      mess.Busy = false;
      event = "ReStop";
    }
  }
  if (event != nullptr && ctx_.Settings.DebugMode) WriteTimerTrace(event);
}

void ArpWalk::WriteTimerTrace(const char* event) {
  const SnmpMessRecord& mess = walk_.SnmpMess;
  try {
    AppendTrace(ctx_.Files().tim_res, FormatTimeOfDay(ctx_.LocalNow()) + '\t' + event + '\t' +
                                          std::to_string(mess.RequestId) + '\t' + mess.RequestName +
                                          "\r\n");
  } catch (const std::exception& e) {
    ctx_.log.LogEvent(kFormName, "timer2", e.what(), kLevelError);
  }
}

}  // namespace vexa
