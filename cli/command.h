// What every command of vexa-arp gets and gives: the program folder, the two
// output streams, and errors that carry their exit status. Each group of
// commands lives in a file of its own and adds its entries to the table.
#pragma once

#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexa::cli {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// One line for stderr; the dispatcher prefixes "vexa-arp: " and the command.
class CliError : public std::runtime_error {
 public:
  CliError(int exit_status, const std::string& what)
      : std::runtime_error(what), exit_status_(exit_status) {}
  int exit_status() const { return exit_status_; }

 private:
  int exit_status_;
};

inline CliError UsageError(const std::string& what) {
  return CliError(kExitUsage, what);
}
inline CliError Failure(const std::string& what) {
  return CliError(kExitFailure, what);
}

struct Context {
  std::string folder;  // the program folder, without a trailing slash
  std::ostream& out;
  std::ostream& err;

  std::string File(const std::string& name) const { return folder + "/" + name; }
};

using Arguments = std::vector<std::string>;

struct Command {
  const char* name;
  const char* synopsis;  // the arguments, for the usage lines
  const char* summary;   // one line for the command list
  const char* help;      // the text of --help after the usage line
  int (*run)(Context& context, const Arguments& args);
};

// The groups of commands, in the order `vexa-arp --help` lists them.
std::span<const Command> SettingsCommands();
std::span<const Command> ServiceCommands();
std::span<const Command> WalkCommands();
std::span<const Command> TableCommands();
std::span<const Command> ExportCommands();

}  // namespace vexa::cli
