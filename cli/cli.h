// vexa-arp [--folder DIR] COMMAND [ARGS...]: the settings, the service and
// the collected table of a Vexa ARP program folder, from a shell.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vexa::cli {

// Runs one command line (without the program name). `default_folder` is the
// program folder when --folder is not given. Returns the exit status: 0, 1
// for a failure, 2 for a usage error.
int Run(const std::vector<std::string>& args, const std::string& default_folder, std::ostream& out,
        std::ostream& err);

}  // namespace vexa::cli
