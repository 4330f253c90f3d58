#include "support/snmp_agents.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <tuple>

#include "snmp/snmp_message.h"
#include "snmp/socket_address.h"

namespace vexa::test {

namespace {

constexpr const char* kArpColumns = "1.3.6.1.2.1.4.22.1.";

std::array<int, 4> Octets(const std::string& ip) {
  in_addr a{};
  if (::inet_pton(AF_INET, ip.c_str(), &a) != 1)
    throw std::runtime_error("not an IPv4 address: " + ip);
  const auto* b = reinterpret_cast<const uint8_t*>(&a);
  return {b[0], b[1], b[2], b[3]};
}

auto WalkKey(const ArpEntry& e) {
  return std::make_tuple(e.if_index, Octets(e.ip));
}

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

bool IsIpv6(const std::string& address) {
  return address.find(':') != std::string::npos;
}

snmp::Endpoint AgentEndpoint(const std::string& address, int port) {
  snmp::Endpoint endpoint;
  if (!snmp::ParseNumericEndpoint(address, static_cast<uint16_t>(port), endpoint))
    throw std::runtime_error("not a numeric address: " + address);
  return endpoint;
}

}  // namespace

std::vector<ArpEntry> MakeArpTable(size_t count) {
  std::vector<ArpEntry> rows;
  rows.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const auto n = static_cast<uint32_t>(i + 1);
    ArpEntry e;
    e.if_index = static_cast<int32_t>(1 + i % 4);
    e.ip = "10." + std::to_string((n >> 16) & 255) + "." + std::to_string((n >> 8) & 255) + "." +
           std::to_string(n & 255);
    e.mac = std::string("\x02\x00", 2);
    for (int shift = 24; shift >= 0; shift -= 8) e.mac.push_back(static_cast<char>(n >> shift));
    e.type = i % 7 == 0 ? 4 : 3;
    rows.push_back(std::move(e));
  }
  if (count >= 2) {
    ArpEntry& last = rows.back();
    last.ip = rows.front().ip;
    last.if_index = rows.front().if_index == 4 ? 3 : rows.front().if_index + 1;
  }
  return rows;
}

std::vector<ArpEntry> InWalkOrder(std::vector<ArpEntry> rows) {
  // Keys computed once: parsing addresses inside the comparison would cost
  // a parse per comparison on 20000 rows.
  using Key = decltype(WalkKey(rows.front()));
  std::vector<std::pair<Key, size_t>> keys;
  keys.reserve(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) keys.emplace_back(WalkKey(rows[i]), i);
  std::sort(keys.begin(), keys.end());
  std::vector<ArpEntry> sorted;
  sorted.reserve(rows.size());
  for (const auto& [key, i] : keys) sorted.push_back(std::move(rows[i]));
  return sorted;
}

std::string ArpTableSnmprec(const std::vector<ArpEntry>& rows) {
  const std::vector<ArpEntry> sorted = InWalkOrder(rows);
  std::string out;
  out.reserve(sorted.size() * 4 * 48 + 128);
  out += "1.3.6.1.2.1.1.1.0|4|Vexa test router\n";
  for (int column = 1; column <= 4; ++column) {
    for (const ArpEntry& e : sorted) {
      out += kArpColumns;
      out += std::to_string(column);
      out += '.';
      out += std::to_string(e.if_index);
      out += '.';
      out += e.ip;
      switch (column) {
        case 1:
          out += "|2|" + std::to_string(e.if_index);
          break;
        case 2:
          out += "|4x|" + Hex(e.mac);
          break;
        case 3:
          out += "|64|" + e.ip;
          break;
        default:
          out += "|2|" + std::to_string(e.type);
          break;
      }
      out += '\n';
    }
  }
  out += "1.3.6.1.2.1.4.23.0|65|0\n";
  return out;
}

int FreeUdpPort(const std::string& address) {
  const snmp::Endpoint endpoint = AgentEndpoint(address, 0);
  const int fd = ::socket(endpoint.family(), SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  snmp::Endpoint bound;
  bound.length = sizeof bound.storage;
  if (::bind(fd, endpoint.addr(), endpoint.length) != 0 ||
      ::getsockname(fd, bound.addr(), &bound.length) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot find a free UDP port on " + address);
  }
  ::close(fd);
  return snmp::PortOf(bound.addr());
}

bool AgentAnswers(const std::string& address, int port, const std::string& community,
                  std::chrono::milliseconds limit) {
  const snmp::Endpoint agent = AgentEndpoint(address, port);
  const int fd = ::socket(agent.family(), SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;

  snmp::Message request;
  request.community = community;
  request.request_id = 0x5645;
  request.AddBinding("1.3.6.1");
  std::vector<uint8_t> bytes;
  snmp::EncodeMessage(request, bytes);

  std::vector<uint8_t> buffer(65536);
  snmp::Message reply;
  bool answered = false;
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!answered && std::chrono::steady_clock::now() < end) {
    ::sendto(fd, bytes.data(), bytes.size(), 0, agent.addr(), agent.length);
    // Wait for a reply up to 200 ms before asking again.
    const auto round_end =
        std::min(end, std::chrono::steady_clock::now() + std::chrono::milliseconds(200));
    while (!answered) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          round_end - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
      if (n <= 0) continue;
      answered = snmp::DecodeMessage({buffer.data(), static_cast<size_t>(n)}, reply) ==
                     snmp::CodecStatus::kOk &&
                 reply.pdu_type == snmp::pdu::kResponse && reply.request_id == request.request_id;
    }
  }
  ::close(fd);
  return answered;
}

// ---------------------------------------------------------------------------

AgentProcess::~AgentProcess() {
  Stop();
}

std::string AgentProcess::Log() const {
  return ReadFile(LogPath());
}

void AgentProcess::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 500; ++i) {  // up to 5 s for a clean exit
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    ::usleep(10000);
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

void AgentProcess::Start(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env) {
  argv_ = argv;
  env_ = env;
  const int log = ::open(LogPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (log < 0) throw std::runtime_error("cannot create " + LogPath());
  std::vector<std::string> args = argv;
  std::vector<char*> arg_ptrs;
  for (auto& a : args) arg_ptrs.push_back(a.data());
  arg_ptrs.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(log);
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    ::dup2(in, 0);
    ::dup2(log, 1);
    ::dup2(log, 2);
    for (const std::string& kv : env) {
      const size_t eq = kv.find('=');
      ::setenv(kv.substr(0, eq).c_str(), kv.substr(eq + 1).c_str(), 1);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execvp(arg_ptrs[0], arg_ptrs.data());
    ::_exit(127);
  }
  ::close(log);
  pid_ = pid;

  const auto end = std::chrono::steady_clock::now() + options_.startup_limit;
  while (std::chrono::steady_clock::now() < end) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error(argv[0] + " exited at start-up (status " + std::to_string(status) +
                               "): " + Log());
    }
    if (AgentAnswers(options_.address, options_.port, options_.community,
                     std::chrono::milliseconds(300)))
      return;
  }
  Stop();
  throw std::runtime_error(argv[0] + " did not answer on " + options_.address + ":" +
                           std::to_string(options_.port) + ": " + Log());
}

SnmpdAgent::SnmpdAgent(AgentOptions options) : AgentProcess(std::move(options)) {
  const std::string& community = options_.community;
  if (community.empty() || community.find_first_of(" \t\r\n#\"'") != std::string::npos)
    throw std::runtime_error("community unusable in snmpd.conf: " + community);
  const bool v6 = IsIpv6(options_.address);
  const std::string conf = dir() + "/snmpd.conf";
  WriteFile(conf, std::string("agentaddress ") + (v6 ? "udp6:[" : "udp:") + options_.address +
                      (v6 ? "]:" : ":") + std::to_string(options_.port) + "\n" +
                      (v6 ? "rocommunity6 " : "rocommunity ") + community + "\n" +
                      "dontLogTCPWrappersConnects yes\n" + options_.snmpd_config);
  // -C: no system configuration; -I -smux: no SMUX listener on TCP 199.
  // Persistent state and MIB loading are kept inside the scratch directory.
  Start({"snmpd", "-f", "-Lo", "-C", "-I", "-smux", "-c", conf},
        {"SNMP_PERSISTENT_DIR=" + dir() + "/state", "MIBS=", "MIBDIRS=" + dir() + "/no-mibs"});
}

void SnmpdAgent::Restart(bool keep_engine) {
  Stop();
  std::vector<std::string> argv = StartedArgv();
  const std::string state = dir() + "/state";
  const std::string conf = dir() + "/snmpd.conf";
  const std::string saved = state + "/snmpd.conf";
  // -C keeps snmpd from reading its saved state; naming the file it saved
  // among the configuration files brings the engine id and boots back.
  const auto c = std::find(argv.begin(), argv.end(), "-c");
  if (keep_engine) {
    if (!std::filesystem::exists(saved)) WriteFile(saved, "");
    c[1] = conf + "," + saved;
  } else {
    std::filesystem::remove_all(state);
    c[1] = conf;
  }
  Start(argv, StartedEnv());
}

SimulatedAgent::SimulatedAgent(AgentOptions options, const std::vector<ArpEntry>& rows)
    : SimulatedAgent(std::move(options), ArpTableSnmprec(rows)) {}

SimulatedAgent::SimulatedAgent(AgentOptions options, const std::string& snmprec)
    : AgentProcess(std::move(options)) {
  const std::string& community = options_.community;
  if (community.empty() ||
      community.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                  "abcdefghijklmnopqrstuvwxyz"
                                  "0123456789-_.") != std::string::npos ||
      community.front() == '.')
    throw std::runtime_error("community unusable as an snmpsim data file name: " + community);
  const std::string data = dir() + "/data";
  const std::string cache = dir() + "/cache";
  std::filesystem::create_directories(data);
  std::filesystem::create_directories(cache);
  WriteFile(data + "/" + community + ".snmprec", snmprec);

  // snmpsimd takes its engine options in order: the v3 ones before the data
  // directory and endpoint they apply to.
  std::vector<std::string> argv{"snmpsimd"};
  argv.insert(argv.end(), options_.snmpsim_args.begin(), options_.snmpsim_args.end());
  argv.insert(argv.end(), {"--data-dir=" + data, "--cache-dir=" + cache, "--logging-method=null"});
  if (IsIpv6(options_.address))
    argv.push_back("--agent-udpv6-endpoint=[" + options_.address +
                   "]:" + std::to_string(options_.port));
  else
    argv.push_back("--agent-udpv4-endpoint=" + options_.address + ":" +
                   std::to_string(options_.port));
  if (::geteuid() == 0) {
    // snmpsimd refuses to run as root; it binds first and then drops to
    // this user, which must be able to read the data and write the cache.
    argv.push_back("--process-user=nobody");
    argv.push_back("--process-group=nogroup");
    ::chmod(dir().c_str(), 0755);
    ::chmod(data.c_str(), 0755);
    ::chmod((data + "/" + community + ".snmprec").c_str(), 0644);
    ::chmod(cache.c_str(), 0777);
  }
  Start(argv, {});
}

}  // namespace vexa::test
