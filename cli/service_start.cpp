#include "service_start.h"

#include <fstream>
#include <string_view>

#include "platform/local_time.h"

namespace vexa::cli {

namespace {
constexpr const char* kStartedText = "Service Started.";
}

// The log is read line by line; a line that is not of its form is passed over.
std::string LastServiceStart(const std::string& event_log) {
  std::ifstream in(event_log, std::ios::binary);
  std::string line;
  std::string last;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const size_t text = line.rfind('\t');
    if (line.compare(text + 1, std::string::npos, kStartedText) != 0) continue;
    if (ParseLocalDateTime(std::string_view(line).substr(0, tab))) last = line.substr(0, tab);
  }
  return last;
}

}  // namespace vexa::cli
