#include "snmp/usm_user.h"

#include <cstdint>

#include "snmp/crypto.h"
#include "snmp/v3_message.h"

namespace vexa::snmp {

namespace {

void AppendPrintable(std::string& text, std::string_view octets) {
  for (const char c : octets)
    text.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c);
}

}  // namespace

void WipeSecret(std::string& secret) {
  // Up to the capacity: a shorter value assigned later leaves the rest.
  secret.resize(secret.capacity());
  crypto::Cleanse({reinterpret_cast<uint8_t*>(secret.data()), secret.size()});
  secret.clear();
}

void UsmUser::WipePasswords() {
  WipeSecret(auth_password);
  WipeSecret(priv_password);
}

std::string_view LevelName(SecurityLevel level) {
  switch (level) {
    case SecurityLevel::kNoAuthNoPriv:
      return "noAuthNoPriv";
    case SecurityLevel::kAuthNoPriv:
      return "authNoPriv";
    case SecurityLevel::kAuthPriv:
      return "authPriv";
  }
  return "";
}

SecurityLevel UsmUser::level() const {
  if (auth == AuthProtocol::kNone) return SecurityLevel::kNoAuthNoPriv;
  return priv == PrivProtocol::kNone ? SecurityLevel::kAuthNoPriv : SecurityLevel::kAuthPriv;
}

std::string UsmUser::Description() const {
  std::string text;
  AppendPrintable(text, name);
  text += ' ';
  text += LevelName(level());
  if (auth != AuthProtocol::kNone) {
    text += ' ';
    text += ProtocolName(auth);
    if (priv != PrivProtocol::kNone) {
      text += '/';
      text += ProtocolName(priv);
    }
  }
  if (!context.empty()) {
    text += " context ";
    AppendPrintable(text, context);
  }
  return text;
}

std::string UsmUser::Problem() const {
  if (name.empty()) return "the SNMPv3 user name is empty";
  if (name.size() > kMaxUserNameLength) return "the SNMPv3 user name is longer than 32 octets";
  if (context.size() > kMaxContextNameLength)
    return "the SNMPv3 context name is longer than 32 octets";
  if (priv != PrivProtocol::kNone && auth == AuthProtocol::kNone)
    return "SNMPv3 privacy needs an authentication protocol";
  if (auth != AuthProtocol::kNone && auth_password.size() < kMinPasswordLength)
    return "the SNMPv3 authentication password is shorter than 8 characters";
  if (priv != PrivProtocol::kNone && priv_password.size() < kMinPasswordLength)
    return "the SNMPv3 privacy password is shorter than 8 characters";
  if (priv == PrivProtocol::kDes && !crypto::CipherAvailable(crypto::Cipher::kDesCbc))
    return "DES is not available in this system's OpenSSL (its legacy provider is missing)";
  return {};
}

}  // namespace vexa::snmp
