// The vendor of a MAC address, from the IEEE registries of assignments as
// Debian's ieee-data package ships them: MA-L (oui.csv, 24-bit prefixes),
// MA-M (mam.csv, 28-bit), MA-S (oui36.csv, 36-bit) and IAB (iab.csv, 36-bit).
//
// The CSV files are read rather than the .txt ones: one record per
// assignment with the registry named in its own column, against a layout for
// people (the name repeated on two lines, the address on tab-indented lines
// after it). Their quoting is RFC 4180: names with commas and doubled
// quotes, addresses that span lines.
//
// What an address shows, in this order:
//  - a group address (0x01 of the first octet, broadcast included):
//    "(multicast)", also when the locally administered bit is set as well
//    (33-33-xx-xx-xx-xx, the IPv6 multicast range, has both);
//  - the locally administered bit (0x02): "(locally administered)", never
//    a vendor (random phone and laptop addresses, virtual machines), even
//    where an old registry entry lists such a prefix;
//  - the virtual-router ranges, which lie inside the assignments of IANA and
//    of the router maker, so they are checked before the registry:
//      00-00-5E-00-01-xx   "VRRP"         (the last octet is the VRID)
//      00-00-5E-00-02-xx   "VRRP (IPv6)"
//      00-00-0C-07-AC-xx   "HSRP"         (version 1, groups 0 to 255)
//      00-00-0C-9F-Fx-xx   "HSRPv2"       (groups 0 to 4095)
//      00-05-73-A0-0x-xx   "HSRP (IPv6)"
//      00-07-B4-0y-xx-xx   "GLBP"         (y 0 to 3: six zero bits, the
//                                          10-bit group and the forwarder)
//  - the longest assignment that holds the address: 36 bits, then 28, then
//    24. The parent rows of the MA-M, MA-S and IAB blocks (MA-L assignments
//    to "IEEE Registration Authority") are left out, so an address in a
//    block nobody holds shows no vendor rather than the authority.
// "00 00 00 00 00 00", what the store holds for an entry without a physical
// address, and anything that is not a 6-octet address show no vendor.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa {

class VendorRegistry {
 public:
  using Warn = std::function<void(const std::string& message)>;

  static constexpr std::string_view kMulticast = "(multicast)";
  static constexpr std::string_view kLocallyAdministered = "(locally administered)";

  // The folders ieee-data keeps the registries in: the copies that
  // update-ieee-data refreshes, then the package's own.
  static const std::vector<std::string>& DefaultFolders();

  // Reads oui.csv, mam.csv, oui36.csv and iab.csv, each from the first of
  // `folders` that holds a readable copy with at least one assignment (so a
  // refreshed copy wins file by file, and a broken one gives way to the
  // next). Files that cannot be read, or that hold malformed records, are
  // told in one message through `warn`; what could not be read just gives
  // no vendor.
  static VendorRegistry Load(const std::vector<std::string>& folders = DefaultFolders(),
                             const Warn& warn = {});

  // The registry of the default folders, loaded on the first call from any
  // thread; only the first call's `warn` is told.
  static const VendorRegistry& ForProcess(const Warn& warn = {});

  struct TextRead {
    size_t assignments = 0;
    size_t malformed = 0;
    size_t first_malformed_line = 0;  // from 1; 0 when there is none
  };
  // Adds the assignments in the text of one registry file (the header line
  // "Registry,Assignment,Organization Name,Organization Address", then one
  // record per assignment). Where a prefix is listed twice, the first one
  // added stays.
  TextRead AddCsv(std::string_view text);

  // The text shown for a MAC address as the store keeps it ("00 1a 2b 3c 4d
  // 5e"); colons or dashes between the pairs and capitals are taken too.
  // Empty when no registry lists it.
  std::string VendorOf(std::string_view mac) const;
  // The same for a physical address as an agent sends it, one byte per octet.
  std::string VendorOfOctets(std::string_view octets) const;

  // The beginnings, as the store writes MAC addresses ("00 1a 2b", "00 1a 2b
  // 3" for a 28-bit block), of every range whose shown text `shows` accepts:
  // the assignments, the virtual-router ranges, and the first octets of the
  // multicast and the locally administered addresses. They let a search by
  // vendor scan an index of addresses by range. An address under one of
  // them may still show another text (a longer assignment inside it), so
  // what a scan finds is checked with VendorOf.
  std::vector<std::string> StoredPrefixesWhere(
      const std::function<bool(std::string_view shown)>& shows) const;

  // How many assignments are known.
  size_t size() const;

 private:
  struct Assignment {
    uint64_t prefix;  // the address shifted right by 48 less the prefix length
    uint32_t name_offset;
    uint32_t name_size;
  };
  static constexpr int kPrefixBits[] = {36, 28, 24};

  std::string VendorOfAddress(uint64_t address) const;

  // Indexed as kPrefixBits, each sorted by prefix.
  std::vector<Assignment> assignments_[3];
  std::string names_;
};

}  // namespace vexa
