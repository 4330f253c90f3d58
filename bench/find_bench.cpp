// Times the searches of `vexa-arp find` and the console's Search tab on a
// large history: builds a database from db/schema.sql with PAIRINGS pairings
// in ArpHistory (IPv4 in 10.0.0.0/10, one in twenty IPv6; MAC addresses
// under registry prefixes or locally administered) and an ArpTable of the
// current job, then prints, for each kind of query, the pairings found and
// the median time of FindPairings over RUNS runs, and the plan SQLite picks
// for each statement on the history.
//
//   find_bench [PAIRINGS] [RUNS]        default: 1000000 pairings, 7 runs
//   FIND_BENCH_MMAP=1 find_bench        the same with SQLite's memory map
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "arp/address_query.h"
#include "arp/address_search.h"
#include "arp/vendor.h"
#include "db/sqlite.h"

namespace {

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

std::string Mac(uint64_t address) {
  char text[32];
  std::snprintf(
      text, sizeof text, "%02x %02x %02x %02x %02x %02x",
      static_cast<unsigned>(address >> 40 & 0xff), static_cast<unsigned>(address >> 32 & 0xff),
      static_cast<unsigned>(address >> 24 & 0xff), static_cast<unsigned>(address >> 16 & 0xff),
      static_cast<unsigned>(address >> 8 & 0xff), static_cast<unsigned>(address & 0xff));
  return text;
}

uint64_t PrefixValue(const std::string& stored_prefix) {
  std::string hex;
  for (const char c : stored_prefix)
    if (c != ' ') hex += c;
  const int bits = static_cast<int>(hex.size()) * 4;
  return std::stoull(hex, nullptr, 16) << (48 - bits);
}

void Fill(vexa::Database& db, size_t pairings, const vexa::VendorRegistry& vendors,
          std::vector<std::string>& some_ips, std::vector<std::string>& some_macs) {
  std::mt19937_64 random(42);
  std::vector<std::string> prefixes =
      vendors.StoredPrefixesWhere([](std::string_view shown) { return !shown.starts_with("("); });
  std::shuffle(prefixes.begin(), prefixes.end(), random);
  prefixes.resize(std::min<size_t>(prefixes.size(), 4000));
  if (prefixes.empty()) prefixes.push_back("00 00 0c");

  db.Exec("BEGIN");
  vexa::Statement history = db.Prepare(
      "INSERT OR IGNORE INTO ArpHistory (IpAddr, MacAddr, IpKey, Router, IfIndex, FirstSeen, "
      "LastSeen, Cycles, IsCurrent) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
  vexa::Statement table = db.Prepare(
      "INSERT OR IGNORE INTO ArpTable (IpAddr, MacAddr, Type, IfIndex, SeenTimes, DnsName) "
      "VALUES (?1, ?2, 3, ?3, 1, ?4)");
  const int64_t now = 1765280000;
  for (size_t i = 0; i < pairings; ++i) {
    std::string ip;
    if (i % 20 == 19) {
      char text[64];
      std::snprintf(text, sizeof text, "2001:db8:%x:%x::%x", static_cast<unsigned>(random() % 64),
                    static_cast<unsigned>(random() % 256),
                    static_cast<unsigned>(random() % 65535 + 1));
      ip = *vexa::CanonicalIp(text);
    } else {
      const uint32_t host = static_cast<uint32_t>(random() % (1u << 22));
      ip = "10." + std::to_string(host >> 16) + "." + std::to_string(host >> 8 & 0xff) + "." +
           std::to_string(host & 0xff);
    }
    uint64_t address;
    if (random() % 10 < 7) {
      const std::string& prefix = prefixes[random() % prefixes.size()];
      const int bits = static_cast<int>(prefix.size() - prefix.size() / 3) * 4;
      address = PrefixValue(prefix) | (random() & ((uint64_t{1} << (48 - bits)) - 1));
    } else {
      address = (random() & 0xfcffffffffff) | 0x020000000000;  // locally administered
    }
    const std::string mac = Mac(address);
    const int64_t last = now - static_cast<int64_t>(random() % (400 * 86400));
    const bool current = random() % 3 == 0;
    history.Bind(1, ip).Bind(2, mac).BindBlob(3, *vexa::IpKeyOf(ip));
    history.Bind(4, "192.0.2." + std::to_string(1 + random() % 40));
    history.Bind(5, static_cast<int64_t>(1 + random() % 48));
    history.Bind(6, last - static_cast<int64_t>(random() % (30 * 86400)));
    history.Bind(7, last).Bind(8, static_cast<int64_t>(1 + random() % 500));
    history.Bind(9, current ? 1 : 0);
    history.Step();
    history.Reset();
    if (current && i % 15 == 0) {
      table.Bind(1, ip).Bind(2, mac).Bind(3, static_cast<int64_t>(1 + random() % 48));
      table.Bind(4, "host" + std::to_string(i) + ".example.net");
      table.Step();
      table.Reset();
    }
    if (i % 99991 == 7) {
      some_ips.push_back(ip);
      some_macs.push_back(mac);
    }
  }
  db.Exec("COMMIT");
  db.Exec("ANALYZE");
}

void PrintPlan(vexa::Database& db, const std::string& label, const std::string& sql) {
  vexa::Statement plan = db.Prepare("EXPLAIN QUERY PLAN " + sql);
  std::string details;
  while (plan.Step()) details += (details.empty() ? "" : "; ") + plan.ColumnText(3);
  std::printf("  plan of %-14s %s\n", label.c_str(), details.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const size_t pairings = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;

  auto start = std::chrono::steady_clock::now();
  const vexa::VendorRegistry& vendors = vexa::VendorRegistry::ForProcess(
      [](const std::string& message) { std::printf("warning: %s\n", message.c_str()); });
  std::printf("vendor registry: %zu assignments loaded in %.0f ms\n", vendors.size(),
              MillisecondsSince(start));

  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("find_bench." + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "VexaArp.mdb").string();
  {
    sqlite3* raw = nullptr;
    std::ifstream schema_file(VEXA_SCHEMA_FILE);
    std::stringstream schema;
    schema << schema_file.rdbuf();
    if (sqlite3_open(path.c_str(), &raw) != SQLITE_OK ||
        sqlite3_exec(raw, schema.str().c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "find_bench: cannot make %s: %s\n", path.c_str(), sqlite3_errmsg(raw));
      return 1;
    }
    sqlite3_close(raw);
  }

  int status = 0;
  try {
    vexa::Database db = vexa::Database::Open(path);
    // What reading through a memory map instead of read() calls gives;
    // the programs leave SQLite's default (no map).
    if (std::getenv("FIND_BENCH_MMAP")) db.Exec("PRAGMA mmap_size = 1073741824");
    std::vector<std::string> ips;
    std::vector<std::string> macs;
    start = std::chrono::steady_clock::now();
    Fill(db, pairings, vendors, ips, macs);
    vexa::Statement count =
        db.Prepare("SELECT (SELECT count(*) FROM ArpHistory), (SELECT count(*) FROM ArpTable)");
    count.Step();
    std::printf("database: %lld pairings in ArpHistory, %lld rows in ArpTable, made in %.1f s\n",
                static_cast<long long>(count.ColumnInt64(0)),
                static_cast<long long>(count.ColumnInt64(1)), MillisecondsSince(start) / 1000);

    const std::string columns = "SELECT * FROM ArpHistory ";
    PrintPlan(db, "address/prefix",
              columns + "WHERE IpKey BETWEEN ?1 AND ?2 AND length(IpKey) = ?3");
    PrintPlan(db, "MAC/vendor", columns + "WHERE MacAddr >= ?1 AND MacAddr < ?2");
    PrintPlan(db, "name", columns + "WHERE IpAddr = ?1");

    const std::vector<std::pair<const char*, std::string>> queries = {
        {"address", ips.front()},      {"IPv6 address", "2001:db8:1:2::3"},
        {"MAC address", macs.front()}, {"MAC prefix", macs.front().substr(0, 8)},
        {"/24 prefix", "10.1.2.0/24"}, {"/16 prefix", "10.7.0.0/16"},
        {"vendor", "vendor:cisco"},    {"vendor", "vendor:apple"},
        {"name", "host1234"},
    };
    std::printf("%-14s %-20s %9s %10s %10s\n", "query", "text", "pairings", "median ms", "max ms");
    for (const auto& [label, text] : queries) {
      const std::optional<vexa::AddressQuery> query = vexa::ParseAddressQuery(text);
      if (!query) {
        std::printf("%-14s %-20s cannot be read\n", label, text.c_str());
        continue;
      }
      size_t found = vexa::FindPairings(db, *query, vendors, false).size();  // warms the cache
      std::vector<double> ms;
      for (int i = 0; i < runs; ++i) {
        const auto t = std::chrono::steady_clock::now();
        found = vexa::FindPairings(db, *query, vendors, false).size();
        ms.push_back(MillisecondsSince(t));
      }
      std::sort(ms.begin(), ms.end());
      std::printf("%-14s %-20s %9zu %10.1f %10.1f\n", label, text.c_str(), found, ms[ms.size() / 2],
                  ms.back());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "find_bench: %s\n", e.what());
    status = 1;
  }
  fs::remove_all(dir);
  return status;
}
