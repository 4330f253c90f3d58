#include "dns/reverse_resolver.h"

#include <ostream>

namespace vexa::dns {

std::string_view OutcomeName(LookupOutcome outcome) {
  switch (outcome) {
    case LookupOutcome::kName:
      return "name";
    case LookupOutcome::kNotFound:
      return "not found";
    case LookupOutcome::kTimedOut:
      return "timed out";
    case LookupOutcome::kServerError:
      return "server error";
    case LookupOutcome::kBadAnswer:
      return "bad answer";
    case LookupOutcome::kFailed:
      return "failed";
    case LookupOutcome::kCancelled:
      return "cancelled";
  }
  return "unknown";
}

std::ostream& operator<<(std::ostream& out, const LookupResult& result) {
  return out << OutcomeName(result.outcome) << ": " << result.text;
}

LookupResult ReverseResolver::Lookup(const std::string& address) {
  std::vector<LookupResult> results = LookupAll({address});
  if (results.size() != 1) return {LookupOutcome::kFailed, "resolver gave no result"};
  return std::move(results.front());
}

}  // namespace vexa::dns
