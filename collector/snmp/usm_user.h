// An SNMPv3 user as the settings give it: name, protocols, passwords and an
// optional context name. Passwords stay here; the manager keeps only keys
// derived from them, and Description() is the form that may be traced.
//
// MD5 and DES are used only when named explicitly; nothing defaults to them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "snmp/usm_keys.h"

namespace vexa::snmp {

enum class SecurityLevel : uint8_t { kNoAuthNoPriv, kAuthNoPriv, kAuthPriv };

// "noAuthNoPriv", "authNoPriv", "authPriv" (RFC 3411's names).
std::string_view LevelName(SecurityLevel level);

// RFC 3414 11.2 and net-snmp: shorter passwords are refused.
inline constexpr size_t kMinPasswordLength = 8;

struct UsmUser {
  std::string name{};
  AuthProtocol auth = AuthProtocol::kNone;
  std::string auth_password{};
  PrivProtocol priv = PrivProtocol::kNone;
  std::string priv_password{};
  std::string context{};  // contextName; empty for the agent's default context

  SecurityLevel level() const;

  // Safe for traces and logs: the user, level and protocols, never a
  // password or key, e.g. "vexa authPriv SHA-256/AES-256". Control
  // characters in the name and context are shown as '?', so a name cannot break a line.
  std::string Description() const;

  // Why the user cannot be used, or empty when it can: a missing or too long
  // name or context, privacy without authentication, a password shorter
  // than kMinPasswordLength, DES where libcrypto has no DES.
  std::string Problem() const;
};

}  // namespace vexa::snmp
