// Fuzz target for the reading of rows out of an agent's bindings. The input
// is text: the first line names the table and the request ("media",
// "physical" or "by-phys-address", then "bulk" or "next") and the index asked
// after; every further line is one binding, a syntax letter (i INTEGER,
// s OCTET STRING, a IpAddress, n NULL, x noSuchInstance, e endOfMibView), the
// OID, a blank and the value.
//
// Whatever the bindings, the reading must not read outside them and must
// make progress: rows in increasing order after the index asked after, no
// more rows kept than the room given, and a walk that goes on asks after
// an index past the one before, so no agent can hold it in one place.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "arp/row_readers.h"
#include "snmp/oid_text.h"

namespace {

uint8_t Syntax(char letter) {
  switch (letter) {
    case 'i':
      return vexa::snmp::syntax::kInteger;
    case 'a':
      return vexa::snmp::syntax::kIpAddress;
    case 'n':
      return vexa::snmp::syntax::kNull;
    case 'x':
      return vexa::snmp::syntax::kNoSuchInstance;
    case 'e':
      return vexa::snmp::syntax::kEndOfMibView;
    default:
      return vexa::snmp::syntax::kOctetString;
  }
}

bool After(std::string_view index, std::string_view after) {
  return after.empty() ? !index.empty() : vexa::snmp::OidComesAfter(index, after);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const size_t first_end = text.find('\n');
  const std::string_view first = text.substr(0, first_end);
  text = first_end == std::string_view::npos ? std::string_view() : text.substr(first_end + 1);

  const vexa::NeighbourTable& table = first.starts_with("physical") ? vexa::kIpNetToPhysicalTable
                                      : first.starts_with("by-phys-address")
                                          ? vexa::kIpNetToMediaByPhysAddress
                                          : vexa::kIpNetToMediaTable;
  const bool bulk = first.find(" bulk") != std::string_view::npos;
  const size_t blank = first.rfind(' ');
  const std::string after(blank == std::string_view::npos ? std::string_view()
                                                          : first.substr(blank + 1));
  if (!after.empty() && !vexa::snmp::OidUnderColumn("1.3" + after, "1.3")) return 0;

  std::vector<vexa::snmp::VarBind> bindings;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty()) continue;
    const size_t gap = line.find(' ');
    vexa::snmp::VarBind& b = bindings.emplace_back();
    b.syntax = Syntax(line[0]);
    b.oid = std::string(line.substr(1, gap == std::string_view::npos ? gap : gap - 1));
    if (gap != std::string_view::npos) b.value = std::string(line.substr(gap + 1));
  }

  constexpr size_t kRoom = 3;
  vexa::RowReader reader;
  const vexa::RowsRead read = bulk ? reader.ReadBulk(table, bindings, after, kRoom)
                                   : reader.ReadGetNext(table, bindings, after, kRoom);
  if (reader.rows().size() > bindings.size()) __builtin_trap();
  std::string_view previous = after;
  size_t kept = 0;
  for (const vexa::NeighbourRow& row : reader.rows()) {
    if (!After(row.index, previous)) __builtin_trap();
    previous = row.index;
    if (row.kind == vexa::NeighbourRow::Kind::kAddress && ++kept > kRoom) __builtin_trap();
  }
  // The next request asks after the last row read or past it, and past the
  // index asked after this time.
  if (read.end == vexa::RowsEnd::kMore &&
      (!After(read.next_after, after) ||
       (read.next_after != previous && !After(read.next_after, previous))))
    __builtin_trap();
  if (read.end == vexa::RowsEnd::kBadValue && read.failure.empty()) __builtin_trap();
  return 0;
}
