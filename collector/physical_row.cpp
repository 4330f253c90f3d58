// Reading a row of ipNetToPhysicalTable: the physical address and the type
// from the two bindings, the interface and the net address from the index.
#include <charconv>
#include <stdexcept>

#include "arp_walk.h"

namespace vexa {

namespace {

// The row's type where the type binding belongs to the same row; 0 (none
// known) where the agent has no type for the row and answered with what
// follows it (a later row's type, another object, the end of its MIB).
int16_t TypeOfRow(const snmp::VarBind& type, const std::string& type_column,
                  const std::string& index) {
  if (!type.HasValue() || type.oid != type_column + index) return 0;
  int64_t value = 0;
  const char* end = type.value.data() + type.value.size();
  const auto [next, ec] = std::from_chars(type.value.data(), end, value);
  if (ec != std::errc() || next != end || type.value.empty())
    throw std::invalid_argument("Type mismatch: Type '" + type.value + "' is not a number");
  if (value < INT16_MIN || value > INT16_MAX)
    throw std::range_error("Overflow: Type '" + type.value + "'");
  return static_cast<int16_t>(value);
}

}  // namespace

std::optional<WalkOutcome> ArpWalker::ReadPhysicalRow(std::span<const snmp::VarBind> columns,
                                                      const std::string& after, size_t rows_before,
                                                      RowRead& row) const {
  if (columns.size() < 2)
    throw std::out_of_range("Subscript out of range: the response has " +
                            std::to_string(columns.size()) + " bindings, a row needs 2");
  const snmp::VarBind& phys_address = columns[0];
  const std::string key_column = table_->KeyColumn();
  if (phys_address.type() == 0 || !OidUnderColumn(phys_address.oid, key_column))
    return WalkOutcome::kEndOfTable;
  if (!OidComesAfter(phys_address.oid, after)) return WalkOutcome::kNotIncreasing;

  row.index = phys_address.oid.substr(key_column.size());
  PhysicalIndex decoded = DecodePhysicalIndex(row.index);
  row.kind = decoded.kind;
  if (decoded.kind != PhysicalIndex::Kind::kAddress) return std::nullopt;
  if (rows_before >= ArpRowBuffer::kCapacity) return WalkOutcome::kRowLimit;
  row.type = TypeOfRow(columns[1], table_->columns[1], row.index);
  row.if_index = decoded.if_index;
  row.ip_address = std::move(decoded.address);
  row.phys_address = phys_address.value;
  return std::nullopt;
}

}  // namespace vexa
