// What every command of vexa-arp gets and gives: the program folder, the two
// output streams, and errors that carry their exit status. Each group of
// commands lives in a file of its own and adds its entries to the table.
#pragma once

#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexa {
class VendorRegistry;
}

namespace vexa::cli {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// What a command could not do, as lines for stderr (the dispatcher prefixes
// each with "vexa-arp: " and the command) and the exit status, which follows
// from the kind of error alone: kExitUsage when the command line itself is
// wrong (an unknown command, option or field, a missing argument, a value
// its field's rule refuses), kExitFailure when it could not be carried out
// on this folder. Commands throw these and never choose a status themselves.
class CliError : public std::runtime_error {
 public:
  CliError(int exit_status, std::vector<std::string> lines)
      : std::runtime_error(lines.empty() ? std::string() : lines.front()),
        exit_status_(exit_status),
        lines_(std::move(lines)) {}
  int exit_status() const { return exit_status_; }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  int exit_status_;
  std::vector<std::string> lines_;
};

inline CliError UsageError(const std::string& what) {
  return CliError(kExitUsage, {what});
}
inline CliError UsageError(std::vector<std::string> lines) {
  return CliError(kExitUsage, std::move(lines));
}
inline CliError Failure(const std::string& what) {
  return CliError(kExitFailure, {what});
}
inline CliError Failure(std::vector<std::string> lines) {
  return CliError(kExitFailure, std::move(lines));
}

struct Context {
  std::string folder;  // the program folder, without a trailing slash
  std::ostream& out;
  std::ostream& err;

  std::string File(const std::string& name) const { return folder + "/" + name; }
};

using Arguments = std::vector<std::string>;

// The process's vendor registry; one that cannot be read is told once on
// stderr as a warning of `command`, and gives empty vendors.
const VendorRegistry& Vendors(Context& c, const char* command);

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
std::span<const Command> HistoryCommands();
std::span<const Command> FindCommands();

}  // namespace vexa::cli
