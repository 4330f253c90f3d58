#include "text/text_escape.h"

#include <cstdint>
#include <cstdio>

namespace vexa {

namespace {

// Length of the valid UTF-8 sequence at the start of `s` and its code
// point; 0 when the first byte does not start one (overlong forms,
// surrogates and values past U+10FFFF are not valid).
size_t Utf8Sequence(std::string_view s, uint32_t& code) {
  const auto b = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  const uint8_t lead = b(0);
  size_t length = 0;
  uint32_t minimum = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1Fu, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0Fu, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07u, minimum = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (b(i) & 0x3Fu);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

std::string Hex(const char* prefix, uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%s%02X", prefix, static_cast<unsigned>(value));
  return text;
}

bool IsControl(uint32_t code) {
  return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

// The embeddings, overrides and isolates of bidirectional text: raw, they
// reorder what a terminal shows after them.
bool IsBidiControl(uint32_t code) {
  return (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

}  // namespace

std::string EscapeText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    uint32_t code = 0;
    const size_t length = Utf8Sequence(bytes, code);
    if (length == 0) {
      out += Hex("\\x", static_cast<uint8_t>(bytes.front()));
      bytes.remove_prefix(1);
      continue;
    }
    if (code == '\\') {
      out += "\\\\";
    } else if (code == '\t') {
      out += "\\t";
    } else if (code == '\n') {
      out += "\\n";
    } else if (code == '\r') {
      out += "\\r";
    } else if (code < 0x80 && IsControl(code)) {
      out += Hex("\\x", code);
    } else if (IsControl(code)) {
      out += Hex("\\u00", code);
    } else if (IsBidiControl(code)) {
      out += Hex("\\u", code);
    } else {
      out.append(bytes.substr(0, length));
    }
    bytes.remove_prefix(length);
  }
  return out;
}

std::string EscapeJson(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    uint32_t code = 0;
    size_t length = Utf8Sequence(bytes, code);
    if (length == 0) {
      code = static_cast<uint8_t>(bytes.front());
      length = 1;
      out += Hex("\\u00", code);
    } else if (code == '"') {
      out += "\\\"";
    } else if (code == '\\') {
      out += "\\\\";
    } else if (code == '\n') {
      out += "\\n";
    } else if (code == '\r') {
      out += "\\r";
    } else if (code == '\t') {
      out += "\\t";
    } else if (IsControl(code)) {
      out += Hex("\\u00", code);
    } else if (code == 0x2028 || code == 0x2029 || IsBidiControl(code)) {
      out += Hex("\\u", code);
    } else {
      out.append(bytes.substr(0, length));
    }
    bytes.remove_prefix(length);
  }
  return out;
}

}  // namespace vexa
