// The collector over SNMPv3: the user built from the settings walks snmpd's
// and snmpsim's ARP tables on 127.0.13.x like net-snmp's snmpwalk -v3; a
// refused user costs its router's walk one event-log line while the cycle
// goes on; an agent reboot between cycles is followed by a good cycle; an
// unusable user fails the service start with one line.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <sstream>

#include "arp/poll_cycle.h"
#include "arp/snmp_security_settings.h"
#include "arp/store.h"
#include "arp/walk.h"
#include "db/sqlite.h"
#include "platform/local_time.h"
#include "support/snmp_agents.h"
#include "support/test_folder.h"
#include "support/walked_rows.h"
#include "support/walker_parts.h"

namespace vexa {
namespace {

using test::ReadFile;

constexpr const char* kAuthPass = "vexa-auth-pass";
constexpr const char* kPrivPass = "vexa-priv-pass";
constexpr const char* kArpTable = "1.3.6.1.2.1.4.22.1";

using Row = test::WalkedRow;
using test::RowsOf;

// The ARP table as `snmpwalk -v3` reads it with the same user: the values of
// each column in walk order, zipped into rows.
std::vector<Row> SnmpwalkV3(const std::string& agent, const snmp::UsmUser& user) {
  test::TempDir state;
  std::vector<std::string> args = {"-v3",  "-l",      std::string(snmp::LevelName(user.level())),
                                   "-u",   user.name, "-On",
                                   "-Oqx", "-t",      "5"};
  if (user.auth != snmp::AuthProtocol::kNone)
    args.insert(args.end(), {"-a", std::string(snmp::ProtocolName(user.auth)), "-A", kAuthPass});
  if (user.priv != snmp::PrivProtocol::kNone)
    args.insert(args.end(), {"-x", std::string(snmp::ProtocolName(user.priv)), "-X", kPrivPass});
  if (!user.context.empty()) args.insert(args.end(), {"-n", user.context});
  args.insert(args.end(), {agent, kArpTable});
  const test::RunResult run =
      test::Run("/usr/bin/snmpwalk", args,
                {{"SNMP_PERSISTENT_DIR", state.path()}, {"SNMPCONFPATH", state.path() + "/none"}},
                "", std::chrono::seconds(120));
  EXPECT_EQ(run.exit_status, 0) << run.err;
  std::array<std::vector<std::string>, 4> columns;
  const std::string entry = std::string(".") + kArpTable + ".";
  std::istringstream in(run.out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(entry, 0) != 0) continue;
    const size_t column = std::stoul(line.substr(entry.size())) - 1;
    std::string value = line.substr(line.find(' ') + 1);
    value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
    while (!value.empty() && value.back() == ' ') value.pop_back();
    std::transform(value.begin(), value.end(), value.begin(), ::tolower);
    if (column < columns.size()) columns[column].push_back(value);
  }
  std::vector<Row> rows;
  for (size_t i = 0; i < columns[0].size(); ++i)
    rows.push_back({std::stoi(columns[0][i]), columns[2].at(i), columns[1].at(i),
                    static_cast<int16_t>(std::stoi(columns[3].at(i)))});
  return rows;
}

// Every snmpsim user speaks SHA-256 with net-snmp's AES-256 key extension.
std::vector<std::string> SnmpsimUsers(const std::vector<std::string>& names) {
  std::vector<std::string> args = {"--v3-engine-id=800007e580a1b2c3d4e5f7"};
  for (const std::string& name : names)
    args.insert(args.end(),
                {"--v3-user=" + name, "--v3-auth-key=vexa-auth-pass", "--v3-auth-proto=SHA256",
                 "--v3-priv-key=vexa-priv-pass", "--v3-priv-proto=AES256BLMT"});
  return args;
}

class WalkV3Test : public ::testing::Test, protected test::WalkerParts<SystemClock> {
 protected:
  static constexpr const char* kSnmpd = "127.0.13.1";
  static constexpr const char* kSnmpsim = "127.0.13.2";

  static void SetUpTestSuite() {
    snmpd_ = new test::SnmpdAgent(
        {.address = kSnmpd,
         .snmpd_config = "createUser vexaSha SHA vexa-auth-pass AES vexa-priv-pass\n"
                         "createUser vexaSha256 SHA-256 vexa-auth-pass AES-256 vexa-priv-pass\n"
                         "createUser vexaAuth SHA-512 vexa-auth-pass\n"
                         "createUser vexaWrong SHA-256 other-auth-pass AES-256 other-priv-pass\n"
                         "createUser vexaLow SHA-256 vexa-auth-pass\n"
                         "rouser vexaSha priv\nrouser vexaSha256 priv\nrouser vexaAuth auth\n"
                         "rouser vexaWrong priv\nrouser vexaLow auth\n"});
    snmpsim_ = new test::SimulatedAgent(
        {.address = kSnmpsim,
         .snmpsim_args = SnmpsimUsers({"vexaSha256", "vexaWrong", "vexaSimOnly", "vexaLow"})},
        test::MakeArpTable(30));
  }
  static void TearDownTestSuite() {
    delete snmpd_;
    delete snmpsim_;
    snmpd_ = nullptr;
    snmpsim_ = nullptr;
  }

  WalkV3Test() {
    folder = program.path();
    db = program.Database();
    settings.debug_mode = true;
    settings.timeout_seconds = 2;
    settings.retries = 1;
    settings.snmp_version = 3;
  }

  // The user as the service start makes it from the settings.
  snmp::UsmUser UseUser(const std::string& name, const char* auth, const char* priv,
                        const std::string& context = "", const char* auth_password = kAuthPass,
                        const char* priv_password = kPrivPass) {
    settings.v3_user = name;
    settings.v3_auth_protocol = auth;
    settings.v3_auth_password = auth_password;
    settings.v3_priv_protocol = priv;
    settings.v3_priv_password = priv_password;
    settings.v3_context = context;
    const SnmpSecurity security = SnmpSecurityOf(settings);
    EXPECT_EQ(security.problem, "");
    manager.SetUsmUser(security.user);
    return security.user;
  }
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> out;
    for (const auto& line : test::SplitCrLfLines(ReadFile(program.AppEvent())))
      out.push_back(line.substr(20));
    return out;
  }
  int64_t SeenTimes(const std::string& ip) const {
    Database database = Database::Open(db, true);
    Statement st = database.Prepare("SELECT SeenTimes FROM ArpTable WHERE IpAddr = '" + ip + "'");
    return st.Step() ? st.ColumnInt64(0) : 0;
  }

  static test::SnmpdAgent* snmpd_;
  static test::SimulatedAgent* snmpsim_;
  test::ProgramFolder program;
};

test::SnmpdAgent* WalkV3Test::snmpd_ = nullptr;
test::SimulatedAgent* WalkV3Test::snmpsim_ = nullptr;

TEST_F(WalkV3Test, UsersFromTheSettingsWalkLikeSnmpwalk) {
  struct Case {
    const char* agent;
    const char* user;
    const char* auth;
    const char* priv;
    const char* context;
    const char* traced;  // the security field of the request trace
  };
  const Case cases[] = {
      {kSnmpd, "vexaSha", "SHA", "AES", "", "vexaSha authPriv SHA/AES"},
      {kSnmpd, "vexaSha256", "sha-256", "aes-256", "", "vexaSha256 authPriv SHA-256/AES-256"},
      {kSnmpd, "vexaAuth", "SHA-512", "none", "", "vexaAuth authNoPriv SHA-512"},
      {kSnmpsim, "vexaSha256", "SHA-256", "AES-256", "public",
       "vexaSha256 authPriv SHA-256/AES-256 context public"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.traced);
    ::unlink(program.File("Debug/Snmp.txt").c_str());
    const snmp::UsmUser user = UseUser(c.user, c.auth, c.priv, c.context);
    result = walker.Walk(c.agent);
    EXPECT_EQ(OutcomeText(result), "end of table");
    const std::vector<Row> reference = SnmpwalkV3(c.agent, user);
    EXPECT_EQ(RowsOf(result), reference);
    if (std::string(c.agent) == kSnmpsim) {
      EXPECT_EQ(reference.size(), 30u);
    }
    const std::string trace = ReadFile(program.File("Debug/Snmp.txt"));
    EXPECT_NE(trace.find(std::string(" --> snmp_33\t1\t") + c.agent + '\t' + c.traced +
                         "\tGetArpTable\t1.3.6.1.2.1.4.22.1.1\t\r\n"),
              std::string::npos)
        << trace.substr(0, 200);
    EXPECT_EQ(trace.find("pass"), std::string::npos) << "no password in the trace";
    walker.SetLastRequestId(0);
  }
  EXPECT_EQ(LogTexts(), std::vector<std::string>{});
}

TEST_F(WalkV3Test, ARefusedUserCostsItsRouterOneLogLineAndTheCycleGoesOn) {
  struct Case {
    const char* user;  // known to snmpsim, refused by snmpd
    const char* cause;
  };
  const Case cases[] = {
      {"vexaWrong", "wrongDigest (wrong authentication password or protocol)"},
      {"vexaSimOnly", "unknownUserName"},
      {"vexaLow", "unsupportedSecLevel"},
  };
  settings.debug_mode = false;
  // The line of the history's first cycle (its baseline) is no concern here.
  settings.history_days = 0;
  settings.router_list = std::string(kSnmpd) + "\r\n" + kSnmpsim;
  ArpStore store(ctx);
  PollCycle cycle(ctx, store, [this](const std::string& router) { return walker.Walk(router); });
  int64_t cycles = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user);
    ::unlink(program.AppEvent().c_str());
    UseUser(c.user, "SHA-256", "AES-256", "public");  // snmpsim's data file
    cycle.Run();
    ++cycles;
    const std::vector<std::string> lines = LogTexts();
    ASSERT_EQ(lines.size(), 1u);
    const std::string expected =
        std::string("1\tmodSnmpComm_GetArpTable\tSNMPv3 request refused by ") + kSnmpd + ": " +
        c.cause;
    EXPECT_EQ(lines[0].substr(0, expected.size()), expected);
    for (const test::ArpEntry& row : test::MakeArpTable(30)) EXPECT_EQ(SeenTimes(row.ip), cycles);
  }
}

// snmpsim answers a wrong digest with a Report under its own key, which
// cannot be trusted but shows the password to be wrong; a wrong privacy
// password gets no answer at all after discovery.
TEST_F(WalkV3Test, WrongPasswordsAtSnmpsimCostTheWalkOneLineNamingTheSettings) {
  struct Case {
    const char* auth_password;
    const char* priv_password;
    const char* line;  // after "SNMPv3 request to ROUTER: "
  };
  const Case cases[] = {
      {"not-the-auth-pass", kPrivPass,
       "authentication failed (check V3AuthProtocol and V3AuthPassword)"},
      {kAuthPass, "not-the-priv-pass",
       "no answer; the agent answered discovery but no authenticated request (check "
       "V3PrivProtocol and V3PrivPassword, or V3Context)"},
  };
  settings.debug_mode = false;
  settings.router_list = kSnmpsim;
  ArpStore store(ctx);
  PollCycle cycle(ctx, store, [this](const std::string& router) { return walker.Walk(router); });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ::unlink(program.AppEvent().c_str());
    UseUser("vexaSha256", "SHA-256", "AES-256", "public", c.auth_password, c.priv_password);
    cycle.Run();
    EXPECT_EQ(LogTexts(), std::vector<std::string>{std::string("1\tmodSnmpComm_GetArpTable\t"
                                                               "SNMPv3 request to ") +
                                                   kSnmpsim + ": " + c.line});
    for (const test::ArpEntry& row : test::MakeArpTable(30)) EXPECT_EQ(SeenTimes(row.ip), 0);
  }
}

TEST_F(WalkV3Test, AfterAnAgentRebootTheNextCycleSucceeds) {
  const std::string address = "127.0.13.3";
  test::SnmpdAgent agent({.address = address,
                          .snmpd_config = "createUser vexaP SHA vexa-auth-pass AES vexa-priv-pass\n"
                                          "rouser vexaP priv\n"});
  const snmp::UsmUser user = UseUser("vexaP", "SHA", "AES");
  settings.debug_mode = false;
  settings.retries = 0;
  const std::vector<Row> before = RowsOf(walker.Walk(address));
  ASSERT_EQ(before, SnmpwalkV3(address, user));
  // The same engine one boot later (notInTimeWindow), then a new engine id
  // (unknownEngineID): both re-sync inside the walk, without a re-send.
  for (const bool keep_engine : {true, false}) {
    SCOPED_TRACE(keep_engine ? "same engine id" : "new engine id");
    const int32_t boots = manager.UsmEngine(address, 161)->boots;
    agent.Restart(keep_engine);
    result = walker.Walk(address);
    EXPECT_EQ(OutcomeText(result), "end of table");
    EXPECT_EQ(result.resends, 0);
    EXPECT_EQ(RowsOf(result), before);
    if (keep_engine) {
      EXPECT_EQ(manager.UsmEngine(address, 161)->boots, boots + 1);
    }
  }
  EXPECT_EQ(LogTexts(), std::vector<std::string>{});
}

}  // namespace
}  // namespace vexa
