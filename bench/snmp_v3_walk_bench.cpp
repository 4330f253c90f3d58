// Times a walk of one agent's ARP table (four columns, one row per
// exchange, as the collector walks) through the SNMP layer alone, over
// SNMPv2c and over SNMPv3 with the given user, and prints the medians and
// what v3 adds. The manager's own share of that (framing, HMAC, AES) is
// measured apart, by encoding and decoding the same exchange many times
// without a network. bench/snmp_v3_walk.sh runs it against snmpd.
//
//   snmp_v3_walk_bench [--runs=N] [--columns=OID,...] [--context=NAME]
//                      ADDRESS USER AUTH AUTH_PASSWORD PRIV PRIV_PASSWORD
//   (defaults: 3 runs, the four ipNetToMediaTable columns, no context;
//   v2c with community public)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "snmp/manager.h"
#include "snmp/usm_security.h"
#include "snmp/v3_message.h"
#include "walk_driver.h"

namespace {

using namespace vexa::snmp;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

const std::vector<std::string> kArpColumns = {"1.3.6.1.2.1.4.22.1.1", "1.3.6.1.2.1.4.22.1.3",
                                              "1.3.6.1.2.1.4.22.1.2", "1.3.6.1.2.1.4.22.1.4"};

Message Request(Version version, const std::vector<VarBind>& row) {
  Message m;
  m.version = version;
  m.community = version == Version::kV3 ? "" : "public";
  m.request_id = 1234567;
  for (const VarBind& b : row) m.AddBinding(b.oid);
  return m;
}

// Microseconds per exchange (request encoded, response decoded) in this
// process, for v2c and for v3 with `user`, over one row of the walk.
std::pair<double, double> ManagerCostPerExchange(const UsmUser& user,
                                                 const std::vector<VarBind>& row) {
  constexpr int kRounds = 20000;
  Message response = Request(Version::kV2c, row);
  response.pdu_type = pdu::kResponse;
  response.bindings = row;
  std::vector<uint8_t> v2c_response, out;
  EncodeMessage(response, v2c_response);
  const Message v2c_request = Request(Version::kV2c, row);
  Message scratch;

  auto start = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    EncodeMessage(v2c_request, out);
    DecodeMessage(v2c_response, scratch);
  }
  const double v2c = Seconds(Clock::now() - start) / kRounds * 1e6;

  // The v3 response as an agent sends it, for an engine of our own.
  const std::string engine_id("\x80\x00\x1f\x88\x04vexa-bench", 15);
  const std::vector<uint8_t> engine(engine_id.begin(), engine_id.end());
  const crypto::Bytes auth_ku = user.auth == AuthProtocol::kNone
                                    ? crypto::Bytes()
                                    : PasswordToKey(user.auth, user.auth_password);
  const crypto::Bytes priv_ku = user.priv == PrivProtocol::kNone
                                    ? crypto::Bytes()
                                    : PasswordToKey(user.auth, user.priv_password);
  const LocalizedKeys keys(user.auth, auth_ku, user.priv, priv_ku, engine);
  const bool auth = user.auth != AuthProtocol::kNone;
  const bool priv = user.priv != PrivProtocol::kNone;
  const uint8_t flags = (auth ? msg_flag::kAuth : 0) | (priv ? msg_flag::kPriv : 0);
  const auto encode = [&](const Message& pdu, std::vector<uint8_t>& datagram) {
    std::vector<uint8_t> scoped;
    crypto::Bytes data;
    EncodeScopedPdu({engine_id, user.context}, pdu, scoped);
    UsmParameters usm{.engine_id = engine_id,
                      .engine_boots = 3,
                      .engine_time = 1000,
                      .user_name = user.name,
                      .auth_params = {},
                      .priv_params = {}};
    if (auth) usm.auth_params.assign(MacLength(user.auth), '\0');
    data.assign(scoped.begin(), scoped.end());
    if (priv) keys.Encrypt(3, 1000, 99, scoped, data, usm.priv_params);
    size_t auth_offset = 0;
    EncodeV3Message(77, 65507, flags, usm, data, priv, datagram, auth_offset);
    if (auth) keys.Sign(datagram, auth_offset);
  };
  Message v3_response = response;
  v3_response.version = Version::kV3;
  v3_response.community.clear();
  std::vector<uint8_t> datagram;
  encode(v3_response, datagram);
  const Message v3_request = Request(Version::kV3, row);
  V3Message framing;
  ScopedPduFields fields;
  crypto::Bytes plain;

  start = Clock::now();
  for (int i = 0; i < kRounds; ++i) {
    encode(v3_request, out);
    if (DecodeV3Message(datagram, framing) != CodecStatus::kOk ||
        (auth && !keys.Verify(datagram, framing.auth_offset)))
      std::abort();
    std::span<const uint8_t> scoped = framing.scoped_pdu;
    if (priv) {
      keys.Decrypt(3, 1000, framing.usm.priv_params, framing.encrypted_pdu, plain);
      scoped = plain;
    }
    if (DecodeScopedPdu(scoped, priv, fields, scratch) != CodecStatus::kOk) std::abort();
  }
  const double v3 = Seconds(Clock::now() - start) / kRounds * 1e6;
  return {v2c, v3};
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 3;
  std::vector<std::string> columns = kArpColumns;
  UsmUser user;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--runs=", 0) == 0) {
      runs = std::max(1, std::atoi(arg.c_str() + 7));
    } else if (arg.rfind("--context=", 0) == 0) {
      user.context = arg.substr(10);
    } else if (arg.rfind("--columns=", 0) == 0) {
      columns.clear();
      for (size_t pos = 10; pos <= arg.size();) {
        const size_t comma = std::min(arg.find(',', pos), arg.size());
        columns.push_back(arg.substr(pos, comma - pos));
        pos = comma + 1;
      }
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 6 || !ParseAuthProtocol(positional[2], user.auth) ||
      !ParsePrivProtocol(positional[4], user.priv)) {
    std::fprintf(stderr,
                 "usage: snmp_v3_walk_bench [--runs=N] [--columns=OID,...] [--context=NAME]\n"
                 "       ADDRESS USER AUTH AUTH_PASSWORD PRIV PRIV_PASSWORD\n");
    return 2;
  }
  const std::string& address = positional[0];
  user.name = positional[1];
  user.auth_password = positional[3];
  user.priv_password = positional[5];

  vexa::SystemClock clock;
  vexa::EventLoop loop(clock);
  Manager manager(loop);
  manager.Open();
  manager.SetUsmUser(user);

  struct Result {
    double median = 0;
    size_t rows = 0;
    std::vector<VarBind> last_row;
  };
  const auto time_walks = [&](Version version, const char* name) {
    Result result;
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
      const auto start = Clock::now();
      const vexa::test::WalkResult walk =
          vexa::test::Walk(loop, manager,
                           {.address = address,
                            .columns = columns,
                            .version = version,
                            // snmpd reads a large neighbour table anew now and then, which
                            // can hold an answer for seconds.
                            .timeout = std::chrono::seconds(5),
                            .retries = 2});
      seconds.push_back(Seconds(Clock::now() - start));
      if (walk.refusal || walk.timed_out || walk.rows.empty()) {
        std::fprintf(stderr, "%s walk failed after %zu rows: %s\n", name, walk.rows.size(),
                     walk.refusal ? walk.refusal->Describe().c_str() : "no rows or time-out");
        std::exit(1);
      }
      result.rows = walk.rows.size();
      result.last_row = walk.rows.back();
      std::printf("%s run %d: %zu rows in %.3f s (%d re-sends)\n", name, i + 1, result.rows,
                  seconds.back(), walk.resends);
    }
    result.median = Median(seconds);
    std::printf("%s: %zu rows, median %.3f s, %.0f rows/s\n", name, result.rows, result.median,
                static_cast<double>(result.rows) / result.median);
    return result;
  };

  const Result v2c = time_walks(Version::kV2c, "SNMPv2c");
  const std::string v3_name = "SNMPv3 " + user.Description();
  const Result v3 = time_walks(Version::kV3, v3_name.c_str());
  if (v2c.rows != v3.rows) {
    std::fprintf(stderr, "the walks differ: %zu rows against %zu\n", v2c.rows, v3.rows);
    return 1;
  }
  const auto [v2c_us, v3_us] = ManagerCostPerExchange(user, v3.last_row);
  const double exchanges = static_cast<double>(v3.rows) + 1;
  std::printf(
      "wall time: v3 takes %.1f%% longer than v2c; %.1f%% of the v3 walk's time is "
      "what v3 adds\n",
      (v3.median / v2c.median - 1) * 100, (1 - v2c.median / v3.median) * 100);
  std::printf(
      "manager per exchange: v2c %.2f us, v3 %.2f us; the manager's v3 work "
      "(framing, HMAC, cipher) is %.1f%% of the v3 walk's time (goal: under 10%%)\n",
      v2c_us, v3_us, (v3_us - v2c_us) * exchanges / 1e6 / v3.median * 100);
  return 0;
}
