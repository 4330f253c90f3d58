// vexa-arp walk: one walk of a router's ARP table by the collector's own
// walker, with the stored settings unless the command line overrides them.
// The rows go to stdout, a summary to stderr; nothing is stored and nothing
// is written to the Debug folder.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <variant>

#include "arp/event_log.h"
#include "arp/snmp_security_settings.h"
#include "arp/walk.h"
#include "command.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "router_address.h"
#include "settings/collector_settings.h"
#include "settings/settings_rules.h"
#include "settings_store.h"
#include "snmp/manager.h"
#include "text_escape.h"

namespace vexa::cli {

namespace {

struct WalkArguments {
  std::string router;
  std::optional<std::string> community;
  std::optional<std::string> timeout;
  std::optional<std::string> retries;
};

WalkArguments ParseWalkArguments(const Arguments& args) {
  WalkArguments parsed;
  bool have_router = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::optional<std::string>* option = nullptr;
    std::string name = arg.substr(0, arg.find('='));
    if (name == "--community") option = &parsed.community;
    if (name == "--timeout") option = &parsed.timeout;
    if (name == "--retries") option = &parsed.retries;
    if (option != nullptr) {
      if (option->has_value()) throw UsageError(name + " is given twice");
      if (name.size() < arg.size()) {
        *option = arg.substr(name.size() + 1);
      } else {
        if (++i == args.size()) throw UsageError(name + " needs a value");
        *option = args[i];
      }
    } else if (arg.starts_with("-") && arg.size() > 1) {
      throw UsageError("unknown option " + arg);
    } else if (have_router) {
      throw UsageError("give one router; " + arg + " is one too many");
    } else {
      parsed.router = arg;
      have_router = true;
    }
  }
  if (!have_router) throw UsageError("give the address of the router to walk");
  if (!RouterAddressKey(parsed.router))
    throw UsageError("\"" + parsed.router +
                     "\" is not a router address the collector can poll (a numeric IPv4 or "
                     "IPv6 address)");
  return parsed;
}

// A value given for a setting, checked by the settings' own rule.
settings::CheckedValue CheckedOption(const char* field, const std::string& option,
                                     const std::string& text) {
  settings::CheckedValue value =
      settings::CheckValue(*settings::FindField(field), text,
                           [](std::string_view entry) { return RouterAddressKey(entry); });
  if (!value.error.empty()) throw UsageError(option + ": " + value.error);
  return value;
}

// The progress line on a terminal: rows so far, at most ten times a second,
// rubbed out before anything else is written to stderr.
class ProgressLine {
 public:
  ProgressLine(std::ostream& err, std::string router)
      : err_(err), router_(std::move(router)), shown_(::isatty(STDERR_FILENO) == 1) {}
  ~ProgressLine() { Clear(); }

  void Rows(size_t rows) {
    if (!shown_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    const std::string line = "walking " + router_ + ": " + std::to_string(rows) + " rows";
    err_ << '\r' << line << std::flush;
    width_ = line.size();
  }
  void Clear() {
    if (width_ == 0) return;
    err_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
    width_ = 0;
  }

 private:
  std::ostream& err_;
  std::string router_;
  bool shown_;
  size_t width_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

std::string Seconds(Millis duration) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", static_cast<double>(duration.count()) / 1000.0);
  return text;
}

int Walk(Context& c, const Arguments& args) {
  const WalkArguments parsed = ParseWalkArguments(args);
  // The options first: a value they cannot take is a usage error whatever
  // the folder holds.
  std::optional<std::string> community;
  std::optional<int16_t> timeout, retries;
  if (parsed.community)
    community =
        std::get<std::string>(CheckedOption("GetComm", "--community", *parsed.community).stored);
  if (parsed.timeout)
    timeout = static_cast<int16_t>(
        std::get<int64_t>(CheckedOption("TimeOut", "--timeout", *parsed.timeout).stored));
  if (parsed.retries)
    retries = static_cast<int16_t>(
        std::get<int64_t>(CheckedOption("Retries", "--retries", *parsed.retries).stored));
  CollectorSettings settings;
  {
    const std::string path = c.File(kDatabaseFileName);
    OpenProgramDatabase(path);  // a missing, locked or newer database, named clearly
    LoadCollectorSettings(path, settings);
  }
  if (community) settings.community = *community;
  if (timeout) settings.timeout_seconds = *timeout;
  if (retries) settings.retries = *retries;
  settings.debug_mode = false;  // no trace files
  // The same SNMP version and SNMPv3 user as the collector's, refused alike.
  const SnmpSecurity security = SnmpSecurityOf(settings);
  if (!security.problem.empty()) throw Failure(security.problem);

  SystemClock clock;
  EventLoop loop(clock);
  const std::string folder = c.folder;
  const std::string no_database;
  EventLog log(loop, folder);
  ProgressLine progress(c.err, parsed.router);
  // What the walker would log goes to stderr instead of the event log.
  log.RedirectTo([&](std::string_view, std::string_view text, int16_t) {
    progress.Clear();
    c.err << "vexa-arp: walk: " << EscapeText(text) << '\n';
  });
  const CollectorContext ctx{loop, log, folder, no_database, settings};
  snmp::Manager manager(loop);
  if (security.version == snmp::Version::kV3) manager.SetUsmUser(security.user);
  ArpWalker walker(ctx, manager);
  walker.OpenEndpoint("snmpManager");
  if (!manager.IsOpen()) return kExitFailure;  // the cause is on stderr already
  walker.OnProgress([&](size_t rows) { progress.Rows(rows); });

  const WalkResult result = walker.Walk(parsed.router);
  progress.Clear();
  std::string lines;
  for (const ArpRow& row : result.rows) {
    lines += EscapeText(row.ip_address);
    lines += '\t';
    lines += EscapeText(row.mac_address);
    lines += '\t';
    lines += std::to_string(row.type);
    lines += '\t';
    lines += std::to_string(row.if_index);
    lines += '\n';
  }
  c.out << lines;
  c.out.flush();
  if (!c.out) throw Failure("could not write the rows to the output");
  c.err << parsed.router << ": " << result.rows.size() << " rows in " << Seconds(result.duration)
        << " s, " << result.resends << " re-sends, " << EscapeText(OutcomeText(result))
        << (result.outcome == WalkOutcome::kNoAnswer && !result.failure.empty()
                ? "; " + result.failure
                : std::string())
        << '\n';
  return result.outcome == WalkOutcome::kEndOfTable ? 0 : kExitFailure;
}

constexpr Command kCommands[] = {
    {"walk", "ROUTER [--community C] [--timeout S] [--retries N]",
     "walk one router's ARP table now, as the collector does",
     "Walks the ARP table of ROUTER (a numeric IPv4 or IPv6 address, port 161) once,\n"
     "as the collector does, with the stored settings (community, time-out, retries,\n"
     "and how the router is asked) unless an option overrides them; the options\n"
     "take what the settings take. Nothing is stored and nothing is traced.\n"
     "\n"
     "stdout: one tab-separated line per row, in walk order: IP address, MAC\n"
     "        address (\"00 1a 2b 3c 4d 5e\"), type (3 dynamic, 4 static),\n"
     "        interface index.\n"
     "stderr: a summary line: rows, seconds, re-sends, and how the walk ended:\n"
     "        end of table, no answer, error status N, reply not increasing,\n"
     "        row without a value, row limit of 20000, time limit, bad response,\n"
     "        refused (SNMPv3, with the cause). \"no answer\" names the likely\n"
     "        cause when an SNMPv3 agent answered its discovery only.\n"
     "        On a terminal, a progress line while the walk runs.\n"
     "\n"
     "Exit status: 0 when the walk reached the end of the table, 1 otherwise.\n",
     Walk},
};

}  // namespace

std::span<const Command> WalkCommands() {
  return kCommands;
}

}  // namespace vexa::cli
