// How the settings ask the routers: the message version of every request
// and, for SNMPv3, the USM user built from the V3 fields. The collector's
// service start and the command line's walk use the same mapping, so both
// refuse the same settings with the same words.
//
//   const SnmpSecurity security = SnmpSecurityOf(settings);
//   if (!security.problem.empty()) fail(security.problem);  // never holds a password
//   if (security.version == snmp::Version::kV3) manager.SetUsmUser(security.user);
#pragma once

#include <string>

#include "settings/collector_settings.h"
#include "snmp/snmp_message.h"
#include "snmp/usm_user.h"

namespace vexa {

// The message version for SnmpVersion: 1 is SNMPv1, 3 is SNMPv3, anything
// else SNMPv2c (the loader admits only 1 to 3).
snmp::Version RequestVersion(int snmp_version);

struct SnmpSecurity {
  snmp::Version version = snmp::Version::kV2c;
  snmp::UsmUser user{};   // with kV3 only
  std::string problem{};  // why the settings cannot be used; empty when they can
};

// The version and user that `settings` describe. The V3 fields matter only
// when SnmpVersion is 3; then an unknown protocol name or a user the SNMP
// layer cannot use (no name, a short password, privacy without
// authentication, ...) is a problem, named with the field it comes from.
SnmpSecurity SnmpSecurityOf(const CollectorSettings& settings);

}  // namespace vexa
