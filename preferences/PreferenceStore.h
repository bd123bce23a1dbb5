// Named preference profiles, the current profile's name and the last baud rate, kept in the
// hive below Software\Orvane\Orvane Port Linewright\Preferences. Nothing is cached:
// every call opens the key, does its work and closes it again. No Qt.
#pragma once

#include <cstddef>
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
  // End-of-reply tokens in binary text notation; the store keeps the first kMaxTokens.
  std::vector<std::u16string> tokens;
};

// How |profile| frames a command: its prefix and suffix, its timeout in milliseconds
// (clamped to the 32-bit range) and its tokens (none: the default tokens).
Framing ProfileFraming(const PreferenceProfile& profile);

// The preference store over one hive. It holds only a reference to the hive, so it is
// cheap to make wherever it is needed; the hive must outlive it.
class PreferenceStore {
 public:
  static constexpr uint32_t kDefaultBaudRate = 115200;
  // Profile names are enumerated with room for 260 characters, terminator included.
  static constexpr int kMaxNameChars = 259;

  explicit PreferenceStore(reg::Hive& hive) : hive_(hive) {}

  // Number of profiles that can be listed (0 when the Preferences key cannot be opened).
  int CountProfiles() const;

  // Up to |capacity| profile names from the first on, in the hive's order. A name too long
  // for the list (only an outside edit makes one) is skipped.
  std::vector<std::u16string> ListProfileNames(size_t capacity = SIZE_MAX) const;

  // True when every value was read. A name with no profile loads nothing, creates
  // nothing and leaves |profile| untouched; on a failed read the fields read so far stay.
  bool LoadProfile(std::u16string_view name, PreferenceProfile* profile) const;
  // The same; when it fails, |problem| says why in words for a message ("it has no
  // Suffix value", "its TokenCount is 3, but token 2 is missing"), or is empty when there
  // is no profile of that name.
  bool LoadProfile(std::u16string_view name, PreferenceProfile* profile, std::string* problem) const;

  // Writes the profile's values over whatever its key holds (all or nothing).
  bool SaveProfile(const PreferenceProfile& profile);

  // Deletes the existing profile of that name and writes this one afresh, in one step:
  // false when there was no such profile or the write failed, and then the old profile is
  // still whole.
  bool ReplaceProfile(const PreferenceProfile& profile);

  // True when the profile's key existed and was deleted.
  bool DeleteProfile(std::u16string_view name);

  // The Current value, or the empty text.
  std::u16string LoadCurrentProfileName() const;
  bool SaveCurrentProfileName(std::u16string_view name);

  // The Baud value, or 115200 when it cannot be read.
  uint32_t LoadBaudRate() const;
  bool SaveBaudRate(uint32_t rate);

 private:
  reg::Hive& hive_;
};

}  // namespace orvane
