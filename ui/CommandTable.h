// One table per screen that maps control notifications and command ids to handlers,
// and answers the menus' enable and check-mark queries.
#pragma once

#include <QHash>
#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace ui {

enum class Notify {
  Clicked,      // push button, check box, menu command
  SelChange,    // combo box or list selection changed
  DoubleClick,  // list row double-tapped
  SetFocus,
  KillFocus,
};

// What an enable/check query may change about a command.
struct CommandState {
  bool enabled = true;
  bool checkable = false;
  bool checked = false;
  void Enable(bool on) { enabled = on; }
  void SetCheck(bool on) { checkable = true; checked = on; }
};

class CommandTable {
 public:
  using Handler = std::function<void()>;
  using Query = std::function<void(CommandState&)>;

  // Commands (buttons by their control id, menu items by their command id).
  void On(int id, Handler handler);
  // Notifications of the control |id| of |root|; wires the matching Qt signal or
  // focus event. Clicked also registers the handler as command |id|.
  void OnNotify(QWidget* root, int id, Notify what, Handler handler);
  void OnQuery(int id, Query query);

  // Runs the command's handler; false when the table has none.
  bool Dispatch(int id) const;
  bool Handles(int id) const { return handlers_.contains(id); }
  // Fills |state| for command |id|; false when no query is registered.
  bool QueryState(int id, CommandState* state) const;
  // Applies the queries to every action of |menu| (as it is about to show).
  void UpdateMenu(QMenu* menu) const;
  void UpdateAction(QAction* action) const;

 private:
  QHash<int, Handler> handlers_;
  QHash<int, Query> queries_;
};

}  // namespace ui
