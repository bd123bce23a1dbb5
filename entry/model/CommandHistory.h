// The last 20 distinct commands sent, most recent first, kept in the hive below
// Software\Orvane\Orvane Port Linewright\History as values "1" (newest) to "20". Nothing is
// cached: every call goes to the hive. No Qt.
#pragma once

#include <string>
#include <string_view>

namespace orvane {

namespace reg {
class Hive;
}

// The command history over one hive. It holds only a reference to the hive, so it is
// cheap to make wherever it is needed; the hive must outlive it.
class CommandHistory {
 public:
  static constexpr int kMaxEntries = 20;

  explicit CommandHistory(reg::Hive& hive) : hive_(hive) {}

  // Fills entries[0 ..] (room for kMaxEntries) and returns how many were read: the
  // unbroken run of values from "1" upward. Entries of any length read back exactly.
  int LoadHistory(std::u16string* entries) const;

  // Replaces the stored list by the first |count| entries (at most 20) in one step: when
  // it fails, the old list is still whole.
  bool SaveHistory(const std::u16string* entries, int count);

  // Puts |command| in front (moving an equal entry from further back, or pushing the
  // oldest out once 20 are stored) and saves; the read and the write are one step, so two
  // programs adding at once lose nothing.
  bool AddToHistory(std::u16string_view command);

 private:
  reg::Hive& hive_;
};

}  // namespace orvane
