#include "arp/vendor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/test_folder.h"

namespace vexa {
namespace {

constexpr char kPackageFolder[] = "/usr/share/ieee-data";

struct Warnings {
  std::vector<std::string> messages;
  VendorRegistry::Warn Sink() {
    return [this](const std::string& message) { messages.push_back(message); };
  }
};

// The registries as the installed ieee-data package ships them. The entries
// were picked from its files; assignments are never taken back, so they hold
// for later versions of the package too.
TEST(VendorRegistry, RealRegistriesGiveTheLongestAssignmentOrTheKindOfAddress) {
  if (!std::filesystem::exists(std::string(kPackageFolder) + "/oui.csv"))
    GTEST_SKIP() << "no " << kPackageFolder << "/oui.csv: install the package ieee-data";
  Warnings warnings;
  const VendorRegistry registry = VendorRegistry::Load({kPackageFolder}, warnings.Sink());
  EXPECT_EQ(warnings.messages, std::vector<std::string>());
  EXPECT_GT(registry.size(), 40000u);

  const std::pair<std::string, std::string> cases[] = {
      // MA-L, a name with a comma in quotes.
      {"00 00 0c 12 34 56", "Cisco Systems, Inc"},
      {"00:00:0C:12:34:56", "Cisco Systems, Inc"},
      // MA-M, MA-S and IAB blocks whose MA-L parent is the Registration
      // Authority; the one block of 20-85-93 nobody holds shows no vendor.
      {"20 85 93 b0 00 01", "IOG Products LLC"},
      {"20 85 93 f0 00 01", ""},
      {"8c 1f 64 00 0a bc", "Suzhou Xingxiangyi Precision Manufacturing Co.,Ltd."},
      {"00 50 c2 ed a1 23", "Joint Stock Company \"Svyaz Inginiring M\""},
      // Listed with an en space at its end.
      {"d8 86 0b c2 47 5d", "YUSAN INDUSTRIES LIMITED"},
      // 02-60-8C is listed, but the bit says locally administered.
      {"02 60 8c 12 34 56", "(locally administered)"},
      {"da a1 19 5c 3e 01", "(locally administered)"},
      // 33-33 has the local bit too; 11-11-11 is listed as "Private".
      {"33 33 00 00 00 01", "(multicast)"},
      {"01 00 5e 7f ff fa", "(multicast)"},
      {"11 11 11 00 00 01", "(multicast)"},
      {"ff ff ff ff ff ff", "(multicast)"},
      // Virtual routers inside the IANA and Cisco assignments, and the
      // addresses just past their ranges.
      {"00 00 5e 00 01 0a", "VRRP"},
      {"00 00 5e 00 02 0a", "VRRP (IPv6)"},
      {"00 00 5e 00 03 0a", "ICANN, IANA Department"},
      {"00 00 0c 07 ac 01", "HSRP"},
      {"00 00 0c 9f f0 01", "HSRPv2"},
      {"00 05 73 a0 0f ff", "HSRP (IPv6)"},
      {"00 05 73 a0 10 00", "Cisco Systems, Inc"},
      {"00 07 b4 03 ff 02", "GLBP"},
      {"00 07 b4 04 00 00", "Cisco Systems, Inc"},
      // Listed nowhere; the store's text for no address (00-00-00 is
      // listed); not a 6-octet address.
      {"fc ff ff 00 00 01", ""},
      {"00 00 00 00 00 00", ""},
      {"00 00 0c 12 34", ""},
      {"00 00 0c 12 34 5g", ""},
      {"00 00:0c 12 34 56", ""},
  };
  for (const auto& [mac, vendor] : cases) EXPECT_EQ(registry.VendorOf(mac), vendor) << mac;
  EXPECT_EQ(registry.VendorOfOctets(std::string("\x00\x00\x0c\x12\x34\x56", 6)),
            "Cisco Systems, Inc");
  EXPECT_EQ(registry.VendorOfOctets(std::string("\x00\x00\x0c\x12\x34", 5)), "");
}

// Registry files made here, in a refreshed-copy folder and a package folder.
TEST(VendorRegistry, UnreadableOrMalformedFilesGiveOneWarningAndNeverFail) {
  const std::string header = "Registry,Assignment,Organization Name,Organization Address\r\n";
  const std::vector<std::pair<std::string, std::string>> package = {
      {"package/oui.csv", header + "MA-L,0000AA,Package Vendor,Street 1\r\n"},
      {"package/mam.csv", header + "MA-M,0000BB1,Block Holder,\"Street 2,\nTown\"\r\n"},
      {"package/oui36.csv", header + "MA-S,0000CC123,Small Block,\r\n"},
      {"package/iab.csv", header + "IAB,0000DD456,Old Block,\r\n"},
  };
  const auto with = [&](std::vector<std::pair<std::string, std::string>> files) {
    files.insert(files.end(), package.begin(), package.end());
    return files;
  };
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;  // "<dir>", "<fifo>" or the text
    std::vector<std::string> warning;                        // parts of the one warning
    std::vector<std::pair<std::string, std::string>> vendors;
  };
  const Case cases[] = {
      {"no folders at all",
       {},
       {"no readable oui.csv, mam.csv, oui36.csv, iab.csv in ", "/preferred or ",
        "the package ieee-data"},
       {{"00 00 aa 00 00 01", ""}, {"00 00 5e 00 01 01", "VRRP"}}},
      {"a refreshed copy wins, file by file",
       with({{"preferred/oui.csv", header + "MA-L,0000AA,Refreshed Vendor,\r\n"}}),
       {},
       {{"00 00 aa 00 00 01", "Refreshed Vendor"},
        {"00 00 bb 10 00 01", "Block Holder"},
        {"00 00 cc 12 30 01", "Small Block"},
        {"00 00 dd 45 60 01", "Old Block"},
        {"00 00 cc 12 40 01", ""}}},
      {"unreadable and empty copies give way to the next folder",
       with({{"preferred/oui.csv", "<dir>"},
             {"preferred/oui36.csv", "<fifo>"},
             {"preferred/mam.csv", header}}),
       {"cannot read ", "/preferred/oui.csv: Is a directory",
        "/preferred/oui36.csv: Invalid argument", "/preferred/mam.csv lists no assignments"},
       {{"00 00 aa 00 00 01", "Package Vendor"}, {"00 00 bb 10 00 01", "Block Holder"}}},
      {"one registry missing",
       {package[0], package[1], package[2]},
       {"no readable iab.csv in ", "the vendors listed there are not shown"},
       {{"00 00 aa 00 00 01", "Package Vendor"}, {"00 00 dd 45 60 01", ""}}},
      {"malformed records are skipped",
       with({{"preferred/oui.csv", header + "MA-L,000001,Before,\r\n"
                                            "MA-L,00ZZ11,Not Hex,\r\n"
                                            "MA-L,0000021,Too Many Digits,\r\n"
                                            "XX-X,000003,Unknown Registry,\r\n"
                                            "MA-L,000004\r\n"
                                            "MA-L,000005,\"Text\"after,\r\n"
                                            "MA-L,000006,  ,\r\n"
                                            "MA-L,000007,\"After, \"\"Faults\"\"\",\"x\r\ny\"\r\n"
                                            "MA-L,000008,Tab\tand\x1b[31m escape,\r\n"
                                            "MA-L,000009,\"never closed,\r\n"
                                            "MA-L,00000A,Swallowed,\r\n"}}),
       {"7 malformed record(s) skipped in ", "/preferred/oui.csv, the first at line 3"},
       {{"00 00 01 00 00 01", "Before"},
        {"00 00 07 00 00 01", "After, \"Faults\""},
        {"00 00 08 00 00 01", "Tab?and?[31m escape"},
        {"00 00 aa 00 00 01", ""},
        {"00 00 0a 00 00 01", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    for (const auto& [name, text] : c.files) {
      const std::string path = dir.path() + "/" + name;
      std::filesystem::create_directories(std::filesystem::path(path).parent_path());
      if (text == "<dir>")
        ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
      else if (text == "<fifo>")
        ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
      else
        test::WriteFile(path, text);
    }
    Warnings warnings;
    const VendorRegistry registry =
        VendorRegistry::Load({dir.path() + "/preferred", dir.path() + "/package"}, warnings.Sink());
    ASSERT_EQ(warnings.messages.size(), c.warning.empty() ? 0u : 1u);
    for (const std::string& part : c.warning)
      EXPECT_NE(warnings.messages[0].find(part), std::string::npos)
          << part << " not in: " << warnings.messages[0];
    for (const auto& [mac, vendor] : c.vendors) EXPECT_EQ(registry.VendorOf(mac), vendor) << mac;
  }
}

}  // namespace
}  // namespace vexa
