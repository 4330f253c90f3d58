// The last poll cycle for a person, as "vexa-arp service status" prints it:
// read back from the metrics file the collector writes after every cycle
// (MetricsFile), so the command and a scraper see the same figures.
#pragma once

#include <ostream>
#include <string>

namespace vexa::cli {

// Prints the cycle's lines from the metrics file at `path`; a file that is
// missing or unreadable is said in one line. Lines of the file that are not
// the collector's metrics are passed over.
void PrintLastCycle(const std::string& path, std::ostream& out);

}  // namespace vexa::cli
