#include "dns/cares_reverse_resolver.h"

#include <ares.h>
#include <netdb.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>

#include "dns/dns_servers.h"
#include "dns/host_name_check.h"
#include "dns/reverse_name.h"

namespace vexa::dns {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kClassIn = 1;   // RFC 1035 section 3.2.4
constexpr int kTypePtr = 12;  // RFC 1035 section 3.2.2

int LibraryInitStatus() {
  // ares_library_init is not thread-safe; a function-local static is.
  static const int status = ares_library_init(ARES_LIB_INIT_ALL);
  return status;
}

struct ChannelDeleter {
  void operator()(ares_channeldata* channel) const { ares_destroy(channel); }
};
using ChannelPtr = std::unique_ptr<ares_channeldata, ChannelDeleter>;

// What every channel of one batch is set up with.
struct ChannelSetup {
  bool hosts_file_first = true;
  std::vector<DnsServer> servers;  // empty: those of /etc/resolv.conf
  int tries = 2;
  int try_timeout_ms = 1000;
};

int MakeChannel(const ChannelSetup& setup, ChannelPtr& out) {
  ares_options options{};
  int mask = 0;
  options.timeout = setup.try_timeout_ms;
  mask |= ARES_OPT_TIMEOUTMS;
  options.tries = setup.tries;
  mask |= ARES_OPT_TRIES;
  // Only ares_gethostbyaddr reads this, and it is only used for /etc/hosts;
  // DNS goes through ares_query, which ignores it.
  char files_only[] = "f";
  options.lookups = files_only;
  mask |= ARES_OPT_LOOKUPS;
  ares_channel channel = nullptr;
  int status = ares_init_options(&channel, &options, mask);
  if (status != ARES_SUCCESS) return status;
  out.reset(channel);
  if (setup.servers.empty()) return ARES_SUCCESS;

  std::vector<ares_addr_port_node> nodes(setup.servers.size());
  for (size_t i = 0; i < nodes.size(); ++i) {
    const DnsServer& server = setup.servers[i];
    ares_addr_port_node& node = nodes[i];
    node.next = i + 1 < nodes.size() ? &nodes[i + 1] : nullptr;
    node.family = server.address.family;
    if (server.address.family == AF_INET)
      std::copy_n(server.address.bytes.data(), 4, reinterpret_cast<uint8_t*>(&node.addr.addr4));
    else
      std::copy_n(server.address.bytes.data(), 16, node.addr.addr6._S6_un._S6_u8);
    node.udp_port = server.port;
    node.tcp_port = server.port;
  }
  return ares_set_servers_ports(channel, nodes.data());
}

int CountServers(const ares_channel channel) {
  ares_addr_port_node* list = nullptr;
  if (ares_get_servers_ports(channel, &list) != ARES_SUCCESS) return 1;
  int count = 0;
  for (const ares_addr_port_node* node = list; node != nullptr; node = node->next) ++count;
  ares_free_data(list);
  return std::max(count, 1);
}

// c-ares (1.18) doubles the per-try time after each round over the
// servers: n servers and t rounds take n * (2^t - 1) per-try times. The
// per-try time is chosen so that all of them fit in the lookup's limit;
// the limit itself is enforced separately, whatever the library does.
int PerTryTimeoutMs(milliseconds limit, int servers, int tries) {
  const long long slices = static_cast<long long>(servers) * ((1LL << tries) - 1);
  return static_cast<int>(std::max<long long>(1, limit.count() / slices));
}

LookupResult FromStatus(int status) {
  const std::string what = ares_strerror(status);
  switch (status) {
    case ARES_ENOTFOUND:
    case ARES_ENODATA:
      return {LookupOutcome::kNotFound, what};
    case ARES_ETIMEOUT:
      return {LookupOutcome::kTimedOut, what};
    case ARES_ESERVFAIL:
    case ARES_EREFUSED:
    case ARES_ENOTIMP:
    case ARES_EFORMERR:
    case ARES_ECONNREFUSED:
      return {LookupOutcome::kServerError, what};
    case ARES_EBADRESP:
    case ARES_EBADNAME:
      return {LookupOutcome::kBadAnswer, what};
    default:
      return {LookupOutcome::kFailed, "DNS lookup failed: " + what};
  }
}

LookupResult FromName(const char* name) {
  if (name == nullptr || !IsListableHostName(name))
    return {LookupOutcome::kBadAnswer,
            "name unfit for the list (empty, too long or control bytes)"};
  return {LookupOutcome::kName, name};
}

// One lookup at a time on its own channel. A channel per slot lets a lookup
// that passes its limit be cancelled alone (ares_cancel ends every query of
// a channel).
struct Slot {
  ChannelPtr channel;
  std::vector<LookupResult>* results = nullptr;
  bool busy = false;
  bool past_deadline = false;
  size_t index = 0;
  IpAddress address;
  Clock::time_point deadline;
  milliseconds limit{0};

  void Finish(LookupResult result) {
    (*results)[index] = std::move(result);
    busy = false;
  }
};

void OnPtrAnswer(void* arg, int status, int /*timeouts*/, unsigned char* answer, int length) {
  auto* slot = static_cast<Slot*>(arg);
  if (status == ARES_EDESTRUCTION || !slot->busy) return;
  if (status == ARES_ECANCELLED && slot->past_deadline) {
    slot->Finish({LookupOutcome::kTimedOut,
                  "no answer within " + std::to_string(slot->limit.count()) + " ms"});
    return;
  }
  if (status != ARES_SUCCESS) {
    slot->Finish(FromStatus(status));
    return;
  }
  hostent* host = nullptr;
  const int parsed =
      ares_parse_ptr_reply(answer, length, slot->address.bytes.data(),
                           static_cast<int>(slot->address.size()), slot->address.family, &host);
  if (parsed != ARES_SUCCESS) {
    slot->Finish(FromStatus(parsed));
    return;
  }
  slot->Finish(FromName(host->h_name));
  ares_free_hostent(host);
}

void StartDnsQuery(Slot& slot) {
  ares_query(slot.channel.get(), ReverseLookupName(slot.address).c_str(), kClassIn, kTypePtr,
             OnPtrAnswer, &slot);
}

void OnHostsFile(void* arg, int status, int /*timeouts*/, hostent* host) {
  auto* slot = static_cast<Slot*>(arg);
  if (status == ARES_EDESTRUCTION || !slot->busy) return;
  if (status == ARES_SUCCESS) {
    slot->Finish(FromName(host != nullptr ? host->h_name : nullptr));
  } else if (status == ARES_ENOTFOUND || status == ARES_EFILE) {
    // Not in /etc/hosts, or no readable /etc/hosts: ask DNS, as the C library would.
    StartDnsQuery(*slot);
  } else {
    slot->Finish(FromStatus(status));
  }
}

void Start(Slot& slot, size_t index, const IpAddress& address, bool hosts_file_first,
           Clock::time_point now) {
  slot.busy = true;
  slot.past_deadline = false;
  slot.index = index;
  slot.address = address;
  slot.deadline = now + slot.limit;
  if (hosts_file_first) {
    // With lookups "f" this reads /etc/hosts and calls back before returning.
    ares_gethostbyaddr(slot.channel.get(), slot.address.bytes.data(),
                       static_cast<int>(slot.address.size()), slot.address.family, OnHostsFile,
                       &slot);
  } else {
    StartDnsQuery(slot);
  }
}

// Waits for socket events or the nearest time-out of the busy slots, then
// lets c-ares handle them and cancels lookups past their limit.
void RunOnce(std::vector<Slot>& slots) {
  std::vector<pollfd> fds;
  std::vector<Slot*> owners;
  Clock::time_point now = Clock::now();
  Clock::time_point wake = now + milliseconds(1000);
  for (Slot& slot : slots) {
    if (!slot.busy) continue;
    ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
    const int bits = ares_getsock(slot.channel.get(), sockets, ARES_GETSOCK_MAXNUM);
    for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
      short events = 0;
      if (ARES_GETSOCK_READABLE(bits, i)) events |= POLLIN;
      if (ARES_GETSOCK_WRITABLE(bits, i)) events |= POLLOUT;
      if (events == 0) continue;
      fds.push_back({sockets[i], events, 0});
      owners.push_back(&slot);
    }
    timeval tv{};
    if (ares_timeout(slot.channel.get(), nullptr, &tv) != nullptr)
      wake = std::min(
          wake, now + std::chrono::seconds(tv.tv_sec) + std::chrono::microseconds(tv.tv_usec));
    wake = std::min(wake, slot.deadline);
  }
  // Round up so a wait never ends just before the moment it waits for.
  const auto wait = std::chrono::ceil<milliseconds>(std::max(wake - now, Clock::duration(0)));
  // A failing poll (EINTR or worse) only shortens this pass; the limits
  // below still end every lookup.
  if (::poll(fds.data(), fds.size(), static_cast<int>(wait.count())) > 0) {
    for (size_t i = 0; i < fds.size(); ++i) {
      const short ready = fds[i].revents;
      if (ready == 0 || !owners[i]->busy) continue;
      const bool readable = (ready & (POLLIN | POLLERR | POLLHUP)) != 0;
      const bool writable = (ready & POLLOUT) != 0;
      ares_process_fd(owners[i]->channel.get(), readable ? fds[i].fd : ARES_SOCKET_BAD,
                      writable ? fds[i].fd : ARES_SOCKET_BAD);
    }
  }
  now = Clock::now();
  for (Slot& slot : slots) {
    if (!slot.busy) continue;
    ares_process_fd(slot.channel.get(), ARES_SOCKET_BAD, ARES_SOCKET_BAD);  // c-ares' time-outs
    if (slot.busy && now >= slot.deadline) {
      slot.past_deadline = true;
      ares_cancel(slot.channel.get());
    }
  }
}

}  // namespace

CaresResolverOptions ResolverOptionsFromEnvironment() {
  CaresResolverOptions options;
  if (const char* servers = std::getenv(kDnsServersVariable)) options.servers = servers;
  return options;
}

CaresReverseResolver::CaresReverseResolver(CaresResolverOptions options)
    : options_(std::move(options)) {
  options_.tries = std::clamp(options_.tries, 1, 8);
  options_.max_in_flight = std::max<size_t>(options_.max_in_flight, 1);
  options_.timeout = std::max(options_.timeout, milliseconds(1));
}

std::vector<LookupResult> CaresReverseResolver::LookupAll(
    const std::vector<std::string>& addresses) {
  std::vector<LookupResult> results(addresses.size());
  std::vector<std::optional<IpAddress>> parsed(addresses.size());
  size_t valid = 0;
  for (size_t i = 0; i < addresses.size(); ++i) {
    parsed[i] = ParseIpAddress(addresses[i]);
    if (parsed[i]) {
      ++valid;
    } else {
      results[i] = {LookupOutcome::kFailed,
                    "'" + PrintableExcerpt(addresses[i]) + "' is not an IP address"};
    }
  }
  if (valid == 0) return results;

  auto fail_all = [&](const std::string& why) {
    for (size_t i = 0; i < addresses.size(); ++i)
      if (parsed[i]) results[i] = {LookupOutcome::kFailed, why};
    return results;
  };
  if (const int status = LibraryInitStatus(); status != ARES_SUCCESS)
    return fail_all(std::string("DNS resolver cannot be initialised: ") + ares_strerror(status));

  ChannelSetup setup;
  setup.tries = options_.tries;
  int server_count = 0;
  if (!options_.servers.empty()) {
    std::string error;
    std::optional<std::vector<DnsServer>> servers = ParseDnsServers(options_.servers, error);
    if (!servers) return fail_all("DNS server list unusable: " + error);
    setup.servers = std::move(*servers);
    setup.hosts_file_first = false;
    server_count = static_cast<int>(setup.servers.size());
  } else {
    ChannelPtr probe;
    if (const int status = MakeChannel(setup, probe); status != ARES_SUCCESS)
      return fail_all(std::string("DNS resolver cannot be initialised: ") + ares_strerror(status));
    server_count = CountServers(probe.get());
  }
  setup.try_timeout_ms = PerTryTimeoutMs(options_.timeout, server_count, options_.tries);

  std::vector<Slot> slots(std::min(options_.max_in_flight, valid));
  for (Slot& slot : slots) {
    if (const int status = MakeChannel(setup, slot.channel); status != ARES_SUCCESS)
      return fail_all(std::string("DNS resolver cannot be initialised: ") + ares_strerror(status));
    slot.results = &results;
    slot.limit = options_.timeout;
  }

  size_t next = 0;
  auto advance_to_valid = [&] {
    while (next < addresses.size() && !parsed[next]) ++next;
  };
  advance_to_valid();
  for (;;) {
    const Clock::time_point now = Clock::now();
    for (Slot& slot : slots) {
      // A hosts-file answer finishes inside Start, so refill until busy.
      while (!slot.busy && next < addresses.size()) {
        Start(slot, next, *parsed[next], setup.hosts_file_first, now);
        ++next;
        advance_to_valid();
      }
    }
    if (std::none_of(slots.begin(), slots.end(), [](const Slot& s) { return s.busy; })) break;
    RunOnce(slots);
  }
  return results;
}

}  // namespace vexa::dns
