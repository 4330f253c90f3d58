// A scripted UDP name server on 127.0.0.1 for answers no real server gives
// on demand: names with control bytes, over-long names, broken packets.
// A thread reads queries and sends whatever the script returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vexa::test {

struct DnsQuery {
  uint16_t id = 0;
  std::string question;  // the question section as received (name, type, class)
  std::string name;      // the queried name as dotted text
  uint16_t type = 0;
};

// Builds replies to a query.
class ReplyBuilder {
 public:
  explicit ReplyBuilder(const DnsQuery& query) : query_(query) {}

  // A NOERROR reply with one PTR record for the queried name whose target
  // is made of these raw labels (any bytes, any lengths up to 63).
  std::string PtrAnswer(const std::vector<std::string>& labels, uint8_t rcode = 0) const;
  // A PTR answer owned by `owner` (dotted text) instead of the queried name.
  std::string PtrAnswerFor(const std::string& owner, const std::string& target) const;
  // Header and question with the given response code and no answer.
  std::string Empty(uint8_t rcode) const;
  // A PTR record whose target is a compression pointer to itself.
  std::string PointerLoop() const;

 private:
  std::string Header(uint8_t rcode, uint16_t answers) const;
  const DnsQuery& query_;
};

std::string EncodeName(const std::string& dotted);

class ScriptedDnsResponder {
 public:
  // The script gets each query and returns the reply datagram, or nullopt to stay silent.
  using Script = std::function<std::optional<std::string>(const DnsQuery&)>;

  explicit ScriptedDnsResponder(Script script);
  ~ScriptedDnsResponder();
  ScriptedDnsResponder(const ScriptedDnsResponder&) = delete;
  ScriptedDnsResponder& operator=(const ScriptedDnsResponder&) = delete;

  std::string ServerSpec() const;  // "127.0.0.1:port"
  int queries() const { return queries_.load(); }

 private:
  void Serve();

  Script script_;
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> queries_{0};
  std::thread thread_;
};

}  // namespace vexa::test
