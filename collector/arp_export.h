// The end of a job: a host name for every stored address, and the list
// ArpList.txt with all records, tab-separated.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "collector_context.h"
#include "dns/reverse_resolver.h"
#include "platform/local_time.h"

namespace vexa {

class ArpExport {
 public:
  // How many addresses are handed to the resolver at a time.
  static constexpr size_t kLookupBatch = 256;

  ArpExport(const CollectorContext& ctx, dns::ReverseResolver& resolver,
            const LocalDateTime& service_start_time)
      : ctx_(ctx), resolver_(resolver), service_start_time_(service_start_time) {}

  // The stored text for one lookup: the name, "n/a" (no name, or a name that
  // contains "ERROR"), or "Error" after logging the failure.
  std::string ReverseDnsLookup(const dns::LookupResult& lookup);

  // Looks every stored address up (when `resolve_names`), stores the names,
  // and writes ArpList.txt. Without name resolution the DnsName column of the
  // list is left empty. Failures are logged, never thrown.
  void DnsLookupAndExport(bool resolve_names);

 private:
  const CollectorContext& ctx_;
  dns::ReverseResolver& resolver_;
  const LocalDateTime& service_start_time_;
};

}  // namespace vexa
