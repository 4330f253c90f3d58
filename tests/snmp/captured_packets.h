// SNMP datagrams captured from real agents, as printed by the net-snmp
// tools' "-d" option (sent and received bytes). AGENT stands for the agent's
// loopback address and port.
//
// The ARP table captures come from net-snmp snmpd 5.9.3 serving the ARP
// table of a network namespace made for the purpose:
//
//   ip netns add vexacap
//   ip -n vexacap link set lo up
//   ip -n vexacap link add va type veth peer name vb
//   ip -n vexacap addr add 10.9.0.1/24 dev va; ip -n vexacap addr add 10.9.1.1/24 dev vb
//   ip -n vexacap link set va up; ip -n vexacap link set vb up
//   ip -n vexacap neigh add 10.9.0.5  lladdr 00:1a:2b:3c:4d:5e dev va nud permanent
//   ip -n vexacap neigh add 10.9.0.20 lladdr 0a:00:20:ff:00:01 dev va nud reachable
//   ip -n vexacap neigh add 10.9.1.7  lladdr 00:00:5e:00:53:07 dev vb nud permanent
//   ip -n vexacap neigh add 10.9.1.5  lladdr 00:1a:2b:3c:4d:5f dev vb nud permanent
//   ip -n vexacap neigh add 10.9.0.5  lladdr 00:1a:2b:3c:4d:60 dev vb nud permanent
//   ip netns exec vexacap snmpd -f -Lo -C -c snmpd.conf
//       (snmpd.conf: "agentaddress udp:127.0.0.1:16162", "rocommunity public 127.0.0.1")
//
// so ifIndex 2 (vb) holds 10.9.0.5, 10.9.1.5 and 10.9.1.7, all static
// (type 4), and ifIndex 3 (va) holds 10.9.0.5 static and 10.9.0.20 dynamic
// (type 3); 10.9.0.5 is on both. The other net-snmp captures come from the
// same agent. The kSim... captures come from snmpsimd 0.4.5 (pysnmp 4.4.12)
// serving an .snmprec file with values at the limits of their types.
#pragma once

namespace vexa::test::captured {

// snmpgetnext -v2c -c public
// AGENT 1.3.6.1.2.1.4.22.1.1 1.3.6.1.2.1.4.22.1.3 1.3.6.1.2.1.4.22.1.2 1.3.6.1.2.1.4.22.1.4
constexpr const char* kArpFirstRowRequest =
    "30 57 02 01 01 04 06 70 75 62 6C 69 63 A1 4A 02 "
    "04 1F 20 38 E8 02 01 00 02 01 00 30 3C 30 0D 06 "
    "09 2B 06 01 02 01 04 16 01 01 05 00 30 0D 06 09 "
    "2B 06 01 02 01 04 16 01 03 05 00 30 0D 06 09 2B "
    "06 01 02 01 04 16 01 02 05 00 30 0D 06 09 2B 06 "
    "01 02 01 04 16 01 04 05 00";
constexpr const char* kArpFirstRowResponse =
    "30 77 02 01 01 04 06 70 75 62 6C 69 63 A2 6A 02 "
    "04 1F 20 38 E8 02 01 00 02 01 00 30 5C 30 13 06 "
    "0E 2B 06 01 02 01 04 16 01 01 02 0A 09 00 05 02 "
    "01 02 30 16 06 0E 2B 06 01 02 01 04 16 01 03 02 "
    "0A 09 00 05 40 04 0A 09 00 05 30 18 06 0E 2B 06 "
    "01 02 01 04 16 01 02 02 0A 09 00 05 04 06 00 1A "
    "2B 3C 4D 60 30 13 06 0E 2B 06 01 02 01 04 16 01 "
    "04 02 0A 09 00 05 02 01 04";

// snmpgetnext -v2c -c public
// AGENT 1.3.6.1.2.1.4.22.1.1.2.10.9.0.5 1.3.6.1.2.1.4.22.1.3.2.10.9.0.5 1.3.6.1.2.1.4.22.1.2.2.10.9.0.5
// 1.3.6.1.2.1.4.22.1.4.2.10.9.0.5
constexpr const char* kArpSecondRowRequest =
    "30 6B 02 01 01 04 06 70 75 62 6C 69 63 A1 5E 02 "
    "04 55 9B 5A 8E 02 01 00 02 01 00 30 50 30 12 06 "
    "0E 2B 06 01 02 01 04 16 01 01 02 0A 09 00 05 05 "
    "00 30 12 06 0E 2B 06 01 02 01 04 16 01 03 02 0A "
    "09 00 05 05 00 30 12 06 0E 2B 06 01 02 01 04 16 "
    "01 02 02 0A 09 00 05 05 00 30 12 06 0E 2B 06 01 "
    "02 01 04 16 01 04 02 0A 09 00 05 05 00";
constexpr const char* kArpSecondRowResponse =
    "30 77 02 01 01 04 06 70 75 62 6C 69 63 A2 6A 02 "
    "04 55 9B 5A 8E 02 01 00 02 01 00 30 5C 30 13 06 "
    "0E 2B 06 01 02 01 04 16 01 01 02 0A 09 01 05 02 "
    "01 02 30 16 06 0E 2B 06 01 02 01 04 16 01 03 02 "
    "0A 09 01 05 40 04 0A 09 01 05 30 18 06 0E 2B 06 "
    "01 02 01 04 16 01 02 02 0A 09 01 05 04 06 00 1A "
    "2B 3C 4D 5F 30 13 06 0E 2B 06 01 02 01 04 16 01 "
    "04 02 0A 09 01 05 02 01 04";

// snmpgetnext -v2c -c public
// AGENT 1.3.6.1.2.1.4.22.1.1.3.10.9.0.20 1.3.6.1.2.1.4.22.1.3.3.10.9.0.20 1.3.6.1.2.1.4.22.1.2.3.10.9.0.20
// 1.3.6.1.2.1.4.22.1.4.3.10.9.0.20
constexpr const char* kArpPastEndResponse =
    "30 71 02 01 01 04 06 70 75 62 6C 69 63 A2 64 02 "
    "04 45 80 A5 76 02 01 00 02 01 00 30 56 30 18 06 "
    "0E 2B 06 01 02 01 04 16 01 02 02 0A 09 00 05 04 "
    "06 00 1A 2B 3C 4D 60 30 13 06 0E 2B 06 01 02 01 "
    "04 16 01 04 02 0A 09 00 05 02 01 04 30 16 06 0E "
    "2B 06 01 02 01 04 16 01 03 02 0A 09 00 05 40 04 "
    "0A 09 00 05 30 0D 06 08 2B 06 01 02 01 04 17 00 "
    "41 01 00";

// snmpgetnext -v1 -c public
// AGENT 1.3.6.1.2.1.4.22.1.1 1.3.6.1.2.1.4.22.1.3 1.3.6.1.2.1.4.22.1.2 1.3.6.1.2.1.4.22.1.4
constexpr const char* kArpFirstRowV1Request =
    "30 57 02 01 00 04 06 70 75 62 6C 69 63 A1 4A 02 "
    "04 49 E4 6E 56 02 01 00 02 01 00 30 3C 30 0D 06 "
    "09 2B 06 01 02 01 04 16 01 01 05 00 30 0D 06 09 "
    "2B 06 01 02 01 04 16 01 03 05 00 30 0D 06 09 2B "
    "06 01 02 01 04 16 01 02 05 00 30 0D 06 09 2B 06 "
    "01 02 01 04 16 01 04 05 00";
constexpr const char* kArpFirstRowV1Response =
    "30 77 02 01 00 04 06 70 75 62 6C 69 63 A2 6A 02 "
    "04 49 E4 6E 56 02 01 00 02 01 00 30 5C 30 13 06 "
    "0E 2B 06 01 02 01 04 16 01 01 02 0A 09 00 05 02 "
    "01 02 30 16 06 0E 2B 06 01 02 01 04 16 01 03 02 "
    "0A 09 00 05 40 04 0A 09 00 05 30 18 06 0E 2B 06 "
    "01 02 01 04 16 01 02 02 0A 09 00 05 04 06 00 1A "
    "2B 3C 4D 60 30 13 06 0E 2B 06 01 02 01 04 16 01 "
    "04 02 0A 09 00 05 02 01 04";

// snmpgetnext -v2c -c public AGENT 1.3.6.1.6.3.99
constexpr const char* kEndOfMibViewResponse =
    "30 27 02 01 01 04 06 70 75 62 6C 69 63 A2 1A 02 "
    "04 0B EB AC 8C 02 01 00 02 01 00 30 0C 30 0A 06 "
    "06 2B 06 01 06 03 63 82 00";

// snmpgetnext -v1 -c public AGENT 1.3.6.1.6.3.99
constexpr const char* kV1NoSuchNameResponse =
    "30 27 02 01 00 04 06 70 75 62 6C 69 63 A2 1A 02 "
    "04 15 04 3E A7 02 01 02 02 01 01 30 0C 30 0A 06 "
    "06 2B 06 01 06 03 63 05 00";

// snmpget -v2c -c public AGENT 1.3.6.1.2.1.99.0 1.3.6.1.2.1.1.1.1
constexpr const char* kNoSuchObjectAndInstanceResponse =
    "30 36 02 01 01 04 06 70 75 62 6C 69 63 A2 29 02 "
    "04 37 87 19 B5 02 01 00 02 01 00 30 1B 30 0B 06 "
    "07 2B 06 01 02 01 63 00 80 00 30 0C 06 08 2B 06 "
    "01 02 01 01 01 01 81 00";

// snmpgetnext -v2c -c public
// AGENT 1.3.6.1.2.1.31.1.1.1.6 1.3.6.1.2.1.2.2.1.10 1.3.6.1.2.1.2.2.1.5 1.3.6.1.2.1.1.3 1.3.6.1.2.1.1.2
constexpr const char* kCountersResponse =
    "30 7C 02 01 01 04 06 70 75 62 6C 69 63 A2 6F 02 "
    "04 3F E4 40 99 02 01 00 02 01 00 30 61 30 11 06 "
    "0B 2B 06 01 02 01 1F 01 01 01 06 01 46 02 0C D2 "
    "30 10 06 0A 2B 06 01 02 01 02 02 01 0A 01 41 02 "
    "0C D2 30 12 06 0A 2B 06 01 02 01 02 02 01 05 01 "
    "42 04 00 98 96 80 30 0E 06 08 2B 06 01 02 01 01 "
    "03 00 43 02 04 AC 30 16 06 08 2B 06 01 02 01 01 "
    "02 00 06 0A 2B 06 01 04 01 BF 08 03 02 0A";

// snmpgetnext -v2c -c public AGENT 1.3.6.1.4.1.2021.10.1.6
constexpr const char* kOpaqueResponse =
    "30 33 02 01 01 04 06 70 75 62 6C 69 63 A2 26 02 "
    "04 1C E3 C3 C7 02 01 00 02 01 00 30 18 30 16 06 "
    "0B 2B 06 01 04 01 8F 65 0A 01 06 01 44 07 9F 78 "
    "04 3E 32 00 00";

// snmpget -v2c -c public AGENT 1.3.6.1.2.1.1.5.0
constexpr const char* kOctetStringResponse =
    "30 2B 02 01 01 04 06 70 75 62 6C 69 63 A2 1E 02 "
    "04 77 46 85 08 02 01 00 02 01 00 30 10 30 0E 06 "
    "08 2B 06 01 02 01 01 05 00 04 02 76 6D";

// snmpset -v2c -c public AGENT 1.3.6.1.2.1.1.5.0 s x
constexpr const char* kNoAccessResponse =
    "30 2A 02 01 01 04 06 70 75 62 6C 69 63 A2 1D 02 "
    "04 05 DB E7 D0 02 01 06 02 01 01 30 0F 30 0D 06 "
    "08 2B 06 01 02 01 01 05 00 04 01 78";

// snmpget -v2c -c public
// AGENT 1.3.6.1.2.1.31.1.1.1.6.1 1.3.6.1.2.1.31.1.1.1.6.2 1.3.6.1.2.1.2.2.1.10.1 1.3.6.1.2.1.2.2.1.5.1
constexpr const char* kSimCounterLimitsResponse =
    "30 75 02 01 01 04 06 70 75 62 6C 69 63 A2 68 02 "
    "04 44 BF 9E 5F 02 01 00 02 01 00 30 5A 30 18 06 "
    "0B 2B 06 01 02 01 1F 01 01 01 06 01 46 09 00 FF "
    "FF FF FF FF FF FF FF 30 14 06 0B 2B 06 01 02 01 "
    "1F 01 01 01 06 02 46 05 01 00 00 00 00 30 13 06 "
    "0A 2B 06 01 02 01 02 02 01 0A 01 41 05 00 FF FF "
    "FF FF 30 13 06 0A 2B 06 01 02 01 02 02 01 05 01 "
    "42 05 00 80 00 00 00";

// snmpget -v2c -c public
// AGENT 1.3.6.1.4.1.99999.1.0 1.3.6.1.4.1.99999.2.0 1.3.6.1.4.1.99999.3.0 1.3.6.1.4.1.99999.4.0
constexpr const char* kSimIntegerLimitsResponse =
    "30 6A 02 01 01 04 06 70 75 62 6C 69 63 A2 5D 02 "
    "04 44 B6 B3 80 02 01 00 02 01 00 30 4F 30 0F 06 "
    "0A 2B 06 01 04 01 86 8D 1F 01 00 02 01 FF 30 13 "
    "06 0A 2B 06 01 04 01 86 8D 1F 02 00 02 05 FF 80 "
    "00 00 00 30 12 06 0A 2B 06 01 04 01 86 8D 1F 03 "
    "00 02 04 7F FF FF FF 30 13 06 0A 2B 06 01 04 01 "
    "86 8D 1F 04 00 43 05 00 FF FF FF FF";

// snmpbulkget -v2c -c public -Cn0 -Cr2 AGENT 1.3.6.1.2.1.4.22.1.1
// 1.3.6.1.2.1.4.22.1.3 1.3.6.1.2.1.4.22.1.2 1.3.6.1.2.1.4.22.1.4, from
// snmpsimd serving scripts/arp-table-snmprec.py 3 10.40.0.1: two rows.
constexpr const char* kSimArpBulkRequest =
    "30 57 02 01 01 04 06 70 75 62 6C 69 63 A5 4A 02 "
    "04 4C CE 6E D0 02 01 00 02 01 02 30 3C 30 0D 06 "
    "09 2B 06 01 02 01 04 16 01 01 05 00 30 0D 06 09 "
    "2B 06 01 02 01 04 16 01 03 05 00 30 0D 06 09 2B "
    "06 01 02 01 04 16 01 02 05 00 30 0D 06 09 2B 06 "
    "01 02 01 04 16 01 04 05 00";
constexpr const char* kSimArpBulkResponse =
    "30 81 D5 02 01 01 04 06 70 75 62 6C 69 63 A2 81 "
    "C7 02 04 4C CE 6E D0 02 01 00 02 01 00 30 81 B8 "
    "30 13 06 0E 2B 06 01 02 01 04 16 01 01 01 0A 28 "
    "00 01 02 01 01 30 16 06 0E 2B 06 01 02 01 04 16 "
    "01 03 01 0A 28 00 01 40 04 0A 28 00 01 30 18 06 "
    "0E 2B 06 01 02 01 04 16 01 02 01 0A 28 00 01 04 "
    "06 02 00 00 00 00 01 30 13 06 0E 2B 06 01 02 01 "
    "04 16 01 04 01 0A 28 00 01 02 01 03 30 13 06 0E "
    "2B 06 01 02 01 04 16 01 01 01 0A 28 00 03 02 01 "
    "01 30 16 06 0E 2B 06 01 02 01 04 16 01 03 01 0A "
    "28 00 03 40 04 0A 28 00 03 30 18 06 0E 2B 06 01 "
    "02 01 04 16 01 02 01 0A 28 00 03 04 06 02 00 00 "
    "00 00 03 30 13 06 0E 2B 06 01 02 01 04 16 01 04 "
    "01 0A 28 00 03 02 01 03";

}  // namespace vexa::test::captured
