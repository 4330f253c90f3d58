#include "password_prompt.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "command.h"

namespace vexa::cli {

namespace {

constexpr std::array kSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGTTIN, SIGTTOU};

// What the signal handler needs: it only restores the terminal (tcsetattr is
// async-signal-safe) and notes the signal; the rest happens outside it.
int g_fd = -1;
termios g_saved{};
volatile sig_atomic_t g_signal = 0;

extern "C" void RestoreTerminal(int sig) {
  ::tcsetattr(g_fd, TCSAFLUSH, &g_saved);
  g_signal = sig;
}

// The terminal's echo off and the handlers in place while it lives.
class EchoOff {
 public:
  explicit EchoOff(int fd) {
    g_fd = fd;
    g_signal = 0;
    if (::tcgetattr(fd, &g_saved) != 0)
      throw Failure(std::string("cannot read the terminal's settings: ") + std::strerror(errno));
    struct sigaction action {};
    action.sa_handler = RestoreTerminal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the read returns with EINTR
    for (size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &old_[i]);
    termios quiet = g_saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  ~EchoOff() {
    ::tcsetattr(g_fd, TCSAFLUSH, &g_saved);
    for (size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &old_[i], nullptr);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  std::array<struct sigaction, kSignals.size()> old_{};
};

enum class LineEnd { kLine, kEndOfInput, kSignal };

LineEnd ReadLine(int fd, std::string& line) {
  for (;;) {
    if (g_signal != 0) return LineEnd::kSignal;
    char c = 0;
    const ssize_t n = ::read(fd, &c, 1);
    if (n == 1) {
      if (c == '\n') return LineEnd::kLine;
      line += c;
    } else if (n == 0) {
      return LineEnd::kEndOfInput;
    } else if (errno != EINTR) {
      throw Failure(std::string("cannot read the password: ") + std::strerror(errno));
    }
  }
}

}  // namespace

std::optional<std::string> ReadPasswordFromTerminal(int fd, const std::string& prompt,
                                                    std::ostream& err) {
  for (;;) {
    std::string line;
    LineEnd end;
    int sig = 0;
    {
      EchoOff quiet(fd);
      err << prompt << std::flush;  // once the echo is off
      end = ReadLine(fd, line);
      sig = g_signal;
    }
    err << '\n' << std::flush;  // the line end the terminal did not echo
    if (end == LineEnd::kLine) return line;
    if (end == LineEnd::kEndOfInput) return line.empty() ? std::nullopt : std::optional(line);
    // The terminal is as it was and the old handlers are back: the signal
    // takes its course. A stop returns here once continued.
    ::raise(sig);
    if (sig != SIGTSTP && sig != SIGTTIN && sig != SIGTTOU)
      throw Failure("the password prompt was interrupted");
  }
}

}  // namespace vexa::cli
