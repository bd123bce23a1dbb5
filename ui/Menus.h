// Menus and the string table from the resources.
//
// A menu resource (":/menus/<id>.menu") is text, one statement per line:
//   POPUP "Title"  ...  END      a pop-up (nestable)
//   ITEM "Text" <command id> [CHECKED]
//   SEPARATOR
// The string table (":/strings.txt") has one `<id> "text"` per line.
#pragma once

#include <QString>
#include <optional>

class QAction;
class QMenu;
class QMenuBar;
class QPoint;
class QWidget;

namespace ui {

constexpr const char* kCommandIdProperty = "orvaneCommandId";
int CommandIdOf(const QAction* action);

// Fills |bar| with the pop-ups of menu |id|; false when the resource is missing or bad.
bool LoadMenuBar(int id, QMenuBar* bar, QString* error = nullptr);
// Fills |menu| with the items of menu |id| (its first pop-up's items when it has one).
bool LoadPopupMenu(int id, QMenu* menu, QString* error = nullptr);
// Runs |menu| at global position |pos| and returns the chosen command id (0 when it
// was dismissed). Tests answer through ScriptedUi::onPopup.
int TrackPopupMenu(QMenu* menu, const QPoint& globalPos);

// String |id| of the string table; empty when absent.
QString LoadString(int id);

}  // namespace ui
