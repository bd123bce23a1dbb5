// Menus and the string table from the resources.
//
// A menu resource (":/menus/<id>.menu") is text, one statement per line:
//   POPUP "Title"  ...  END      a pop-up (nestable)
//   ITEM "Text" <command id> [CHECKED]     "&" marks a mnemonic; "Text\tCtrl+O" names a key
//                                          (QAction::shortcut, shown in the menu)
//   SEPARATOR
// The string table (":/strings.txt") has one `<id> "text"` per line ("\n" is a line
// break). Both programs' strings are in it; each program reads the entries whose ids
// its table names. Ids are names from the program's id table (see ui/ResourceIds.h).
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

#include "ui/ResourceIds.h"

class QAction;
class QMenu;
class QMenuBar;
class QPoint;
class QWidget;

namespace ui {

constexpr const char* kCommandIdProperty = "orvaneCommandId";
int CommandIdOf(const QAction* action);

// Fills |bar| with the pop-ups of menu |id| of the program with |ids|; false when the
// resource is missing or bad (an unnamed command id too).
bool LoadMenuBar(IdTable ids, int id, QMenuBar* bar, QString* error = nullptr);
// Fills |menu| with the items of menu |id| (its first pop-up's items when it has one).
bool LoadPopupMenu(IdTable ids, int id, QMenu* menu, QString* error = nullptr);
// Runs |menu| at global position |pos| and returns the chosen command id (0 when it
// was dismissed). Tests answer through ScriptedUi::onPopup.
int TrackPopupMenu(QMenu* menu, const QPoint& globalPos);

// String |id| of the string table of the program with |ids|; empty when absent.
QString LoadString(IdTable ids, int id);
// The entries of string table text |text| whose ids |ids| names. The ids of the other
// entries go to |others|.
QHash<int, QString> ParseStringTable(const QString& text, IdTable ids,
                                     QStringList* others = nullptr);

}  // namespace ui
