#include "cycle_status.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <sstream>

#include "platform/files.h"
#include "platform/local_time.h"

namespace vexa::cli {

namespace {

// One sample line: name{label="value",...} number.
struct Sample {
  std::string name;
  std::map<std::string, std::string> labels;
  double value = 0;
};

// Reads a sample as the collector writes them; nullopt for anything else.
std::optional<Sample> ParseSample(const std::string& line) {
  if (line.empty() || line[0] == '#') return std::nullopt;
  Sample sample;
  size_t at = line.find_first_of("{ ");
  if (at == std::string::npos) return std::nullopt;
  sample.name = line.substr(0, at);
  if (line[at] == '{') {
    ++at;
    while (at < line.size() && line[at] != '}') {
      const size_t eq = line.find("=\"", at);
      if (eq == std::string::npos) return std::nullopt;
      const std::string key = line.substr(at, eq - at);
      std::string value;
      size_t i = eq + 2;
      for (; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
          ++i;
          value += line[i] == 'n' ? '\n' : line[i];
        } else {
          value += line[i];
        }
      }
      if (i >= line.size()) return std::nullopt;
      sample.labels[key] = value;
      at = i + 1;
      if (at < line.size() && line[at] == ',') ++at;
    }
    if (at >= line.size()) return std::nullopt;
    ++at;
  }
  const std::string number = line.substr(at);
  char* end = nullptr;
  sample.value = std::strtod(number.c_str(), &end);
  if (end == number.c_str() || !std::isfinite(sample.value)) return std::nullopt;
  return sample;
}

std::string When(double epoch_seconds) {
  if (epoch_seconds <= 0 || epoch_seconds > 1e11) return "-";
  const WallTime t{std::chrono::seconds(static_cast<int64_t>(epoch_seconds))};
  return FormatDateTime(ToLocal(t));
}

std::string Fixed(double value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

struct RouterLine {
  double rows = 0, duration = 0, resends = 0, last_success = 0;
  std::map<std::string, double> failures;
};

}  // namespace

void PrintLastCycle(const std::string& path, std::ostream& out) {
  const std::optional<std::string> read = ReadSmallFile(path);
  if (!read) {
    out << "Last cycle\t- (no metrics file " << path << " yet)\n";
    return;
  }
  std::optional<double> duration, end, entries;
  std::map<std::string, RouterLine> routers;
  std::istringstream in(*read);
  std::string line;
  while (std::getline(in, line)) {
    const std::optional<Sample> s = ParseSample(line);
    if (!s) continue;
    if (s->name == "vexa_arp_cycle_duration_seconds") duration = s->value;
    if (s->name == "vexa_arp_cycle_end_timestamp_seconds") end = s->value;
    if (s->name == "vexa_arp_table_entries") entries = s->value;
    const auto router = s->labels.find("router");
    if (router == s->labels.end()) continue;
    RouterLine& r = routers[router->second];
    if (s->name == "vexa_arp_walk_rows") r.rows = s->value;
    if (s->name == "vexa_arp_walk_duration_seconds") r.duration = s->value;
    if (s->name == "vexa_arp_walk_resends") r.resends = s->value;
    if (s->name == "vexa_arp_walk_last_success_timestamp_seconds") r.last_success = s->value;
    const auto outcome = s->labels.find("outcome");
    if (s->name == "vexa_arp_walk_failures_total" && outcome != s->labels.end())
      r.failures[outcome->second] = s->value;
  }
  out << "Last cycle\t" << (end ? When(*end) : "-");
  if (duration) out << ", took " << Fixed(*duration, "%.1f") << " s";
  out << '\n';
  if (entries) out << "ArpTable\t" << Fixed(*entries, "%.0f") << " entries\n";
  for (const auto& [name, r] : routers) {
    out << "Router\t" << name << '\t' << Fixed(r.rows, "%.0f") << " rows\t"
        << Fixed(r.duration, "%.1f") << " s\t" << Fixed(r.resends, "%.0f")
        << " resends\tlast success " << When(r.last_success);
    for (const auto& [outcome, count] : r.failures)
      out << '\t' << outcome << ' ' << Fixed(count, "%.0f");
    out << '\n';
  }
}

}  // namespace vexa::cli
