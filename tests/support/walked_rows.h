// The rows of a walk as the tests compare and print them.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "arp/walk.h"

namespace vexa::test {

struct WalkedRow {
  int32_t if_index = 0;
  std::string ip, mac;
  int16_t type = 0;
  friend bool operator==(const WalkedRow&, const WalkedRow&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const WalkedRow& r) {
  return out << r.if_index << " " << r.ip << " " << r.mac << " " << r.type;
}

inline std::vector<WalkedRow> RowsOf(const WalkResult& result) {
  std::vector<WalkedRow> rows;
  for (const ArpRow& r : result.rows)
    rows.push_back({r.if_index, r.ip_address, r.mac_address, r.type});
  return rows;
}

}  // namespace vexa::test
