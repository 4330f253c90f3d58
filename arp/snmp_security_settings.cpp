#include "arp/snmp_security_settings.h"

#include <string>

#include "snmp/usm_keys.h"
#include "text/printable.h"

namespace vexa {

namespace {

constexpr const char* kTable = "Settings_General";

template <size_t N>
std::string NameList(const char* const (&names)[N]) {
  std::string text;
  for (size_t i = 0; i < N; ++i) text += (i == 0 ? "" : ", ") + std::string(names[i]);
  return text;
}

template <size_t N>
std::string NotAProtocol(const char* field, const std::string& value,
                         const char* const (&names)[N]) {
  return std::string("The field ") + field + " of " + kTable + " holds '" +
         WithoutControlBytes(value) + "', which is not one of " + NameList(names);
}

}  // namespace

snmp::Version RequestVersion(int snmp_version) {
  switch (snmp_version) {
    case 1:
      return snmp::Version::kV1;
    case 3:
      return snmp::Version::kV3;
    default:
      return snmp::Version::kV2c;
  }
}

SnmpSecurity SnmpSecurityOf(const CollectorSettings& settings) {
  SnmpSecurity security;
  if (settings.snmp_version < 1 || settings.snmp_version > 3) {
    security.problem = std::string("The field SnmpVersion of ") + kTable + " holds " +
                       std::to_string(settings.snmp_version) + ", which is not 1, 2 or 3";
    return security;
  }
  security.version = RequestVersion(settings.snmp_version);
  if (security.version != snmp::Version::kV3) return security;

  snmp::UsmUser& user = security.user;
  if (!snmp::ParseAuthProtocol(settings.v3_auth_protocol, user.auth)) {
    security.problem =
        NotAProtocol("V3AuthProtocol", settings.v3_auth_protocol, kAuthProtocolNames);
    return security;
  }
  if (!snmp::ParsePrivProtocol(settings.v3_priv_protocol, user.priv)) {
    security.problem =
        NotAProtocol("V3PrivProtocol", settings.v3_priv_protocol, kPrivProtocolNames);
    return security;
  }
  user.name = settings.v3_user;
  user.context = settings.v3_context;
  // A password of a protocol that is off is not used, and not checked.
  if (user.auth != snmp::AuthProtocol::kNone) user.auth_password = settings.v3_auth_password;
  if (user.priv != snmp::PrivProtocol::kNone) user.priv_password = settings.v3_priv_password;
  if (const std::string problem = user.Problem(); !problem.empty())
    security.problem = std::string("The SNMPv3 user of ") + kTable + " cannot be used: " + problem;
  return security;
}

}  // namespace vexa
