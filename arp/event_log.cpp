#include "arp/event_log.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "arp/program_files.h"
#include "platform/files.h"
#include "platform/local_time.h"

namespace vexa {

void EventLog::LogEvent(std::string_view module, std::string_view procedure, std::string_view text,
                        int16_t level) {
  if (sink_) {
    sink_(std::string(module) + "_" + std::string(procedure), text, level);
    return;
  }
  const ProgramFiles files(program_folder_);
  std::string line = FormatDateTime(ToLocal(loop_.clock().WallNow()));
  line += '\t';
  line += std::to_string(level);
  line += '\t';
  line += module;
  line += '_';
  line += procedure;
  line += '\t';
  line += text;
  line += "\r\n";
  if (program_folder_.empty()) return;
  if (const int err = AppendToFile(files.app_event, line, 0644)) {
    if (!failure_told_) {
      failure_told_ = true;
      line.resize(line.size() - 2);  // the CR LF
      // One line of the journal: the text's own line ends and controls are blanked.
      for (char& c : line)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) c = ' ';
      WriteFully(2, "VexaArpSrv: could not write the event log " + files.app_event + ": " +
                        std::strerror(err) +
                        "; its lines of this job are lost, the first: " + line + "\n");
    }
    return;
  }
  loop_.WaitMs(500);
}

void EventLog::ClearSnmpTraces() {
  std::string failed;
  const int err = DeleteMatchingFiles(ProgramFiles(program_folder_).debug_folder, "s*.txt", failed);
  if (err != 0)
    LogEvent(kLogSourceCollector, "ClearDebugDir",
             "Could not delete " + failed + ": " + std::strerror(err), kLevelError);
}

int DeleteMatchingFiles(const std::string& folder, const std::string& pattern,
                        std::string& failed) {
  for (const std::string& name : MatchFiles(folder, pattern, /*ignore_case=*/true)) {
    const std::string path = folder + "/" + name;
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
      const int err = errno;
      failed = path;
      return err;
    }
  }
  return 0;
}

}  // namespace vexa
