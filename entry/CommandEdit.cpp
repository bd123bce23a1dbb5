#include "entry/CommandEdit.h"

#include "ui/TemplateHost.h"

#include <QAction>
#include <QChildEvent>
#include <QContextMenuEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include "entry/CommandHistoryDialog.h"
#include "entry/EditBinaryDialog.h"
#include "entry/EntryComboBox.h"
#include "resources/OrvanePortIds.h"
#include "ui/EnterKeyFilter.h"
#include "ui/Menus.h"
#include "ui/Messages.h"
#include "ui/Template.h"

using namespace orvane::port_ids;

namespace {

void AddItem(QMenu* menu, const QString& text, int command) {
  QAction* action = menu->addAction(text);
  action->setProperty(ui::kCommandIdProperty, command);
  action->setData(command);
}

}  // namespace

// Installed after the Enter-key filter, so it sees the keys first.
class CommandKeys : public QObject {
 public:
  explicit CommandKeys(CommandEdit* edit) : QObject(edit), edit_(edit) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == edit_ && event->type() == QEvent::KeyPress &&
        edit_->KeyFirst(static_cast<QKeyEvent*>(event)))
      return true;
    return QObject::eventFilter(watched, event);
  }

 private:
  CommandEdit* edit_;
};

CommandEdit::CommandEdit(QWidget* parent) : QLineEdit(parent) {
  ui::InstallEnterKeyFilter(this);
  installEventFilter(new CommandKeys(this));
  // Typing leaves the walk through the history: the next Up starts from the newest.
  connect(this, &QLineEdit::textEdited, this, [this] { recalled_ = -1; });
  // The caret stays put until it is known whether a press becomes a hold.
  hold_ = new ui::PressAndHold(this, ui::PressAndHold::Press::kHoldBack,
                               [this](QPoint pos) { ShowEntryMenu(pos); });
  // The menu comes from contextMenuEvent; Qt's own editing menu is never shown.
  setContextMenuPolicy(Qt::DefaultContextMenu);
}

CommandEdit::~CommandEdit() = default;

void CommandEdit::SetMenuMode(entry::MenuMode mode) {
  // A value outside the modes (cast from a number) means no menu.
  using Mode = entry::MenuMode;
  menuMode_ = (mode >= Mode::None && mode <= Mode::History) ? mode : Mode::None;
}

void CommandEdit::ShowEntryMenu(const QPoint& pos) {
  QMenu menu(this);
  if (menuMode_ == entry::MenuMode::History)
    AddItem(&menu, QStringLiteral("Command History"), ID_COMMAND_HISTORY);
  if (menuMode_ >= entry::MenuMode::Binary) {
    AddItem(&menu, QStringLiteral("Edit As Binary"), ID_EDIT_AS_BINARY);
    menu.addSeparator();
  }
  if (menuMode_ >= entry::MenuMode::Editing) {
    AddItem(&menu, QStringLiteral("Cut"), ID_EDIT_CUT);
    AddItem(&menu, QStringLiteral("Copy"), ID_EDIT_COPY);
    AddItem(&menu, QStringLiteral("Paste"), ID_EDIT_PASTE);
    AddItem(&menu, QStringLiteral("Undo"), ID_EDIT_UNDO);
  }
  const int command = ui::TrackPopupMenu(&menu, mapToGlobal(pos));
  RunMenuCommand(command);
}

void CommandEdit::RunMenuCommand(int command) {
  switch (command) {
    case ID_EDIT_AS_BINARY: EditAsBinary(); break;
    case ID_COMMAND_HISTORY: PickFromHistory(); break;
    case ID_EDIT_CUT: cut(); break;
    case ID_EDIT_COPY: copy(); break;
    case ID_EDIT_PASTE: paste(); break;
    case ID_EDIT_UNDO: undo(); break;
    default: break;
  }
  update();
}

bool CommandEdit::KeyFirst(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // Enter or Ctrl+Enter; other fields (no send action) swallow Enter in the filter.
      if ((mods != Qt::NoModifier && mods != Qt::ControlModifier) || !send_) return false;
      send_();
      return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
      if (mods != Qt::NoModifier) return false;
      return Recall(event->key() == Qt::Key_Up);
    default:
      return false;
  }
}

bool CommandEdit::Recall(bool older) {
  if (!history_ || menuMode_ != entry::MenuMode::History) return false;
  const std::vector<std::u16string> entries = history_->LoadHistory();
  const int count = static_cast<int>(entries.size());
  // The history may have changed since the last step (a send puts its command in
  // front): a walk whose entry is no longer shown starts again from the user's text.
  if (recalled_ >= count ||
      (recalled_ >= 0 && QString::fromStdU16String(entries[recalled_]) != text()))
    recalled_ = -1;
  if (older) {
    if (recalled_ + 1 >= count) return true;
    if (recalled_ < 0) draft_ = text();
    ++recalled_;
    setText(QString::fromStdU16String(entries[recalled_]));
  } else {
    if (recalled_ < 0) return true;
    --recalled_;
    setText(recalled_ < 0 ? draft_ : QString::fromStdU16String(entries[recalled_]));
  }
  return true;
}

void CommandEdit::EditAsBinary() {
  EditBinaryDialog dialog(text(), this);
  if (ui::RunModal(dialog) == QDialog::Accepted) setText(dialog.BinaryText());
}

void CommandEdit::PickFromHistory() {
  if (!history_) return;
  CommandHistoryDialog dialog(*history_, this);
  if (ui::RunModal(dialog) == QDialog::Accepted) setText(dialog.PickedCommand());
}

// Left presses reach the field once the press-and-hold recognizer has ruled out a
// hold; a right click opens the same menu at once.
void CommandEdit::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    // The press itself must not move the caret or change the selection.
    event->accept();
    swallowRelease_ = true;
    ShowEntryMenu(event->position().toPoint());
    return;
  }
  if (event->button() == Qt::LeftButton) swallowRelease_ = false;
  QLineEdit::mousePressEvent(event);
}

void CommandEdit::mouseMoveEvent(QMouseEvent* event) {
  if (swallowRelease_) {
    event->accept();
    return;
  }
  QLineEdit::mouseMoveEvent(event);
}

void CommandEdit::mouseReleaseEvent(QMouseEvent* event) {
  if (swallowRelease_) {
    swallowRelease_ = false;
    event->accept();
    return;
  }
  if (event->button() == Qt::RightButton) {
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

void CommandEdit::mouseDoubleClickEvent(QMouseEvent* event) {
  // Never passed on: a double tap selects no word in these fields.
  event->accept();
  if (event->button() != Qt::LeftButton) return;
  swallowRelease_ = true;
  if (menuMode_ >= entry::MenuMode::Binary) {
    EditAsBinary();
    update();
  }
}

void CommandEdit::contextMenuEvent(QContextMenuEvent* event) {
  // Qt's own editing menu is never shown. A mouse's menu request follows the right
  // press, which has opened the menu already; the keyboard's opens it at the caret.
  event->accept();
  if (event->reason() != QContextMenuEvent::Mouse) ShowEntryMenu(cursorRect().bottomLeft());
}

void RegisterEntryControlClasses() {
  ui::RegisterControlClass(QStringLiteral("CommandEdit"),
                           [](QWidget* parent, const ui::ControlDef& def) -> QWidget* {
                             auto* edit = new CommandEdit(parent);
                             edit->setReadOnly(def.Has("READONLY"));
                             return edit;
                           });
  ui::RegisterControlClass(QStringLiteral("EntryComboBox"),
                           [](QWidget* parent, const ui::ControlDef& def) -> QWidget* {
                             auto* combo = new EntryComboBox(parent);
                             combo->setEditable(def.Has("DROPDOWN"));
                             if (combo->isEditable()) combo->setInsertPolicy(QComboBox::NoInsert);
                             return combo;
                           });
}

int WithEntryControlClasses(int templateId) {
  RegisterEntryControlClasses();
  return templateId;
}

void SetMenuMode(ui::TemplateHost& host, int id, entry::MenuMode mode) {
  if (auto* edit = host.Control<CommandEdit>(id)) edit->SetMenuMode(mode);
}
