// An SNMPv3 user as the settings give it: name, protocols, passwords and an
// optional context name. Passwords stay here; the manager keeps only keys
// derived from them (and wipes its copy), and Description() is the form that
// may be traced.
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

// Overwrites the whole buffer of `secret` in a way the compiler keeps
// (OPENSSL_cleanse), then empties it.
void WipeSecret(std::string& secret);

// The passwords are wiped when the user goes, so that no copy outlives its
// use in freed memory.
struct UsmUser {
  std::string name{};
  AuthProtocol auth = AuthProtocol::kNone;
  std::string auth_password{};
  PrivProtocol priv = PrivProtocol::kNone;
  std::string priv_password{};
  std::string context{};  // contextName; empty for the agent's default context

  ~UsmUser() { WipePasswords(); }

  SecurityLevel level() const;

  // Once the keys are made, the passwords have no more use.
  void WipePasswords();

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
