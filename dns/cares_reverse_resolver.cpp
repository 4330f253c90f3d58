#include "dns/cares_reverse_resolver.h"

#include <ares.h>
#include <netdb.h>
#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>

#include "dns/dns_servers.h"
#include "dns/host_name_check.h"
#include "dns/reverse_name.h"

namespace vexa::dns {

class LookupBatch;

namespace {

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

// `on_socket` (with `socket_data`), when given, hears of every socket the
// channel opens, wants to read or write, or closes.
int MakeChannel(const ChannelSetup& setup, ChannelPtr& out, ares_sock_state_cb on_socket = nullptr,
                void* socket_data = nullptr) {
  ares_options options{};
  int mask = 0;
  if (on_socket != nullptr) {
    options.sock_state_cb = on_socket;
    options.sock_state_cb_data = socket_data;
    mask |= ARES_OPT_SOCK_STATE_CB;
  }
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
  LookupBatch* batch = nullptr;
  ChannelPtr channel;
  std::map<ares_socket_t, int> watches;  // the channel's sockets on the loop
  std::vector<LookupResult>* results = nullptr;
  bool busy = false;
  bool past_deadline = false;
  bool cancelled = false;
  size_t index = 0;
  IpAddress address;
  SteadyTime deadline;
  milliseconds limit{0};

  void Finish(LookupResult result) {
    (*results)[index] = std::move(result);
    busy = false;
  }
};

void OnPtrAnswer(void* arg, int status, int /*timeouts*/, unsigned char* answer, int length) {
  auto* slot = static_cast<Slot*>(arg);
  if (status == ARES_EDESTRUCTION || !slot->busy) return;
  if (status == ARES_ECANCELLED && slot->cancelled) {
    slot->Finish({LookupOutcome::kCancelled, "cancelled before an answer came"});
    return;
  }
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
           SteadyTime now) {
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

}  // namespace

// The lookups of one LookupAll() call: up to max_in_flight slots, refilled
// from the address list as lookups are decided. Everything happens in event
// handlers: a socket of a slot's channel polls ready, or the timer reaches
// the nearest time-out of c-ares or limit of a lookup.
class LookupBatch {
 public:
  LookupBatch(EventLoop& loop, std::vector<LookupResult>& results,
              const std::vector<std::optional<IpAddress>>& parsed, bool hosts_file_first)
      : loop_(loop),
        results_(results),
        parsed_(parsed),
        hosts_file_first_(hosts_file_first),
        timer_(loop, [this] { OnTimer(); }) {
    SkipInvalid();
  }
  ~LookupBatch() {
    for (auto& slot : slots_) {
      slot->channel.reset();  // c-ares reports its sockets closed: they leave the loop
      for (const auto& [fd, watch] : slot->watches) loop_.Unwatch(watch);
    }
  }
  LookupBatch(const LookupBatch&) = delete;
  LookupBatch& operator=(const LookupBatch&) = delete;

  // Makes `count` slots; returns 0 or the c-ares status of the failure.
  int MakeSlots(size_t count, const ChannelSetup& setup, milliseconds limit) {
    for (size_t i = 0; i < count; ++i) {
      auto slot = std::make_unique<Slot>();
      slot->batch = this;
      slot->results = &results_;
      slot->limit = limit;
      if (const int status = MakeChannel(setup, slot->channel, OnSocketState, slot.get());
          status != ARES_SUCCESS)
        return status;
      slots_.push_back(std::move(slot));
    }
    return ARES_SUCCESS;
  }

  // Starts the lookups and waits in the loop until each one is decided. The
  // limits of the lookups end the wait; `bound` is a last guard only.
  void Run(milliseconds bound) {
    Settle();
    if (!loop_.WaitUntil([this] { return Done(); }, bound)) {
      for (auto& slot : slots_) EndLookup(*slot, /*cancelled=*/false);
    }
    for (; next_ < parsed_.size(); ++next_) {
      if (!parsed_[next_]) continue;
      results_[next_] = cancelled_
                            ? LookupResult{LookupOutcome::kCancelled, "cancelled before it began"}
                            : LookupResult{LookupOutcome::kTimedOut, "not begun in time"};
    }
  }

  void Cancel() {
    cancelled_ = true;
    timer_.Stop();
    for (auto& slot : slots_) EndLookup(*slot, /*cancelled=*/true);
  }

 private:
  static void OnSocketState(void* data, ares_socket_t fd, int readable, int writable) {
    auto* slot = static_cast<Slot*>(data);
    slot->batch->WatchSocket(
        *slot, fd, static_cast<short>((readable ? POLLIN : 0) | (writable ? POLLOUT : 0)));
  }

  void WatchSocket(Slot& slot, ares_socket_t fd, short events) {
    const auto it = slot.watches.find(fd);
    if (events == 0) {  // c-ares is about to close it
      if (it != slot.watches.end()) {
        loop_.Unwatch(it->second);
        slot.watches.erase(it);
      }
    } else if (it != slot.watches.end()) {
      loop_.SetWatchEvents(it->second, events);
    } else {
      slot.watches[fd] = loop_.Watch(
          fd, events, [this, &slot, fd](short revents) { OnSocketReady(slot, fd, revents); });
    }
  }

  void OnSocketReady(Slot& slot, ares_socket_t fd, short revents) {
    if (!slot.channel) return;
    const bool readable = (revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL)) != 0;
    const bool writable = (revents & POLLOUT) != 0;
    ares_process_fd(slot.channel.get(), readable ? fd : ARES_SOCKET_BAD,
                    writable ? fd : ARES_SOCKET_BAD);
    Settle();
  }

  // The time-outs of c-ares, and the limit of each lookup.
  void OnTimer() {
    const SteadyTime now = loop_.clock().Now();
    for (auto& slot : slots_) {
      if (!slot->busy) continue;
      ares_process_fd(slot->channel.get(), ARES_SOCKET_BAD, ARES_SOCKET_BAD);
      if (slot->busy && now >= slot->deadline) EndLookup(*slot, /*cancelled=*/false);
    }
    Settle();
  }

  // Ends a slot's lookup: as cancelled, or as timed out.
  static void EndLookup(Slot& slot, bool cancelled) {
    if (!slot.busy) return;
    (cancelled ? slot.cancelled : slot.past_deadline) = true;
    ares_cancel(slot.channel.get());
  }

  // Gives free slots the next addresses and sets the timer for what the busy
  // ones wait for.
  void Settle() {
    if (cancelled_) return;
    const SteadyTime now = loop_.clock().Now();
    for (auto& slot : slots_) {
      // A hosts-file answer finishes inside Start, so refill until busy.
      while (!slot->busy && next_ < parsed_.size()) {
        Start(*slot, next_, *parsed_[next_], hosts_file_first_, now);
        ++next_;
        SkipInvalid();
      }
    }
    std::optional<SteadyTime> wake;
    for (auto& slot : slots_) {
      if (!slot->busy) continue;
      SteadyTime when = slot->deadline;
      timeval tv{};
      if (ares_timeout(slot->channel.get(), nullptr, &tv) != nullptr)
        when = std::min(
            when, now + std::chrono::seconds(tv.tv_sec) + std::chrono::microseconds(tv.tv_usec));
      wake = wake ? std::min(*wake, when) : when;
    }
    if (wake)
      timer_.StartAt(*wake);
    else
      timer_.Stop();
  }

  bool Done() const {
    return std::none_of(slots_.begin(), slots_.end(), [](const auto& s) { return s->busy; }) &&
           (cancelled_ || next_ >= parsed_.size());
  }

  void SkipInvalid() {
    while (next_ < parsed_.size() && !parsed_[next_]) ++next_;
  }

  EventLoop& loop_;
  std::vector<LookupResult>& results_;
  const std::vector<std::optional<IpAddress>>& parsed_;
  const bool hosts_file_first_;
  std::vector<std::unique_ptr<Slot>> slots_;  // c-ares holds their addresses
  size_t next_ = 0;
  bool cancelled_ = false;
  OneShotTimer timer_;
};

CaresResolverOptions ResolverOptionsFromEnvironment() {
  CaresResolverOptions options;
  if (const char* servers = std::getenv(kDnsServersVariable)) options.servers = servers;
  return options;
}

CaresReverseResolver::CaresReverseResolver(EventLoop& loop, CaresResolverOptions options)
    : loop_(loop), options_(std::move(options)) {
  options_.tries = std::clamp(options_.tries, 1, 8);
  options_.max_in_flight = std::max<size_t>(options_.max_in_flight, 1);
  options_.timeout = std::max(options_.timeout, milliseconds(1));
}

CaresReverseResolver::~CaresReverseResolver() = default;

void CaresReverseResolver::CancelAll() {
  if (batch_ != nullptr) batch_->Cancel();
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
  // An event handler that runs while a batch waits may not start another.
  if (batch_ != nullptr) return fail_all("a batch of DNS lookups is already running");
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

  const size_t slots = std::min(options_.max_in_flight, valid);
  LookupBatch batch(loop_, results, parsed, setup.hosts_file_first);
  if (const int status = batch.MakeSlots(slots, setup, options_.timeout); status != ARES_SUCCESS)
    return fail_all(std::string("DNS resolver cannot be initialised: ") + ares_strerror(status));
  batch_ = &batch;
  struct Clear {
    LookupBatch*& batch;
    ~Clear() { batch = nullptr; }
  } clear{batch_};
  // Each round of lookups ends within the limit; the bound only guards
  // against a library that never calls back.
  const size_t rounds = (valid + slots - 1) / slots;
  batch.Run(options_.timeout * static_cast<int64_t>(rounds + 1) + std::chrono::seconds(1));
  return results;
}

}  // namespace vexa::dns
