// The last 20 distinct commands sent, most recent first, kept in the handheld's hive below
// Software\Orvane\Orvane Port Linewright\History as values "1" (newest) to "20". Nothing is
// cached: every call goes to the hive. No Qt.
#pragma once

#include <string>
#include <string_view>

namespace orvane {

namespace reg {
class Hive;
}

class CommandHistory {
 public:
  static constexpr int kMaxEntries = 20;

  // Fills entries[0 ..] (room for kMaxEntries) and returns how many were read: the
  // unbroken run of values from "1" upward. Entries of any length read back exactly.
  static int LoadHistory(std::u16string* entries);
  static int LoadHistory(reg::Hive& hive, std::u16string* entries);

  // Replaces the stored list by the first |count| entries (at most 20) in one step: when
  // it fails, the old list is still whole.
  static bool SaveHistory(const std::u16string* entries, int count);
  static bool SaveHistory(reg::Hive& hive, const std::u16string* entries, int count);

  // Puts |command| in front (moving an equal entry from further back, or pushing the
  // oldest out once 20 are stored) and saves; the read and the write are one step, so two
  // programs adding at once lose nothing.
  static bool AddToHistory(std::u16string_view command);
  static bool AddToHistory(reg::Hive& hive, std::u16string_view command);
};

}  // namespace orvane
