#include "cli.h"

#include <filesystem>

#include "arp/vendor.h"
#include "command.h"
#include "text_escape.h"

namespace vexa::cli {

constexpr const char* kProgram = "vexa-arp";

const VendorRegistry& Vendors(Context& c, const char* command) {
  return VendorRegistry::ForProcess([&c, command](const std::string& warning) {
    c.err << kProgram << ": " << command << ": warning: " << warning << '\n';
  });
}

namespace {

// Every command group; a new group adds its function here.
std::vector<Command> AllCommands() {
  std::vector<Command> all;
  for (const auto group : {SettingsCommands(), ServiceCommands(), WalkCommands(), TableCommands(),
                           FindCommands(), ExportCommands(), HistoryCommands()})
    all.insert(all.end(), group.begin(), group.end());
  return all;
}

void Usage(std::ostream& out) {
  out << "usage: " << kProgram << " [--folder DIR] COMMAND [ARGS...]\n\n"
      << "Settings, service, router walks and collected table of a Vexa ARP program folder.\n"
      << "DIR is the program folder (default: the folder of " << kProgram << " itself).\n\n"
      << "Commands:\n";
  for (const Command& c : AllCommands()) {
    std::string line = std::string("  ") + c.name;
    line.resize(12, ' ');
    out << line << c.summary << '\n';
  }
  out << "\n'" << kProgram << " COMMAND --help' describes a command.\n"
      << "Exit status: 0 done, 1 failed, 2 usage error.\n";
}

void CommandHelp(std::ostream& out, const Command& c) {
  out << "usage: " << kProgram << " [--folder DIR] " << c.name << (*c.synopsis != '\0' ? " " : "")
      << c.synopsis << "\n\n"
      << c.help;
}

bool IsHelp(const std::string& arg) {
  return arg == "--help" || arg == "-h";
}

}  // namespace

int Run(const std::vector<std::string>& args, const std::string& default_folder, std::ostream& out,
        std::ostream& err) {
  std::string folder = default_folder;
  std::string command_name;
  try {
    size_t i = 0;
    for (; i < args.size() && args[i].starts_with("-"); ++i) {
      if (IsHelp(args[i])) {
        Usage(out);
        return 0;
      }
      if (args[i] == "--folder") {
        if (++i == args.size()) throw UsageError("--folder needs a folder");
        folder = args[i];
      } else if (args[i].starts_with("--folder=")) {
        folder = args[i].substr(9);
      } else {
        throw UsageError("unknown option " + args[i]);
      }
      if (folder.empty()) throw UsageError("--folder needs a folder");
    }
    if (i == args.size()) {
      Usage(err);
      return kExitUsage;
    }
    // Absolute, so that a folder given relative to the current directory
    // still names it for the installer, which runs inside the folder.
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(folder, ec);
    if (!ec) folder = absolute.lexically_normal().string();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();

    const std::vector<Command> commands = AllCommands();
    const Command* command = nullptr;
    for (const Command& c : commands)
      if (args[i] == c.name) command = &c;
    if (command == nullptr) throw UsageError("unknown command " + args[i] + " (see --help)");
    command_name = command->name;

    // --help anywhere before "--" asks for the command's help; "--" itself
    // ends the options and is dropped (a value may then start with "-").
    Arguments rest;
    bool options_ended = false;
    for (size_t j = i + 1; j < args.size(); ++j) {
      if (!options_ended && args[j] == "--") {
        options_ended = true;
      } else if (!options_ended && IsHelp(args[j])) {
        CommandHelp(out, *command);
        return 0;
      } else {
        rest.push_back(args[j]);
      }
    }
    Context context{.folder = folder, .out = out, .err = err};
    const int status = command->run(context, rest);
    out.flush();
    return status;
  } catch (const CliError& e) {
    out.flush();
    for (const std::string& line : e.lines())
      err << kProgram << ": " << (command_name.empty() ? "" : command_name + ": ")
          << EscapeText(line) << '\n';
    return e.exit_status();
  } catch (const std::exception& e) {
    out.flush();
    err << kProgram << ": " << (command_name.empty() ? "" : command_name + ": ")
        << EscapeText(e.what()) << '\n';
    return kExitFailure;
  }
}

}  // namespace vexa::cli
