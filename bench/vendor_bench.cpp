// Times the loading of the IEEE registries of MAC vendors and the lookups
// in them: prints the assignments read, the load time of each run with its
// median, and lookups per second over random unicast addresses (the slowest
// kind: most are listed in no 36- or 28-bit block, so all three lengths are
// searched).
//
//   vendor_bench [RUNS] [FOLDER...]     default: 10 runs, the ieee-data folders
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "arp/mac_format.h"
#include "arp/vendor.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  std::vector<std::string> folders(argv + std::min(argc, 2), argv + argc);
  if (folders.empty()) folders = vexa::VendorRegistry::DefaultFolders();

  std::vector<double> seconds;
  vexa::VendorRegistry registry;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    registry = vexa::VendorRegistry::Load(
        folders, [](const std::string& message) { std::printf("warning: %s\n", message.c_str()); });
    seconds.push_back(SecondsSince(start));
    std::printf("load %d: %zu assignments in %.1f ms\n", i + 1, registry.size(),
                seconds.back() * 1000);
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("load: median %.1f ms, slowest %.1f ms (goal: under 500 ms)\n",
              seconds[seconds.size() / 2] * 1000, seconds.back() * 1000);

  constexpr size_t kLookups = 1'000'000;
  std::mt19937_64 random(1);
  std::vector<std::string> macs;
  macs.reserve(kLookups);
  for (size_t i = 0; i < kLookups; ++i) {
    uint64_t address = random() & 0xFCFFFFFFFFFF;  // neither group nor local
    std::string octets(6, '\0');
    for (int k = 5; k >= 0; --k, address >>= 8) octets[k] = static_cast<char>(address & 0xFF);
    macs.push_back(vexa::FormatMac(octets));
  }
  size_t named = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const std::string& mac : macs) named += registry.VendorOf(mac).empty() ? 0 : 1;
  const double lookup_seconds = SecondsSince(start);
  std::printf("lookups: %zu in %.3f s, %.0f per second (%zu with a vendor)\n", kLookups,
              lookup_seconds, static_cast<double>(kLookups) / lookup_seconds, named);
  return 0;
}
