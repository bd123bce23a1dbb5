// The hive in the classic .reg text form ("Windows Registry Editor Version 5.00"), UTF-8,
// and values printed the way `reg query` prints them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace orvane::regtool {

constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";

// "HKLM\A\B", "HKEY_LOCAL_MACHINE\A\B" (any letter case for the root) or "A\B" -> "A\B"
// relative to the root. False for another root.
bool ParseKeyPath(std::string_view text, std::u16string* path);
// "A\B" -> "HKEY_LOCAL_MACHINE\A\B".
std::string FullKeyName(std::u16string_view path);

std::string TypeName(uint32_t type);
bool ParseTypeName(std::string_view name, uint32_t* type);
// The data as `reg query` shows it.
std::string FormatData(uint32_t type, const std::string& data);

// The handheld's registry refuses a longer key name or a deeper key; the hive stores
// whatever it is given, so what is typed or imported is held to these here.
constexpr size_t kMaxKeyNameChars = 255;
constexpr size_t kMaxKeyDepth = 512;  // levels below HKEY_LOCAL_MACHINE

// True when |path| (relative to the root) keeps to the limits above; otherwise false
// with |error| saying which limit it breaks.
bool WithinKeyLimits(std::u16string_view path, std::string* error);

// A subkey name that opening by path reaches: not empty, no backslash. Only a damaged
// hive holds others; opening one would reach its parent or another key.
bool Addressable(std::u16string_view name);

// Says that a subkey that is not Addressable was skipped, naming its parent.
std::string SkippedKeyNote(std::u16string_view parentPath, std::u16string_view name);

// Visits |key| (named |path|) and every key below it, parents before children, in the
// hive's order, with one open key per level instead of a call per level. A subkey that
// is not Addressable is not entered: |skipped| gets its parent's path and its name.
// |visit| returns false to stop the walk. kSuccess, or the status that ended the walk.
using KeyVisitor = std::function<bool(reg::Key key, const std::u16string& path)>;
using SkipReporter = std::function<void(const std::u16string& parentPath, const std::u16string& name)>;
reg::Status WalkTree(reg::Hive& hive, reg::Key key, std::u16string path, const KeyVisitor& visit,
                     const SkipReporter& skipped);

// Writes key |path| with all its values and subkeys, in the hive's order, to |out|.
// False with |error| set when the key is missing or a name cannot be written as text.
// Subkeys that are not Addressable are left out and, when |skipped| is given, noted
// there (SkippedKeyNote).
bool ExportKey(reg::Hive& hive, std::u16string_view path, std::string* out, std::string* error,
               std::vector<std::string>* skipped = nullptr);

// Applies .reg text to the hive in one transaction: everything or nothing. On failure
// |error| says which line and why.
bool ImportText(reg::Hive& hive, std::string_view text, std::string* error);

}  // namespace orvane::regtool
