// The two tables a router reports its neighbours in, as the walk asks for
// them, and the reading of their indexes.
//
//   ipNetToMediaTable     (1.3.6.1.2.1.4.22.1)  IPv4 only; index ifIndex.a.b.c.d
//   ipNetToPhysicalTable  (1.3.6.1.2.1.4.35.1)  IPv4 and IPv6; index
//                         ifIndex.addressType.length.address..., the address
//                         in the index only
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vexa {

// What the index of a neighbour-table row names: for ipNetToPhysicalTable
// ".ifIndex.addressType.length.address...", for ipNetToMediaTable
// ".ifIndex.a.b.c.d".
struct PhysicalIndex {
  enum class Kind {
    kAddress,    // an IPv4 (type 1, 4 octets) or IPv6 (type 2, 16 octets) address
    kOtherType,  // a well-formed index of another address type (zoned, DNS name, ...)
    kBadIndex,   // not an index of this table: a length that does not match, an
                 // octet over 255, an interface out of range, text that is no OID
  };
  Kind kind = Kind::kBadIndex;
  int32_t if_index = 0;
  std::string address;  // with kAddress: dotted decimal, or IPv6 text in canonical form
};

// Reads an index ".ifIndex.type.length.o1.o2..." (the instance part of an OID,
// with its leading dot). Any text is taken; none is thrown.
PhysicalIndex DecodePhysicalIndex(std::string_view index);
// Reads an index ".ifIndex.a.b.c.d" of ipNetToMediaTable the same way.
PhysicalIndex DecodeMediaIndex(std::string_view index);

struct NeighbourTable {
  // How the bindings of a response make rows.
  enum class Rows : uint8_t {
    // A row is what the columns hold for one index, whichever of them the
    // agent serves for it.
    kByIndex,
    // The first column, the physical address, names the rows; the other
    // columns only add to the rows it names.
    kByPhysAddress,
  };

  const char* name;
  // The columns of every request, in request order. The request trace names
  // the first.
  std::span<const char* const> columns;
  Rows rows;
  // The interface and the address of a row, from its index.
  PhysicalIndex (*decode_index)(std::string_view index);

  const char* KeyColumn() const { return columns.front(); }
};

namespace neighbour_columns {
// ipNetToMediaTable: the interface, the net address before the physical
// address, the type.
inline constexpr const char* kMedia[] = {"1.3.6.1.2.1.4.22.1.1", "1.3.6.1.2.1.4.22.1.3",
                                         "1.3.6.1.2.1.4.22.1.2", "1.3.6.1.2.1.4.22.1.4"};
// ipNetToPhysicalTable: the physical address and the type; the interface and
// the net address are in the index.
inline constexpr const char* kPhysical[] = {"1.3.6.1.2.1.4.35.1.4", "1.3.6.1.2.1.4.35.1.6"};
// ipNetToMediaTable of an agent that serves no interface column: the physical
// address and the type, read as ipNetToPhysicalTable is.
inline constexpr const char* kMediaPhysAddress[] = {"1.3.6.1.2.1.4.22.1.2", "1.3.6.1.2.1.4.22.1.4"};
}  // namespace neighbour_columns

inline constexpr NeighbourTable kIpNetToMediaTable{"ipNetToMediaTable", neighbour_columns::kMedia,
                                                   NeighbourTable::Rows::kByIndex,
                                                   DecodeMediaIndex};
inline constexpr NeighbourTable kIpNetToPhysicalTable{
    "ipNetToPhysicalTable", neighbour_columns::kPhysical, NeighbourTable::Rows::kByPhysAddress,
    DecodePhysicalIndex};
inline constexpr NeighbourTable kIpNetToMediaByPhysAddress{
    "ipNetToMediaTable", neighbour_columns::kMediaPhysAddress, NeighbourTable::Rows::kByPhysAddress,
    DecodeMediaIndex};

}  // namespace vexa
