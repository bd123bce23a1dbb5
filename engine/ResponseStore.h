// The rows of a session since the last clear, one slot per row in order. Room for 1000
// is made up front; the store grows past that instead of refusing.
//
// The reply bytes it holds are bounded (256 MiB unless set otherwise): when a new row
// takes the store past the bound, the bytes of the oldest rows that still have theirs are
// dropped until it fits again. Such a row stays in its slot with its length and times;
// only its bytes are gone, and Dropped() tells how many. A flood of data therefore cannot
// grow the store without bound. No Qt.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "engine/Row.h"

namespace orvane {

class ResponseStore {
 public:
  static constexpr int kInitialSlots = 1000;
  static constexpr size_t kDefaultMaxReplyBytes = size_t{256} << 20;

  ResponseStore() { rows_.reserve(kInitialSlots); }

  // Stores |row| in the next slot and returns its number. Older rows' bytes may be
  // dropped to keep within the bound (this row's own too, when it alone exceeds it).
  int Add(Row row) {
    held_ += row.reply.size();
    rows_.push_back(std::move(row));
    DropOldest();
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
  // The reply bytes of |slot| (empty for a slot that is not in use or whose bytes were
  // dropped).
  const Bytes& Slot(int slot) const { return At(slot).reply; }

  // The bound on the reply bytes held. A lower bound takes effect at once.
  size_t MaxReplyBytes() const { return max_; }
  void SetMaxReplyBytes(size_t bytes) {
    max_ = bytes;
    DropOldest();
  }
  // Reply bytes held now; bytes dropped since the last clear.
  size_t ReplyBytes() const { return held_; }
  size_t DroppedBytes() const { return droppedTotal_; }
  // True when |slot|'s bytes were dropped; |bytes| then tells how many there were.
  bool Dropped(int slot, size_t* bytes = nullptr) const {
    if (slot < 0 || static_cast<size_t>(slot) >= dropped_.size()) return false;
    const size_t size = dropped_[static_cast<size_t>(slot)];
    if (bytes) *bytes = size;
    return size != 0;
  }

  // Releases every row; the count goes back to 0 (the bound stays).
  void Clear() {
    rows_.clear();
    rows_.shrink_to_fit();
    rows_.reserve(kInitialSlots);
    dropped_.clear();
    dropped_.shrink_to_fit();
    held_ = droppedTotal_ = 0;
  }

 private:
  // Rows before dropped_.size() have lost their bytes; the rest keep them.
  void DropOldest() {
    while (held_ > max_ && dropped_.size() < rows_.size()) {
      Bytes& reply = rows_[dropped_.size()].reply;
      const size_t size = reply.size();
      Bytes().swap(reply);  // gives the memory back, not only the length
      held_ -= size;
      droppedTotal_ += size;
      dropped_.push_back(size);
    }
  }

  std::vector<Row> rows_;
  std::vector<size_t> dropped_;  // bytes dropped from each of the oldest rows
  size_t max_ = kDefaultMaxReplyBytes;
  size_t held_ = 0;
  size_t droppedTotal_ = 0;
};

}  // namespace orvane
