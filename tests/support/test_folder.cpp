#include "support/test_folder.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace vexa::test {

TempDir::TempDir() : TempDir("") {}

TempDir::TempDir(const std::string& parent) {
  std::string tmpl = (parent.empty() ? std::filesystem::temp_directory_path().string() : parent) +
                     "/vexa-test-XXXXXX";
  if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

ProgramFolder::ProgramFolder(const std::string& name, const std::string& parent)
    : root_(parent), folder_(root_.path() + "/" + name) {
  const RunResult r = Run(std::string(VEXA_SOURCE_DIR) + "/scripts/make-program-folder.sh",
                          {folder_, VEXA_COLLECTOR_BINARY});
  if (r.exit_status != 0)
    throw std::runtime_error("make-program-folder.sh failed: " + r.out + r.err);
}

void ProgramFolder::Sql(const std::string& sql) const {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(Database().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + Database());
  }
  char* err = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  const std::string msg = err != nullptr ? err : "";
  sqlite3_free(err);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("SQL failed: " + msg + " in " + sql);
}

namespace {

// Raises or lowers CAP_DAC_OVERRIDE in the calling thread's effective set;
// false when it is not in the permitted set (not root) or the call fails.
bool SetDacOverride(bool on) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (::syscall(SYS_capget, &header, data) != 0) return false;
  const uint32_t bit = 1u << CAP_DAC_OVERRIDE;
  if ((data[0].permitted & bit) == 0) return false;
  data[0].effective = on ? data[0].effective | bit : data[0].effective & ~bit;
  return ::syscall(SYS_capset, &header, data) == 0;
}

}  // namespace

UnwritableFolder::UnwritableFolder(std::string folder) : folder_(std::move(folder)) {
  if (::chmod(folder_.c_str(), 0555) != 0) throw std::runtime_error("cannot chmod " + folder_);
  lowered_ = SetDacOverride(false);
}

UnwritableFolder::~UnwritableFolder() {
  if (lowered_) SetDacOverride(true);
  ::chmod(folder_.c_str(), 0755);
}

CapturedStderr::CapturedStderr() {
  const int fd = ::open((dir_.path() + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  saved_ = ::dup(2);
  if (fd < 0 || saved_ < 0 || ::dup2(fd, 2) < 0) throw std::runtime_error("cannot capture stderr");
  ::close(fd);
}

CapturedStderr::~CapturedStderr() {
  ::dup2(saved_, 2);
  ::close(saved_);
}

std::string CapturedStderr::Text() const {
  return ReadFile(dir_.path() + "/err");
}

RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env, const std::string& cwd,
              std::chrono::milliseconds limit) {
  TempDir io;
  const std::string out_path = io.path() + "/out";
  const std::string err_path = io.path() + "/err";
  std::vector<std::string> argv_s{program};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = ::open("/dev/null", O_RDONLY);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  RunResult result;
  int status = 0;
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      break;
    }
    if (std::chrono::steady_clock::now() > end) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    ::usleep(5000);
  }
  result.out = ReadFile(out_path);
  result.err = ReadFile(err_path);
  return result;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> SplitCrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

}  // namespace vexa::test
