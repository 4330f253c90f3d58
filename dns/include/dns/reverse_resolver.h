// Reverse name lookup as the collector sees it: a batch of address texts in,
// one result per address out, in the same order. The c-ares implementation
// is the real one; tests of the collector may put a fake behind the same
// interface to inject faults.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::dns {

enum class LookupOutcome {
  kName,         // the server gave a name fit for the list
  kNotFound,     // NXDOMAIN, or the name exists without a PTR record (NODATA)
  kTimedOut,     // no answer within the lookup's time
  kServerError,  // SERVFAIL, REFUSED, NOTIMP, FORMERR, or no server listening
  kBadAnswer,    // malformed answer, or a name unfit for the list
  kFailed,       // no lookup was made: the resolver is unusable or the text is no IP address
  kCancelled,    // CancelAll() ended the lookup before it was decided
};

// Short English name of an outcome, for logs and benchmark output.
std::string_view OutcomeName(LookupOutcome outcome);

struct LookupResult {
  LookupOutcome outcome = LookupOutcome::kFailed;
  // kName: the host name as the server gave it (without the trailing dot).
  // Otherwise: what happened, in words; for kFailed a description fit for
  // the event log.
  std::string text;

  bool HasName() const { return outcome == LookupOutcome::kName; }
  bool Failed() const { return outcome == LookupOutcome::kFailed; }
  bool Cancelled() const { return outcome == LookupOutcome::kCancelled; }
  // Every outcome other than a name, a failure or a cancellation means "no name".
  bool NoName() const { return !HasName() && !Failed() && !Cancelled(); }

  friend bool operator==(const LookupResult&, const LookupResult&) = default;
};

// "name: router.example" or "not found: Domain name not found".
std::ostream& operator<<(std::ostream& out, const LookupResult& result);

class ReverseResolver {
 public:
  virtual ~ReverseResolver() = default;

  // Resolves every address (IPv4 or IPv6 text) and returns one result per
  // address, in input order, once every result is decided. An implementation
  // that waits for answers does so in the event loop's cooperative wait.
  virtual std::vector<LookupResult> LookupAll(const std::vector<std::string>& addresses) = 0;

  // Called from an event handler while LookupAll() waits: ends the batch at
  // once, every lookup not yet decided giving kCancelled. A resolver that
  // decides a whole batch before returning has nothing to cancel.
  virtual void CancelAll() {}

  // One address: the same as a batch of one.
  LookupResult Lookup(const std::string& address);
};

}  // namespace vexa::dns
