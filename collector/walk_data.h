// The data of the one ARP-table walk that may be in progress: the walk
// record, the agent, the requested columns and row, and the row buffer. It
// exists once per process and is allocated once; nothing grows per walk.
#pragma once

#include <array>
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
  int32_t RequestId = 0;  // last request sent; never reset, never wraps
  bool Busy = false;      // true while a walk runs
  int64_t WalkDeadline = 0;
  int64_t ReplyDeadline = 0;
  int16_t RetryCount = 0;  // re-sends made in this walk
  bool ResendDue = false;  // the reply-watch timer asks for a re-send
  int16_t tmpRow = 0;      // rows stored in this walk
};

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
