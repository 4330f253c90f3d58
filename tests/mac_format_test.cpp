#include "mac_format.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "event_log.h"
#include "platform/local_time.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

TEST(MacFormat, OctetsBecomeLowercasePairsWithSingleSpaces) {
  EXPECT_EQ(FormatMac(std::string("\x00\x1a\x2b\x3c\x4d\x5e", 6)), "00 1a 2b 3c 4d 5e");
  EXPECT_EQ(FormatMac("\x0a"), "0a");
  EXPECT_EQ(FormatMac("\xff"), "ff");
  // A space octet is an octet like any other, also at either end.
  EXPECT_EQ(FormatMac("  "), "20 20");
  EXPECT_EQ(FormatMac(std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)),
            "01 02 03 04 05 06 07 08");
  EXPECT_EQ(FormatMac(""), "00 00 00 00 00 00");
}

TEST(MacFormat, MacTextFormatsTheValueOrLogsAndKeepsItWhenTooLong) {
  test::TempDir dir;
  ASSERT_EQ(::mkdir((dir.path() + "/Debug").c_str(), 0755), 0);
  SimulatedClock clock{FromLocal({2024, 1, 1, 0, 0, 0})};
  EventLoop loop{clock};
  EventLog log{loop, dir.path()};
  std::string value("\xaa\xbb", 2);
  value = MacText(value, log);
  EXPECT_EQ(value, "aa bb");

  std::string huge(32768, 'x');
  huge = MacText(huge, log);
  EXPECT_EQ(huge, std::string(32768, 'x'));
  EXPECT_NE(test::ReadFile(dir.path() + "/Debug/AppEvent.txt")
                .find("\t1\tmodSnmpComm_ConvToMac\tOverflow"),
            std::string::npos);
}

}  // namespace
}  // namespace vexa
