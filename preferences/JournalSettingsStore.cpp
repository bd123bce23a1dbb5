#include "preferences/JournalSettingsStore.h"

#include "platform/Registry.h"

namespace orvane {
namespace {

constexpr char16_t kJournalPath[] = u"Software\\Orvane\\Orvane Port Linewright\\Journal";

}  // namespace

JournalSettings JournalSettingsStore::Load() const {
  JournalSettings settings;
  reg::ScopedKey key(hive_, reg::kLocalMachine, kJournalPath, /*create=*/false);
  if (!key.ok()) return settings;
  uint32_t value = 0;
  if (hive_.QueryDword(key.get(), u"Enabled", &value) == reg::kSuccess) settings.enabled = value != 0;
  if (hive_.QueryDword(key.get(), u"CapMiB", &value) == reg::kSuccess && value != 0)
    settings.capBytes = uint64_t{value} << 20;
  return settings;
}

bool JournalSettingsStore::SaveEnabled(bool enabled) {
  reg::ScopedKey key(hive_, reg::kLocalMachine, kJournalPath);
  return key.ok() && hive_.SetDword(key.get(), u"Enabled", enabled ? 1 : 0) == reg::kSuccess;
}

}  // namespace orvane
