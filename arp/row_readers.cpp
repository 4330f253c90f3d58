#include "arp/row_readers.h"

#include "snmp/oid_text.h"

namespace vexa {

namespace {

// The places of the columns in the requests (neighbour_columns).
constexpr size_t kMediaIfIndex = 0;
constexpr size_t kMediaNetAddress = 1;
constexpr size_t kMediaPhysAddress = 2;
constexpr size_t kMediaType = 3;
constexpr size_t kKeyPhysAddress = 0;
constexpr size_t kKeyType = 1;

// Whether index `a` comes before index `b`; "" (before the first row) comes
// before every index. Both are dotted decimal: the readers compare only
// instance parts that have been checked, and indexes asked after.
bool Before(std::string_view a, std::string_view b) {
  if (b.empty() || a == b) return false;
  if (a.empty()) return true;
  const std::optional<int> order = snmp::CompareOidText(a, b);
  return order && *order < 0;
}

// The value of `b` as the number that the row's `field` holds; false, with
// the reading's failure set, where it is none.
template <typename T>
bool ReadNumber(const snmp::VarBind& b, const char* field, T& value, RowsRead& read) {
  switch (snmp::ParseDecimal(b.value, value)) {
    case snmp::DecimalStatus::kOk:
      return true;
    case snmp::DecimalStatus::kOutOfRange:
      read.failure = std::string("Overflow: ") + field + " '" + b.value + "'";
      break;
    case snmp::DecimalStatus::kNotANumber:
      read.failure = std::string("Type mismatch: ") + field + " '" + b.value + "' is not a number";
      break;
  }
  read.end = RowsEnd::kBadValue;
  return false;
}

}  // namespace

RowsRead RowReader::ReadGetNext(const NeighbourTable& table,
                                std::span<const snmp::VarBind> bindings, std::string_view after,
                                size_t room) {
  const size_t width = table.columns.size();
  if (bindings.size() < width) {
    count_ = 0;
    RowsRead read;
    read.end = RowsEnd::kBadValue;
    read.failure = "Subscript out of range: the response has " + std::to_string(bindings.size()) +
                   " bindings, binding " + std::to_string(bindings.size() + 1) + " was asked for";
    return read;
  }
  // Bindings past the columns asked for belong to no row.
  return ReadBulk(table, bindings.first(width), after, room);
}

RowsRead RowReader::ReadBulk(const NeighbourTable& table, std::span<const snmp::VarBind> bindings,
                             std::string_view after, size_t room) {
  RowsRead read;
  count_ = 0;
  const size_t width = table.columns.size();
  const bool by_index = table.rows == NeighbourTable::Rows::kByIndex;
  SortIntoColumns(table, bindings, after);

  if (by_index && after.empty() && columns_[kMediaIfIndex].state == ColumnState::kEnded &&
      columns_[kMediaIfIndex].cells.empty() && !columns_[kMediaPhysAddress].cells.empty()) {
    read.end = RowsEnd::kNoIfIndexColumn;
    return read;
  }

  // The index up to which every column is known: an ended column to its end,
  // the others to their last instance read. Rows after it may lack a column
  // only because the answer stopped short of it.
  bool bounded = false;
  std::string_view bound;
  for (size_t c = 0; c < width; ++c) {
    const Column& column = columns_[c];
    if (column.state == ColumnState::kEnded) continue;
    const std::string_view reach = column.cells.empty() ? after : column.cells.back().index;
    if (!bounded || Before(reach, bound)) bound = reach;
    bounded = true;
  }

  // The rows up to there, in order: each index that the columns naming rows
  // hold, with what every column holds for it.
  const size_t naming = by_index ? width : 1;
  std::array<size_t, kMaxColumns> next{};
  std::array<const snmp::VarBind*, kMaxColumns> cells{};
  while (true) {
    bool found = false;
    std::string_view index;
    for (size_t c = 0; c < naming; ++c) {
      const std::vector<Cell>& column = columns_[c].cells;
      if (next[c] < column.size() && (!found || Before(column[next[c]].index, index))) {
        index = column[next[c]].index;
        found = true;
      }
    }
    if (!found || (bounded && Before(bound, index))) break;
    for (size_t c = 0; c < width; ++c) {
      const std::vector<Cell>& column = columns_[c].cells;
      // A column that only adds to the rows may hold instances that no row has.
      while (next[c] < column.size() && Before(column[next[c]].index, index)) ++next[c];
      cells[c] = nullptr;
      if (next[c] < column.size() && !Before(index, column[next[c]].index))
        cells[c] = column[next[c]++].binding;
    }
    if (!AddRow(table, index, cells, room, read)) return read;
  }

  bool all_taken = true, ended = true, inside = false;
  for (size_t c = 0; c < naming; ++c) {
    all_taken = all_taken && next[c] == columns_[c].cells.size();
    ended = ended && columns_[c].state == ColumnState::kEnded;
    inside = inside || columns_[c].inside;
  }
  if (ended && all_taken) {
    read.end = RowsEnd::kEndOfTable;
    return read;
  }
  if (count_ > 0 || Before(after, bound)) {
    // A column that cannot be read past the bound ends the walk there.
    for (const ColumnState stop : {ColumnState::kNoValue, ColumnState::kNotIncreasing}) {
      for (size_t c = 0; c < width; ++c) {
        const Column& column = columns_[c];
        if (column.state != stop) continue;
        const std::string_view reach = column.cells.empty() ? after : column.cells.back().index;
        if (reach == bound) {
          read.end = stop == ColumnState::kNoValue ? RowsEnd::kNoValue : RowsEnd::kNotIncreasing;
          return read;
        }
      }
    }
    read.next_after.assign(bound);
    return read;
  }
  // Nothing read: the answer stopped short of a column, or the table ends
  // here, or one of its columns cannot be read.
  for (size_t c = 0; c < width; ++c)
    if (columns_[c].state == ColumnState::kOpen && columns_[c].cells.empty()) {
      read.end = RowsEnd::kNoWholeRow;
      return read;
    }
  read.end = RowsEnd::kEndOfTable;
  if (!inside) return read;
  for (size_t c = 0; c < width; ++c) {
    if (columns_[c].state == ColumnState::kNoValue) {
      read.end = RowsEnd::kNoValue;
      return read;
    }
    if (columns_[c].state == ColumnState::kNotIncreasing) read.end = RowsEnd::kNotIncreasing;
  }
  return read;
}

void RowReader::SortIntoColumns(const NeighbourTable& table,
                                std::span<const snmp::VarBind> bindings, std::string_view after) {
  const size_t width = table.columns.size();
  const bool by_index = table.rows == NeighbourTable::Rows::kByIndex;
  for (size_t c = 0; c < width; ++c) {
    Column& column = columns_[c];
    column.cells.clear();
    column.state = ColumnState::kOpen;
    column.inside = false;
    // A column that only adds to the rows that another names is read as far
    // as it goes: where it cannot be read further, the rows lack it.
    const bool adds_only = !by_index && c != kKeyPhysAddress;
    std::string_view previous = after;
    for (size_t k = c; k < bindings.size(); k += width) {
      const snmp::VarBind& b = bindings[k];
      if (!b.HasValue()) {
        // The end of the agent's MIB ends every column; another binding
        // without a value ends the walk, unless it only decides which rows
        // the physical-address column names.
        column.state = by_index && b.syntax != snmp::syntax::kEndOfMibView ? ColumnState::kNoValue
                                                                           : ColumnState::kEnded;
        break;
      }
      const std::string_view index = snmp::InstanceOf(b.oid, table.columns[c]);
      if (index.empty()) {
        column.state = ColumnState::kEnded;  // the agent answered past the column
        break;
      }
      if (!Before(previous, index)) {
        column.state = adds_only ? ColumnState::kEnded : ColumnState::kNotIncreasing;
        column.inside = !adds_only;
        break;
      }
      column.inside = true;
      column.cells.push_back({index, &b});
      previous = index;
    }
  }
}

bool RowReader::AddRow(const NeighbourTable& table, std::string_view index,
                       const std::array<const snmp::VarBind*, kMaxColumns>& cells, size_t& room,
                       RowsRead& read) {
  const bool by_index = table.rows == NeighbourTable::Rows::kByIndex;
  const snmp::VarBind* phys = cells[by_index ? kMediaPhysAddress : kKeyPhysAddress];
  const snmp::VarBind* type = cells[by_index ? kMediaType : kKeyType];
  const snmp::VarBind* if_index = by_index ? cells[kMediaIfIndex] : nullptr;
  const snmp::VarBind* net = by_index ? cells[kMediaNetAddress] : nullptr;

  // What the columns lack, the index gives.
  NeighbourRow::Kind kind = NeighbourRow::Kind::kAddress;
  PhysicalIndex decoded;
  if (phys == nullptr) {
    kind = NeighbourRow::Kind::kNoPhysAddress;
  } else if (if_index == nullptr || net == nullptr) {
    decoded = table.decode_index(index);
    if (decoded.kind == PhysicalIndex::Kind::kOtherType) kind = NeighbourRow::Kind::kOtherType;
    if (decoded.kind == PhysicalIndex::Kind::kBadIndex) kind = NeighbourRow::Kind::kBadIndex;
  }

  int32_t if_number = decoded.if_index;
  int16_t type_number = 0;
  if (kind == NeighbourRow::Kind::kAddress) {
    if (room == 0) {
      read.end = RowsEnd::kRowLimit;
      return false;
    }
    // Every value is checked before the row is counted, so a row read is
    // always whole.
    if (if_index != nullptr && !ReadNumber(*if_index, "IfIndex", if_number, read)) return false;
    if (type != nullptr && !ReadNumber(*type, "Type", type_number, read)) return false;
    // Only an IpAddress value is an address: other text could carry tabs or
    // line ends into the store and the export.
    if (net != nullptr && net->syntax != snmp::syntax::kIpAddress) {
      read.end = RowsEnd::kBadValue;
      read.failure = "Type mismatch: the net address is not an IpAddress value";
      return false;
    }
    --room;
  }

  NeighbourRow& row = NextRow();
  row.kind = kind;
  row.index.assign(index);
  if (kind != NeighbourRow::Kind::kAddress) return true;
  row.if_index = if_number;
  row.type = type_number;
  row.ip_address.assign(net != nullptr ? net->value : decoded.address);
  row.phys_address.assign(phys->value);
  return true;
}

NeighbourRow& RowReader::NextRow() {
  if (count_ == rows_.size()) rows_.emplace_back();
  return rows_[count_++];
}

}  // namespace vexa
