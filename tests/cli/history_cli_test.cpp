// vexa-arp history and events run as a program on a program folder whose
// history holds known pairings and changes: what each command line prints,
// its exit status, and the message of a query it cannot read.
#include <gtest/gtest.h>

#include "support/test_folder.h"

namespace vexa::test {
namespace {

using namespace std::chrono_literals;

// 1796814000 is 2026-12-09T12:00:00+01:00; the commands run in a zone one
// hour east of UTC.
constexpr const char* kHistory =
    "INSERT INTO ArpHistory (IpAddr, MacAddr, IpKey, Router, IfIndex, FirstSeen, LastSeen, "
    "Cycles, IsCurrent) VALUES "
    "('10.0.0.7', '00 1a 2b 3c 4d 5e', x'0a000007', '10.0.0.1', 3, 1796800000, 1796814000, 12, 1),"
    "('10.0.0.7', '00 1a 2b 3c 4d 5f', x'0a000007', '10.0.0.1', 3, 1796700000, 1796799000, 40, 0),"
    "('10.0.0.8', '00 1a 2b 3c 4d 5e', x'0a000008', 'r' || char(27) || '1', 2, 1796000000, "
    "1796000000, 1, 0),"
    "('2001:db8::7', '00 1a 2b 3c 4d 60', x'20010db8000000000000000000000007', '10.0.0.2', 1, "
    "1796814000, 1796814000, 1, 1);"
    "INSERT INTO ArpEvent (Time, Kind, IpAddr, MacAddr, OldMacAddr, Router, IfIndex, Delivered) "
    "VALUES (1796799000, 'new_ip', '10.0.0.7', '00 1a 2b 3c 4d 5f', '', '10.0.0.1', 3, 1),"
    "(1796800000, 'mac_changed', '10.0.0.7', '00 1a 2b 3c 4d 5e', '00 1a 2b 3c 4d 5f', '10.0.0.1',"
    " 3, 1),"
    "(1796814000, 'flip_flop', '10.0.0.9', '00 1a 2b 3c 4d 61', '00 1a 2b 3c 4d 62', '10.0.0.1', "
    "4, 0);";

const std::string kHeader =
    "IpAddr\tMacAddr\tVendor\tRouter\tIfIndex\tFirstSeen\tLastSeen\tCycles\tCurrent\n";
const std::string kEventsHeader =
    "Time\tKind\tIpAddr\tMacAddr\tVendor\tOldMacAddr\tRouter\tIfIndex\tDelivered\n";
const std::string kNew =
    "2026-12-09T07:50:00+01:00\tnew_ip\t10.0.0.7\t00 1a 2b 3c 4d 5f\tAyecom Technology Co., "
    "Ltd.\t\t10.0.0.1\t3\tyes\n";
const std::string kChanged =
    "2026-12-09T08:06:40+01:00\tmac_changed\t10.0.0.7\t00 1a 2b 3c 4d 5e\tAyecom Technology Co., "
    "Ltd.\t00 1a 2b 3c 4d "
    "5f\t10.0.0.1\t3\tyes\n";
const std::string kFlip =
    "2026-12-09T12:00:00+01:00\tflip_flop\t10.0.0.9\t00 1a 2b 3c 4d 61\tAyecom Technology Co., "
    "Ltd.\t00 1a 2b 3c 4d "
    "62\t10.0.0.1\t4\tno\n";

struct Case {
  std::vector<std::string> args;
  int exit_status;
  std::string out;
  std::string err;  // a part of stderr; empty: stderr is empty
};

const std::vector<Case> kCases = {
    {{"history", "10.0.0.7"},
     0,
     kHeader + "10.0.0.7\t00 1a 2b 3c 4d 5e\tAyecom Technology Co., "
               "Ltd.\t10.0.0.1\t3\t2026-12-09T08:06:40+01:00\t"
               "2026-12-09T12:00:00+01:00\t12\tyes\n"
               "10.0.0.7\t00 1a 2b 3c 4d 5f\tAyecom Technology Co., "
               "Ltd.\t10.0.0.1\t3\t2026-12-08T04:20:00+01:00\t"
               "2026-12-09T07:50:00+01:00\t40\tno\n",
     ""},
    {{"history", "00:1A:2B:3C:4D:5E"},
     0,
     kHeader + "10.0.0.7\t00 1a 2b 3c 4d 5e\tAyecom Technology Co., "
               "Ltd.\t10.0.0.1\t3\t2026-12-09T08:06:40+01:00\t"
               "2026-12-09T12:00:00+01:00\t12\tyes\n"
               "10.0.0.8\t00 1a 2b 3c 4d 5e\tAyecom Technology Co., "
               "Ltd.\tr\\x1B1\t2\t2026-11-30T01:53:20+01:00\t"
               "2026-11-30T01:53:20+01:00\t1\tno\n",
     ""},
    {{"history", "001a.2b3c.4d60", "--json"},
     0,
     "{\"ip\":\"2001:db8::7\",\"mac\":\"00 1a 2b 3c 4d 60\",\"router\":\"10.0.0.2\","
     "\"if_index\":1,\"first_seen\":\"2026-12-09T12:00:00+01:00\","
     "\"last_seen\":\"2026-12-09T12:00:00+01:00\",\"cycles\":1,\"current\":true,"
     "\"vendor\":\"Ayecom Technology Co., Ltd.\"}\n",
     ""},
    {{"history", "10.0.0.99"}, 1, kHeader, "the history holds no pairing of 10.0.0.99"},
    {{"history", "10.0.0"}, 2, "", "cannot read \"10.0.0\" as an address; give an IPv4 or IPv6"},
    {{"history", "00:1a:2b:3c:4d"}, 2, "", "001a.2b3c.4d5e"},
    {{"history"}, 2, "", "name the address"},
    {{"events"}, 0, kEventsHeader + kNew + kChanged + kFlip, ""},
    {{"events", "--since", "2026-12-09 08:00", "--kind", "flip_flop", "--kind", "mac_changed"},
     0,
     kEventsHeader + kChanged + kFlip,
     ""},
    {{"events", "--since", "2026-12-09T07:06:40Z", "--json"},
     0,
     "{\"time\":\"2026-12-09T08:06:40+01:00\",\"kind\":\"mac_changed\",\"ip\":\"10.0.0.7\","
     "\"mac\":\"00 1a 2b 3c 4d 5e\",\"old_mac\":\"00 1a 2b 3c 4d 5f\",\"router\":\"10.0.0.1\","
     "\"if_index\":3,\"vendor\":\"Ayecom Technology Co., Ltd.\"}\n"
     "{\"time\":\"2026-12-09T12:00:00+01:00\",\"kind\":\"flip_flop\",\"ip\":\"10.0.0.9\","
     "\"mac\":\"00 1a 2b 3c 4d 61\",\"old_mac\":\"00 1a 2b 3c 4d 62\",\"router\":\"10.0.0.1\","
     "\"if_index\":4,\"vendor\":\"Ayecom Technology Co., Ltd.\"}\n",
     ""},
    {{"events", "--since", "2026-12-09T13:00:00+02:00", "--kind", "new_ip"}, 0, kEventsHeader, ""},
    {{"events", "--kind", "changed"}, 2, "", "unknown kind \"changed\"; the kinds are new_ip"},
    {{"events", "--since", "yesterday"}, 2, "", "cannot read \"yesterday\" as a time"},
    {{"events", "--since"}, 2, "", "--since needs a value"},
};

TEST(HistoryCli, PairingsAndChanges) {
  ProgramFolder folder;
  folder.Sql(kHistory);
  for (const Case& c : kCases) {
    std::vector<std::string> args = {"--folder", folder.path()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = test::Run(VEXA_CLI_BINARY, args, {{"TZ", "CET-1"}}, "", 30s);
    SCOPED_TRACE(args.back());
    EXPECT_EQ(r.exit_status, c.exit_status) << r.err;
    if (!c.out.empty()) {
      EXPECT_EQ(r.out, c.out);
    }
    if (c.err.empty())
      EXPECT_EQ(r.err, "");
    else
      EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  // Any spelling of an address finds what the store keeps.
  const RunResult v6 = test::Run(
      VEXA_CLI_BINARY, {"--folder", folder.path(), "history", "2001:DB8:0::7"}, {}, "", 30s);
  EXPECT_NE(v6.out.find("\n2001:db8::7\t00 1a 2b 3c 4d 60\t"), std::string::npos) << v6.out;
}

}  // namespace
}  // namespace vexa::test
