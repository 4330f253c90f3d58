// Running other programs: a blocking run with captured output, and a detached
// start that reports whether the program could be executed.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace vexa {

struct CommandResult {
  int spawn_error = 0;   // errno when the program could not be started
  int exit_status = -1;  // exit status, or -1 when it died of a signal
  std::string output;    // what it wrote to stdout
  std::string errors;    // what it wrote to stderr
};

// Runs argv[0] (searched on PATH) and waits for it; at most 1 MiB of each
// output stream is kept.
CommandResult RunCommand(const std::vector<std::string>& argv);

// Starts `program` with the given arguments in `working_dir`, detached from the
// caller (own session, stdio on /dev/null, default signal mask and handlers),
// and returns its pid once exec has succeeded. On failure returns nullopt and
// sets `error` to the errno of the failing step.
std::optional<pid_t> SpawnDetached(const std::string& program, const std::vector<std::string>& args,
                                   const std::string& working_dir, int& error);

// A program started with its standard input on a socket of ours.
struct InputChild {
  pid_t pid = -1;
  int input = -1;  // ours to write (non-blocking, close-on-exec) and close
};

// Starts `program` (an absolute path, no arguments) in a session of its own,
// with the default signal mask and dispositions, its standard input the
// other end of `input`, its standard output on /dev/null and its standard
// error the caller's. The input is a socket so that writing after the
// program has gone fails with EPIPE (send with MSG_NOSIGNAL) rather than
// raising SIGPIPE. On failure returns nullopt and sets `error`.
std::optional<InputChild> SpawnWithInput(const std::string& program, int& error);

// Whether pid is alive (not a zombie) and runs the executable at `program`.
bool ProcessRunsProgram(pid_t pid, const std::string& program);

}  // namespace vexa
