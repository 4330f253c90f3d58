// The walk of one router's ARP table (ipNetToMediaTable, or with
// NeighbourTable 1 ipNetToPhysicalTable) by chained get-next requests, one
// row per exchange, or with settings.use_bulk by GETBULK requests of
// settings.max_repetitions rows each. Walk() sends the first request and
// waits in the event loop while two handlers run the walk: each accepted
// response stores its rows and asks for the next ones; the reply watch, a
// one-shot timer armed with every request, sends an overdue request again or
// gives the walk up. Walk() returns what the walk found. The rows of a
// response are read by row_readers.h, by the identifiers of their bindings.
//
// With NeighbourTable 1, ipNetToMediaTable is walked instead where the agent
// shows at its first answer that it has no ipNetToPhysicalTable, and after it
// where ipNetToPhysicalTable holds no IPv4 row (agents that keep IPv4 in
// ipNetToMediaTable only). An ipNetToMediaTable without its interface column
// is walked by its physical addresses, the interface and address taken from
// the index.
//
// GETBULK: a tooBig answer halves the repetitions (down to 1) and asks again.
// The rest of the walk goes on with get-next, and the event log says so once,
// when the agent answers GETBULK with another error status (or tooBig at one
// repetition) or with no whole row, or when it answers get-next but leaves
// GETBULK unanswered. Until an agent has answered a GETBULK of the walk, an
// overdue GETBULK is asked again by get-next, and the GETBULK that follows
// that answer decides: unanswered, the walk goes on with get-next. Neither
// of the two counts against the retries, which stay for lost datagrams; an
// agent that lost one GETBULK goes on with GETBULK. SNMPv1 has no GETBULK:
// its walks use get-next, noted once per job.
//
//   ArpWalker walker(ctx, manager);            // ctx.settings: community, time-out, retries
//   walker.OpenEndpoint("snmpManager");        // once
//   walker.OnProgress([](size_t rows) { ... });  // optional, after every row
//   const WalkResult result = walker.Walk("192.0.2.1");
//   for (const ArpRow& row : result.rows) ...   // valid until the next walk
//   OutcomeText(result);                        // "end of table", "error status 2", ...
//
// Start() is the same walk without the wait: it returns at once and the
// callback given runs (posted to the event loop) when the walk has ended;
// LastResult() then holds what it found. Walkers on endpoints of their own
// walk side by side on the one event loop; ShareJobNotes() lets them say
// their once-per-job notes once between them.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "arp/context.h"
#include "arp/neighbour_table.h"
#include "arp/row.h"
#include "arp/row_readers.h"
#include "snmp/manager.h"

namespace vexa {

// Why a walk ended. Whatever the reason, the rows received before it are kept.
enum class WalkOutcome {
  kEndOfTable,     // the agent answered past the table (the normal end)
  kNoAnswer,       // a reply was overdue once every re-send was used up
  kTimeLimit,      // the walk was still running after kWalkLimitSeconds
  kErrorStatus,    // the agent answered with an error status
  kNotIncreasing,  // the agent repeated a row or went back
  kNoValue,        // a column of the row came without a value
  kRowLimit,       // ArpRowBuffer::kCapacity rows were stored
  kBadResponse,    // a response could not be taken as a row
  kRefused,        // the agent refused an SNMPv3 request (failure: the cause)
  kStopped,        // the walker was switched off (the service stops)
};

struct WalkResult {
  WalkOutcome outcome = WalkOutcome::kEndOfTable;
  int32_t error_status = 0;  // with kErrorStatus: the agent's
  // With kBadResponse: what was wrong; with kRefused: why; with kNoAnswer:
  // the likely cause, when an SNMPv3 agent answered only its discovery.
  std::string failure;
  std::span<const ArpRow> rows;  // in walk order; valid until the next walk
  // Requests sent again after an overdue reply, as Retries counts them: the
  // asking of whether an agent answers GETBULK is not among them.
  int resends = 0;
  // The table walked: ipNetToPhysicalTable, unless the settings ask for
  // ipNetToMediaTable or the agent has no ipNetToPhysicalTable.
  const NeighbourTable* table = &kIpNetToMediaTable;
  // ipNetToMediaTable where it was walked after ipNetToPhysicalTable for the
  // IPv4 rows that table did not hold; its rows follow the first table's.
  const NeighbourTable* second_table = nullptr;
  // Rows passed over: of another address type (zoned addresses, ...), rows
  // whose index is not one of the table's, and rows without a physical
  // address.
  size_t skipped_other_type = 0;
  size_t skipped_bad_index = 0;
  size_t skipped_no_phys_address = 0;
  Millis duration{0};  // by the event loop's clock
};

// The outcome in words for a summary: "end of table", "no answer",
// "time limit", "error status 2", ...
std::string OutcomeText(const WalkResult& result);

// The notes said once per job, whichever walker of the job comes to them.
struct WalkerJobNotes {
  bool v1_bulk_noted = false;  // this job's log says SNMPv1 walks without GETBULK
};

class ArpWalker {
 public:
  static constexpr int kWalkLimitSeconds = 600;
  static constexpr int kAgentPort = 161;
  using ProgressFn = std::function<void(size_t rows)>;

  ArpWalker(const CollectorContext& ctx, snmp::Manager& manager);
  ~ArpWalker();
  ArpWalker(const ArpWalker&) = delete;
  ArpWalker& operator=(const ArpWalker&) = delete;

  // Opens the SNMP endpoint, for the control name "snmpManager" only.
  // Failures are logged.
  void OpenEndpoint(const std::string& control_name);

  // Walks the ARP table of the agent at `router` (a numeric address), port
  // 161, and returns when the walk has ended. Failures are logged and end the
  // walk; none is thrown.
  WalkResult Walk(const std::string& router);

  // Starts the walk of `router` and returns at once; `on_done` is posted to
  // the event loop when the walk has ended (at once when it cannot start).
  using DoneFn = std::function<void()>;
  void Start(const std::string& router, DoneFn on_done);
  // What the last walk found, once it has ended; its rows stay valid until
  // the next walk of this walker.
  const WalkResult& LastResult() const { return result_; }

  // Says the once-per-job notes together with `first`'s walker.
  void ShareJobNotes(const ArpWalker& first) { notes_ = first.notes_; }

  // Called after every row stored, with the number of rows so far.
  void OnProgress(ProgressFn on_progress) { on_progress_ = std::move(on_progress); }

  // A switched-off walker ends the walk in progress (kStopped) and walks no
  // more until it is switched on again (a new job). On at construction.
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  bool Busy() const { return busy_; }
  // Ends the walk in progress as stopped, the walker staying on: a cycle
  // that has ended leaves no walk of its own running.
  void Abandon() {
    if (busy_) End(WalkOutcome::kStopped);
  }

  // The identifier of the last request sent; the next one follows it and
  // wraps from 2147483647 to 1.
  int32_t LastRequestId() const { return request_id_; }
  void SetLastRequestId(int32_t id) { request_id_ = id; }

 private:
  // How far the walk has found out whether the agent answers GETBULK.
  enum class BulkAnswers : uint8_t {
    kUnknown,   // no GETBULK of this walk answered yet
    kProbing,   // a GETBULK went unanswered; get-next asks the same rows
    kProbed,    // get-next was answered; the GETBULK sent after it decides
    kAnswered,  // a GETBULK was answered
  };

  void Begin(const std::string& router);
  // Sends the request for the rows after row_index_, by GETBULK or get-next.
  void Send(bool bulk);
  void SendRequest() { Send(bulk_); }
  void OnResponse(const snmp::Message& response);
  void OnRefusal(const snmp::Refusal& refusal);
  void HandleResponse(const snmp::Message& response);
  void HandleGetNextResponse(const snmp::Message& response);
  void HandleBulkResponse(const snmp::Message& response);
  // Reads the rows of an answer, by get-next's or GETBULK's rules.
  using ReadFn = RowsRead (RowReader::*)(const NeighbourTable&, std::span<const snmp::VarBind>,
                                         std::string_view, size_t);
  RowsRead ReadRows(const snmp::Message& response, ReadFn read);
  // Stores and counts the rows the reader read, then goes on as `read` says.
  void TakeRows(const snmp::Message& response, const RowsRead& read);
  // Turns the rest of the walk to get-next, sends the request now due and
  // logs why.
  void FallBackToGetNext(const std::string& why);
  // The end of the table walked: the walk ends, or goes on with
  // ipNetToMediaTable.
  void EndOfTable();
  // Walks ipNetToMediaTable from its start, `instead` of ipNetToPhysicalTable
  // or after it.
  void WalkMediaTable(bool instead);
  // Stores a row read from an answer; false when the walk has moved on while
  // the row's MAC text was made (it may wait: see WalkToken).
  bool StoreRow(const NeighbourRow& row);
  void ReportResponseFailure(const std::string& description,
                             std::span<const snmp::VarBind> bindings);
  void OnReplyWatch();
  void ArmReplyWatch();
  void End(WalkOutcome outcome);
  void WriteTimerTrace(const char* event);
  std::string ResponseHeader(const std::string& failure) const;

  const CollectorContext& ctx_;
  snmp::Manager& manager_;
  OneShotTimer reply_watch_;
  ArpRowBuffer rows_;
  RowReader reader_;
  ProgressFn on_progress_;
  WalkResult result_;
  const NeighbourTable* table_ = &kIpNetToMediaTable;
  std::string router_;
  std::string row_index_;  // the index the next request asks after
  int32_t request_id_ = 0;
  // The walk's token: moved on by every request sent and by the walk's end.
  // A handler that passes a point where it may wait in the event loop (a log
  // line's 500 ms) takes the token before that point and goes on after it
  // only while the walk still holds it: whatever the wait let happen (an
  // answer taken, a re-send, a stop) has moved the walk on. The rest of the
  // handling of a request or an answer never waits (EventLoop::NoWaitScope).
  using WalkToken = uint64_t;
  bool Holds(WalkToken token) const { return busy_ && token_ == token; }
  WalkToken token_ = 0;
  bool bulk_ = false;       // this walk asks with GETBULK
  bool sent_bulk_ = false;  // the last request was a GETBULK
  BulkAnswers bulk_answers_ = BulkAnswers::kUnknown;
  int32_t repetitions_ = 0;  // rows asked per GETBULK
  WalkerJobNotes own_notes_;
  WalkerJobNotes* notes_ = &own_notes_;
  DoneFn on_done_;              // of a started walk, until it is posted
  size_t physical_rows_ = 0;    // rows of ipNetToPhysicalTable read, kept or not
  bool physical_ipv4_ = false;  // an IPv4 row of ipNetToPhysicalTable was kept
  bool busy_ = false;
  bool enabled_ = true;
  SteadyTime started_{};
  // Whole seconds of the steady clock; a deadline equal to now has not passed.
  int64_t walk_deadline_ = 0;
  int64_t reply_deadline_ = 0;

  // Logs, for a v3 walk ended unanswered, an agent that answered discovery
  // only.
  void ExplainSilenceAfterDiscovery();
};

}  // namespace vexa
