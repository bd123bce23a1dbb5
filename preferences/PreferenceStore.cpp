#include "preferences/PreferenceStore.h"

#include <algorithm>
#include <string>

#include "platform/Registry.h"

namespace orvane {

namespace {

// How many of the profile's tokens are kept: the first 20 at most.
std::ptrdiff_t KeptTokens(const PreferenceProfile& profile) {
  return static_cast<std::ptrdiff_t>(std::min<size_t>(profile.tokens.size(), PreferenceProfile::kMaxTokens));
}

}  // namespace

Framing ProfileFraming(const PreferenceProfile& profile) {
  Framing framing;
  framing.prefix = profile.prefix;
  framing.suffix = profile.suffix;
  framing.timeoutMs = TimeoutMsFromSeconds(profile.timeout);
  framing.tokens.assign(profile.tokens.begin(), profile.tokens.begin() + KeptTokens(profile));
  return framing;
}

namespace {

using reg::Hive;
using reg::kLocalMachine;
using reg::kSuccess;
using reg::ScopedKey;

constexpr std::u16string_view kPreferencesPath = u"Software\\Orvane\\Orvane Port Linewright\\Preferences";
constexpr uint32_t kNameRoom = 260;  // characters, terminator included

std::u16string ProfilePath(std::u16string_view name) {
  std::u16string path(kPreferencesPath);
  path += u'\\';
  path += name;
  return path;
}

std::u16string Number(int n) {
  std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

// A number value read with room for 4 bytes; no type check.
bool ReadInt(Hive& hive, reg::Key key, std::u16string_view name, int32_t* out) {
  uint32_t value = 0;
  if (hive.QueryDword(key, name, &value) != kSuccess) return false;
  *out = static_cast<int32_t>(value);
  return true;
}

// Text values are read back whole, whatever their length.
bool ReadText(Hive& hive, reg::Key key, std::u16string_view name, std::u16string* out) {
  return hive.QueryString(key, name, out) == kSuccess;
}

bool ValidName(std::u16string_view name) {
  return !name.empty() && name.size() <= static_cast<size_t>(PreferenceStore::kMaxNameChars);
}

int ClampTokens(int32_t count) { return std::clamp<int32_t>(count, 0, PreferenceProfile::kMaxTokens); }

// Value names are ASCII.
std::string Ascii(std::u16string_view name) { return std::string(name.begin(), name.end()); }

std::string TypeName(uint32_t type) {
  switch (type) {
    case reg::kTypeString: return "REG_SZ";
    case reg::kTypeBinary: return "REG_BINARY";
    case reg::kTypeDword: return "REG_DWORD";
    default: return "type " + std::to_string(type);
  }
}

// Why value |name| of |key| could not be read as text or (|number|) as a 4-byte number.
std::string DescribeFailedRead(Hive& hive, reg::Key key, std::u16string_view name, bool number) {
  uint32_t type = 0, size = 0;
  const reg::Status s = hive.QueryValue(key, name, &type, nullptr, &size);
  if (s == reg::kFileNotFound) return "it has no " + Ascii(name) + " value";
  if (s != kSuccess) return "its " + Ascii(name) + " value cannot be read";
  if (number && type != reg::kTypeDword) return "its " + Ascii(name) + " is a " + TypeName(type) + " value, not a REG_DWORD";
  if (number) return "its " + Ascii(name) + " is a REG_DWORD value of " + std::to_string(size) + " bytes, not 4";
  return "its " + Ascii(name) + " value cannot be read";
}

// Writes the profile into |key|; the caller holds the transaction.
bool WriteValues(Hive& hive, reg::Key key, const PreferenceProfile& profile) {
  const int count = static_cast<int>(KeptTokens(profile));
  if (hive.SetString(key, u"Prefix", profile.prefix) != kSuccess) return false;
  if (hive.SetString(key, u"Suffix", profile.suffix) != kSuccess) return false;
  if (hive.SetDword(key, u"Timeout", static_cast<uint32_t>(profile.timeout)) != kSuccess) return false;
  if (hive.SetDword(key, u"TokenCount", static_cast<uint32_t>(count)) != kSuccess) return false;
  for (int n = 1; n <= count; ++n)
    if (hive.SetString(key, Number(n), profile.tokens[n - 1]) != kSuccess) return false;
  return true;
}

}  // namespace

// Calls |take| with each profile name in the hive's order until it returns false. A name
// too long for the list's room cannot be returned: it is skipped and the walk goes on.
template <class Take>
void ForEachProfileName(Hive& hive, Take take) {
  ScopedKey prefs(hive, kLocalMachine, kPreferencesPath);
  if (!prefs.ok()) return;
  hive.ForEachSubkey(prefs.get(), [&](std::u16string_view name) { return name.size() + 1 > kNameRoom || take(name); });
}

int PreferenceStore::CountProfiles() const {
  int count = 0;
  ForEachProfileName(hive_, [&](std::u16string_view) { return ++count, true; });
  return count;
}

std::vector<std::u16string> PreferenceStore::ListProfileNames(size_t capacity) const {
  std::vector<std::u16string> names;
  if (capacity == 0) return names;
  ForEachProfileName(hive_, [&](std::u16string_view name) {
    names.emplace_back(name);
    return names.size() < capacity;
  });
  return names;
}

bool PreferenceStore::LoadProfile(std::u16string_view name, PreferenceProfile* profile) const {
  return LoadProfile(name, profile, nullptr);
}

bool PreferenceStore::LoadProfile(std::u16string_view name, PreferenceProfile* profile,
                                  std::string* problem) const {
  if (problem) problem->clear();
  if (!profile || name.empty()) return false;
  // Open only: loading a profile that is not there must not bring an empty one into being.
  ScopedKey key(hive_, kLocalMachine, ProfilePath(name), /*create=*/false);
  if (!key.ok()) {
    if (problem && key.status() != reg::kFileNotFound) *problem = "the hive cannot be read";
    return false;
  }
  auto failed = [&](std::u16string_view value, bool number) {
    if (problem) *problem = DescribeFailedRead(hive_, key.get(), value, number);
    return false;
  };
  profile->name.assign(name);
  if (!ReadText(hive_, key.get(), u"Prefix", &profile->prefix)) return failed(u"Prefix", false);
  if (!ReadText(hive_, key.get(), u"Suffix", &profile->suffix)) return failed(u"Suffix", false);
  if (!ReadInt(hive_, key.get(), u"Timeout", &profile->timeout)) return failed(u"Timeout", true);
  int32_t stored = 0;
  if (!ReadInt(hive_, key.get(), u"TokenCount", &stored)) return failed(u"TokenCount", true);
  // Only an outside edit can store more than 20 or a negative count: take what fits.
  const int count = ClampTokens(stored);
  profile->tokens.clear();
  for (int n = 1; n <= count; ++n) {
    std::u16string token;
    if (ReadText(hive_, key.get(), Number(n), &token)) {
      profile->tokens.push_back(std::move(token));
      continue;
    }
    if (problem) {
      *problem = hive_.QueryValue(key.get(), Number(n), nullptr, nullptr, nullptr) == reg::kFileNotFound
                     ? "its TokenCount is " + std::to_string(stored) + ", but token " + std::to_string(n) +
                           " is missing"
                     : DescribeFailedRead(hive_, key.get(), Number(n), false);
    }
    return false;
  }
  return true;
}

bool PreferenceStore::SaveProfile(const PreferenceProfile& profile) {
  if (!ValidName(profile.name)) return false;
  Hive::Transaction tx(hive_);
  if (!tx.Active()) return false;
  ScopedKey key(hive_, kLocalMachine, ProfilePath(profile.name));
  if (!key.ok() || !WriteValues(hive_, key.get(), profile)) return false;
  return tx.Commit() == kSuccess;
}

bool PreferenceStore::ReplaceProfile(const PreferenceProfile& profile) {
  if (!ValidName(profile.name)) return false;
  Hive::Transaction tx(hive_);
  if (!tx.Active()) return false;
  if (!DeleteProfile(profile.name)) return false;
  if (!SaveProfile(profile)) return false;
  return tx.Commit() == kSuccess;
}

bool PreferenceStore::DeleteProfile(std::u16string_view name) {
  if (name.empty()) return false;
  ScopedKey prefs(hive_, kLocalMachine, kPreferencesPath);
  if (!prefs.ok()) return false;
  return hive_.DeleteKey(prefs.get(), name) == kSuccess;
}

std::u16string PreferenceStore::LoadCurrentProfileName() const {
  ScopedKey prefs(hive_, kLocalMachine, kPreferencesPath);
  std::u16string name;
  if (!prefs.ok() || !ReadText(hive_, prefs.get(), u"Current", &name)) return {};
  return name;
}

bool PreferenceStore::SaveCurrentProfileName(std::u16string_view name) {
  ScopedKey prefs(hive_, kLocalMachine, kPreferencesPath);
  return prefs.ok() && hive_.SetString(prefs.get(), u"Current", name) == kSuccess;
}

uint32_t PreferenceStore::LoadBaudRate() const {
  ScopedKey prefs(hive_, kLocalMachine, kPreferencesPath);
  uint32_t rate = 0;
  if (!prefs.ok() || hive_.QueryDword(prefs.get(), u"Baud", &rate) != kSuccess) return kDefaultBaudRate;
  return rate;
}

bool PreferenceStore::SaveBaudRate(uint32_t rate) {
  ScopedKey prefs(hive_, kLocalMachine, kPreferencesPath);
  return prefs.ok() && hive_.SetDword(prefs.get(), u"Baud", rate) == kSuccess;
}

}  // namespace orvane
