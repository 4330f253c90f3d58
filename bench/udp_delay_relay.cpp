// A UDP relay for DNS or SNMP that holds every query for a fixed time before
// passing it to the server, and passes answers back at once: a one-way delay
// like netem on the client's side of a link, for kernels without sch_netem.
// Holding the request for the whole round trip simulates a router that far
// away.
//
//   udp_delay_relay LISTEN_IPV4:PORT SERVER_IPV4:PORT DELAY_MS [MAX_SECONDS [snmp]]
//
// DNS: queries get a relay-chosen id on the way in (clients on different
// ports may pick the same id) and their own id back on the way out. SNMP
// (the request id sits inside the BER message): every client gets a socket
// of its own towards the server, and what comes back on it goes to that
// client. Stops on SIGTERM/SIGINT or after MAX_SECONDS (default 900).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stop_requested = 0;

void OnSignal(int) {
  stop_requested = 1;
}

bool ParseEndpoint(const std::string& text, sockaddr_in& out) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  out = {};
  out.sin_family = AF_INET;
  const long port = std::strtol(text.c_str() + colon + 1, nullptr, 10);
  if (port <= 0 || port > 65535) return false;
  out.sin_port = htons(static_cast<uint16_t>(port));
  return ::inet_pton(AF_INET, text.substr(0, colon).c_str(), &out.sin_addr) == 1;
}

struct Pending {  // a query waiting out its delay
  Clock::time_point due;
  std::string datagram;
  int back = -1;  // SNMP: the client's own socket towards the server
};

struct Client {  // SNMP: a client and its socket towards the server
  sockaddr_in address{};
  int back = -1;
};

bool SameEndpoint(const sockaddr_in& a, const sockaddr_in& b) {
  return a.sin_port == b.sin_port && a.sin_addr.s_addr == b.sin_addr.s_addr;
}

// Relays SNMP: requests held for `delay`, answers passed back at once.
int RelaySnmp(int front, const sockaddr_in& server, std::chrono::milliseconds delay,
              Clock::time_point end) {
  constexpr size_t kMaxClients = 64;
  std::vector<Client> clients;
  std::deque<Pending> queue;
  unsigned long relayed = 0;
  static unsigned char buffer[65536];
  while (!stop_requested && Clock::now() < end) {
    int wait_ms = 100;
    if (!queue.empty()) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(queue.front().due - Clock::now());
      wait_ms = static_cast<int>(std::max<long>(0, std::min<long>(100, left.count())));
    }
    std::vector<pollfd> fds{{front, POLLIN, 0}};
    for (const Client& c : clients) fds.push_back({c.back, POLLIN, 0});
    ::poll(fds.data(), fds.size(), wait_ms);
    for (int i = 0; i < 256 && (fds[0].revents & POLLIN); ++i) {
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t n = ::recvfrom(front, buffer, sizeof buffer, MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &length);
      if (n < 0) break;
      auto client = std::find_if(clients.begin(), clients.end(),
                                 [&](const Client& c) { return SameEndpoint(c.address, from); });
      if (client == clients.end()) {
        if (clients.size() == kMaxClients) continue;
        const int back = ::socket(AF_INET, SOCK_DGRAM, 0);
        if (back < 0 ||
            ::connect(back, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
          std::perror("udp_delay_relay: socket towards the server");
          if (back >= 0) ::close(back);
          continue;
        }
        clients.push_back({from, back});
        client = clients.end() - 1;
      }
      queue.push_back({Clock::now() + delay,
                       std::string(reinterpret_cast<char*>(buffer), static_cast<size_t>(n)),
                       client->back});
    }
    for (size_t k = 1; k < fds.size(); ++k) {
      if ((fds[k].revents & POLLIN) == 0) continue;
      const Client& c = clients[k - 1];
      for (int i = 0; i < 256; ++i) {
        const ssize_t n = ::recv(c.back, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0) break;
        ::sendto(front, buffer, static_cast<size_t>(n), 0,
                 reinterpret_cast<const sockaddr*>(&c.address), sizeof c.address);
        ++relayed;
      }
    }
    const auto now = Clock::now();
    while (!queue.empty() && queue.front().due <= now) {
      ::send(queue.front().back, queue.front().datagram.data(), queue.front().datagram.size(), 0);
      queue.pop_front();
    }
  }
  std::fprintf(stderr, "udp_delay_relay: %lu answers relayed\n", relayed);
  for (const Client& c : clients) ::close(c.back);
  ::close(front);
  return 0;
}

struct Origin {  // where the answer to a relay id goes
  sockaddr_in client{};
  uint16_t client_id = 0;
  bool used = false;
};

}  // namespace

int main(int argc, char** argv) {
  sockaddr_in listen_at{}, server{};
  if (argc < 4 || !ParseEndpoint(argv[1], listen_at) || !ParseEndpoint(argv[2], server)) {
    std::fprintf(stderr,
                 "usage: udp_delay_relay LISTEN_IPV4:PORT SERVER_IPV4:PORT DELAY_MS "
                 "[MAX_SECONDS [snmp]]\n");
    return 2;
  }
  const auto delay = std::chrono::milliseconds(std::atol(argv[3]));
  const auto end = Clock::now() + std::chrono::seconds(argc > 4 ? std::atol(argv[4]) : 900);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);

  if (argc > 5 && std::string(argv[5]) == "snmp") {
    const int front = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (front < 0 ||
        ::bind(front, reinterpret_cast<sockaddr*>(&listen_at), sizeof listen_at) != 0) {
      std::perror("udp_delay_relay: socket setup");
      return 1;
    }
    int buffer_size = 4 << 20;
    ::setsockopt(front, SOL_SOCKET, SO_RCVBUF, &buffer_size, sizeof buffer_size);
    return RelaySnmp(front, server, delay, end);
  }
  const int front = ::socket(AF_INET, SOCK_DGRAM, 0);
  const int back = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (front < 0 || back < 0 ||
      ::bind(front, reinterpret_cast<sockaddr*>(&listen_at), sizeof listen_at) != 0 ||
      ::connect(back, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
    std::perror("udp_delay_relay: socket setup");
    return 1;
  }
  int buffer_size = 4 << 20;  // bursts of a whole batch in flight
  ::setsockopt(front, SOL_SOCKET, SO_RCVBUF, &buffer_size, sizeof buffer_size);
  ::setsockopt(back, SOL_SOCKET, SO_RCVBUF, &buffer_size, sizeof buffer_size);

  std::deque<Pending> queue;  // constant delay: arrival order is due order
  static std::array<Origin, 65536> origins;
  uint16_t next_id = 0;
  unsigned long relayed = 0;
  unsigned char buffer[4096];

  while (!stop_requested && Clock::now() < end) {
    int wait_ms = 100;
    if (!queue.empty()) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(queue.front().due - Clock::now());
      wait_ms = static_cast<int>(std::max<long>(0, std::min<long>(100, left.count())));
    }
    pollfd fds[2] = {{front, POLLIN, 0}, {back, POLLIN, 0}};
    ::poll(fds, 2, wait_ms);

    // Up to 256 datagrams per socket and pass, so neither side starves.
    for (int i = 0; i < 256 && (fds[0].revents & POLLIN); ++i) {
      sockaddr_in client{};
      socklen_t length = sizeof client;
      const ssize_t n = ::recvfrom(front, buffer, sizeof buffer, MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&client), &length);
      if (n < 0) break;
      if (n >= 12) {
        Origin& origin = origins[next_id];
        origin = {client, static_cast<uint16_t>(buffer[0] << 8 | buffer[1]), true};
        buffer[0] = static_cast<unsigned char>(next_id >> 8);
        buffer[1] = static_cast<unsigned char>(next_id & 0xFF);
        ++next_id;
        queue.push_back({Clock::now() + delay,
                         std::string(reinterpret_cast<char*>(buffer), static_cast<size_t>(n))});
      }
    }
    for (int i = 0; i < 256 && (fds[1].revents & POLLIN); ++i) {
      const ssize_t n = ::recv(back, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n < 0) break;
      if (n >= 12) {
        Origin& origin = origins[static_cast<uint16_t>(buffer[0] << 8 | buffer[1])];
        if (origin.used) {
          buffer[0] = static_cast<unsigned char>(origin.client_id >> 8);
          buffer[1] = static_cast<unsigned char>(origin.client_id & 0xFF);
          ::sendto(front, buffer, static_cast<size_t>(n), 0,
                   reinterpret_cast<sockaddr*>(&origin.client), sizeof origin.client);
          origin.used = false;
          ++relayed;
        }
      }
    }
    const auto now = Clock::now();
    while (!queue.empty() && queue.front().due <= now) {
      ::send(back, queue.front().datagram.data(), queue.front().datagram.size(), 0);
      queue.pop_front();
    }
  }
  std::fprintf(stderr, "udp_delay_relay: %lu answers relayed\n", relayed);
  ::close(front);
  ::close(back);
  return 0;
}
