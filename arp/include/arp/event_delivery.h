// The delivery of the changes a poll cycle found: one journal entry per
// change, with structured fields (VEXA_EVENT, VEXA_IP, VEXA_MAC,
// VEXA_OLD_MAC, VEXA_ROUTER, VEXA_IF_INDEX), and the program of
// EventCommand, run once per cycle with the cycle's changes as JSON lines on
// its standard input. Changes held back (ArpEvent.Delivered 0) are not
// delivered.
//
// The program runs beside the event loop: its input is written as the
// socket takes it, and a timer reaps it, killing it (its whole session)
// after kTimeLimit. A failure (not started, exit status other than 0, a
// signal, the time limit) is logged once; the next cycle runs it again with
// its own changes only. Changes that arrive while it runs wait for it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "arp/address_event.h"
#include "arp/context.h"

namespace vexa {

struct JournalField {
  std::string name;  // VEXA_EVENT, MESSAGE, ...
  std::string value;
};
// Writes one journal entry; the seam where tests capture them.
using JournalWriter = std::function<void(const std::vector<JournalField>& fields)>;

// sd_journal_sendv. Failures (no journal) are dropped: the changes are in
// ArpEvent all the same.
JournalWriter SystemJournal();

// The entry of one change: MESSAGE, PRIORITY (notice) and the VEXA_ fields.
std::vector<JournalField> JournalEntryOf(const AddressEvent& event);

class EventCommandRunner {
 public:
  static constexpr std::chrono::seconds kTimeLimit{60};

  explicit EventCommandRunner(const CollectorContext& ctx);
  ~EventCommandRunner();
  EventCommandRunner(const EventCommandRunner&) = delete;
  EventCommandRunner& operator=(const EventCommandRunner&) = delete;

  // Runs `program` with `input` on its standard input now, or after the run
  // in progress.
  void Run(const std::string& program, std::string input);
  bool Busy() const { return pid_ > 0; }

 private:
  void Start();
  void WriteInput();
  void CloseInput();
  void Check();
  void Failed(const std::string& why);

  const CollectorContext& ctx_;
  PeriodicTimer reaper_;
  std::string program_;
  std::string input_;   // what the run in progress has still to read
  std::string queued_;  // for the next run
  std::string queued_program_;
  size_t written_ = 0;
  pid_t pid_ = -1;
  int fd_ = -1;
  int watch_ = -1;
  SteadyTime deadline_{};
  bool killed_ = false;
};

class EventDelivery {
 public:
  EventDelivery(const CollectorContext& ctx, JournalWriter journal)
      : ctx_(ctx), journal_(std::move(journal)), command_(ctx) {}

  void Deliver(const std::vector<AddressEvent>& events);
  // The program of an earlier cycle still runs.
  bool Busy() const { return command_.Busy(); }

 private:
  const CollectorContext& ctx_;
  JournalWriter journal_;
  EventCommandRunner command_;
};

}  // namespace vexa
