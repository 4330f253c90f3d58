// Reverse lookups one at a time (a new resolver per address, as the export
// did) against the concurrent batch, on the same addresses and server.
// Prints lookups per second for both and the speed-up, and fails when the
// two ways disagree on any address.
//
//   reverse_lookup_bench --addresses FILE [--serial N] [--in-flight K]
//                        [--timeout-ms T] [--servers SPEC]
//
// FILE holds one address per line; the batch resolves all of them, the
// one-at-a-time run the first N (default 500). Servers come from --servers
// or VEXAARP_DNS_SERVERS.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "dns/cares_reverse_resolver.h"

namespace {

using Clock = std::chrono::steady_clock;
using vexa::dns::CaresResolverOptions;
using vexa::dns::CaresReverseResolver;
using vexa::dns::LookupResult;

struct Args {
  std::string addresses_path;
  size_t serial = 500;
  size_t in_flight = 64;
  long timeout_ms = 5000;
  std::string servers;
};

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr,
               "%s\nusage: reverse_lookup_bench --addresses FILE [--serial N] [--in-flight K] "
               "[--timeout-ms T] [--servers SPEC]\n",
               why);
  std::exit(2);
}

Args ParseArgs(int argc, char** argv) {
  Args args;
  if (const char* env = std::getenv("VEXAARP_DNS_SERVERS")) args.servers = env;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (i + 1 >= argc) Usage(("missing value after " + flag).c_str());
    const char* value = argv[++i];
    if (flag == "--addresses")
      args.addresses_path = value;
    else if (flag == "--serial")
      args.serial = std::strtoul(value, nullptr, 10);
    else if (flag == "--in-flight")
      args.in_flight = std::strtoul(value, nullptr, 10);
    else if (flag == "--timeout-ms")
      args.timeout_ms = std::strtol(value, nullptr, 10);
    else if (flag == "--servers")
      args.servers = value;
    else
      Usage(("unknown option " + flag).c_str());
  }
  if (args.addresses_path.empty()) Usage("--addresses is required");
  if (args.servers.empty()) Usage("no servers: set VEXAARP_DNS_SERVERS or --servers");
  return args;
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  const Args args = ParseArgs(argc, argv);
  std::vector<std::string> addresses;
  {
    std::ifstream in(args.addresses_path);
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) addresses.push_back(line);
  }
  if (addresses.empty()) Usage("no addresses in the file");
  const size_t serial_count = std::min(args.serial, addresses.size());

  CaresResolverOptions options;
  options.servers = args.servers;
  options.max_in_flight = args.in_flight;
  options.timeout = std::chrono::milliseconds(args.timeout_ms);
  vexa::SystemClock clock;
  vexa::EventLoop loop(clock);
  CaresReverseResolver resolver(loop, options);

  const auto batch_start = Clock::now();
  const std::vector<LookupResult> batch = resolver.LookupAll(addresses);
  const double batch_s = Seconds(Clock::now() - batch_start);

  std::vector<LookupResult> serial;
  serial.reserve(serial_count);
  const auto serial_start = Clock::now();
  for (size_t i = 0; i < serial_count; ++i) serial.push_back(resolver.Lookup(addresses[i]));
  const double serial_s = Seconds(Clock::now() - serial_start);

  std::map<std::string, size_t> outcomes;
  for (const LookupResult& r : batch) ++outcomes[std::string(OutcomeName(r.outcome))];
  size_t disagreements = 0;
  for (size_t i = 0; i < serial_count; ++i) {
    if (serial[i] == batch[i]) continue;
    if (++disagreements <= 5) {
      std::fprintf(stderr, "disagree on %s: batch %s: %s, one at a time %s: %s\n",
                   addresses[i].c_str(), std::string(OutcomeName(batch[i].outcome)).c_str(),
                   batch[i].text.c_str(), std::string(OutcomeName(serial[i].outcome)).c_str(),
                   serial[i].text.c_str());
    }
  }

  const double batch_rate = static_cast<double>(addresses.size()) / batch_s;
  const double serial_rate = static_cast<double>(serial_count) / serial_s;
  std::printf("servers:       %s\n", args.servers.c_str());
  std::printf("batch:         N=%zu in %.2f s = %.0f lookups/s (up to %zu in flight)\n",
              addresses.size(), batch_s, batch_rate, args.in_flight);
  std::printf("one at a time: N=%zu in %.2f s = %.1f lookups/s (%.1f ms per lookup)\n",
              serial_count, serial_s, serial_rate,
              1000.0 * serial_s / static_cast<double>(serial_count));
  std::printf("batch outcomes:");
  for (const auto& [name, count] : outcomes) std::printf(" %s=%zu", name.c_str(), count);
  std::printf("\n");
  std::printf("agreement:     %zu of the first %zu addresses differ\n", disagreements,
              serial_count);
  std::printf("speed-up:      %.1fx\n", batch_rate / serial_rate);
  return disagreements == 0 ? 0 : 1;
}
