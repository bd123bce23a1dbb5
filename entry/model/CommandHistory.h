// The last 20 distinct commands sent, most recent first, kept in the hive below
// Software\Orvane\Orvane Port Linewright\History as values "1" (newest) to "20". Nothing is
// cached: every call goes to the hive. No Qt.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

namespace reg {
class Hive;
}

// The command history over one hive. It holds only a reference to the hive, so it is
// cheap to make wherever it is needed; the hive must outlive it.
class CommandHistory {
 public:
  static constexpr size_t kMaxEntries = 20;

  explicit CommandHistory(reg::Hive& hive) : hive_(hive) {}

  // The stored entries, newest first: the unbroken run of values from "1" upward, at most
  // kMaxEntries. Entries of any length read back exactly.
  std::vector<std::u16string> LoadHistory() const;

  // Replaces the stored list by the first kMaxEntries of |entries| in one step: when it
  // fails, the old list is still whole.
  bool SaveHistory(std::span<const std::u16string> entries);

  // Puts |command| in front (moving an equal entry from further back, or pushing the
  // oldest out once 20 are stored) and saves; the read and the write are one step, so two
  // programs adding at once lose nothing.
  bool AddToHistory(std::u16string_view command);

 private:
  reg::Hive& hive_;
};

}  // namespace orvane
