// One row of a router's ARP table as a walk delivers it, and the buffer that
// holds the rows of one walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexa {

// ipNetToMediaType: 1 other, 2 invalid, 3 dynamic, 4 static; ipNetToPhysicalType
// has the same codes and 5 local.
inline constexpr int16_t kArpTypeDynamic = 3;

struct ArpRow {
  std::string ip_address;   // dotted decimal, or IPv6 text in canonical form
  std::string mac_address;  // "00 1a 2b 3c 4d 5e"
  int32_t if_index = 0;
  int16_t type = 0;
};

// The rows of one walk, at most kCapacity. Its storage is reserved once and
// its rows are reused from walk to walk (their texts keep their capacity),
// so a collector that walks 25 routers every few minutes for months does
// not grow it.
class ArpRowBuffer {
 public:
  static constexpr size_t kCapacity = 20000;

  ArpRowBuffer() { rows_.reserve(kCapacity); }

  void Clear() { count_ = 0; }
  size_t size() const { return count_; }
  bool full() const { return count_ == kCapacity; }
  // The next row, to be filled in whole; it may hold an earlier walk's values.
  ArpRow& Append() {
    if (full())
      throw std::length_error("the row buffer holds " + std::to_string(kCapacity) + " rows");
    if (count_ == rows_.size()) rows_.emplace_back();
    return rows_[count_++];
  }
  std::span<const ArpRow> view() const { return {rows_.data(), count_}; }

 private:
  std::vector<ArpRow> rows_;
  size_t count_ = 0;
};

}  // namespace vexa
