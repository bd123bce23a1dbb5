// How resources name their ids. A program's templates, menus and string table name
// every id from the program's id table (resources/OrvanePortIds.h,
// resources/InstallerIds.h), which the program hands to the loaders; the dialog
// buttons are IDOK and IDCANCEL in every program, and a template's static controls
// have -1. Templates written in code without a table (tests) give decimal numbers.
#pragma once

#include <QStringView>
#include <optional>

#include "resources/IdTable.h"

namespace ui {

using IdTable = orvane::res::IdTable;

// The dialog buttons, the same in every program.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// The id |token| stands for: with a table, a name of |ids| or a dialog button's name;
// without one, a decimal number. Nothing when it is neither.
std::optional<int> ResolveId(QStringView token, IdTable ids);

}  // namespace ui
