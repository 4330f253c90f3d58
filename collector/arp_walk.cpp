#include "arp_walk.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

#include "mac_format.h"
#include "platform/local_time.h"
#include "snmp_security_settings.h"
#include "text/printable.h"
#include "trace_file.h"

namespace vexa {

namespace {

// The request's name in the traces.
constexpr const char* kRequestName = "GetArpTable";
// The request traces name the PDU by its tag number: 33 get-next, 37 GETBULK.
constexpr const char* kGetNextTrace = " --> snmp_33\t";
constexpr const char* kGetBulkTrace = " --> snmp_37\t";
constexpr const char* kControlName = "snmpManager";

// Request identifiers run from 1 to 2147483647 and then start again at 1,
// so a collector that runs for months never runs out of them.
int32_t NextRequestId(int32_t id) {
  return id <= 0 || id == INT32_MAX ? 1 : id + 1;
}

// Whether a reply carrying `reply_id` answers a request sent before the one
// carrying `current` (a copy since sent again, or a duplicate). The order is
// that of the circle of identifiers: up to half of it behind `current` is
// earlier, so the test holds across the wrap. Identifiers never sent (zero,
// negative) are stale too.
bool IsEarlierRequestId(int32_t reply_id, int32_t current) {
  if (reply_id <= 0) return true;
  constexpr int64_t kIds = INT32_MAX;  // 1 .. 2147483647
  const int64_t behind = ((int64_t{current} - reply_id) % kIds + kIds) % kIds;
  return behind > 0 && behind < kIds / 2;
}

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

const snmp::VarBind& Binding(std::span<const snmp::VarBind> bindings, size_t n) {
  if (n < 1 || n > bindings.size())
    throw std::out_of_range("Subscript out of range: the response has " +
                            std::to_string(bindings.size()) + " bindings, binding " +
                            std::to_string(n) + " was asked for");
  return bindings[n - 1];
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

std::string OutcomeText(const WalkResult& result) {
  switch (result.outcome) {
    case WalkOutcome::kEndOfTable:
      return "end of table";
    case WalkOutcome::kNoAnswer:
      return "no answer";
    case WalkOutcome::kTimeLimit:
      return "time limit of " + std::to_string(ArpWalker::kWalkLimitSeconds) + " s";
    case WalkOutcome::kErrorStatus:
      return "error status " + std::to_string(result.error_status);
    case WalkOutcome::kNotIncreasing:
      return "reply not increasing";
    case WalkOutcome::kNoValue:
      return "row without a value";
    case WalkOutcome::kRowLimit:
      return "row limit of " + std::to_string(ArpRowBuffer::kCapacity);
    case WalkOutcome::kBadResponse:
      return "bad response: " + WithoutControlBytes(result.failure);
    case WalkOutcome::kRefused:
      return "refused: " + result.failure;
    case WalkOutcome::kStopped:
      return "stopped";
  }
  return "unknown";
}

ArpWalker::ArpWalker(const CollectorContext& ctx, snmp::Manager& manager)
    : ctx_(ctx), manager_(manager), reply_watch_(ctx.loop, [this] { OnReplyWatch(); }) {
  manager_.SetResponseHandler([this] { OnResponse(); });
  manager_.SetRefusalHandler([this](const snmp::Refusal& refusal) { OnRefusal(refusal); });
}

ArpWalker::~ArpWalker() {
  manager_.SetResponseHandler(nullptr);
  manager_.SetRefusalHandler(nullptr);
}

void ArpWalker::OpenEndpoint(const std::string& control_name) {
  if (control_name != kControlName) return;
  try {
    manager_.SetLocalPort(0);
    manager_.Open();
    ctx_.loop.WaitMs(1000);
    if (ctx_.settings.debug_mode)
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
    ctx_.log.LogEvent(kLogSourceCollector, "ServiceOpen", text, kLevelError);
  } catch (const std::exception& e) {
    ctx_.log.LogEvent(kLogSourceCollector, "ServiceOpen", e.what(), kLevelError);
  }
}

void ArpWalker::SetEnabled(bool enabled) {
  if (enabled && !enabled_) v1_bulk_noted_ = false;
  enabled_ = enabled;
  if (!enabled_ && busy_) End(WalkOutcome::kStopped);
}

WalkResult ArpWalker::Walk(const std::string& router) {
  if (busy_) throw std::logic_error("a walk is already running");
  try {
    Begin(router);
  } catch (const std::exception& e) {
    ctx_.log.LogEvent(kLogSourceCollector, "GetArpTable", e.what(), kLevelError);
  }
  // The walk runs in the handlers and is waited for in steps of 20 ms; the
  // reply watch ends it at the latest.
  do {
    try {
      ctx_.loop.WaitMs(20);
    } catch (const std::exception& e) {  // a handler let a failure through
      ctx_.log.LogEvent(kLogSourceCollector, "GetArpTable", e.what(), kLevelError);
    }
  } while (busy_);
  result_.rows = rows_.view();
  result_.duration = std::chrono::duration_cast<Millis>(ctx_.loop.clock().Now() - started_);
  return result_;
}

void ArpWalker::Begin(const std::string& router) {
  router_ = router;
  row_index_.clear();
  rows_.Clear();
  result_ = WalkResult{};
  table_ = ctx_.settings.neighbour_table == kNeighbourTablePhysical ? &kIpNetToPhysicalTable
                                                                    : &kIpNetToMediaTable;
  result_.table = table_;
  started_ = ctx_.loop.clock().Now();
  if (!enabled_) {
    result_.outcome = WalkOutcome::kStopped;
    return;
  }
  bulk_ = ctx_.settings.use_bulk && ctx_.settings.snmp_version != 1;
  bulk_answered_ = false;
  repetitions_ = std::clamp(ctx_.settings.max_repetitions, kMinRepetitions, kMaxRepetitions);
  if (ctx_.settings.use_bulk && !bulk_ && !v1_bulk_noted_) {
    v1_bulk_noted_ = true;
    ctx_.log.LogEvent(kLogSourceCollector, "GetArpTable",
                      "SNMPv1 has no GETBULK; the routers are walked with GET-NEXT", kLevelInfo);
    // The log's wait lets events run: the walker may have been switched off.
    started_ = ctx_.loop.clock().Now();
    if (!enabled_) {
      result_.outcome = WalkOutcome::kStopped;
      return;
    }
  }
  const int64_t now = ctx_.NowSeconds();
  walk_deadline_ = now + kWalkLimitSeconds;
  reply_deadline_ = now + ctx_.settings.timeout_seconds;
  busy_ = true;
  ArmReplyWatch();
  SendRequest();
}

void ArpWalker::End(WalkOutcome outcome) {
  busy_ = false;
  reply_watch_.Stop();
  result_.outcome = outcome;
}

void ArpWalker::SendRequest() {
  try {
    manager_.SetAgentAddress(router_);
    manager_.SetAgentPort(kAgentPort);
    snmp::Message& request = manager_.message();
    request.Reset();
    request.version = RequestVersion(ctx_.settings.snmp_version);
    request.pdu_type = snmp::pdu::kGetNextRequest;
    // SNMPv3 sends the user of the service start instead of a community, and
    // the trace names that user and its security level, never a password.
    const bool v3 = request.version == snmp::Version::kV3;
    if (!v3) request.community = ctx_.settings.community;
    request_id_ = NextRequestId(request_id_);
    request.request_id = request_id_;
    for (const char* column : table_->columns) request.AddBinding(column + row_index_);
    // No more rows than the buffer takes, and one past them to see the limit.
    const int32_t repetitions = static_cast<int32_t>(std::min<size_t>(
        static_cast<size_t>(repetitions_), ArpRowBuffer::kCapacity - rows_.size() + 1));
    if (bulk_) request.SetBulk(0, repetitions);
    if (ctx_.settings.debug_mode)
      AppendTrace(ctx_.Files().snmp,
                  FormatTimeOfDay(ctx_.LocalNow()) + (bulk_ ? kGetBulkTrace : kGetNextTrace) +
                      std::to_string(request_id_) + '\t' + router_ + '\t' +
                      (v3 ? manager_.UsmUserDescription() : ctx_.settings.community) + '\t' +
                      kRequestName + '\t' + table_->KeyColumn() + '\t' + row_index_ +
                      (bulk_ ? '\t' + std::to_string(repetitions) : std::string()) + "\r\n\r\n");
    reply_deadline_ = ctx_.NowSeconds() + ctx_.settings.timeout_seconds;
    ArmReplyWatch();
    manager_.Send();
  } catch (const std::exception& e) {
    ctx_.log.LogEvent(kLogSourceCollector, "SnmpSend", e.what(), kLevelError);
  }
}

// The watch fires at the first moment at which the time in whole seconds is
// later than the earlier deadline: where a check once a second finds the
// reply overdue, without that check's lag of up to a second.
void ArpWalker::ArmReplyWatch() {
  const int64_t first = std::min(walk_deadline_, reply_deadline_);
  SteadyTime due{std::chrono::seconds(first + 1)};
  const SteadyTime now = ctx_.loop.clock().Now();
  // A deadline that stands passed (a re-send that failed before it renewed
  // the deadline) is looked at again a second later.
  if (due <= now) due = now + std::chrono::seconds(1);
  reply_watch_.StartAt(due);
}

void ArpWalker::OnReplyWatch() {
  if (!busy_) return;
  const int64_t now = ctx_.NowSeconds();
  // The walk ends before its trace line is written, so a trace that cannot be
  // written never leaves a walk waiting.
  if (now > walk_deadline_) {
    End(WalkOutcome::kTimeLimit);
    WriteTimerTrace("TimeOut");
    return;
  }
  if (now > reply_deadline_) {
    if (result_.resends >= ctx_.settings.retries) {
      End(WalkOutcome::kNoAnswer);
      WriteTimerTrace("ReStop");
      ExplainSilenceAfterDiscovery();
      return;
    }
    ++result_.resends;
    WriteTimerTrace("ReSend");
    // The same row again under a new identifier; a late reply to the earlier
    // copy is then stale. An agent that has never answered GETBULK may not
    // know it: the re-send asks with get-next.
    if (busy_ && bulk_ && !bulk_answered_)
      FallBackToGetNext("no answer to GETBULK within " +
                        std::to_string(ctx_.settings.timeout_seconds) + " s");
    else if (busy_)
      SendRequest();
  }
  if (busy_ && !reply_watch_.Active()) ArmReplyWatch();
}

void ArpWalker::WriteTimerTrace(const char* event) {
  if (!ctx_.settings.debug_mode) return;
  try {
    AppendTrace(ctx_.Files().tim_res, FormatTimeOfDay(ctx_.LocalNow()) + '\t' + event + '\t' +
                                          std::to_string(request_id_) + '\t' + kRequestName +
                                          "\r\n");
  } catch (const std::exception& e) {
    ctx_.log.LogEvent(kLogSourceService, "timer2", e.what(), kLevelError);
  }
}

std::string ArpWalker::ResponseHeader(const std::string& failure) const {
  return FormatDateTime(ctx_.LocalNow()) + "\tsnmpManager_Response" + failure + "\r\n";
}

void ArpWalker::OnResponse() {
  try {
    HandleResponse();
  } catch (const std::exception& e) {
    ReportResponseFailure(e.what(), manager_.message().bindings);
  }
}

// The agent will not answer this user as configured (wrong password, unknown
// user, ...): asking again cannot help, so the walk ends and the operator
// learns why; the cycle goes on with the next router. Answers that fail
// authentication under our key carry no cause that may be trusted, so the
// line names the settings to check instead.
void ArpWalker::OnRefusal(const snmp::Refusal& refusal) {
  if (!busy_) return;
  const bool unverified = refusal.cause == snmp::ReportCause::kAuthenticationFailure;
  result_.failure = unverified ? "authentication failed (check V3AuthProtocol and V3AuthPassword)"
                               : refusal.Describe();
  End(WalkOutcome::kRefused);
  ctx_.log.LogEvent(kLogSourceCollector, kRequestName,
                    (unverified ? "SNMPv3 request to " : "SNMPv3 request refused by ") + router_ +
                        ": " + result_.failure,
                    kLevelError);
}

void ArpWalker::FallBackToGetNext(const std::string& why) {
  bulk_ = false;
  SendRequest();
  ctx_.log.LogEvent(kLogSourceCollector, kRequestName,
                    "GETBULK to " + router_ + ": " + why + "; the walk goes on with GET-NEXT",
                    kLevelInfo);
}

void ArpWalker::HandleResponse() {
  const snmp::Message& response = manager_.message();
  // A reply to an earlier copy of a re-sent request, a duplicate, or a reply
  // that comes after the walk has ended changes nothing.
  if (!busy_ || IsEarlierRequestId(response.request_id, request_id_)) return;
  const int32_t answered = request_id_;

  std::string nulls;
  for (const snmp::VarBind& b : response.bindings)
    if (b.type() == 0) nulls += b.oid + "\r\n";

  const bool debug = ctx_.settings.debug_mode;
  if (debug) {
    // An error answer to GETBULK (tooBig) may carry no binding at all.
    const std::string first =
        bulk_ && response.bindings.empty() ? "" : Binding(response.bindings, 1).oid;
    AppendTrace(ctx_.Files().snmp, FormatTimeOfDay(ctx_.LocalNow()) + " <-- snmp_Rx\t" +
                                       std::to_string(response.request_id) + '\t' + kRequestName +
                                       '\t' + first + '\t' + std::to_string(rows_.size()) +
                                       "\r\n\r\n");
    if (!nulls.empty())
      AppendTrace(ctx_.Files().snmp_null_values, ResponseHeader("") + nulls + "\r\n");
  }

  if (bulk_) return HandleBulkResponse(answered);

  if (response.error_status != 0) {
    if (FallBackToMediaTable()) return;
    result_.error_status = response.error_status;
    End(WalkOutcome::kErrorStatus);
    if (debug)
      AppendTrace(ctx_.Files().snmp_error,
                  ResponseHeader("") + "SNMP Request: " + kRequestName +
                      "\r\nSNMP Error: " + std::to_string(response.error_status) + "\r\n");
    return;
  }

  RowRead row;
  if (const auto end =
          ReadRow(response.bindings, table_->KeyColumn() + row_index_, rows_.size(), row)) {
    if (*end == WalkOutcome::kEndOfTable && FallBackToMediaTable()) return;
    return End(*end);
  }
  if (row.kind != PhysicalIndex::Kind::kAddress) {
    ++(row.kind == PhysicalIndex::Kind::kOtherType ? result_.skipped_other_type
                                                   : result_.skipped_bad_index);
    row_index_ = row.index;
    return SendRequest();
  }
  if (StoreRow(row, answered)) SendRequest();
}

bool ArpWalker::FallBackToMediaTable() {
  if (table_ != &kIpNetToPhysicalTable || !row_index_.empty()) return false;
  table_ = &kIpNetToMediaTable;
  result_.table = table_;
  SendRequest();
  return true;
}

std::optional<WalkOutcome> ArpWalker::ReadRow(std::span<const snmp::VarBind> columns,
                                              const std::string& after, size_t rows_before,
                                              RowRead& row) const {
  if (table_ == &kIpNetToPhysicalTable) return ReadPhysicalRow(columns, after, rows_before, row);
  // The row continues the table only while the agent moves forward inside the
  // ifIndex column with a value in every column.
  const snmp::VarBind& if_index = Binding(columns, 1);
  if (if_index.type() == 0 || !OidUnderColumn(if_index.oid, table_->KeyColumn()))
    return WalkOutcome::kEndOfTable;
  for (const snmp::VarBind& b : columns)
    if (b.type() == 0) return WalkOutcome::kNoValue;
  if (!OidComesAfter(if_index.oid, after)) return WalkOutcome::kNotIncreasing;
  if (rows_before >= ArpRowBuffer::kCapacity) return WalkOutcome::kRowLimit;

  // Every field is converted before the row is counted, so a counted row is
  // always whole.
  const snmp::VarBind& net_address = Binding(columns, 2);
  const snmp::VarBind& phys_address = Binding(columns, 3);
  row.if_index = ToNumber<int32_t>(if_index.value, "IfIndex");
  row.type = ToNumber<int16_t>(Binding(columns, 4).value, "Type");
  // Only an IpAddress value is an address: other text could carry tabs or
  // line ends into the store and the export.
  if (net_address.syntax != snmp::syntax::kIpAddress)
    throw std::invalid_argument("Type mismatch: the net address is not an IpAddress value");
  row.ip_address = net_address.value;
  row.phys_address = phys_address.value;
  row.index = "." + if_index.value + "." + net_address.value;
  return std::nullopt;
}

void ArpWalker::HandleBulkResponse(int32_t answered) {
  const snmp::Message& response = manager_.message();
  if (response.error_status == snmp::error_status::kTooBig && repetitions_ > 1) {
    repetitions_ /= 2;
    SendRequest();
    return;
  }
  if (response.error_status != snmp::error_status::kNoError)
    return FallBackToGetNext("error status " + std::to_string(response.error_status));
  bulk_answered_ = true;
  // The bindings come row by row, each row the four columns in request order;
  // an agent that cuts its response to fit may end it inside a row, which is
  // then asked for again.
  const std::span<const snmp::VarBind> bindings = response.bindings;
  const size_t row_width = table_->columns.size();
  const size_t whole_rows = bindings.size() / row_width;
  if (whole_rows == 0) return FallBackToGetNext("an answer without a whole row");

  // Every row is read out of the message before any is stored: storing may
  // wait, and a re-send due meanwhile rebuilds the message as its request.
  std::optional<WalkOutcome> end;
  std::optional<std::string> failure;
  std::vector<snmp::VarBind> failed_bindings;
  size_t rows_read = 0;
  try {
    for (size_t i = 0; i < whole_rows && !end; ++i) {
      if (bulk_rows_.size() == rows_read) bulk_rows_.emplace_back();
      RowRead& row = bulk_rows_[rows_read];
      row.kind = PhysicalIndex::Kind::kAddress;
      const std::string after =
          table_->KeyColumn() + (rows_read == 0 ? row_index_ : bulk_rows_[rows_read - 1].index);
      end =
          ReadRow(bindings.subspan(i * row_width, row_width), after, rows_.size() + rows_read, row);
      if (!end) ++rows_read;
    }
  } catch (const std::exception& e) {
    failure = e.what();
    failed_bindings.assign(bindings.begin(), bindings.end());
  }

  for (size_t i = 0; i < rows_read; ++i) {
    const RowRead& row = bulk_rows_[i];
    if (row.kind == PhysicalIndex::Kind::kAddress) {
      if (!StoreRow(row, answered)) return;
      continue;
    }
    ++(row.kind == PhysicalIndex::Kind::kOtherType ? result_.skipped_other_type
                                                   : result_.skipped_bad_index);
    row_index_ = row.index;
  }
  if (failure) return ReportResponseFailure(*failure, failed_bindings);
  if (end && *end == WalkOutcome::kEndOfTable && FallBackToMediaTable()) return;
  if (end) return End(*end);
  SendRequest();
}

bool ArpWalker::StoreRow(const RowRead& read, int32_t answered) {
  std::string mac = MacText(read.phys_address, ctx_.log);
  // The MAC conversion's log line waits, and events run meanwhile: a copy of
  // the response may have taken the row, or a stop ended the walk.
  if (!busy_ || request_id_ != answered) return false;
  ArpRow& row = rows_.Append();
  row.ip_address.assign(read.ip_address);
  row.mac_address.assign(mac);
  row.if_index = read.if_index;
  row.type = read.type;
  row_index_ = read.index;
  if (on_progress_) on_progress_(rows_.size());
  return true;
}

void ArpWalker::ReportResponseFailure(const std::string& description,
                                      std::span<const snmp::VarBind> bindings) {
  if (ctx_.settings.debug_mode) {
    // The description may quote the agent's values; neither may split a line.
    std::string text = ResponseHeader(WithoutControlBytes(description));
    for (const snmp::VarBind& b : bindings)
      text += "OID:   " + b.oid + "\r\nType:  " + std::to_string(b.type()) +
              "\r\nValue: " + WithoutControlBytes(b.value) + "\r\n\r\n";
    text += "\r\n";
    AppendToFile(ctx_.Files().app_event2, text);  // nowhere to report a failure of this
  }
  if (busy_) {
    result_.failure = description;
    End(WalkOutcome::kBadResponse);
  }
}

// An SNMPv3 agent that answers discovery but not one request reads nothing
// we send it: the keys or the context are not what it holds for the user. A
// plain silence (a router that is down) stays without a line.
void ArpWalker::ExplainSilenceAfterDiscovery() {
  if (RequestVersion(ctx_.settings.snmp_version) != snmp::Version::kV3 ||
      !manager_.UsmAnsweredOnlyDiscovery(router_, kAgentPort))
    return;
  result_.failure =
      "the agent answered discovery but no authenticated request (check V3PrivProtocol and "
      "V3PrivPassword, or V3Context)";
  ctx_.log.LogEvent(kLogSourceCollector, kRequestName,
                    "SNMPv3 request to " + router_ + ": no answer; " + result_.failure,
                    kLevelError);
}

}  // namespace vexa
