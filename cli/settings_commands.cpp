// vexa-arp settings, set and routers: the settings record read and written
// through the rules the console applies, never past them.
#include <strings.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <set>

#include "command.h"
#include "password_prompt.h"
#include "platform/local_time.h"
#include "router_address.h"
#include "settings/collector_settings.h"
#include "settings/database_file_mode.h"
#include "settings/settings_rules.h"
#include "settings_store.h"
#include "text_escape.h"

namespace vexa::cli {

namespace {

using settings::CheckedValue;
using settings::FieldKind;
using settings::FieldRule;
using settings::SettingsFields;

const FieldRule& RouterListField() {
  return *settings::FindField("RouterList");
}

size_t IndexOf(const FieldRule& field) {
  const auto fields = SettingsFields();
  return static_cast<size_t>(&field - fields.data());
}

std::string FieldList() {
  std::string names;
  for (const FieldRule& f : SettingsFields())
    names += (names.empty() ? "" : ", ") + std::string(f.name);
  return names;
}

// What `settings` shows of a password: that one is set, never the text.
constexpr const char* kPasswordShown = "********";

std::string StoredText(const std::variant<int64_t, std::string>& stored) {
  if (const auto* number = std::get_if<int64_t>(&stored)) return std::to_string(*number);
  return std::get<std::string>(stored);
}

settings::FieldTexts RecordTexts(const std::vector<StoredValue>& record) {
  settings::FieldTexts texts;
  for (const FieldRule& field : SettingsFields())
    texts[field.name] = record[IndexOf(field)].value_or("");
  return texts;
}

// A password given as "-" is read from standard input, out of sight of the
// process list and the shell's history: typed without echo on a terminal,
// else the next line.
std::string PasswordFromInput(const FieldRule& field, std::ostream& err) {
  std::optional<std::string> line;
  if (::isatty(STDIN_FILENO) == 1) {
    line = ReadPasswordFromTerminal(STDIN_FILENO, std::string(field.name) + ": ", err);
  } else {
    std::string read;
    if (std::getline(std::cin, read) || !read.empty()) line = std::move(read);
  }
  if (!line)
    throw UsageError(std::string(field.name) + " is \"-\" but standard input holds no line");
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return *line;
}

// The routers the collector polls: the non-empty lines among the first 25.
std::vector<std::string> PolledRouters(const std::vector<std::string>& lines) {
  std::vector<std::string> routers;
  for (size_t i = 0; i < lines.size() && i < settings::kMaxRouterLines; ++i)
    if (!lines[i].empty()) routers.push_back(lines[i]);
  return routers;
}

int ShowSettings(Context& c, const Arguments& args) {
  if (!args.empty()) throw UsageError("takes no arguments");
  SettingsStore store(c.folder, DatabaseAccess::kRead);
  const std::vector<StoredValue> values = store.Read();
  for (const FieldRule& field : SettingsFields()) {
    const StoredValue& value = values[IndexOf(field)];
    if (field.kind == FieldKind::kRouterList) {
      c.out << field.name << '\n';
      for (const std::string& line : settings::RouterLines(value.value_or("")))
        if (!line.empty()) c.out << '\t' << EscapeText(line) << '\n';
    } else if (field.kind == FieldKind::kPassword) {
      c.out << field.name << '\t' << (value.value_or("").empty() ? "" : kPasswordShown) << '\n';
    } else {
      c.out << field.name << '\t' << EscapeText(value.value_or("")) << '\n';
    }
  }
  c.out.flush();
  // What the collector will make of the record at its next start.
  try {
    CollectorSettings loaded;
    LoadCollectorSettings(store.path(), loaded);
  } catch (const std::exception& e) {
    c.err << "vexa-arp: settings: warning: the service will not start with these settings: "
          << EscapeText(e.what()) << '\n';
  }
  // And what an SNMPv3 walk would refuse.
  const settings::FieldTexts record = RecordTexts(values);
  if (settings::HoldsSecret(record))
    if (const std::string exposure = settings::DatabaseExposure(store.path()); !exposure.empty())
      c.err << "vexa-arp: settings: warning: " << EscapeText(exposure) << '\n';
  if (record.at("SnmpVersion") == "3") {
    std::set<std::string> all;
    for (const FieldRule& field : SettingsFields()) all.insert(field.name);
    for (const std::string& refusal : settings::CombinationRefusals(record, all))
      c.err << "vexa-arp: settings: warning: no router can be walked: " << EscapeText(refusal)
            << '\n';
  }
  return 0;
}

int SetFields(Context& c, const Arguments& args) {
  if (args.empty()) throw UsageError("give FIELD VALUE pairs");
  if (args.size() % 2 != 0) throw UsageError("the field " + args.back() + " has no value");
  std::vector<SettingsStore::Change> changes;
  std::vector<std::string> refusals;
  std::set<const FieldRule*> seen;
  for (size_t i = 0; i < args.size(); i += 2) {
    const FieldRule* field = settings::FindField(args[i]);
    if (field == nullptr)
      throw UsageError("there is no field " + args[i] + "; the fields are " + FieldList());
    if (!seen.insert(field).second) throw UsageError(std::string(field->name) + " is given twice");
    const bool password = field->kind == FieldKind::kPassword;
    if (password && args[i + 1] != "-" && !args[i + 1].empty())
      c.err << "vexa-arp: set: warning: " << field->name
            << " given on the command line can be read by other users in the process list and "
               "stays in the shell's history; give - to type it or to read it from standard "
               "input\n";
    const std::string text =
        password && args[i + 1] == "-" ? PasswordFromInput(*field, c.err) : args[i + 1];
    CheckedValue value = settings::CheckValue(*field, text, RouterAddressKey);
    if (!value.error.empty())
      refusals.push_back(value.error);
    else
      changes.push_back({field, std::move(value)});
  }
  // Each refused value is one error line; then nothing is written.
  if (!refusals.empty()) throw UsageError(refusals);
  SettingsStore store(c.folder, DatabaseAccess::kWrite);
  bool holds_secret = false;
  std::string mode_problem;
  store.Update([&](const std::vector<StoredValue>& record) {
    settings::FieldTexts after = RecordTexts(record);
    std::set<std::string> changed;
    for (const auto& change : changes) {
      after[change.field->name] = StoredText(change.value.stored);
      changed.insert(change.field->name);
    }
    refusals = settings::CombinationRefusals(after, changed);
    if (!refusals.empty()) return std::vector<SettingsStore::Change>{};
    // Owner only before a community or password reaches the file, and a
    // file that already holds one is narrowed by any write.
    holds_secret = settings::HoldsSecret(after) || settings::HoldsSecret(RecordTexts(record));
    if (holds_secret) mode_problem = settings::RestrictDatabaseToOwner(store.path());
    return changes;
  });
  // Refused with the values stored: nothing was written.
  if (!refusals.empty()) throw Failure(refusals);
  // Again after the write: a journal file may have been made by it.
  if (holds_secret && mode_problem.empty())
    mode_problem = settings::RestrictDatabaseToOwner(store.path());
  if (!mode_problem.empty())
    c.err << "vexa-arp: set: warning: " << EscapeText(mode_problem) << '\n';
  // Accepted as the console accepts it, but worth a word: the job would end
  // at once.
  for (const auto& change : changes) {
    const auto* stop = std::get_if<std::string>(&change.value.stored);
    if (change.field->kind == FieldKind::kStopTime && stop != nullptr &&
        *stop < FormatDateMinute(ToLocal(std::chrono::system_clock::now())))
      c.err << "vexa-arp: set: warning: StopTime " << *stop
            << " has passed: the collector will export at its first poll-timer tick and poll "
               "no more\n";
  }
  return 0;
}

std::vector<std::string> RouterEntries(const Arguments& args) {
  std::vector<std::string> entries;
  for (const std::string& arg : args)
    for (std::string& entry : settings::SplitRouterEntries(arg))
      entries.push_back(std::move(entry));
  if (entries.empty()) throw UsageError("give one or more router addresses");
  return entries;
}

// Added entries that no router list could take (no address the collector can
// poll, one given twice, too many) are a usage error.
std::vector<std::string> AddedRouterEntries(const Arguments& args) {
  std::vector<std::string> entries = RouterEntries(args);
  if (auto refused = settings::CheckRouterList({}, entries, RouterAddressKey))
    throw UsageError(*refused + " Nothing was written.");
  return entries;
}

SettingsStore::Change RouterListChange(const std::vector<std::string>& lines) {
  return {&RouterListField(),
          CheckedValue{.stored = settings::JoinRouterLines(lines), .error = {}}};
}

int ListRouters(Context& c, const Arguments& args) {
  if (!args.empty()) throw UsageError("takes no arguments");
  SettingsStore store(c.folder, DatabaseAccess::kRead);
  const auto lines = settings::RouterLines(store.Read()[IndexOf(RouterListField())].value_or(""));
  for (const std::string& router : PolledRouters(lines)) c.out << EscapeText(router) << '\n';
  size_t unused = 0;
  for (size_t i = settings::kMaxRouterLines; i < lines.size(); ++i)
    unused += lines[i].empty() ? 0 : 1;
  if (unused > 0)
    c.err << "vexa-arp: routers: warning: " << unused
          << " more routers are stored after the 25th line and not polled\n";
  return 0;
}

int AddRouters(Context& c, const Arguments& args) {
  const std::vector<std::string> added = AddedRouterEntries(args);
  SettingsStore store(c.folder, DatabaseAccess::kWrite);
  store.Update([&](const std::vector<StoredValue>& record) {
    std::vector<std::string> lines =
        settings::RouterLines(record[IndexOf(RouterListField())].value_or(""));
    // A list that ends with a line break gets the new lines after it.
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    if (auto refused = settings::CheckRouterList(lines, added, RouterAddressKey))
      throw Failure(*refused + " Nothing was written.");
    lines.insert(lines.end(), added.begin(), added.end());
    return std::vector<SettingsStore::Change>{RouterListChange(lines)};
  });
  return 0;
}

int RemoveRouters(Context& c, const Arguments& args) {
  const std::vector<std::string> removed = RouterEntries(args);
  SettingsStore store(c.folder, DatabaseAccess::kWrite);
  store.Update([&](const std::vector<StoredValue>& record) {
    std::vector<std::string> lines =
        settings::RouterLines(record[IndexOf(RouterListField())].value_or(""));
    // A line matches the same address in any spelling, or its own text
    // (blanks around it do not count).
    const auto matches = [](const std::string& line, const std::string& entry) {
      const size_t first = line.find_first_not_of(" \t");
      const size_t last = line.find_last_not_of(" \t");
      const std::string bare =
          first == std::string::npos ? "" : line.substr(first, last - first + 1);
      if (bare == entry) return true;
      const auto a = RouterAddressKey(bare);
      const auto b = RouterAddressKey(entry);
      return a && b && *a == *b;
    };
    for (const std::string& entry : removed) {
      const auto before = lines.size();
      std::erase_if(lines, [&](const std::string& line) { return matches(line, entry); });
      if (lines.size() == before)
        throw Failure("\"" + entry + "\" is not in the router list; nothing was written");
    }
    return std::vector<SettingsStore::Change>{RouterListChange(lines)};
  });
  return 0;
}

int Routers(Context& c, const Arguments& args) {
  if (args.empty()) throw UsageError("give list, add or remove");
  const Arguments rest(args.begin() + 1, args.end());
  if (args[0] == "list") return ListRouters(c, rest);
  if (args[0] == "add") return AddRouters(c, rest);
  if (args[0] == "remove") return RemoveRouters(c, rest);
  throw UsageError("unknown subcommand " + args[0] + "; give list, add or remove");
}

constexpr Command kCommands[] = {
    {"settings", "", "show the settings record",
     "Prints every field of the settings record as FIELD<TAB>VALUE, in the order the\n"
     "collector reads them; the routers follow RouterList one per line, indented.\n"
     "A password that is set shows as ********.\n"
     "Warns on stderr when the collector could not start with the record, and when\n"
     "the database holds a community or password and is open to group or others.\n",
     ShowSettings},
    {"set", "FIELD VALUE [FIELD VALUE...]", "change fields of the settings record",
     "Checks every value with the console's rules and writes all of them in one\n"
     "transaction, or none: a refused value is named with the reason on stderr.\n"
     "  DebugMode, SaveOnlyDynamic, DnsCheck   0 or 1\n"
     "  GetComm                                the SNMP community (no control characters)\n"
     "  TimeOut, Retries                       whole numbers, 16-bit\n"
     "  CheckInterval                          seconds, 32-bit, at least 300\n"
     "  StopTime                               YYYY-MM-DD HH:00 (a whole hour)\n"
     "  RouterList                             numeric IPv4/IPv6 addresses separated by\n"
     "                                         commas or blanks; at most 25, no duplicates,\n"
     "                                         at most 255 characters stored\n"
     "  SnmpVersion                            1, 2 (SNMPv2c) or 3\n"
     "  UseBulk                                0 or 1: GETBULK (SNMPv2c and v3)\n"
     "  MaxRepetitions                         rows per GETBULK, 1 to 1000\n"
     "  NeighbourTable                         0 ipNetToMediaTable, 1 ipNetToPhysicalTable\n"
     "                                         (IPv4 and IPv6) with ipNetToMediaTable after it\n"
     "  V3User, V3Context                      SNMPv3 user and context, at most 32 bytes\n"
     "  V3AuthProtocol                         none, MD5, SHA, SHA-224, SHA-256, SHA-384, SHA-512\n"
     "  V3PrivProtocol                         none, DES, AES, AES-192, AES-256 (needs\n"
     "                                         an authentication protocol)\n"
     "  V3AuthPassword, V3PrivPassword         at least 8 characters where the protocol is\n"
     "                                         not none; \"-\" reads it from standard input\n"
     "                                         (typed without echo on a terminal)\n"
     "  HistoryDays                            days of address history and changes kept,\n"
     "                                         0 to 36500; 0 keeps none and reports no changes\n"
     "  QuietDays                              days unseen after which a pairing seen again\n"
     "                                         is reported as new activity, 1 to 36500\n"
     "  EventCommand                           absolute path of a program given each cycle's\n"
     "                                         changes as JSON Lines on stdin; empty: none\n"
     "  ParallelWalks                          routers walked at once, 1 to 25\n"
     "  MetricsFile                            absolute path of a Prometheus text file\n"
     "                                         replaced after every cycle; empty: none\n"
     "SnmpVersion 3 needs a V3User. A database that holds a community or a\n"
     "password is made readable by its owner only.\n"
     "Changes take effect at the next start of the service.\n",
     SetFields},
    {"routers", "list | add ADDR... | remove ADDR...", "list, add or remove routers",
     "list    the routers the collector polls (the first 25 lines of RouterList)\n"
     "add     appends addresses; an address the collector cannot poll, one already\n"
     "        in the list, or a list past 25 routers or 255 characters is refused\n"
     "remove  removes addresses (any spelling of the same address); an address not\n"
     "        in the list is refused\n"
     "Nothing is written when any address is refused.\n",
     Routers},
};

}  // namespace

std::span<const Command> SettingsCommands() {
  return kCommands;
}

}  // namespace vexa::cli
