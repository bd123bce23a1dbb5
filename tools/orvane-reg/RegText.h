// The hive in the classic .reg text form ("Windows Registry Editor Version 5.00"), UTF-8,
// and values printed the way `reg query` prints them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// Writes key |path| with all its values and subkeys, in the hive's order, to |out|.
// False with |error| set when the key is missing or a name cannot be written as text.
bool ExportKey(reg::Hive& hive, std::u16string_view path, std::string* out, std::string* error);

// Applies .reg text to the hive in one transaction: everything or nothing. On failure
// |error| says which line and why.
bool ImportText(reg::Hive& hive, std::string_view text, std::string* error);

}  // namespace orvane::regtool
