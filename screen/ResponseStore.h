// The bytes of every exchange since the last clear, one slot per exchange in order.
// Room for 1000 is made up front; the store grows past that instead of refusing, so
// nothing a user received is dropped. No Qt.
#pragma once

#include <vector>

#include "engine/BinaryTextCodec.h"

namespace orvane {

class ResponseStore {
 public:
  static constexpr int kInitialSlots = 1000;

  ResponseStore() { slots_.reserve(kInitialSlots); }

  // Stores |bytes| in the next slot and returns its number.
  int Add(Bytes bytes) {
    slots_.push_back(std::move(bytes));
    return static_cast<int>(slots_.size()) - 1;
  }
  int Count() const { return static_cast<int>(slots_.size()); }
  bool Has(int slot) const { return slot >= 0 && slot < Count(); }
  // The bytes of |slot|; an empty buffer for a slot that is not in use.
  const Bytes& Slot(int slot) const {
    static const Bytes kEmpty;
    return Has(slot) ? slots_[static_cast<size_t>(slot)] : kEmpty;
  }
  // Releases every slot's bytes; the count goes back to 0.
  void Clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    slots_.reserve(kInitialSlots);
  }

 private:
  std::vector<Bytes> slots_;
};

}  // namespace orvane
