#include "scripted_dns_responder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace vexa::test {

namespace {

void PutU16(std::string& out, uint16_t v) {
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v & 0xFF);
}

// Reads the question of a query, checking every length against the datagram.
std::optional<DnsQuery> ParseQuery(const unsigned char* data, size_t size) {
  if (size < 12) return std::nullopt;
  DnsQuery q;
  q.id = static_cast<uint16_t>(data[0] << 8 | data[1]);
  size_t pos = 12;
  while (pos < size && data[pos] != 0) {
    const size_t length = data[pos];
    if (length > 63 || pos + 1 + length > size) return std::nullopt;
    if (!q.name.empty()) q.name += '.';
    q.name.append(reinterpret_cast<const char*>(data + pos + 1), length);
    pos += 1 + length;
  }
  if (pos + 5 > size) return std::nullopt;
  q.type = static_cast<uint16_t>(data[pos + 1] << 8 | data[pos + 2]);
  q.question.assign(reinterpret_cast<const char*>(data + 12), pos + 5 - 12);
  return q;
}

}  // namespace

std::string EncodeName(const std::string& dotted) {
  std::string out;
  size_t start = 0;
  while (start < dotted.size()) {
    size_t dot = dotted.find('.', start);
    if (dot == std::string::npos) dot = dotted.size();
    out += static_cast<char>(dot - start);
    out += dotted.substr(start, dot - start);
    start = dot + 1;
  }
  return out + '\0';
}

std::string ReplyBuilder::Header(uint8_t rcode, uint16_t answers) const {
  std::string h;
  PutU16(h, query_.id);
  PutU16(h, static_cast<uint16_t>(0x8580 | rcode));  // QR, AA, RD, RA
  PutU16(h, 1);
  PutU16(h, answers);
  PutU16(h, 0);
  PutU16(h, 0);
  return h + query_.question;
}

std::string ReplyBuilder::Empty(uint8_t rcode) const {
  return Header(rcode, 0);
}

std::string ReplyBuilder::PtrAnswer(const std::vector<std::string>& labels, uint8_t rcode) const {
  std::string target;
  for (const auto& label : labels) {
    target += static_cast<char>(label.size());
    target += label;
  }
  target += '\0';
  std::string reply = Header(rcode, 1);
  reply += std::string("\xC0\x0C", 2);          // owner: the queried name at offset 12
  PutU16(reply, 12);                            // PTR
  PutU16(reply, 1);                             // IN
  reply += std::string("\x00\x00\x0E\x10", 4);  // TTL 3600
  PutU16(reply, static_cast<uint16_t>(target.size()));
  return reply + target;
}

std::string ReplyBuilder::PtrAnswerFor(const std::string& owner, const std::string& target) const {
  const std::string encoded = EncodeName(target);
  std::string reply = Header(0, 1) + EncodeName(owner);
  PutU16(reply, 12);
  PutU16(reply, 1);
  reply += std::string("\x00\x00\x0E\x10", 4);
  PutU16(reply, static_cast<uint16_t>(encoded.size()));
  return reply + encoded;
}

std::string ReplyBuilder::PointerLoop() const {
  std::string reply = Header(0, 1);
  reply += std::string("\xC0\x0C", 2);
  PutU16(reply, 12);
  PutU16(reply, 1);
  reply += std::string("\x00\x00\x0E\x10", 4);
  PutU16(reply, 2);
  const size_t here = reply.size();  // the rdata points at itself
  reply += static_cast<char>(0xC0 | (here >> 8));
  reply += static_cast<char>(here & 0xFF);
  return reply;
}

ScriptedDnsResponder::ScriptedDnsResponder(Script script) : script_(std::move(script)) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    throw std::runtime_error("cannot bind the scripted responder");
  socklen_t length = sizeof addr;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &length);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

ScriptedDnsResponder::~ScriptedDnsResponder() {
  stop_ = true;
  thread_.join();
  ::close(fd_);
}

std::string ScriptedDnsResponder::ServerSpec() const {
  return "127.0.0.1:" + std::to_string(port_);
}

void ScriptedDnsResponder::Serve() {
  // Checks the stop flag every 20 ms; ends with the object.
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    unsigned char buffer[1500];
    sockaddr_storage from{};
    socklen_t from_length = sizeof from;
    const ssize_t n =
        ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &from_length);
    if (n <= 0) continue;
    const std::optional<DnsQuery> query = ParseQuery(buffer, static_cast<size_t>(n));
    if (!query) continue;
    ++queries_;
    const std::optional<std::string> reply = script_(*query);
    if (reply)
      ::sendto(fd_, reply->data(), reply->size(), 0, reinterpret_cast<sockaddr*>(&from),
               from_length);
  }
}

}  // namespace vexa::test
