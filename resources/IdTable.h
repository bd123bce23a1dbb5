// A program's id table: every dialog, control, command, menu, string and bitmap id its
// resources and its code use, by name. Each program keeps one (OrvanePortIds.h,
// InstallerIds.h) as an X-macro list, X(NAME, value), from which come both the
// constants the code uses and the name -> value table the resource loaders read
// templates, menus and the string table with.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace orvane::res {

struct IdName {
  std::string_view name;
  int value;
};
using IdTable = std::span<const IdName>;

constexpr std::optional<int> FindId(IdTable table, std::string_view name) {
  for (const IdName& id : table)
    if (id.name == name) return id.value;
  return std::nullopt;
}

}  // namespace orvane::res

// For an id list X(NAME, value): one constant per id, and one table row per id.
#define ORVANE_ID_CONSTANT(name, value) inline constexpr int name = value;
#define ORVANE_ID_ROW(name, value) ::orvane::res::IdName{#name, value},
