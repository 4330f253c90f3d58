// Helpers of the tests that run inside systemd-harness.sh, against its real
// systemd: commands with their output, files of the harness's own view of
// /etc, and what systemd-analyze says of the unit.
#pragma once

#include <string>
#include <vector>

#include "support/test_folder.h"

namespace vexa::test {

// Empty when this process runs inside the harness, else why it cannot run.
std::string WhyNotInHarness();

// The scratch directory of the harness: outside /tmp (services get a /tmp of
// their own) and gone with the harness.
std::string HarnessScratch();

// systemctl's answer, line ends removed.
std::string SystemctlOutput(const std::vector<std::string>& args);

// Gives the harness's view of `path` (for example /etc/resolv.conf) the text
// `text`; the machine's file stays as it is.
void ReplaceSystemFile(const std::string& path, const std::string& text);

// A copy of `program` that every user may run (the build tree may lie where
// others cannot reach it).
std::string CopyForEveryone(const std::string& program);

// Runs `program` as the user nobody.
RunResult RunAsNobody(const std::string& program, const std::vector<std::string>& args);

// "Overall exposure level" of `systemd-analyze security` for the unit, or -1;
// `report` gets the whole table.
double SecurityExposure(const std::string& unit, std::string& report);

}  // namespace vexa::test
