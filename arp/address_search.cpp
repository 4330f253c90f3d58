#include "arp/address_search.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>

#include "arp/address_query.h"
#include "arp/vendor.h"
#include "db/sqlite.h"

namespace vexa {

const char* const kAddressQueryNotations =
    "an IPv4 or IPv6 address or prefix (192.0.2.7, 192.0.2.0/24, 2001:db8::/48), a MAC address "
    "(00:1a:2b:3c:4d:5e, 00-1A-2B-3C-4D-5E, 001a.2b3c.4d5e, 001a2b3c4d5e, \"00 1a 2b 3c 4d 5e\") "
    "or its first 3 octets or more (00:1a:2b, 001a2b), part of a host name (letters, digits, "
    "'-', '.', '_'), or vendor:TEXT";

namespace {

// Longer parts than any host name or vendor name are refused.
constexpr size_t kMaxPartBytes = 253;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool IsNamePart(std::string_view s) {
  bool letters = false;
  for (const char c : s) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_';
    if (!letter && c != '.' && !(c >= '0' && c <= '9')) return false;
    letters = letters || letter;
  }
  // Digits and dots alone are an address gone wrong, not a name.
  return letters || s.find('.') == std::string_view::npos;
}

// What a stored name is not: the markers of no name and of a failed lookup.
bool IsName(std::string_view stored) {
  return !stored.empty() && stored != "n/a" && stored != "Error";
}

std::string ColumnText(const Statement& st, int column) {
  return st.ColumnType(column) == SQLITE_NULL ? std::string() : st.ColumnText(column);
}

std::optional<int64_t> ColumnInt(const Statement& st, int column) {
  if (st.ColumnType(column) != SQLITE_INTEGER) return std::nullopt;
  return st.ColumnInt64(column);
}

// The first string after every string that begins with `prefix`: its last
// byte raised by one (stored MAC addresses are hex digits and blanks).
std::string PastPrefix(std::string prefix) {
  prefix.back() = static_cast<char>(prefix.back() + 1);
  return prefix;
}

// Pairings ordered by address as the addresses sort (IPv4, then IPv6, then
// texts that are no address), then by MAC address.
struct PairingKey {
  PairingKey(const std::string& ip_text, const std::string& mac_text) : ip(ip_text), mac(mac_text) {
    const std::optional<std::string> key = IpKeyOf(ip_text);
    address = key ? static_cast<char>(key->size()) + *key : "\xff";
  }
  std::string address;
  std::string ip;
  std::string mac;
  auto operator<=>(const PairingKey&) const = default;
};

class PairingSearch {
 public:
  PairingSearch(Database& db, const AddressQuery& query, const VendorRegistry& vendors)
      : db_(db), query_(query), vendors_(vendors) {}

  std::vector<Pairing> Run(bool current_only) {
    if (db_.TableExists("ArpHistory")) SearchHistory();
    SearchArpTable();
    std::vector<Pairing> out;
    out.reserve(found_.size());
    for (auto& [key, pairing] : found_) {
      if (current_only && !pairing.current) continue;
      pairing.vendor = vendors_.VendorOf(pairing.mac);
      if (pairing.in_history) pairing.name = NameOf(pairing.ip);
      out.push_back(std::move(pairing));
    }
    // found_ is ordered by address; a stable sort keeps that among equals.
    std::stable_sort(out.begin(), out.end(), [](const Pairing& a, const Pairing& b) {
      if (a.in_history != b.in_history) return !a.in_history;
      return a.last_seen.value_or(0) > b.last_seen.value_or(0);
    });
    return out;
  }

 private:
  static constexpr const char* kHistoryColumns =
      "SELECT IpAddr, MacAddr, Router, IfIndex, FirstSeen, LastSeen, Cycles, IsCurrent "
      "FROM ArpHistory ";

  bool VendorMatches(std::string_view mac) const {
    return Lower(vendors_.VendorOf(mac)).find(query_.text) != std::string::npos;
  }

  void AddHistoryRows(Statement& st) {
    while (st.Step()) {
      Pairing p;
      p.ip = ColumnText(st, 0);
      p.mac = ColumnText(st, 1);
      if (query_.kind == AddressQuery::Kind::kVendor && !VendorMatches(p.mac)) continue;
      p.router = ColumnText(st, 2);
      p.if_index = ColumnInt(st, 3);
      p.first_seen = ColumnInt(st, 4);
      p.last_seen = ColumnInt(st, 5);
      p.cycles = ColumnInt(st, 6);
      p.current = ColumnInt(st, 7).value_or(0) != 0;
      p.in_history = true;
      PairingKey key(p.ip, p.mac);
      found_.insert_or_assign(std::move(key), std::move(p));
    }
    st.Reset();
  }

  // Each kind of query goes through the index that answers it: IpKey for
  // addresses and prefixes, MacAddr for MAC addresses and (one range per
  // registry prefix) vendors, the primary key for the addresses of a name.
  void SearchHistory() {
    switch (query_.kind) {
      case AddressQuery::Kind::kIpRange: {
        Statement st = db_.Prepare(std::string(kHistoryColumns) +
                                   "WHERE IpKey BETWEEN ?1 AND ?2 AND length(IpKey) = ?3");
        st.BindBlob(1, query_.low).BindBlob(2, query_.high);
        st.Bind(3, static_cast<int64_t>(query_.low.size()));
        AddHistoryRows(st);
        break;
      }
      case AddressQuery::Kind::kMac:
      case AddressQuery::Kind::kVendor: {
        Statement st =
            db_.Prepare(std::string(kHistoryColumns) + "WHERE MacAddr >= ?1 AND MacAddr < ?2");
        const std::vector<std::string> prefixes =
            query_.kind == AddressQuery::Kind::kMac
                ? std::vector<std::string>{query_.text}
                : vendors_.StoredPrefixesWhere([&](std::string_view shown) {
                    return Lower(shown).find(query_.text) != std::string::npos;
                  });
        for (const std::string& prefix : prefixes) {
          st.Bind(1, prefix).Bind(2, PastPrefix(prefix));
          AddHistoryRows(st);
        }
        break;
      }
      case AddressQuery::Kind::kName: {
        Statement st = db_.Prepare(std::string(kHistoryColumns) + "WHERE IpAddr = ?1");
        for (const std::string& ip : NamedAddresses()) {
          st.Bind(1, ip);
          AddHistoryRows(st);
        }
        break;
      }
    }
  }

  // The addresses of ArpTable whose name holds the query's text.
  std::vector<std::string> NamedAddresses() {
    std::vector<std::string> out;
    Statement st = db_.Prepare("SELECT IpAddr, DnsName FROM ArpTable");
    while (st.Step()) {
      const std::string name = ColumnText(st, 1);
      if (IsName(name) && Lower(name).find(query_.text) != std::string::npos)
        out.push_back(ColumnText(st, 0));
    }
    return out;
  }

  bool ArpTableRowMatches(const std::string& ip, const std::string& mac, const std::string& name) {
    switch (query_.kind) {
      case AddressQuery::Kind::kIpRange: {
        const std::optional<std::string> key = IpKeyOf(ip);
        return key && key->size() == query_.low.size() && *key >= query_.low && *key <= query_.high;
      }
      case AddressQuery::Kind::kMac:
        return mac.starts_with(query_.text);
      case AddressQuery::Kind::kName:
        return IsName(name) && Lower(name).find(query_.text) != std::string::npos;
      case AddressQuery::Kind::kVendor:
        return VendorMatches(mac);
    }
    return false;
  }

  // ArpTable has an index on IpAddr only: one address is looked up, every
  // other query reads the job's table through.
  void SearchArpTable() {
    const bool one_address = query_.kind == AddressQuery::Kind::kIpRange && !query_.address.empty();
    Statement st =
        db_.Prepare(std::string("SELECT IpAddr, MacAddr, IfIndex, DnsName FROM ArpTable") +
                    (one_address ? " WHERE IpAddr = ?1" : ""));
    if (one_address) st.Bind(1, query_.address);
    while (st.Step()) {
      std::string ip = ColumnText(st, 0);
      std::string mac = ColumnText(st, 1);
      std::string name = ColumnText(st, 3);
      names_.emplace(ip, name);
      if (!ArpTableRowMatches(ip, mac, name)) continue;
      PairingKey key(ip, mac);
      if (found_.count(key) > 0) continue;
      Pairing p;
      p.ip = std::move(ip);
      p.mac = std::move(mac);
      p.if_index = ColumnInt(st, 2);
      p.current = true;
      p.name = std::move(name);
      found_.emplace(std::move(key), std::move(p));
    }
  }

  // ArpTable's name of an address of the history, looked up once.
  const std::string& NameOf(const std::string& ip) {
    const auto known = names_.find(ip);
    if (known != names_.end()) return known->second;
    if (!name_lookup_)
      name_lookup_.emplace(db_.Prepare("SELECT DnsName FROM ArpTable WHERE IpAddr = ?1"));
    name_lookup_->Bind(1, ip);
    std::string name = name_lookup_->Step() ? ColumnText(*name_lookup_, 0) : std::string();
    name_lookup_->Reset();
    return names_.emplace(ip, std::move(name)).first->second;
  }

  Database& db_;
  const AddressQuery& query_;
  const VendorRegistry& vendors_;
  std::map<PairingKey, Pairing> found_;
  std::unordered_map<std::string, std::string> names_;
  std::optional<Statement> name_lookup_;
};

}  // namespace

std::optional<AddressQuery> ParseAddressQuery(std::string_view text) {
  text = Trimmed(text);
  if (text.empty() || text.size() > kMaxPartBytes) return std::nullopt;
  AddressQuery q;
  if (Lower(text.substr(0, 7)) == "vendor:") {
    const std::string_view part = Trimmed(text.substr(7));
    if (part.empty()) return std::nullopt;
    q.kind = AddressQuery::Kind::kVendor;
    q.text = Lower(part);
    return q;
  }
  if (const std::optional<IpRange> range = ParseIpRange(text)) {
    q.kind = AddressQuery::Kind::kIpRange;
    q.low = range->low;
    q.high = range->high;
    if (range->low == range->high) q.address = CanonicalIp(text).value_or("");
    return q;
  }
  if (const std::optional<std::string> mac = ParseMacPrefix(text)) {
    q.kind = AddressQuery::Kind::kMac;
    q.text = *mac;
    return q;
  }
  if (!IsNamePart(text)) return std::nullopt;
  q.kind = AddressQuery::Kind::kName;
  q.text = Lower(text);
  return q;
}

std::vector<Pairing> FindPairings(Database& db, const AddressQuery& query,
                                  const VendorRegistry& vendors, bool current_only) {
  // One read transaction: ArpTable and the history as of one moment, even
  // while the collector writes.
  db.Exec("BEGIN");
  try {
    std::vector<Pairing> found = PairingSearch(db, query, vendors).Run(current_only);
    db.Exec("COMMIT");
    return found;
  } catch (...) {
    try {
      db.Exec("ROLLBACK");
    } catch (const DatabaseError&) {
      // The first failure is the one to tell.
    }
    throw;
  }
}

}  // namespace vexa
