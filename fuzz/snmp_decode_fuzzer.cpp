// Fuzz target for the SNMP message decoder. Any input must be decoded or
// refused without reading outside it; whatever decodes must encode again and
// decode back to the same message (the encoder writes its own canonical
// forms, so the bytes may differ; the message may not).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "snmp/snmp_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using vexa::snmp::CodecStatus;
  // Reused between inputs, as the manager reuses its scratch message.
  static vexa::snmp::Message message;
  static vexa::snmp::Message again;
  static std::vector<uint8_t> encoded;

  if (vexa::snmp::DecodeMessage({data, size}, message) != CodecStatus::kOk) return 0;
  const CodecStatus status = vexa::snmp::EncodeMessage(message, encoded);
  // Re-encoding can grow a little (an unsigned value sent without its 0x00
  // pad gets one), so a datagram near the limit may no longer fit.
  if (status == CodecStatus::kMessageTooLarge) return 0;
  if (status != CodecStatus::kOk) __builtin_trap();
  if (vexa::snmp::DecodeMessage(encoded, again) != CodecStatus::kOk) __builtin_trap();
  if (!(again == message)) __builtin_trap();
  return 0;
}
