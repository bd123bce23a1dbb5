// The bytes of every exchange since the last clear, one slot per exchange in order.
// Room for 1000 is made up front; the store grows past that instead of refusing, so
// nothing a user received is dropped. No Qt.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/BinaryTextCodec.h"

namespace orvane {

// When a row's exchange happened and how it ended.
struct RowTime {
  int64_t sentAtMs = 0;      // wall clock at the send, ms since 1970 (unsolicited: the
                             // first byte); 0: not known
  int64_t firstByteMs = -1;  // ms from the send to the first reply byte; -1: none
  uint32_t elapsedMs = 0;    // ms from the send (unsolicited: the first byte) to the end
  const char* end = "";      // "token", "silence", "hangup", "stopped", "limit", "write
                             // failed"; for unsolicited data "silence", "command",
                             // "closed", "hangup", "limit"; "" not known
  bool unsolicited = false;  // data the device sent with no command in flight
};

class ResponseStore {
 public:
  static constexpr int kInitialSlots = 1000;

  ResponseStore() { slots_.reserve(kInitialSlots); }

  // Stores |bytes| and their |time| in the next slot and returns its number.
  int Add(Bytes bytes, RowTime time = {}) {
    slots_.push_back(std::move(bytes));
    times_.push_back(time);
    return static_cast<int>(slots_.size()) - 1;
  }
  int Count() const { return static_cast<int>(slots_.size()); }
  bool Has(int slot) const { return slot >= 0 && slot < Count(); }
  // The bytes of |slot|; an empty buffer for a slot that is not in use.
  const Bytes& Slot(int slot) const {
    static const Bytes kEmpty;
    return Has(slot) ? slots_[static_cast<size_t>(slot)] : kEmpty;
  }
  // The time of |slot|; an unknown time for a slot that is not in use.
  const RowTime& Time(int slot) const {
    static const RowTime kUnknown;
    return Has(slot) ? times_[static_cast<size_t>(slot)] : kUnknown;
  }
  // Releases every slot's bytes; the count goes back to 0.
  void Clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    slots_.reserve(kInitialSlots);
    times_.clear();
    times_.shrink_to_fit();
  }

 private:
  std::vector<Bytes> slots_;
  std::vector<RowTime> times_;
};

}  // namespace orvane
