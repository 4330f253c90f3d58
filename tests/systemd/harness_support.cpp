#include "harness_support.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/files.h"

namespace vexa::test {

std::string WhyNotInHarness() {
  if (std::getenv("VEXA_HARNESS_SCRATCH") == nullptr || !FileExists("/run/systemd/system"))
    return "this test runs against a real systemd: start it with "
           "tests/systemd/systemd-harness.sh run STATE TEST (ctest does)";
  return {};
}

std::string HarnessScratch() {
  const char* scratch = std::getenv("VEXA_HARNESS_SCRATCH");
  return scratch != nullptr ? scratch : "";
}

std::string SystemctlOutput(const std::vector<std::string>& args) {
  std::vector<std::string> all{"--no-pager"};
  all.insert(all.end(), args.begin(), args.end());
  std::string out = Run("/usr/bin/systemctl", all).out;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

void ReplaceSystemFile(const std::string& path, const std::string& text) {
  namespace fs = std::filesystem;
  // A link into /run (as with systemd-resolved) points into the harness's own
  // tmpfs: write there. Anything else gets a file bound over it.
  const fs::path target = fs::weakly_canonical(path);
  if (target.string().starts_with("/run/")) {
    fs::create_directories(target.parent_path());
    WriteFile(target, text);
    return;
  }
  const std::string copy = HarnessScratch() + "/" + target.filename().string();
  WriteFile(copy, text);
  ::chmod(copy.c_str(), 0644);
  const RunResult r = Run("/bin/mount", {"--bind", copy, target});
  if (r.exit_status != 0) throw std::runtime_error("cannot bind over " + path + ": " + r.err);
}

std::string CopyForEveryone(const std::string& program) {
  const std::string dir = HarnessScratch() + "/bin";
  ::mkdir(dir.c_str(), 0755);
  const std::string copy = dir + "/" + std::filesystem::path(program).filename().string();
  std::filesystem::copy_file(program, copy, std::filesystem::copy_options::overwrite_existing);
  ::chmod(copy.c_str(), 0755);
  return copy;
}

RunResult RunAsNobody(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::string> all{"--reuid=nobody", "--regid=nogroup", "--clear-groups", program};
  all.insert(all.end(), args.begin(), args.end());
  return Run("/usr/bin/setpriv", all);
}

double SecurityExposure(const std::string& unit, std::string& report) {
  const RunResult r = Run("/usr/bin/systemd-analyze", {"security", "--no-pager", unit});
  report = r.out + r.err;
  const std::string marker = "Overall exposure level for " + unit + ": ";
  const auto at = report.find(marker);
  if (at == std::string::npos) return -1;
  return std::strtod(report.c_str() + at + marker.size(), nullptr);
}

}  // namespace vexa::test
