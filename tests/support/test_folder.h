// Test helpers: a temporary program folder made by the real build step, the
// real collector binary run as a child with a time limit, and file helpers.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace vexa::test {

// A scratch directory removed (with its contents) when the object goes; in
// `parent`, or in the temporary directory when that is empty.
class TempDir {
 public:
  TempDir();
  explicit TempDir(const std::string& parent);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A program folder as scripts/make-program-folder.sh makes it: VexaArpSrv,
// VexaArp.mdb from db/schema.sql, an empty Debug/. It is called `name`, in a
// scratch directory made in the temporary directory or in `parent`.
class ProgramFolder {
 public:
  explicit ProgramFolder(const std::string& name = "program", const std::string& parent = "");
  const std::string& path() const { return folder_; }
  std::string File(const std::string& name) const { return folder_ + "/" + name; }
  std::string Database() const { return File("VexaArp.mdb"); }
  std::string Collector() const { return File("VexaArpSrv"); }
  std::string AppEvent() const { return File("Debug/AppEvent.txt"); }
  // Runs SQL on the folder's database (sqlite3 API, no shell).
  void Sql(const std::string& sql) const;
  // A directory beside the folder, for service state and scratch files.
  std::string Scratch() const { return root_.path(); }

 private:
  TempDir root_;
  std::string folder_;
};

// While it lives, `folder` cannot be written by this process: its write bits
// are cleared and, when the process runs as root, the capability that
// overrides them is lowered from the effective set (both are given back).
class UnwritableFolder {
 public:
  explicit UnwritableFolder(std::string folder);
  ~UnwritableFolder();
  UnwritableFolder(const UnwritableFolder&) = delete;
  UnwritableFolder& operator=(const UnwritableFolder&) = delete;

 private:
  std::string folder_;
  bool lowered_ = false;
};

// While it lives, what this process writes to standard error goes to a file
// instead; Text() is what was written so far.
class CapturedStderr {
 public:
  CapturedStderr();
  ~CapturedStderr();
  CapturedStderr(const CapturedStderr&) = delete;
  CapturedStderr& operator=(const CapturedStderr&) = delete;
  std::string Text() const;

 private:
  TempDir dir_;
  int saved_ = -1;
};

struct RunResult {
  int exit_status = -1;  // -1 when killed by a signal or the time limit
  std::string out;
  std::string err;
};

// Runs `program` with `args`, extra environment and working directory, waits
// at most `limit`, and kills it (by pid) when it takes longer.
RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env = {}, const std::string& cwd = "",
              std::chrono::milliseconds limit = std::chrono::seconds(30));

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
std::vector<std::string> SplitCrLfLines(const std::string& text);

// Polls `condition` every 20 ms until it holds or `limit` passes.
template <typename F>
bool WaitUntil(F condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    ::usleep(20000);
  }
  return condition();
}

}  // namespace vexa::test
