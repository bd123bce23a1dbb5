// Named preference profiles, the current profile's name and the last baud rate, kept in the
// handheld's hive below Software\Orvane\Orvane Port Linewright\Preferences. Nothing is
// cached: every call opens the hive, does its work and closes it again. No Qt.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Exchange.h"

namespace orvane {

namespace reg {
class Hive;
}

struct PreferenceProfile {
  static constexpr int kMaxTokens = 20;

  std::u16string name;
  std::u16string prefix;  // binary text notation
  std::u16string suffix;  // binary text notation
  int32_t timeout = 0;    // seconds of silence that end a reply
  int32_t tokenCount = 0; // slots 0 .. tokenCount-1 of tokens are in use (0 to 20)
  std::array<std::u16string, kMaxTokens> tokens;
};

// How |profile| frames a command: its prefix and suffix, its timeout in milliseconds
// (clamped to the 32-bit range) and its tokens (none: the default tokens).
Framing ProfileFraming(const PreferenceProfile& profile);

class PreferenceStore {
 public:
  static constexpr uint32_t kDefaultBaudRate = 115200;
  // Profile names are enumerated with room for 260 characters, terminator included.
  static constexpr int kMaxNameChars = 259;

  // Every operation has two forms: one on the handheld hive (Hive::Handheld()) and one
  // on a hive the caller names.

  // Number of profiles (0 when the Preferences key cannot be opened).
  static int CountProfiles();
  static int CountProfiles(reg::Hive& hive);

  // Writes up to |capacity| names from index 0 on, in the hive's order; returns how many.
  static int ListProfileNames(std::u16string* names, int capacity);
  static int ListProfileNames(reg::Hive& hive, std::u16string* names, int capacity);
  static std::vector<std::u16string> ListProfileNames();
  static std::vector<std::u16string> ListProfileNames(reg::Hive& hive);

  // True when every value was read. A name with no profile loads nothing, creates
  // nothing and leaves |profile| untouched; on a failed read the fields read so far stay.
  static bool LoadProfile(std::u16string_view name, PreferenceProfile* profile);
  static bool LoadProfile(reg::Hive& hive, std::u16string_view name, PreferenceProfile* profile);

  // Writes the profile's values over whatever its key holds (all or nothing).
  static bool SaveProfile(const PreferenceProfile& profile);
  static bool SaveProfile(reg::Hive& hive, const PreferenceProfile& profile);

  // Deletes the existing profile of that name and writes this one afresh, in one step:
  // false when there was no such profile or the write failed, and then the old profile is
  // still whole.
  static bool ReplaceProfile(const PreferenceProfile& profile);
  static bool ReplaceProfile(reg::Hive& hive, const PreferenceProfile& profile);

  // True when the profile's key existed and was deleted.
  static bool DeleteProfile(std::u16string_view name);
  static bool DeleteProfile(reg::Hive& hive, std::u16string_view name);

  // The Current value, or the empty text.
  static std::u16string LoadCurrentProfileName();
  static std::u16string LoadCurrentProfileName(reg::Hive& hive);
  static bool SaveCurrentProfileName(std::u16string_view name);
  static bool SaveCurrentProfileName(reg::Hive& hive, std::u16string_view name);

  // The Baud value, or 115200 when it cannot be read.
  static uint32_t LoadBaudRate();
  static uint32_t LoadBaudRate(reg::Hive& hive);
  static bool SaveBaudRate(uint32_t rate);
  static bool SaveBaudRate(reg::Hive& hive, uint32_t rate);
};

}  // namespace orvane
