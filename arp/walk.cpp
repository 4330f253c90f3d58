#include "arp/walk.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>
#include <vector>

#include "arp/mac_format.h"
#include "arp/snmp_security_settings.h"
#include "arp/trace_file.h"
#include "platform/local_time.h"
#include "text/printable.h"

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

}  // namespace

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
  manager_.SetResponseHandler([this] { OnResponse(std::as_const(manager_).message()); });
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
      ctx_.AppendTrace(ctx_.Files().services,
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
  if (enabled && !enabled_) notes_->v1_bulk_noted = false;
  enabled_ = enabled;
  if (!enabled_ && busy_) End(WalkOutcome::kStopped);
}

WalkResult ArpWalker::Walk(const std::string& router) {
  Start(router, nullptr);
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

void ArpWalker::Start(const std::string& router, DoneFn on_done) {
  if (busy_) throw std::logic_error("a walk is already running");
  // Set before the walk begins: a failure logged while it begins waits, and
  // the walk may end in that wait.
  on_done_ = std::move(on_done);
  try {
    Begin(router);
  } catch (const std::exception& e) {
    ctx_.log.LogEvent(kLogSourceCollector, "GetArpTable", e.what(), kLevelError);
  }
  if (!busy_ && on_done_) {  // it never got going (a stop, a bad address)
    result_.rows = rows_.view();
    result_.duration = std::chrono::duration_cast<Millis>(ctx_.loop.clock().Now() - started_);
    ctx_.loop.Post(std::exchange(on_done_, nullptr));
  }
}

void ArpWalker::Begin(const std::string& router) {
  router_ = router;
  row_index_.clear();
  rows_.Clear();
  result_ = WalkResult{};
  table_ = ctx_.settings.neighbour_table == kNeighbourTablePhysical ? &kIpNetToPhysicalTable
                                                                    : &kIpNetToMediaTable;
  result_.table = table_;
  physical_rows_ = 0;
  physical_ipv4_ = false;
  started_ = ctx_.loop.clock().Now();
  if (!enabled_) {
    result_.outcome = WalkOutcome::kStopped;
    return;
  }
  bulk_ = ctx_.settings.use_bulk && ctx_.settings.snmp_version != 1;
  bulk_answers_ = BulkAnswers::kUnknown;
  repetitions_ = std::clamp(ctx_.settings.max_repetitions, kMinRepetitions, kMaxRepetitions);
  if (ctx_.settings.use_bulk && !bulk_ && !notes_->v1_bulk_noted) {
    notes_->v1_bulk_noted = true;
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
  // The address is checked by the first send, once for the walk.
  manager_.SetAgentAddress(router_);
  manager_.SetAgentPort(kAgentPort);
  busy_ = true;
  ArmReplyWatch();
  SendRequest();
}

void ArpWalker::End(WalkOutcome outcome) {
  busy_ = false;
  ++token_;
  reply_watch_.Stop();
  result_.outcome = outcome;
  if (on_done_) {
    result_.rows = rows_.view();
    result_.duration = std::chrono::duration_cast<Millis>(ctx_.loop.clock().Now() - started_);
    ctx_.loop.Post(std::exchange(on_done_, nullptr));
  }
}

void ArpWalker::Send(bool bulk) {
  ++token_;
  sent_bulk_ = bulk;
  try {
    const EventLoop::NoWaitScope no_wait(ctx_.loop);
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
    if (bulk) request.SetBulk(0, repetitions);
    if (ctx_.settings.debug_mode)
      ctx_.AppendTrace(ctx_.Files().snmp,
                       FormatTimeOfDay(ctx_.LocalNow()) + (bulk ? kGetBulkTrace : kGetNextTrace) +
                           std::to_string(request_id_) + '\t' + router_ + '\t' +
                           (v3 ? manager_.UsmUserDescription() : ctx_.settings.community) + '\t' +
                           kRequestName + '\t' + table_->KeyColumn() + '\t' + row_index_ +
                           (bulk ? '\t' + std::to_string(repetitions) : std::string()) +
                           "\r\n\r\n");
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
    // Whether an agent answers GETBULK at all is found out without using the
    // retries: a GETBULK that no GETBULK of the walk has been answered before
    // is asked again by get-next, and a GETBULK unanswered after get-next was
    // answered turns the walk to get-next. Only then do the retries count.
    const bool probe = bulk_ && bulk_answers_ == BulkAnswers::kUnknown;
    const bool decided = bulk_ && bulk_answers_ == BulkAnswers::kProbed;
    if (!probe && !decided && result_.resends >= ctx_.settings.retries) {
      End(WalkOutcome::kNoAnswer);
      WriteTimerTrace("ReStop");
      ExplainSilenceAfterDiscovery();
      return;
    }
    if (!probe && !decided) ++result_.resends;
    WriteTimerTrace("ReSend");
    // The same rows again under a new identifier; a late reply to the earlier
    // copy is then stale.
    if (probe) {
      bulk_answers_ = BulkAnswers::kProbing;
      Send(false);
    } else if (decided) {
      FallBackToGetNext("no answer to GETBULK within " +
                        std::to_string(ctx_.settings.timeout_seconds) + " s");
    } else {
      Send(sent_bulk_);
    }
  }
  if (busy_ && !reply_watch_.Active()) ArmReplyWatch();
}

void ArpWalker::WriteTimerTrace(const char* event) {
  if (!ctx_.settings.debug_mode) return;
  ctx_.AppendTrace(ctx_.Files().tim_res, FormatTimeOfDay(ctx_.LocalNow()) + '\t' + event + '\t' +
                                             std::to_string(request_id_) + '\t' + kRequestName +
                                             "\r\n");
}

std::string ArpWalker::ResponseHeader(const std::string& failure) const {
  return FormatDateTime(ctx_.LocalNow()) + "\tsnmpManager_Response" + failure + "\r\n";
}

void ArpWalker::OnResponse(const snmp::Message& response) {
  try {
    HandleResponse(response);
  } catch (const std::exception& e) {  // nothing an agent sends is thrown: memory, ...
    ReportResponseFailure(e.what(), response.bindings);
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

void ArpWalker::HandleResponse(const snmp::Message& response) {
  // A reply to an earlier copy of a re-sent request, a duplicate, or a reply
  // that comes after the walk has ended changes nothing.
  if (!busy_ || IsEarlierRequestId(response.request_id, request_id_)) return;

  std::string nulls;
  for (const snmp::VarBind& b : response.bindings)
    if (b.type() == 0) nulls += b.oid + "\r\n";

  if (ctx_.settings.debug_mode) {
    const EventLoop::NoWaitScope no_wait(ctx_.loop);
    // An error answer (tooBig) may carry no binding at all; an answer
    // without bindings is otherwise taken up by the reading of its rows.
    const std::string first = response.bindings.empty() ? "" : response.bindings.front().oid;
    ctx_.AppendTrace(ctx_.Files().snmp, FormatTimeOfDay(ctx_.LocalNow()) + " <-- snmp_Rx\t" +
                                            std::to_string(response.request_id) + '\t' +
                                            kRequestName + '\t' + first + '\t' +
                                            std::to_string(rows_.size()) + "\r\n\r\n");
    if (!nulls.empty())
      ctx_.AppendTrace(ctx_.Files().snmp_null_values, ResponseHeader("") + nulls + "\r\n");
  }

  if (sent_bulk_) return HandleBulkResponse(response);
  HandleGetNextResponse(response);
}

void ArpWalker::HandleGetNextResponse(const snmp::Message& response) {
  // The agent answers get-next; the next GETBULK shows whether it answers that.
  if (bulk_answers_ == BulkAnswers::kProbing) bulk_answers_ = BulkAnswers::kProbed;
  if (response.error_status != 0) {
    if (table_ == &kIpNetToPhysicalTable && physical_rows_ == 0) return WalkMediaTable(true);
    result_.error_status = response.error_status;
    End(WalkOutcome::kErrorStatus);
    if (ctx_.settings.debug_mode)
      ctx_.AppendTrace(ctx_.Files().snmp_error,
                       ResponseHeader("") + "SNMP Request: " + kRequestName +
                           "\r\nSNMP Error: " + std::to_string(response.error_status) + "\r\n");
    return;
  }
  TakeRows(response, ReadRows(response, &RowReader::ReadGetNext));
}

void ArpWalker::HandleBulkResponse(const snmp::Message& response) {
  bulk_answers_ = BulkAnswers::kAnswered;
  if (response.error_status == snmp::error_status::kTooBig && repetitions_ > 1) {
    repetitions_ /= 2;
    SendRequest();
    return;
  }
  if (response.error_status != snmp::error_status::kNoError)
    return FallBackToGetNext("error status " + std::to_string(response.error_status));
  TakeRows(response, ReadRows(response, &RowReader::ReadBulk));
}

RowsRead ArpWalker::ReadRows(const snmp::Message& response, ReadFn read) {
  const EventLoop::NoWaitScope no_wait(ctx_.loop);
  return (reader_.*read)(*table_, response.bindings, row_index_,
                         ArpRowBuffer::kCapacity - rows_.size());
}

void ArpWalker::TakeRows(const snmp::Message& response, const RowsRead& read) {
  // Storing a row may wait, and a re-send due meanwhile rebuilds the message
  // as its request: what a failure report shows is copied first.
  std::vector<snmp::VarBind> failed;
  if (read.end == RowsEnd::kBadValue) failed = response.bindings;
  const bool physical = table_ == &kIpNetToPhysicalTable;
  for (const NeighbourRow& row : reader_.rows()) {
    if (physical) ++physical_rows_;
    switch (row.kind) {
      case NeighbourRow::Kind::kAddress:
        // Whatever the wait let happen has moved the walk on: the reader's
        // rows are then no longer this answer's.
        if (!StoreRow(row)) return;
        break;
      case NeighbourRow::Kind::kOtherType:
        ++result_.skipped_other_type;
        break;
      case NeighbourRow::Kind::kBadIndex:
        ++result_.skipped_bad_index;
        break;
      case NeighbourRow::Kind::kNoPhysAddress:
        ++result_.skipped_no_phys_address;
        break;
    }
  }
  switch (read.end) {
    case RowsEnd::kMore:
      row_index_ = read.next_after;
      return SendRequest();
    case RowsEnd::kEndOfTable:
      return EndOfTable();
    case RowsEnd::kNoIfIndexColumn:
      // The agent serves the physical addresses without the interface column.
      table_ = &kIpNetToMediaByPhysAddress;
      (result_.second_table != nullptr ? result_.second_table : result_.table) = table_;
      return SendRequest();
    case RowsEnd::kNotIncreasing:
      return End(WalkOutcome::kNotIncreasing);
    case RowsEnd::kNoValue:
      return End(WalkOutcome::kNoValue);
    case RowsEnd::kRowLimit:
      return End(WalkOutcome::kRowLimit);
    case RowsEnd::kBadValue:
      return ReportResponseFailure(read.failure, failed);
    case RowsEnd::kNoWholeRow:
      return FallBackToGetNext("an answer without a whole row");
  }
}

void ArpWalker::EndOfTable() {
  if (table_ == &kIpNetToPhysicalTable && physical_rows_ == 0) return WalkMediaTable(true);
  // Agents that hold only IPv6 in ipNetToPhysicalTable keep IPv4 in
  // ipNetToMediaTable.
  if (table_ == &kIpNetToPhysicalTable && !physical_ipv4_) return WalkMediaTable(false);
  End(WalkOutcome::kEndOfTable);
}

void ArpWalker::WalkMediaTable(bool instead) {
  table_ = &kIpNetToMediaTable;
  (instead ? result_.table : result_.second_table) = table_;
  row_index_.clear();
  SendRequest();
}

bool ArpWalker::StoreRow(const NeighbourRow& read) {
  const WalkToken token = token_;
  // May wait: a value too long to format is logged, and events run in the
  // log's wait (a copy of the answer, a re-send, a stop).
  std::string mac = MacText(read.phys_address, ctx_.log);
  if (!Holds(token)) return false;
  if (table_ == &kIpNetToPhysicalTable && read.ip_address.find(':') == std::string::npos)
    physical_ipv4_ = true;
  ArpRow& row = rows_.Append();
  row.ip_address.assign(read.ip_address);
  row.mac_address.assign(mac);
  row.if_index = read.if_index;
  row.type = read.type;
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
