#include "snmp/manager.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vexa::snmp {

namespace {

// Large enough for any UDP payload, so no datagram is ever cut.
constexpr size_t kReceiveBufferSize = 65536;
// Datagrams read per readable event. Bounded so a flood cannot hold the one
// thread; whatever is left makes the socket readable again at once.
constexpr int kMaxDatagramsPerEvent = 1024;

constexpr const char* kBindVariable = "VEXAARP_SNMP_BIND";

std::string ErrnoText(int error) {
  return std::strerror(error);
}

std::string EndpointText(const sockaddr* addr) {
  const std::string address = AddressText(addr);
  const std::string port = std::to_string(PortOf(addr));
  return address.find(':') != std::string::npos ? "[" + address + "]:" + port
                                                : address + ":" + port;
}

[[noreturn]] void ThrowOpenError(int error, const Endpoint& local) {
  const std::string where = EndpointText(local.addr());
  if (error == EADDRINUSE)
    throw Error(kErrorPortInUse, "SNMP manager: local address " + where + " is already in use");
  if (error == EADDRNOTAVAIL)
    throw Error(kErrorAddressNotAvailable,
                "SNMP manager: local address " + where + " is not available on this machine");
  throw Error(error, "SNMP manager: cannot bind " + where + ": " + ErrnoText(error));
}

// The key of an agent's engine: its address (v4-mapped shown as IPv4) and port.
std::string AgentKey(const sockaddr* addr) {
  return EndpointText(addr);
}

}  // namespace

Manager::Manager(EventLoop& loop)
    : loop_(loop),
      receive_buffer_(std::make_unique<uint8_t[]>(kReceiveBufferSize)),
      usm_(loop.clock()) {}

Manager::~Manager() {
  Close();
}

void Manager::SetLocalPort(int port) {
  local_port_ = port;
}

Endpoint Manager::LocalBindEndpoint(int& family, bool& v6only) const {
  if (local_port_ < 0 || local_port_ > 65535)
    throw Error(EINVAL, "SNMP manager: local port " + std::to_string(local_port_) +
                            " is outside 0 to 65535");
  Endpoint local;
  const char* pinned = std::getenv(kBindVariable);
  if (pinned != nullptr && *pinned != '\0') {
    std::string address;
    int port = -1;
    if (!ParseBindSpec(pinned, address, port))
      throw Error(EINVAL, std::string("SNMP manager: ") + kBindVariable + " '" + pinned +
                              "' is not ADDRESS, ADDRESS:PORT or [IPV6]:PORT");
    if (port < 0 || any_port_) port = local_port_;
    if (!ParseNumericEndpoint(address, static_cast<uint16_t>(port), local))
      throw Error(kErrorAddressNotAvailable, std::string("SNMP manager: ") + kBindVariable +
                                                 " address '" + address +
                                                 "' is not a numeric IP address");
    family = local.family();
    v6only = false;
    if (family == AF_INET6) {
      // Only the IPv6 wildcard serves both families; a pinned IPv6 address
      // cannot carry IPv4 traffic anyway.
      sockaddr_in6 in6;
      std::memcpy(&in6, &local.storage, sizeof in6);
      v6only = !IN6_IS_ADDR_UNSPECIFIED(&in6.sin6_addr);
    }
    return local;
  }
  family = AF_INET6;
  v6only = false;
  ParseNumericEndpoint("::", static_cast<uint16_t>(local_port_), local);
  return local;
}

void Manager::Open() {
  if (fd_ >= 0) throw Error(EISCONN, "SNMP manager: the endpoint is already open");
  int family = 0;
  bool v6only = false;
  Endpoint local = LocalBindEndpoint(family, v6only);

  int fd = ::socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0 && family == AF_INET6 && errno == EAFNOSUPPORT &&
      std::getenv(kBindVariable) == nullptr) {
    // A kernel without IPv6: the IPv4 wildcard on the same port.
    family = AF_INET;
    ParseNumericEndpoint("0.0.0.0", static_cast<uint16_t>(local_port_), local);
    fd = ::socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  }
  if (fd < 0) {
    const int error = errno;
    throw Error(error, "SNMP manager: cannot create the UDP socket: " + ErrnoText(error));
  }
  if (family == AF_INET6) {
    const int only = v6only ? 1 : 0;
    if (::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only) != 0) {
      const int error = errno;
      ::close(fd);
      throw Error(error, "SNMP manager: cannot set IPV6_V6ONLY: " + ErrnoText(error));
    }
  }
  if (::bind(fd, local.addr(), local.length) != 0) {
    const int error = errno;
    ::close(fd);
    ThrowOpenError(error, local);
  }
  fd_ = fd;
  family_ = family;
  v6only_ = family == AF_INET6 && v6only;
  has_peer_ = false;
  agent_ready_ = false;  // the agent is addressed as the new socket's family
  watch_id_ = loop_.WatchReadable(fd_, [this] { OnReadable(); });
}

void Manager::Close() {
  if (fd_ < 0) return;
  loop_.Unwatch(watch_id_);
  ::close(fd_);
  fd_ = -1;
  watch_id_ = -1;
  has_peer_ = false;
}

std::string Manager::LocalAddress() const {
  if (fd_ < 0) throw Error(ENOTCONN, "SNMP manager: the endpoint is not open");
  Endpoint local;
  local.length = sizeof local.storage;
  if (::getsockname(fd_, local.addr(), &local.length) != 0) {
    const int error = errno;
    throw Error(error, "SNMP manager: cannot read the local address: " + ErrnoText(error));
  }
  return AddressText(local.addr());
}

int Manager::LocalPort() const {
  if (fd_ < 0) throw Error(ENOTCONN, "SNMP manager: the endpoint is not open");
  Endpoint local;
  local.length = sizeof local.storage;
  if (::getsockname(fd_, local.addr(), &local.length) != 0) {
    const int error = errno;
    throw Error(error, "SNMP manager: cannot read the local port: " + ErrnoText(error));
  }
  return PortOf(local.addr());
}

void Manager::Send() {
  if (fd_ < 0) throw Error(ENOTCONN, "SNMP manager: the endpoint is not open");
  if (agent_port_ < 1 || agent_port_ > 65535)
    throw Error(EINVAL, "SNMP manager: agent port " + std::to_string(agent_port_) +
                            " is outside 1 to 65535");
  if (!agent_ready_) {
    Endpoint agent;
    if (!ParseNumericEndpoint(agent_address_, static_cast<uint16_t>(agent_port_), agent))
      throw Error(EINVAL, "SNMP manager: agent address '" + agent_address_ +
                              "' is not a numeric IPv4 or IPv6 address");
    if (!ForSocketFamily(agent, family_, v6only_, agent_))
      throw Error(EAFNOSUPPORT, "SNMP manager: agent address " + agent_address_ +
                                    " cannot be reached from local address " + LocalAddress());
    agent_key_ = AgentKey(agent_.addr());
    agent_ready_ = true;
  }
  const Endpoint& destination = agent_;

  const bool v3 = message_.version == Version::kV3;
  if (v3 && !usm_.HasUser())
    throw Error(EINVAL, "SNMP manager: an SNMPv3 request needs a user (SetUsmUser)");
  const std::string& key = agent_key_;
  const CodecStatus status =
      v3 ? usm_.EncodeRequest(key, message_, send_buffer_) : EncodeMessage(message_, send_buffer_);
  if (status != CodecStatus::kOk)
    throw Error(EINVAL,
                std::string("SNMP manager: cannot encode the request: ") + Describe(status));

  ssize_t sent;
  do {
    sent = ::sendto(fd_, send_buffer_.data(), send_buffer_.size(), 0, destination.addr(),
                    destination.length);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) {
    const int error = errno;
    throw Error(error, "SNMP manager: send to " + EndpointText(destination.addr()) +
                           " failed: " + ErrnoText(error));
  }
  peer_ = destination;
  has_peer_ = true;
  peer_v3_ = v3;
  peer_key_ = key;
}

void Manager::SetUsmUser(const UsmUser& user) {
  try {
    usm_.SetUser(user);
  } catch (const std::invalid_argument& e) {
    throw Error(EINVAL, std::string("SNMP manager: ") + e.what());
  }
}

const EngineState* Manager::UsmEngine(const std::string& address, int port) const {
  Endpoint agent;
  if (port < 1 || port > 65535 ||
      !ParseNumericEndpoint(address, static_cast<uint16_t>(port), agent))
    return nullptr;
  return usm_.Engine(AgentKey(agent.addr()));
}

bool Manager::UsmAnsweredOnlyDiscovery(const std::string& address, int port) const {
  Endpoint agent;
  if (port < 1 || port > 65535 ||
      !ParseNumericEndpoint(address, static_cast<uint16_t>(port), agent))
    return false;
  return usm_.AnsweredOnlyDiscovery(AgentKey(agent.addr()));
}

void Manager::OnV3Datagram(std::span<const uint8_t> datagram) {
  switch (usm_.Receive(peer_key_, datagram, message_, scratch_, resend_buffer_)) {
    case UsmClient::Outcome::kDrop:
      ++dropped_;
      return;
    case UsmClient::Outcome::kResponse:
      std::swap(message_, scratch_);
      ++accepted_;
      if (on_response_) on_response_();
      return;
    case UsmClient::Outcome::kSend: {
      // After discovery or a re-sync. A failed send is left to the caller's
      // time-out, as a lost datagram would be.
      ssize_t sent;
      do {
        sent = ::sendto(fd_, resend_buffer_.data(), resend_buffer_.size(), 0, peer_.addr(),
                        peer_.length);
      } while (sent < 0 && errno == EINTR);
      return;
    }
    case UsmClient::Outcome::kRefused:
      if (on_refusal_) on_refusal_(usm_.LastRefusal());
      return;
  }
}

void Manager::OnReadable() {
  for (int i = 0; i < kMaxDatagramsPerEvent && fd_ >= 0; ++i) {
    Endpoint from;
    from.length = sizeof from.storage;
    // MSG_TRUNC makes the result the datagram's real length.
    const ssize_t received = ::recvfrom(fd_, receive_buffer_.get(), kReceiveBufferSize,
                                        MSG_DONTWAIT | MSG_TRUNC, from.addr(), &from.length);
    if (received < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      continue;  // EINTR, or a queued ICMP error: taken off the socket, try the next datagram
    }
    const auto size = static_cast<size_t>(received);
    if (size > kReceiveBufferSize || !has_peer_ || !SameEndpoint(from.addr(), peer_.addr())) {
      ++dropped_;
      continue;
    }
    if (peer_v3_) {
      OnV3Datagram({receive_buffer_.get(), size});
      continue;
    }
    if (DecodeMessage({receive_buffer_.get(), size}, scratch_) != CodecStatus::kOk ||
        scratch_.pdu_type != pdu::kResponse) {
      ++dropped_;
      continue;
    }
    std::swap(message_, scratch_);  // both keep their storage for the next round
    ++accepted_;
    if (on_response_) on_response_();
  }
}

}  // namespace vexa::snmp
