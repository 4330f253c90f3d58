#include "arp/mac_format.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "arp/event_log.h"
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

TEST(MacFormat, MacTextFormatsTheValueOrLogsAndKeepsOnlyPrintableAsciiWhenTooLong) {
  test::TempDir dir;
  ASSERT_EQ(::mkdir((dir.path() + "/Debug").c_str(), 0755), 0);
  SimulatedClock clock{FromLocal({2024, 1, 1, 0, 0, 0})};
  EventLoop loop{clock};
  EventLog log{loop, dir.path()};
  // Controls, DEL, C1 controls, U+202E (right-to-left override) and bytes
  // that are no UTF-8 at all, ahead of filler that makes the value too long.
  const std::string hostile(
      "a\x85"
      "b\xe2\x80\xae"
      "c\xff\xc0\x7f\td");
  const std::string filler(32768 - hostile.size(), 'x');
  struct Case {
    std::string octets;
    std::string text;
    bool logged;
  };
  const Case cases[] = {
      {std::string("\xaa\xbb", 2), "aa bb", false},
      {std::string(32767, '\xff'), FormatMac(std::string(32767, '\xff')), false},
      {std::string(32768, 'x'), std::string(32768, 'x'), true},
      {hostile + filler, "a?b???c????d" + filler, true},
  };
  size_t lines = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 12));
    EXPECT_EQ(MacText(c.octets, log), c.text);
    const std::string events = test::ReadFile(dir.path() + "/Debug/AppEvent.txt");
    size_t now = 0;
    for (size_t at = 0;
         (at = events.find("\t1\tmodSnmpComm_ConvToMac\tOverflow", at)) != std::string::npos; ++at)
      ++now;
    EXPECT_EQ(now, lines + (c.logged ? 1 : 0));
    lines = now;
  }
}

}  // namespace
}  // namespace vexa
