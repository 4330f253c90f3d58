// vexa-arp run as a program on real program folders: the settings read back
// after every change, every refusal leaving the database as it was, the
// service life cycle with the local service manager and the real collector,
// and ArpTable written out without a raw control byte.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <functional>
#include <map>
#include <sstream>

#include "db/schema_upgrade.h"
#include "service/service_manager.h"
#include "support/test_folder.h"

namespace vexa::test {
namespace {

using namespace std::chrono_literals;

class CliTest : public ::testing::Test {
 protected:
  ~CliTest() override {
    // Whatever a test left registered or running goes with it.
    Cli({"service", "stop"});
    Cli({"service", "uninstall"});
  }

  RunResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--folder", folder.path()});
    return test::Run(VEXA_CLI_BINARY, args, Env(), "", 90s);
  }

  std::map<std::string, std::string> Env() const {
    return {{"VEXAARP_SERVICE_MANAGER", "local"},
            {"VEXAARP_SERVICE_DIR", folder.Scratch() + "/service"}};
  }

  // What the sqlite3 shell prints for `command` on the folder's database.
  std::string Sqlite(const std::string& command) const {
    return test::Run("/usr/bin/sqlite3", {folder.Database(), command}).out;
  }
  // The whole database as text, to tell whether anything changed.
  std::string Dump() const { return Sqlite(".dump"); }

  ProgramFolder folder;
};

TEST_F(CliTest, SetsAndReadsBackEveryField) {
  const RunResult set = Cli({"set",
                             "DebugMode",
                             "1",
                             "RouterList",
                             "192.0.2.1, 2001:db8::1",
                             "GetComm",
                             "s3cret!",
                             "TimeOut",
                             "-7",
                             "Retries",
                             "32767",
                             "CheckInterval",
                             "2147483647",
                             "SaveOnlyDynamic",
                             "1",
                             "DnsCheck",
                             "0",
                             "StopTime",
                             "2030-12-31 23:00",
                             "HistoryDays",
                             "0",
                             "QuietDays",
                             "7",
                             "EventCommand",
                             "/usr/local/bin/mail events",
                             "ParallelWalks",
                             "25",
                             "MetricsFile",
                             "/var/lib/node/vexa.prom"});
  ASSERT_EQ(set.exit_status, 0) << set.err;
  EXPECT_EQ(set.out + set.err, "");
  const RunResult shown = Cli({"settings"});
  EXPECT_EQ(shown.exit_status, 0);
  EXPECT_EQ(shown.out,
            "DebugMode\t1\nRouterList\n\t192.0.2.1\n\t2001:db8::1\nGetComm\ts3cret!\n"
            "TimeOut\t-7\nRetries\t32767\nCheckInterval\t2147483647\nSaveOnlyDynamic\t1\n"
            "DnsCheck\t0\nStopTime\t2030-12-31 23:00\nSnmpVersion\t2\nUseBulk\t0\n"
            "MaxRepetitions\t25\nNeighbourTable\t0\nV3User\t\nV3AuthProtocol\tnone\n"
            "V3AuthPassword\t\nV3PrivProtocol\tnone\nV3PrivPassword\t\nV3Context\t\n"
            "HistoryDays\t0\nQuietDays\t7\nEventCommand\t/usr/local/bin/mail events\n"
            "ParallelWalks\t25\nMetricsFile\t/var/lib/node/vexa.prom\n");
  EXPECT_EQ(shown.err, "");
  // Stored with the types the collector reads.
  EXPECT_EQ(Sqlite("SELECT typeof(TimeOut) || typeof(DebugMode) || hex(RouterList) "
                   "FROM Settings_General"),
            "integerinteger3139322E302E322E310D0A323030313A6462383A3A31\n");

  // A record the collector cannot start with is shown, with a warning.
  folder.Sql("UPDATE Settings_General SET TimeOut = 40000, GetComm = 'a' || char(27) || 'b'");
  const RunResult odd = Cli({"settings"});
  EXPECT_EQ(odd.exit_status, 0);
  EXPECT_NE(odd.out.find("GetComm\ta\\x1Bb\nTimeOut\t40000\n"), std::string::npos) << odd.out;
  EXPECT_NE(odd.err.find("will not start"), std::string::npos) << odd.err;
}

TEST_F(CliTest, RefusedCommandsLeaveTheDatabaseAsItWas) {
  folder.Sql(
      "UPDATE Settings_General SET RouterList = '192.0.2.1' || char(13,10) || "
      "' gateway '");
  struct Case {
    std::vector<std::string> args;
    int exit_status;
    const char* error;  // a part of the message on stderr
  };
  std::vector<std::string> many = {"routers", "add"};
  for (int i = 1; i <= 24; ++i) many.push_back("10.0.0." + std::to_string(i));
  const Case cases[] = {
      {{"set", "TimeOut"}, 2, "set: the field TimeOut has no value"},
      {{"set", "Timeout", "5", "TIMEOUT", "6"}, 2, "TimeOut is given twice"},
      {{"set", "Colour", "red"}, 2, "there is no field Colour; the fields are DebugMode,"},
      {{"set", "GetComm", "new", "TimeOut", "40000"}, 2, "TimeOut must be a whole number"},
      {{"set", "CheckInterval", "60"}, 2, "CheckInterval must be at least 300 seconds"},
      {{"set", "StopTime", "2030-12-31 23:15"}, 2, "StopTime must be a date and a whole hour"},
      {{"set", "DnsCheck", "true"}, 2, "DnsCheck must be 0 or 1"},
      {{"set", "GetComm", "a\nb"}, 2, "GetComm must not hold control characters"},
      {{"set", "RouterList", "192.0.2.1,192.0.2.1"}, 2, "\"192.0.2.1\" is given twice"},
      {{"set", "MaxRepetitions", "1001"}, 2, "MaxRepetitions must be a whole number from 1 to"},
      {{"set", "V3AuthProtocol", "SHA1"}, 2, "V3AuthProtocol must be one of none, MD5, SHA,"},
      {{"set", "GetComm", "new", "SnmpVersion", "3"}, 1, "SnmpVersion 3 needs a V3User"},
      {{"set", "V3AuthProtocol", "SHA", "V3AuthPassword", "short"}, 1, "at least 8 characters"},
      {{"set", "V3PrivProtocol", "AES", "V3PrivPassword", "long enough"},
       1,
       "V3PrivProtocol AES needs an authentication protocol"},
      {{"set", "V3AuthPassword", "-"}, 2, "standard input holds no line"},
      {{"set", "TimeOut", "abc"}, 2, "TimeOut must be a whole number"},
      {{"walk", "192.0.2.1", "--timeout", "abc"}, 2, "--timeout: TimeOut must be a whole number"},
      {{"routers", "add", "192.0.2.9", "::ffff:192.0.2.1"}, 1, "is in the router list already"},
      {{"routers", "add", "gateway.example"}, 2, "not a router address the collector can poll"},
      {many, 1, "the collector polls the routers of the first 25 only"},
      {{"routers", "remove", "192.0.2.1", "192.0.2.7"}, 1, "\"192.0.2.7\" is not in the router"},
      {{"routers", "move"}, 2, "unknown subcommand move"},
      {{"routers", "add"}, 2, "give one or more router addresses"},
      {{"table", "--csv"}, 2, "unknown argument --csv"},
      {{"service", "pause"}, 2, "unknown subcommand pause"},
      {{"walkabout"}, 2, "unknown command walkabout"},
      {{"--colour", "settings"}, 2, "unknown option --colour"},
  };
  const std::string before = Dump();
  for (const Case& c : cases) {
    const RunResult r = Cli(c.args);
    EXPECT_EQ(r.exit_status, c.exit_status) << c.args[0] << " " << r.err;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    size_t errors = 0;  // lines other than warnings
    std::istringstream lines(r.err);
    for (std::string line; std::getline(lines, line);)
      errors += line.find(": warning: ") == std::string::npos ? 1 : 0;
    EXPECT_EQ(errors, 1u) << "one line per error: " << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(Dump(), before);

  // A stop time that has passed is taken, as the console takes it, with a word.
  const RunResult past = Cli({"set", "StopTime", "2001-01-01 00:00"});
  EXPECT_EQ(past.exit_status, 0);
  EXPECT_NE(past.err.find("warning: StopTime 2001-01-01 00:00 has passed"), std::string::npos);
  folder.Sql("UPDATE Settings_General SET StopTime = '2030-01-01 00:00'");
  const std::string stored = Dump();

  // A database another program holds locked: refused after the wait.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(folder.Database().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  const RunResult locked = Cli({"set", "Retries", "4"});
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(locked.exit_status, 1);
  EXPECT_NE(locked.err.find("is locked by another program"), std::string::npos) << locked.err;
  EXPECT_EQ(Dump(), stored);
}

TEST_F(CliTest, SnmpSettingsAreStoredShownMaskedAndOwnerOnly) {
  // The privacy password comes from standard input.
  const RunResult set = test::Run("/bin/sh", {"-c",
                                              "printf 'priv pass phrase\\n' | \"$0\" \"$@\"",
                                              VEXA_CLI_BINARY,
                                              "--folder",
                                              folder.path(),
                                              "set",
                                              "SnmpVersion",
                                              "3",
                                              "UseBulk",
                                              "1",
                                              "MaxRepetitions",
                                              "1000",
                                              "NeighbourTable",
                                              "1",
                                              "V3User",
                                              "ops",
                                              "V3AuthProtocol",
                                              "sha-512",
                                              "V3AuthPassword",
                                              "auth pass phrase",
                                              "V3PrivProtocol",
                                              "AES-256",
                                              "V3PrivPassword",
                                              "-",
                                              "V3Context",
                                              "ctx"});
  ASSERT_EQ(set.exit_status, 0) << set.err;
  // A word for the password given as an argument, none for the one from stdin.
  EXPECT_EQ(set.out + set.err,
            "vexa-arp: set: warning: V3AuthPassword given on the command line can be read by other "
            "users in the process list and stays in the shell's history; give - to type it or to "
            "read it from standard input\n");
  const RunResult shown = Cli({"settings"});
  EXPECT_NE(shown.out.find("SnmpVersion\t3\nUseBulk\t1\nMaxRepetitions\t1000\nNeighbourTable\t1\n"
                           "V3User\tops\nV3AuthProtocol\tSHA-512\nV3AuthPassword\t********\n"
                           "V3PrivProtocol\tAES-256\nV3PrivPassword\t********\nV3Context\tctx\n"),
            std::string::npos)
      << shown.out;
  EXPECT_EQ(shown.out.find("pass phrase"), std::string::npos);
  EXPECT_EQ(shown.err, "") << "the collector reads them";
  EXPECT_EQ(Sqlite("SELECT V3AuthPassword || '/' || V3PrivPassword || '/' || typeof(SnmpVersion) "
                   "FROM Settings_General"),
            "auth pass phrase/priv pass phrase/integer\n");
  // Readable by its owner only, the journal files as well.
  for (const char* suffix : {"", "-wal", "-shm"}) {
    struct stat st {};
    if (::stat((folder.Database() + suffix).c_str(), &st) == 0) {
      EXPECT_EQ(st.st_mode & 0777, 0600u) << suffix;
    }
  }
  // A password too short for its protocol, stored by another program, is
  // shown with a warning.
  folder.Sql("UPDATE Settings_General SET V3AuthPassword = 'short'");
  EXPECT_NE(
      Cli({"settings"}).err.find("no router can be walked: V3AuthPassword must be at least 8"),
      std::string::npos);
}

// A version-0 database, as the first release made it.
void MakeFirstReleaseDatabase(const ProgramFolder& folder) {
  ::unlink(folder.Database().c_str());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(folder.Database().c_str(), &db), SQLITE_OK);
  const std::string schema =
      ReadFile(std::string(VEXA_SOURCE_DIR) + "/tests/data/schema-version-0.sql");
  EXPECT_EQ(sqlite3_exec(db, schema.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

TEST_F(CliTest, MissingOlderNewerOrWithheldDatabaseIsNamed) {
  const auto sql = [](const char* text) { return [text](const ProgramFolder& f) { f.Sql(text); }; };
  const struct {
    std::function<void(const ProgramFolder&)> make;
    std::vector<std::string> args;
    std::string error;
    bool as_nobody = false;
  } cases[] = {
      {sql("ALTER TABLE Settings_General DROP COLUMN DnsCheck"),
       {"set", "GetComm", "x"},
       "has no field DnsCheck; the database is of an older shape"},
      {sql("DROP TABLE ArpTable"), {"table"}, "has no table ArpTable"},
      {sql("DELETE FROM Settings_General"), {"routers", "add", "192.0.2.1"}, "has no record"},
      {sql("PRAGMA user_version = 1000"),
       {"routers", "add", "192.0.2.1"},
       "is of schema version 1000, newer than this program reads"},
      {sql("PRAGMA user_version = 1000"),
       {"table"},
       "is of schema version 1000, newer than this program reads"},
      // A command that only reads does not bring an older database up to date.
      {MakeFirstReleaseDatabase,
       {"settings"},
       "is of schema version 0, older than this program's " +
           std::to_string(CurrentSchemaVersion()) + ", and this command only reads it"},
      {[](const ProgramFolder& f) {
         ::unlink(f.Database().c_str());
         ::mkfifo(f.Database().c_str(), 0600);
       },
       {"settings"},
       "VexaArp.mdb is not a regular file"},
      {[](const ProgramFolder& f) { ::chmod(f.Database().c_str(), 0600); },
       {"table"},
       "; run as root or as the owner of ",
       true},
      {[](const ProgramFolder& f) { ::chmod(f.path().c_str(), 0700); },
       {"settings"},
       ": Permission denied; run as root or as the owner of ",
       true},
  };
  for (const auto& c : cases) {
    ProgramFolder other;
    ::chmod(other.Scratch().c_str(), 0755);  // for nobody
    c.make(other);
    struct stat st {};
    const bool regular = ::stat(other.Database().c_str(), &st) == 0 && S_ISREG(st.st_mode);
    const std::string before = regular ? ReadFile(other.Database()) : "";
    std::vector<std::string> args = {"--folder", other.path()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    if (c.as_nobody)
      args.insert(args.begin(),
                  {"--reuid=nobody", "--regid=nogroup", "--clear-groups", VEXA_CLI_BINARY});
    const RunResult r = test::Run(c.as_nobody ? "/usr/bin/setpriv" : VEXA_CLI_BINARY, args);
    EXPECT_EQ(r.exit_status, 1) << c.args[0];
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    if (c.as_nobody) {
      EXPECT_TRUE(r.err.ends_with(other.path() + "\n")) << r.err;
    }
    if (regular) {
      EXPECT_EQ(ReadFile(other.Database()), before) << c.args[0];
    }
  }
  const RunResult missing = test::Run(VEXA_CLI_BINARY, {"--folder", folder.Scratch(), "settings"});
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_NE(missing.err.find("there is no database " + folder.Scratch() + "/VexaArp.mdb"),
            std::string::npos);
}

// "set V3AuthPassword -" on a terminal: the prompt, no echo of what is typed,
// and the terminal's echo back afterwards, also when Ctrl-C ends the prompt.
TEST_F(CliTest, APasswordTypedOnATerminalIsNotShown) {
  const char* const script = R"(
import os, pty, select, sys, termios
binary, folder, keys = sys.argv[1], sys.argv[2], sys.argv[3].encode()
pid, fd = pty.fork()
if pid == 0:
    os.execv(binary, [binary, '--folder', folder, 'set', 'V3AuthPassword', '-'])
out = b''
while b'V3AuthPassword: ' not in out and select.select([fd], [], [], 10)[0]:
    out += os.read(fd, 4096)
echo = termios.tcgetattr(fd)[3] & termios.ECHO
os.write(fd, keys)
while select.select([fd], [], [], 10)[0]:
    try:
        data = os.read(fd, 4096)
    except OSError:
        break
    if not data:
        break
    out += data
status = os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1])
after = termios.tcgetattr(fd)[3] & termios.ECHO
print(f"echo {'on' if echo else 'off'} while asked, {'on' if after else 'off'} after, {status}")
sys.stdout.write(out.decode(errors='replace'))
)";
  const struct {
    std::string keys;
    std::string outcome;
    std::string stored;
  } cases[] = {
      {"half typed\x03", "echo off while asked, on after, -2\n", "\n"},  // SIGINT
      {"typed pass phrase\n", "echo off while asked, on after, 0\n", "typed pass phrase\n"},
  };
  for (const auto& c : cases) {
    const RunResult r =
        test::Run("/usr/bin/python3", {"-c", script, VEXA_CLI_BINARY, folder.path(), c.keys});
    EXPECT_TRUE(r.out.starts_with(c.outcome + "V3AuthPassword: ")) << r.out << r.err;
    EXPECT_EQ(r.out.find("typed"), std::string::npos) << r.out;
    EXPECT_EQ(Sqlite("SELECT V3AuthPassword FROM Settings_General"), c.stored);
  }
}

TEST_F(CliTest, RoutersAreAddedListedAndRemoved) {
  // A list typed in the console: a line with blanks, an empty line, a CR LF at
  // the end.
  folder.Sql(
      "UPDATE Settings_General SET RouterList = '192.0.2.1' || char(13,10) || "
      "' 192.0.2.2 ' || char(13,10) || char(13,10)");
  EXPECT_EQ(Cli({"routers", "add", "192.0.2.3,2001:db8::1", "fe80::1%1"}).exit_status, 0);
  EXPECT_EQ(Cli({"routers", "remove", "192.0.2.2", "2001:DB8:0::1"}).exit_status, 0);
  const RunResult listed = Cli({"routers", "list"});
  EXPECT_EQ(listed.out, "192.0.2.1\n192.0.2.3\nfe80::1%1\n");
  EXPECT_EQ(Sqlite("SELECT hex(RouterList) FROM Settings_General"),
            "3139322E302E322E310D0A3139322E302E322E330D0A666538303A3A312531\n");
}

TEST_F(CliTest, ServiceLifeCycle) {
  const auto status = [&] { return Cli({"service", "status"}).out; };
  EXPECT_EQ(status(), "Installed\tno\nStarted\t-\n");
  // A user who may not install is told why.
  ::chmod(folder.Scratch().c_str(), 0755);
  std::vector<std::string> args = {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                   VEXA_CLI_BINARY,  "--folder",        folder.path(),
                                   "service",        "install"};
  RunResult denied = test::Run("/usr/bin/setpriv", args, Env());
  EXPECT_EQ(denied.exit_status, 1);
  EXPECT_NE(denied.err.find("Vexa ARP Service Failed To Install\nThe service cannot be registered "
                            "in \"" +
                            folder.Scratch() +
                            "/service\": Permission denied; "
                            "installing the service needs root\n"),
            std::string::npos)
      << denied.err;
  // A folder named relative to the current directory.
  RunResult r = test::Run(VEXA_CLI_BINARY, {"--folder", "program/", "service", "install"}, Env(),
                          folder.Scratch());
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(r.out, "The service is installed.\n");
  r = Cli({"service", "install"});  // the collector refuses a second registration
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_NE(r.err.find("VexaArpSrv -install_noMsg ended with exit status 1"), std::string::npos);
  EXPECT_NE(r.err.find("Failed To Install\nThe service \"Vexa ARP\" is already installed\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(status(), "Installed\tyes\nState\tstopped\nStarted\t-\n");

  EXPECT_EQ(Cli({"service", "start"}).out, "The service is started.\n");
  ASSERT_TRUE(WaitUntil(
      [&] { return ReadFile(folder.AppEvent()).find("Service Started.") != std::string::npos; },
      10s));
  const std::string running = status();
  EXPECT_TRUE(running.starts_with("Installed\tyes\nState\trunning\nStarted\t20")) << running;
  r = Cli({"service", "start"});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_NE(r.err.find("start: The service \"Vexa ARP\" is already running (error " +
                       std::to_string(kServiceAlreadyRunning) + ")"),
            std::string::npos);

  EXPECT_EQ(Cli({"service", "stop"}).out, "The service is stopped.\n");
  EXPECT_TRUE(status().starts_with("Installed\tyes\nState\tstopped\nStarted\t20"));
  r = Cli({"service", "stop"});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_NE(r.err.find("(error " + std::to_string(kServiceNotActive) + ")"), std::string::npos);
  EXPECT_EQ(Cli({"service", "uninstall"}).out, "The service is uninstalled.\n");
  EXPECT_TRUE(status().starts_with("Installed\tno\n"));
}

TEST_F(CliTest, TableWritesAgentBytesEscaped) {
  folder.Sql(
      "INSERT INTO ArpTable (IpAddr, MacAddr, Type, IfIndex, SeenTimes, DnsName) VALUES "
      "('192.0.2.1', '02 00 00 00 00 01', 3, 1, 4, 'host.demo.lan'),"
      "('192.0.2.2', 'a' || char(9) || 'b' || char(10) || char(27) || '[2J', 4, 2, 1, NULL),"
      "('192.0.2.3', CAST(x'ff22c29b5c' AS TEXT), 3, 1, 1, 'x\"y' || char(8232, 8238, 8294));");
  RunResult r = Cli({"table"});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out,
            "IpAddr\tMacAddr\tType\tIfIndex\tSeenTimes\tDnsName\n"
            "192.0.2.1\t02 00 00 00 00 01\t3\t1\t4\thost.demo.lan\n"
            "192.0.2.2\ta\\tb\\n\\x1B[2J\t4\t2\t1\t\n"
            "192.0.2.3\t\\xFF\"\\u009B\\\\\t3\t1\t1\tx\"y\xE2\x80\xA8\\u202E\\u2066\n");
  r = Cli({"table", "--json"});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out,
            "{\"IpAddr\":\"192.0.2.1\",\"MacAddr\":\"02 00 00 00 00 01\",\"Type\":3,\"IfIndex\":1,"
            "\"SeenTimes\":4,\"DnsName\":\"host.demo.lan\",\"vendor\":\"(locally administered)\"}\n"
            "{\"IpAddr\":\"192.0.2.2\",\"MacAddr\":\"a\\tb\\n\\u001B[2J\",\"Type\":4,\"IfIndex\":2,"
            "\"SeenTimes\":1,\"DnsName\":null,\"vendor\":\"\"}\n"
            "{\"IpAddr\":\"192.0.2.3\",\"MacAddr\":\"\\u00FF\\\"\\u009B\\\\\",\"Type\":3,"
            "\"IfIndex\":1,\"SeenTimes\":1,\"DnsName\":\"x\\\"y\\u2028\\u202E\\u2066\",\"vendor\":"
            "\"\"}\n");
  for (const char c : r.out) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20);
  // Every line is JSON a standard parser reads.
  WriteFile(folder.Scratch() + "/table.json", r.out);
  EXPECT_EQ(test::Run("/usr/bin/python3",
                      {"-c", "import json,sys\n[json.loads(l) for l in open(sys.argv[1])]",
                       folder.Scratch() + "/table.json"})
                .exit_status,
            0);
}

TEST_F(CliTest, HelpOnEveryCommand) {
  for (const char* command :
       {"settings", "set", "routers", "service", "walk", "table", "find", "export"}) {
    const RunResult r = Cli({command, "--help"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_TRUE(r.out.starts_with(std::string("usage: vexa-arp [--folder DIR] ") + command))
        << r.out;
  }
  const RunResult none = test::Run(VEXA_CLI_BINARY, {});
  EXPECT_EQ(none.exit_status, 2);
  EXPECT_NE(none.err.find("Commands:"), std::string::npos);
  // After "--" a value may begin with a dash.
  EXPECT_EQ(Cli({"set", "--", "GetComm", "--help"}).exit_status, 0);
  EXPECT_EQ(Cli({"settings"}).out.find("GetComm\t--help\n") != std::string::npos, true);
}

}  // namespace
}  // namespace vexa::test
