#include "arp/address_json.h"

#include "platform/local_time.h"
#include "text/text_escape.h"

namespace vexa {

namespace {

std::string Quoted(std::string_view text) {
  return '"' + EscapeJson(text) + '"';
}

}  // namespace

std::string EventJsonLine(const AddressEvent& event) {
  return "{\"time\":" + Quoted(FormatIsoLocal(event.time)) + ",\"kind\":" + Quoted(event.kind) +
         ",\"ip\":" + Quoted(event.ip) + ",\"mac\":" + Quoted(event.mac) +
         ",\"old_mac\":" + Quoted(event.old_mac) + ",\"router\":" + Quoted(event.router) +
         ",\"if_index\":" + std::to_string(event.if_index) + ",\"vendor\":" + Quoted(event.vendor) +
         "}\n";
}

std::string PairingJsonLine(const PairingRecord& pairing) {
  return "{\"ip\":" + Quoted(pairing.ip) + ",\"mac\":" + Quoted(pairing.mac) +
         ",\"router\":" + Quoted(pairing.router) +
         ",\"if_index\":" + std::to_string(pairing.if_index) +
         ",\"first_seen\":" + Quoted(FormatIsoLocal(pairing.first_seen)) +
         ",\"last_seen\":" + Quoted(FormatIsoLocal(pairing.last_seen)) +
         ",\"cycles\":" + std::to_string(pairing.cycles) +
         ",\"current\":" + (pairing.current ? "true" : "false") +
         ",\"vendor\":" + Quoted(pairing.vendor) + "}\n";
}

}  // namespace vexa
