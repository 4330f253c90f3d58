#include "support/dns_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

namespace vexa::test {

namespace {

constexpr char kDnsmasq[] = "/usr/sbin/dnsmasq";

// An IPv4 or IPv6 socket address for text and port; throws on bad text.
struct SocketAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;
  int family = AF_INET;
};

SocketAddress MakeAddress(const std::string& address, uint16_t port) {
  SocketAddress out;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&out.storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&out.storage);
  if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    out.length = sizeof(sockaddr_in);
    out.family = AF_INET;
  } else if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    out.length = sizeof(sockaddr_in6);
    out.family = AF_INET6;
  } else {
    throw std::invalid_argument("not an IP address: " + address);
  }
  return out;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

uint16_t BoundPort(int fd) {
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
  if (bound.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  return ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
}

std::string QueryFor(const std::string& name, uint16_t id) {
  std::string q;
  q += static_cast<char>(id >> 8);
  q += static_cast<char>(id & 0xFF);
  q += std::string("\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10);  // RD, one question
  size_t start = 0;
  while (start < name.size()) {
    size_t dot = name.find('.', start);
    if (dot == std::string::npos) dot = name.size();
    q += static_cast<char>(dot - start);
    q += name.substr(start, dot - start);
    start = dot + 1;
  }
  q += std::string("\x00\x00\x0c\x00\x01", 5);  // root, type PTR, class IN
  return q;
}

}  // namespace

std::string PtrOwnerName(const std::string& address) {
  unsigned char bytes[16];
  if (::inet_pton(AF_INET, address.c_str(), bytes) == 1) {
    return std::to_string(bytes[3]) + "." + std::to_string(bytes[2]) + "." +
           std::to_string(bytes[1]) + "." + std::to_string(bytes[0]) + ".in-addr.arpa";
  }
  if (::inet_pton(AF_INET6, address.c_str(), bytes) == 1) {
    std::string name;
    char nibble[8];
    for (int i = 15; i >= 0; --i) {
      std::snprintf(nibble, sizeof nibble, "%x.%x.", bytes[i] & 0xF, bytes[i] >> 4);
      name += nibble;
    }
    return name + "ip6.arpa";
  }
  throw std::invalid_argument("not an IP address: " + address);
}

std::string ServerSpecOf(const std::string& address, uint16_t port) {
  if (address.find(':') != std::string::npos) return "[" + address + "]:" + std::to_string(port);
  return address + ":" + std::to_string(port);
}

uint16_t FreePort(const std::string& address) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    SocketAddress any = MakeAddress(address, 0);
    Fd udp(::socket(any.family, SOCK_DGRAM, 0));
    if (::bind(udp.get(), reinterpret_cast<sockaddr*>(&any.storage), any.length) != 0)
      throw std::runtime_error("cannot bind UDP on " + address + ": " + std::strerror(errno));
    const uint16_t port = BoundPort(udp.get());
    SocketAddress same = MakeAddress(address, port);
    Fd tcp(::socket(same.family, SOCK_STREAM, 0));
    if (::bind(tcp.get(), reinterpret_cast<sockaddr*>(&same.storage), same.length) == 0)
      return port;
  }
  throw std::runtime_error("no free port on " + address);
}

bool AnswersQueries(const std::string& address, uint16_t port, const std::string& name,
                    int wait_ms) {
  SocketAddress to = MakeAddress(address, port);
  Fd fd(::socket(to.family, SOCK_DGRAM, 0));
  if (fd.get() < 0 || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&to.storage), to.length) != 0)
    return false;
  static std::mt19937 random{std::random_device{}()};
  const auto id = static_cast<uint16_t>(random());
  const std::string query = QueryFor(name, id);
  if (::send(fd.get(), query.data(), query.size(), 0) != static_cast<ssize_t>(query.size()))
    return false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fd.get(), POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    unsigned char reply[512];
    const ssize_t n = ::recv(fd.get(), reply, sizeof reply, 0);
    // The QR bit matters: while nothing is bound to `port`, the kernel may
    // give this socket that very port as its source, and it then reads its
    // own query back.
    if (n >= 3 && reply[0] == (id >> 8) && reply[1] == (id & 0xFF) && (reply[2] & 0x80) != 0)
      return true;
    if (n < 0 && errno == ECONNREFUSED) return false;
  }
  return false;
}

DnsmasqServer::DnsmasqServer(const std::map<std::string, std::string>& names,
                             DnsmasqOptions options)
    : options_(std::move(options)) {
  const std::string config_path = dir_.path() + "/dnsmasq.conf";
  {
    std::ofstream config(config_path);
    for (const auto& [address, name] : names)
      config << "ptr-record=" << PtrOwnerName(address) << "," << name << "\n";
    for (const auto& zone : options_.local_zones) config << "local=/" << zone << "/\n";
    for (const auto& line : options_.extra_config) config << line << "\n";
    if (!config) throw std::runtime_error("cannot write " + config_path);
  }
  // The free port may be taken between the check and dnsmasq's bind: retry.
  std::string why;
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (StartOnce(config_path, why)) return;
  }
  throw std::runtime_error("dnsmasq did not start: " + why);
}

DnsmasqServer::~DnsmasqServer() {
  Stop();
}

std::string DnsmasqServer::Log() const {
  std::ifstream log_file(dir_.path() + "/dnsmasq.log");
  return std::string(std::istreambuf_iterator<char>(log_file), {});
}

std::string DnsmasqServer::ServerSpec() const {
  return ServerSpecOf(options_.listen_address, port_);
}

bool DnsmasqServer::StartOnce(const std::string& config_path, std::string& why) {
  port_ = options_.port != 0 ? options_.port : FreePort(options_.listen_address);
  const std::string log_path = dir_.path() + "/dnsmasq.log";
  std::vector<std::string> args = {kDnsmasq,
                                   "--keep-in-foreground",
                                   "--conf-file=" + config_path,
                                   "--no-resolv",
                                   "--no-hosts",
                                   "--no-poll",
                                   "--pid-file",
                                   "--log-facility=-",
                                   "--bind-interfaces",
                                   "--listen-address=" + options_.listen_address,
                                   "--port=" + std::to_string(port_)};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    const int in = ::open("/dev/null", O_RDONLY);
    const int log = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in, 0);
    ::dup2(log, 1);
    ::dup2(log, 2);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  pid_ = pid;
  // Any answer to a query means dnsmasq has read its records and listens.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < end) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      std::ifstream log_file(log_path);
      why = std::string(std::istreambuf_iterator<char>(log_file), {});
      return false;
    }
    if (AnswersQueries(options_.listen_address, port_, "1.0.0.127.in-addr.arpa", 100)) return true;
  }
  why = "no answer within 5 s";
  Stop();
  return false;
}

void DnsmasqServer::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= end) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
}

}  // namespace vexa::test
