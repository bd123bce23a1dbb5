// The entry controls every screen shares.
//
// CommandEdit: a single-line field with a press-and-hold menu (a right click opens the
// same menu), a double-tap shortcut to the Edit Binary dialog, and the Enter-key
// filter. Its menu mode (entry::MenuMode), set by the owning screen when it opens,
// chooses the menu.
#pragma once

#include <QLineEdit>
#include <QPoint>
#include <functional>
#include <memory>
#include <optional>

#include "entry/model/CommandHistory.h"
#include "ui/PressAndHold.h"

class QKeyEvent;
class QMouseEvent;
namespace ui {
class TemplateHost;
}

namespace entry {

// The press-and-hold menu of an entry field. Each mode adds to the one before it.
enum class MenuMode {
  None,     // an empty menu
  Editing,  // Cut, Copy, Paste, Undo
  Binary,   // Edit As Binary, separator, Cut, ...; a double tap opens Edit Binary
  History,  // Command History, Edit As Binary, separator, Cut, ...
};

}  // namespace entry

class CommandEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit CommandEdit(QWidget* parent = nullptr);
  ~CommandEdit() override;

  void SetMenuMode(entry::MenuMode mode);
  entry::MenuMode MenuMode() const { return menuMode_; }
  // The history the Command History item picks from (menu mode History); without one
  // the item does nothing. In menu mode History, Up and Down walk it too, newest first,
  // as shells do; Down past the newest gives back what was being typed.
  void SetHistory(const orvane::CommandHistory& history) { history_.emplace(history); }

  // Return or Enter, plain or with Ctrl, runs |send|. Without it Enter does nothing.
  void SetSendKey(std::function<void()> send) { send_ = std::move(send); }

  // Opens the press-and-hold menu at |pos| (field coordinates) and carries out the
  // chosen command, as a press-and-hold there does.
  void ShowEntryMenu(const QPoint& pos);
  // Runs the command of a menu item: ID_COMMAND_HISTORY, ID_EDIT_AS_BINARY,
  // ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE or ID_EDIT_UNDO (0 or another value does
  // nothing).
  void RunMenuCommand(int command);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void EditAsBinary();
  void PickFromHistory();
  // Up (older) or Down (newer) through the history; false when there is no history.
  bool Recall(bool older);
  // Keys that come before the Enter-key filter: Return, Up and Down.
  bool KeyFirst(QKeyEvent* event);
  friend class CommandKeys;

  entry::MenuMode menuMode_ = entry::MenuMode::None;
  std::optional<orvane::CommandHistory> history_;
  ui::PressAndHold* hold_ = nullptr;  // a child of the field
  bool swallowRelease_ = false;       // the release that ends a right click or a double tap
  std::function<void()> send_;
  // The walk through the history: -1 while the user's own text is shown (kept in
  // draft_), else the entry shown.
  int recalled_ = -1;
  QString draft_;
};

// Registers the template classes "CommandEdit" and "EntryComboBox" (entry/EntryComboBox.h). Call once at
// program start, before any screen is built; calling it again does no harm.
void RegisterEntryControlClasses();
// For a dialog's constructor: registers the entry classes, then gives back the
// template id, so the base class builds the template with them.
int WithEntryControlClasses(int templateId);
// Sets the menu mode of the entry field |id| of |host| (no-op for other controls).
void SetMenuMode(ui::TemplateHost& host, int id, entry::MenuMode mode);
