// Installing the service: the collector registers itself when started as
// "VexaArpSrv -install_noMsg" from the program folder. The console waits for
// it to end, keeping the window responsive, and reads its exit status.
#pragma once

#include <QString>
#include <chrono>

namespace vexa::console {

inline constexpr const char* kCollectorProgram = "VexaArpSrv";
inline constexpr const char* kInstallOption = "-install_noMsg";
inline constexpr std::chrono::seconds kInstallTimeLimit{30};

struct InstallRun {
  bool started = false;  // false: the program could not be run at all
  // Exit status as a shell reports it: the program's own status, or 128 + the
  // signal that ended it (a run past the time limit is killed: 137).
  int exit_status = 0;
};

InstallRun RunCollectorInstall(const QString& program_folder,
                               std::chrono::milliseconds limit = kInstallTimeLimit);

}  // namespace vexa::console
