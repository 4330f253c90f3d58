// Finding which IP address sat behind which MAC address: the operator's one
// query (an address or prefix, a MAC address or its beginning, part of a host
// name, or vendor:TEXT) read once, then answered from the current job's
// ArpTable and the kept history ArpHistory. The command line and the console
// both search through here, so they read a query and show its answer alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

class Database;
class VendorRegistry;

struct AddressQuery {
  enum class Kind { kIpRange, kMac, kName, kVendor };
  Kind kind = Kind::kName;
  // kIpRange: the IpKey values covered, both ends included; `address` is the
  // stored text when the query is one address.
  std::string low;
  std::string high;
  std::string address;
  // kMac: the beginning of the stored MAC address ("00 1a 2b"); kName and
  // kVendor: the part to look for, in lower case.
  std::string text;
};

// The notations a query may take, for the message about one that cannot be
// read.
extern const char* const kAddressQueryNotations;

// Reads a query. In this order: "vendor:" and a text; an IPv4 or IPv6
// address or CIDR prefix; a MAC address or its first 3 octets or more (so
// "cafe42" is a MAC prefix, "cafe" part of a name); part of a host name
// (letters, digits, '-', '.', '_'). Text that looks like a broken address
// (only digits and dots, or a ':' or '/' that no address notation takes) is
// not read as a name: nullopt.
std::optional<AddressQuery> ParseAddressQuery(std::string_view text);

// One (IP address, MAC address) pairing. Fields the history has no record of
// are left out (nullopt, empty router).
struct Pairing {
  std::string ip;
  std::string mac;
  std::string vendor;
  std::string router;
  std::optional<int64_t> if_index;
  std::optional<int64_t> first_seen;  // UTC seconds
  std::optional<int64_t> last_seen;
  std::optional<int64_t> cycles;
  bool current = false;
  bool in_history = false;
  std::string name;  // ArpTable's DnsName for the IP address
};

// Every pairing `query` matches, each once: the history's, and the rows of
// ArpTable the history has no record of (current ones of this job, shown with
// ArpTable's IfIndex and no router or times). Newest first: the rows without
// a record, then by last seen; equal ones by address. With `current_only`,
// only the current pairings. Names come from ArpTable; vendors from
// `vendors`. Reads one snapshot; throws DatabaseError.
std::vector<Pairing> FindPairings(Database& db, const AddressQuery& query,
                                  const VendorRegistry& vendors, bool current_only);

}  // namespace vexa
