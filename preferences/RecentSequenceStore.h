// The sequence files run last from the window, newest first, kept in the hive below
// Software\Orvane\Orvane Port Linewright\Sequences (File1, File2, ...). No Qt.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

namespace reg {
class Hive;
}

class RecentSequenceStore {
 public:
  static constexpr size_t kMaxFiles = 4;

  explicit RecentSequenceStore(reg::Hive& hive) : hive_(hive) {}

  // The files, newest first (none when nothing was kept or the hive cannot be read).
  std::vector<std::u16string> Load() const;
  // Puts |path| first (once); the oldest beyond kMaxFiles drops. False when the hive
  // cannot be written.
  bool Add(std::u16string_view path);

 private:
  reg::Hive& hive_;
};

}  // namespace orvane
