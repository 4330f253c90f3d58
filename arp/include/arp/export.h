// The end of a job: a host name for every stored address, and the list
// ArpList.txt with all records, tab-separated.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "arp/context.h"
#include "arp/row_pacer.h"
#include "dns/reverse_resolver.h"
#include "platform/local_time.h"

namespace vexa {

class Database;

// The head of ArpList.txt: the job's start and stop ("YYYY-MM-DD HH:MM"), a
// blank line and the column names.
std::string ExportListHead(std::string_view start, std::string_view stop);
// Appends the line of one address to `out`.
void AppendExportListLine(std::string& out, std::string_view ip_address,
                          std::string_view mac_address, std::string_view seen_times,
                          std::string_view dns_name);
// The name an address is listed with after its lookup: the name, "n/a" (no
// name, or a name that contains "ERROR"), or "Error" for a lookup that failed
// or was cancelled.
std::string ListedName(const dns::LookupResult& lookup);

// Looks `addresses` up a batch of `batch_size` at a time, concurrently, and
// hands each result to `on_result` in the list's order, as one lookup after
// the other would have. Every address gets a result: a failure where the
// resolver gave none, and where `look_up` says no more are to be looked up
// (asked before each batch).
void LookUpInBatches(
    dns::ReverseResolver& resolver, const std::vector<std::string>& addresses, size_t batch_size,
    const std::function<bool()>& look_up,
    const std::function<void(size_t index, const dns::LookupResult& lookup)>& on_result);

class ArpExport {
 public:
  // How many addresses are handed to the resolver at a time.
  static constexpr size_t kLookupBatch = 256;

  ArpExport(const CollectorContext& ctx, dns::ReverseResolver& resolver,
            const LocalDateTime& service_start_time);

  // Looks every stored address up (when `resolve_names`), stores the names,
  // and writes ArpList.txt. Without name resolution the DnsName column of the
  // list is left empty. Returns whether the list was written whole; failures
  // are logged, never thrown. After a failure the next call is a retry: it
  // keeps the names already stored and logs a failure only when its cause
  // differs from the last one; the call that then succeeds says so in the log.
  bool Run(bool resolve_names);

  // The service is stopping while the export runs: it goes on without its
  // pauses, and whatever lookups are still undecided at `deadline` are
  // cancelled and listed as "Error", counted in one event-log line.
  void FinishBy(SteadyTime deadline);

 private:
  // The stored text for one lookup: the name, "n/a" (no name, or a name that
  // contains "ERROR"), or "Error" after logging the failure.
  std::string StoredName(const dns::LookupResult& lookup);
  void StoreNames(Database& db, RowPacer& pacer);
  void WriteList(Database& db, RowPacer& pacer, bool with_names);

  const CollectorContext& ctx_;
  dns::ReverseResolver& resolver_;
  const LocalDateTime& service_start_time_;
  bool names_stored_ = false;  // by an earlier attempt at the same export
  int failed_attempts_ = 0;
  std::string last_failure_;
  bool finishing_ = false;  // a stop has come: no more pauses
  bool past_deadline_ = false;
  OneShotTimer deadline_;
};

}  // namespace vexa
