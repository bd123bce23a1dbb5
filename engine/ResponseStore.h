// The rows of a session since the last clear, one slot per row in order. Room for 1000
// is made up front; the store grows past that instead of refusing, so nothing a user
// received is dropped. No Qt.
#pragma once

#include <span>
#include <vector>

#include "engine/Row.h"

namespace orvane {

class ResponseStore {
 public:
  static constexpr int kInitialSlots = 1000;

  ResponseStore() { rows_.reserve(kInitialSlots); }

  // Stores |row| in the next slot and returns its number.
  int Add(Row row) {
    rows_.push_back(std::move(row));
    return static_cast<int>(rows_.size()) - 1;
  }
  int Count() const { return static_cast<int>(rows_.size()); }
  bool Has(int slot) const { return slot >= 0 && slot < Count(); }
  // The row in |slot|; an empty row for a slot that is not in use.
  const Row& At(int slot) const {
    static const Row kEmpty;
    return Has(slot) ? rows_[static_cast<size_t>(slot)] : kEmpty;
  }
  // Every row, oldest first.
  std::span<const Row> Rows() const { return rows_; }
  // The reply bytes of |slot| (empty for a slot that is not in use).
  const Bytes& Slot(int slot) const { return At(slot).reply; }
  // Releases every row; the count goes back to 0.
  void Clear() {
    rows_.clear();
    rows_.shrink_to_fit();
    rows_.reserve(kInitialSlots);
  }

 private:
  std::vector<Row> rows_;
};

}  // namespace orvane
