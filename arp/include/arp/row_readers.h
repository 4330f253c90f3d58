// Reading the rows of a neighbour table out of the bindings of one response,
// apart from the walk that asks for them: bindings in, rows and the reason
// the reading stopped out. Nothing an agent sends is thrown.
//
// Every binding is taken by its identifier, never by its place: it must be
// an instance of the column it answers, and it belongs to the row its
// instance part names. A get-next answer gives each column's next instance
// after the index asked for, so the row it carries is the smallest index
// among them; a column whose instance lies further on has no such row. A
// GETBULK answer repeats that for each column, and the columns drift apart
// where one lacks a row: its bindings are grouped per column, and only the
// rows up to the index that every column has reached are taken. An agent
// that leaves a column out for some rows (an incomplete entry without a
// physical address, a row without a type) thus never lends a row another
// row's values:
//
//   ipNetToMediaTable     a row is what its columns hold for one index; the
//                         interface and the net address come from the index
//                         where their columns lack them, the type is 0 (none
//                         known) where its column does; a row without a
//                         physical address is passed over.
//   ipNetToPhysicalTable  the physical-address column names the rows, the
//                         index gives their interface and address, the type
//                         column adds the type where it holds one.
//
//   RowReader reader;
//   const RowsRead read = reader.ReadGetNext(kIpNetToMediaTable, response.bindings, after, room);
//   for (const NeighbourRow& row : reader.rows()) ...  // kAddress rows are kept
//   if (read.end == RowsEnd::kMore) ... ask for the rows after read.next_after
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "arp/neighbour_table.h"
#include "snmp/snmp_message.h"

namespace vexa {

struct NeighbourRow {
  enum class Kind : uint8_t {
    kAddress,        // a row to keep
    kOtherType,      // passed over: an address of another type (zoned, ...)
    kBadIndex,       // passed over: an index that is not one of the table's
    kNoPhysAddress,  // passed over: the agent holds no physical address for it
  };
  Kind kind = Kind::kAddress;
  std::string index;  // the instance part, ".3.10.0.0.5"
  std::string ip_address;
  std::string phys_address;  // one byte per octet
  int32_t if_index = 0;
  int16_t type = 0;  // 0 where the agent holds none
};

// Why a reading stopped.
enum class RowsEnd : uint8_t {
  kMore,        // the table goes on after `next_after`
  kEndOfTable,  // the columns the rows come from have ended
  // The first answer of ipNetToMediaTable holds physical addresses but no
  // interface column: the table is to be walked by its physical addresses.
  kNoIfIndexColumn,
  kNotIncreasing,  // a column repeated an instance or went back
  kNoValue,        // a column answered without a value (other than the end of the MIB)
  kRowLimit,       // a row to keep beyond the room given
  kBadValue,       // a value that no row can hold; `failure` says which
  kNoWholeRow,     // a GETBULK answer cut before it made any row sure
};

struct RowsRead {
  RowsEnd end = RowsEnd::kMore;
  std::string next_after;  // with kMore: the index the next request asks after
  std::string failure;     // with kBadValue
};

class RowReader {
 public:
  // Reads the answer to a request for the rows of `table` after the index
  // `after` ("" for the first row). `room` is the number of rows to keep that
  // may still be taken. The rows read are rows(), in the table's order; those
  // before a kBadValue or kRowLimit stand.
  //
  // A get-next answer: one binding per column, at most one row; fewer
  // bindings are a kBadValue.
  RowsRead ReadGetNext(const NeighbourTable& table, std::span<const snmp::VarBind> bindings,
                       std::string_view after, size_t room);
  // A GETBULK answer without non-repeaters: the columns' repetitions, row by
  // row, perhaps cut short anywhere.
  RowsRead ReadBulk(const NeighbourTable& table, std::span<const snmp::VarBind> bindings,
                    std::string_view after, size_t room);

  // The rows of the last Read(), valid until the next.
  std::span<const NeighbourRow> rows() const { return {rows_.data(), count_}; }

 private:
  static constexpr size_t kMaxColumns = 4;

  struct Cell {
    std::string_view index;  // into the binding's identifier
    const snmp::VarBind* binding;
  };
  enum class ColumnState : uint8_t {
    kOpen,           // the answer ran out inside the column
    kEnded,          // the column has no more instances
    kNoValue,        // a binding without a value stopped it
    kNotIncreasing,  // an instance not after the one before stopped it
  };
  struct Column {
    std::vector<Cell> cells;  // in increasing order
    ColumnState state = ColumnState::kOpen;
    bool inside = false;  // some binding lay inside the column
  };

  // Sorts the bindings into the columns they answer, each up to where it
  // stops.
  void SortIntoColumns(const NeighbourTable& table, std::span<const snmp::VarBind> bindings,
                       std::string_view after);
  // Fills the next row from the cells of `index` (null where a column has
  // none); false, with `read` set, where the reading stops at it.
  bool AddRow(const NeighbourTable& table, std::string_view index,
              const std::array<const snmp::VarBind*, kMaxColumns>& cells, size_t& room,
              RowsRead& read);
  NeighbourRow& NextRow();

  std::array<Column, kMaxColumns> columns_;
  std::vector<NeighbourRow> rows_;  // reused, so their texts keep their storage
  size_t count_ = 0;
};

}  // namespace vexa
