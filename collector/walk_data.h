// The data of the one ARP-table walk that may be in progress: the walk
// record, the agent, the requested columns and row, and the row buffer. It
// exists once per process and is allocated once; nothing grows per walk.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace vexa {

// ipNetToMediaTable columns, in the order the walk requests them: the net
// address comes before the physical address.
inline constexpr const char* kColumnIfIndex = "1.3.6.1.2.1.4.22.1.1";
inline constexpr const char* kColumnNetAddress = "1.3.6.1.2.1.4.22.1.3";
inline constexpr const char* kColumnPhysAddress = "1.3.6.1.2.1.4.22.1.2";
inline constexpr const char* kColumnType = "1.3.6.1.2.1.4.22.1.4";
inline constexpr const char* kRequestGetArpTable = "GetArpTable";
inline constexpr int16_t kArpTypeDynamic = 3;

// Bookkeeping of the walk in progress. Deadlines are whole seconds of the
// steady clock.
struct SnmpMessRecord {
  std::string RequestName;
  int32_t RequestId = 0;  // last request sent; never reset, wraps to 1
  bool Busy = false;      // true while a walk runs
  int64_t WalkDeadline = 0;
  int64_t ReplyDeadline = 0;
  int16_t RetryCount = 0;  // re-sends made in this walk
  bool ResendDue = false;  // the reply-watch timer asks for a re-send
  int16_t tmpRow = 0;      // rows stored in this walk
};

// Request identifiers run from 1 to 2147483647 and then start again at 1,
// so a collector that runs for months never runs out of them.
inline int32_t NextRequestId(int32_t id) {
  return id <= 0 || id == INT32_MAX ? 1 : id + 1;
}

// Whether a reply carrying `reply_id` answers a request sent before the one
// carrying `current` (a copy since sent again, or a duplicate). The order is
// that of the circle of identifiers: up to half of it behind `current` is
// earlier, so the test holds across the wrap. Identifiers never sent (zero,
// negative) are stale too.
inline bool IsEarlierRequestId(int32_t reply_id, int32_t current) {
  if (reply_id <= 0) return true;
  constexpr int64_t kIds = INT32_MAX;  // 1 .. 2147483647
  const int64_t behind = ((int64_t{current} - reply_id) % kIds + kIds) % kIds;
  return behind > 0 && behind < kIds / 2;
}

struct ArpRow {
  std::string IpAddress;
  std::string MacAddress;
  int32_t IfIndex = 0;
  int16_t Type = 0;
};

// Fixed buffer of rows, positions 1 to kCapacity.
class ArpRowBuffer {
 public:
  static constexpr int kCapacity = 20000;
  ArpRowBuffer() : rows_(std::make_unique<ArpRow[]>(kCapacity)) {}
  ArpRow& operator[](int position) {
    if (position < 1 || position > kCapacity)
      throw std::out_of_range("Subscript out of range: row " + std::to_string(position));
    return rows_[static_cast<size_t>(position - 1)];
  }

 private:
  std::unique_ptr<ArpRow[]> rows_;
};

struct WalkData {
  SnmpMessRecord SnmpMess;
  std::string CurrentRouter;
  std::array<std::string, 14> ColumnOids;  // positions 1 to 14 as indexes 0 to 13
  std::string RowIndex;                    // ".ifIndex.a.b.c.d" of the last row
  ArpRowBuffer ArpRows;
};

}  // namespace vexa
