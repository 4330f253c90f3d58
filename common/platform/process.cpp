#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

extern char** environ;

namespace vexa {

namespace {

std::vector<char*> ArgvOf(const std::vector<std::string>& args) {
  std::vector<char*> out;
  out.reserve(args.size() + 1);
  for (const auto& a : args) out.push_back(const_cast<char*>(a.c_str()));
  out.push_back(nullptr);
  return out;
}

bool ReadFull(int fd, void* buf, size_t len) {
  auto* p = static_cast<char*>(buf);
  while (len > 0) {
    const ssize_t n = ::read(fd, p, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

void WriteAll(int fd, const void* buf, size_t len) {
  const auto* p = static_cast<const char*>(buf);
  while (len > 0) {
    const ssize_t n = ::write(fd, p, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    len -= static_cast<size_t>(n);
  }
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv) {
  CommandResult result;
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    result.spawn_error = errno;
    return result;
  }
  if (::pipe2(err, O_CLOEXEC) != 0) {
    result.spawn_error = errno;
    ::close(out[0]);
    ::close(out[1]);
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
  auto args = ArgvOf(argv);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(out[1]);
  ::close(err[1]);
  if (rc != 0) {
    ::close(out[0]);
    ::close(err[0]);
    result.spawn_error = rc;
    return result;
  }
  // Both pipes are drained together, so a child filling one cannot block.
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.output, &result.errors};
  int open_pipes = 2;
  char buf[4096];
  while (open_pipes > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
        continue;
      }
      if (sinks[i]->size() < (1u << 20)) sinks[i]->append(buf, static_cast<size_t>(n));
    }
  }
  for (const pollfd& p : fds)
    if (p.fd >= 0) ::close(p.fd);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::optional<pid_t> SpawnDetached(const std::string& program, const std::vector<std::string>& args,
                                   const std::string& working_dir, int& error) {
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  auto argv = ArgvOf(all);
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    error = errno;
    return std::nullopt;
  }
  // Double fork so the service is not our child; only async-signal-safe calls
  // between fork and exec. The middle process reports the pid, the grandchild
  // reports an errno if exec fails; a clean EOF after the pid means exec ran.
  const pid_t middle = ::fork();
  if (middle < 0) {
    error = errno;
    ::close(report[0]);
    ::close(report[1]);
    return std::nullopt;
  }
  if (middle == 0) {
    ::close(report[0]);
    ::setsid();
    const pid_t child = ::fork();
    if (child == 0) {
      int err = 0;
      if (::chdir(working_dir.c_str()) != 0) {
        err = errno;
      } else {
        const int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
          ::dup2(devnull, 0);
          ::dup2(devnull, 1);
          ::dup2(devnull, 2);
          if (devnull > 2) ::close(devnull);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2, SIGPIPE, SIGCHLD})
          ::signal(sig, SIG_DFL);
        ::execv(argv[0], argv.data());
        err = errno;
      }
      WriteAll(report[1], &err, sizeof err);
      ::_exit(127);
    }
    const pid_t sent = child;
    WriteAll(report[1], &sent, sizeof sent);
    ::_exit(child < 0 ? 1 : 0);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  pid_t pid = -1;
  const bool got_pid = ReadFull(report[0], &pid, sizeof pid);
  int exec_error = 0;
  const bool exec_failed = got_pid && ReadFull(report[0], &exec_error, sizeof exec_error);
  ::close(report[0]);
  if (!got_pid || pid <= 0) {
    error = EAGAIN;
    return std::nullopt;
  }
  if (exec_failed) {
    error = exec_error != 0 ? exec_error : EIO;
    return std::nullopt;
  }
  return pid;
}

std::optional<InputChild> SpawnWithInput(const std::string& program, int& error) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
    error = errno;
    return std::nullopt;
  }
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  // dup2 clears close-on-exec on the copy the program gets.
  posix_spawn_file_actions_adddup2(&actions, pair[1], 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<std::string> args{program};
  std::vector<char*> argv = ArgvOf(args);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(pair[1]);
  if (rc != 0) {
    ::close(pair[0]);
    error = rc;
    return std::nullopt;
  }
  ::fcntl(pair[0], F_SETFL, ::fcntl(pair[0], F_GETFL) | O_NONBLOCK);
  return InputChild{pid, pair[0]};
}

bool ProcessRunsProgram(pid_t pid, const std::string& program) {
  if (pid <= 0) return false;
  if (::kill(pid, 0) != 0 && errno != EPERM) return false;
  const std::string proc = "/proc/" + std::to_string(pid);
  std::ifstream stat(proc + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const auto close_paren = line.rfind(')');
  if (close_paren == std::string::npos || close_paren + 2 >= line.size()) return false;
  const char state = line[close_paren + 2];
  if (state == 'Z' || state == 'X') return false;
  char buf[4096];
  const ssize_t n = ::readlink((proc + "/exe").c_str(), buf, sizeof buf - 1);
  if (n <= 0) return false;
  std::string exe(buf, static_cast<size_t>(n));
  const std::string deleted = " (deleted)";
  if (exe.size() > deleted.size() &&
      exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
    exe.resize(exe.size() - deleted.size());
  return exe == program;
}

}  // namespace vexa
