// The session journal's settings, kept in the hive below
// Software\Orvane\Orvane Port Linewright\Journal: Enabled (1 or 0; on when not stored) and
// CapMiB (the journal folder's cap in MiB; 1024 when not stored or 0). No Qt.
#pragma once

#include <cstdint>

namespace orvane {

namespace reg {
class Hive;
}

struct JournalSettings {
  bool enabled = true;
  uint64_t capBytes = uint64_t{1} << 30;
};

class JournalSettingsStore {
 public:
  explicit JournalSettingsStore(reg::Hive& hive) : hive_(hive) {}

  JournalSettings Load() const;
  // False when the hive cannot be written.
  bool SaveEnabled(bool enabled);

 private:
  reg::Hive& hive_;
};

}  // namespace orvane
