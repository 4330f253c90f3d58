#include "support/scripted_agent.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <tuple>

namespace vexa::test {

namespace {

constexpr const char* kEntry = "1.3.6.1.2.1.4.22.1";

std::vector<uint32_t> Arcs(const std::string& oid) {
  std::vector<uint32_t> arcs;
  size_t pos = 0;
  while (pos <= oid.size()) {
    const size_t dot = oid.find('.', pos);
    const std::string part =
        oid.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
    if (!part.empty()) arcs.push_back(static_cast<uint32_t>(std::stoul(part)));
    if (dot == std::string::npos) break;
    pos = dot + 1;
  }
  return arcs;
}

std::vector<uint32_t> RowArcs(int column, const TableRow& row) {
  std::vector<uint32_t> arcs = Arcs(kEntry);
  arcs.push_back(static_cast<uint32_t>(column));
  arcs.push_back(static_cast<uint32_t>(row.if_index));
  for (uint32_t a : Arcs(row.ip)) arcs.push_back(a);
  return arcs;
}

std::string Text(const std::vector<uint32_t>& arcs) {
  std::string s;
  for (size_t i = 0; i < arcs.size(); ++i) s += (i ? "." : "") + std::to_string(arcs[i]);
  return s;
}

sockaddr_in Address(const std::string& ip, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (::inet_pton(AF_INET, ip.c_str(), &a.sin_addr) != 1) throw std::runtime_error("bad ip " + ip);
  return a;
}

}  // namespace

std::vector<TableRow> MakeRows(int count) {
  std::vector<TableRow> rows;
  for (int i = 0; i < count; ++i) {
    TableRow r;
    r.if_index = 1 + i % 3;
    r.ip = "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
    r.mac = std::string("\x00\x11\x22\x33", 4) + static_cast<char>(i >> 8) + static_cast<char>(i);
    r.type = i % 5 == 4 ? 4 : 3;
    rows.push_back(r);
  }
  std::sort(rows.begin(), rows.end(),
            [](const TableRow& a, const TableRow& b) { return RowArcs(1, a) < RowArcs(1, b); });
  return rows;
}

ScriptedAgent::ScriptedAgent(EventLoop& loop, const std::string& address, int port) : loop_(loop) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const sockaddr_in a = Address(address, port);
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
    throw std::runtime_error("scripted agent cannot bind " + address + ":" + std::to_string(port));
  watch_ = loop_.WatchReadable(fd_, [this] { OnReadable(); });
}

ScriptedAgent::~ScriptedAgent() {
  loop_.Unwatch(watch_);
  ::close(fd_);
}

snmp::Message ScriptedAgent::Answer(const snmp::Message& request) const {
  if (request.pdu_type == snmp::pdu::kGetBulkRequest) {
    // Without non-repeaters: each repetition is the get-next answer to the
    // one before it.
    snmp::Message step = request;
    step.pdu_type = snmp::pdu::kGetNextRequest;
    snmp::Message reply = request;
    reply.pdu_type = snmp::pdu::kResponse;
    reply.error_status = reply.error_index = 0;
    reply.bindings.clear();
    for (int32_t i = 0; i < request.error_index && !step.bindings.empty(); ++i) {
      step.bindings = Answer(step).bindings;
      reply.bindings.insert(reply.bindings.end(), step.bindings.begin(), step.bindings.end());
    }
    return reply;
  }
  snmp::Message reply = request;
  reply.pdu_type = snmp::pdu::kResponse;
  static const std::vector<uint32_t> kAfterTable = Arcs("1.3.6.1.2.1.4.23.0");
  for (snmp::VarBind& b : reply.bindings) {
    const std::vector<uint32_t> asked = Arcs(b.oid);
    // The next object of the whole table in OID order, column by column; the
    // rows are sorted, so each column is searched by bisection.
    std::optional<std::vector<uint32_t>> next;
    int next_column = 0;
    const TableRow* next_row = nullptr;
    for (int column = 1; column <= 4 && !next && !rows.empty(); ++column) {
      auto it = std::upper_bound(rows.begin(), rows.end(), asked,
                                 [column](const std::vector<uint32_t>& a, const TableRow& row) {
                                   return a < RowArcs(column, row);
                                 });
      while (it != rows.end() &&
             std::find(it->left_out.begin(), it->left_out.end(), column) != it->left_out.end())
        ++it;
      if (it != rows.end()) {
        next = RowArcs(column, *it);
        next_column = column;
        next_row = &*it;
      }
    }
    const bool after_table = !next && asked < kAfterTable;
    const std::vector<uint32_t>* found = next ? &*next : after_table ? &kAfterTable : nullptr;
    const auto object = objects_.upper_bound(asked);
    if (object != objects_.end() && (found == nullptr || object->first < *found)) {
      b = object->second;
      continue;
    }
    if (found == nullptr) {
      b.syntax = snmp::syntax::kEndOfMibView;
      b.value.clear();
      continue;
    }
    if (after_table) {
      b.oid = Text(kAfterTable);
      b.syntax = snmp::syntax::kCounter32;
      b.value = "0";
      continue;
    }
    b.oid = Text(*next);
    switch (next_column) {
      case 1:
        b.syntax = snmp::syntax::kInteger;
        b.value = std::to_string(next_row->if_index);
        break;
      case 2:
        b.syntax = snmp::syntax::kOctetString;
        b.value = next_row->mac;
        break;
      case 3:
        b.syntax = snmp::syntax::kIpAddress;
        b.value = next_row->ip;
        break;
      default:
        b.syntax = snmp::syntax::kInteger;
        b.value = std::to_string(next_row->type);
    }
  }
  return reply;
}

void ScriptedAgent::Serve(const std::string& oid, uint8_t syntax, const std::string& value) {
  objects_[Arcs(oid)] = snmp::VarBind{oid, syntax, value};
}

void ScriptedAgent::OnReadable() {
  uint8_t buf[65536];
  for (int i = 0; i < 1000; ++i) {
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return;
    char ip[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip);
    last_peer_address = ip;
    last_peer_port = ntohs(from.sin_port);
    snmp::Message request;
    if (snmp::DecodeMessage({buf, static_cast<size_t>(n)}, request) != snmp::CodecStatus::kOk)
      continue;
    requests.push_back(request);
    const std::vector<snmp::Message> replies =
        script ? script(request) : std::vector<snmp::Message>{Answer(request)};
    for (const snmp::Message& m : replies) Reply(m);
  }
}

void ScriptedAgent::Reply(const snmp::Message& m) {
  SendTo(m, last_peer_address, last_peer_port);
}

void ScriptedAgent::SendTo(const snmp::Message& m, const std::string& to_address, int to_port) {
  std::vector<uint8_t> bytes;
  if (snmp::EncodeMessage(m, bytes) != snmp::CodecStatus::kOk)
    throw std::runtime_error("scripted agent cannot encode its reply");
  const sockaddr_in to = Address(to_address, to_port);
  ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

}  // namespace vexa::test
