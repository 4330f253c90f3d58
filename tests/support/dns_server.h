// A real DNS server for tests: dnsmasq serving PTR records on a loopback
// address and a free port, with no upstream, /etc/hosts or resolv.conf.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/test_folder.h"

namespace vexa::test {

// "4.3.2.1.in-addr.arpa" / nibble "ip6.arpa" name of an address, built here
// independently of the resolver under test. Throws on a bad address.
std::string PtrOwnerName(const std::string& address);

struct DnsmasqOptions {
  std::string listen_address = "127.0.0.1";  // 127.0.0.0/8 or ::1
  // 0: a free port. A fixed one only inside a network namespace of one's own.
  uint16_t port = 0;
  // Zones dnsmasq answers by itself: a name in them without a record gets
  // NXDOMAIN (NODATA when the name has other records). Outside them, with
  // no upstream server, dnsmasq answers REFUSED.
  std::vector<std::string> local_zones;
  // More lines for dnsmasq's configuration file (e.g. "txt-record=...").
  std::vector<std::string> extra_config;
};

class DnsmasqServer {
 public:
  // Starts dnsmasq with a PTR record for every address -> name, waits
  // until it answers a query (at most 5 s) and throws if it does not.
  explicit DnsmasqServer(const std::map<std::string, std::string>& names,
                         DnsmasqOptions options = {});
  ~DnsmasqServer();  // SIGTERM by pid, SIGKILL after 3 s
  DnsmasqServer(const DnsmasqServer&) = delete;
  DnsmasqServer& operator=(const DnsmasqServer&) = delete;

  const std::string& address() const { return options_.listen_address; }
  uint16_t port() const { return port_; }
  pid_t pid() const { return pid_; }
  // "127.0.0.1:5353" or "[::1]:5353", the syntax of VEXAARP_DNS_SERVERS.
  std::string ServerSpec() const;
  // What dnsmasq wrote to stderr so far, for failure messages.
  std::string Log() const;

 private:
  bool StartOnce(const std::string& config_path, std::string& why);
  void Stop();

  DnsmasqOptions options_;
  TempDir dir_;
  uint16_t port_ = 0;
  pid_t pid_ = -1;
};

// Text "host:port" for VEXAARP_DNS_SERVERS, with brackets for IPv6.
std::string ServerSpecOf(const std::string& address, uint16_t port);

// A port on `address` where both a UDP and a TCP socket could be bound just now.
uint16_t FreePort(const std::string& address);

// Sends a DNS query for `name` (type PTR) to address:port and waits up to
// `wait_ms` for any reply with the same id. Used to see that a server is up.
bool AnswersQueries(const std::string& address, uint16_t port, const std::string& name,
                    int wait_ms);

}  // namespace vexa::test
