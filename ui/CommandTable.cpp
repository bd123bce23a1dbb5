#include "ui/CommandTable.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QListWidget>
#include <QMenu>
#include <QTreeWidget>

#include "ui/Menus.h"
#include "ui/Template.h"

namespace ui {
namespace {

class FocusNotifier : public QObject {
 public:
  FocusNotifier(QObject* parent, QEvent::Type type, std::function<void()> handler)
      : QObject(parent), type_(type), handler_(std::move(handler)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == type_) handler_();
    return QObject::eventFilter(watched, event);
  }

 private:
  QEvent::Type type_;
  std::function<void()> handler_;
};

}  // namespace

void CommandTable::On(int id, Handler handler) { handlers_.insert(id, std::move(handler)); }

void CommandTable::OnQuery(int id, Query query) { queries_.insert(id, std::move(query)); }

void CommandTable::OnNotify(QWidget* root, int id, Notify what, Handler handler) {
  QWidget* control = FindControl(root, id);
  if (what == Notify::Clicked) On(id, handler);
  if (!control) return;
  switch (what) {
    case Notify::Clicked:
      if (auto* button = qobject_cast<QAbstractButton*>(control))
        QObject::connect(button, &QAbstractButton::clicked, control, [this, id] { Dispatch(id); });
      break;
    case Notify::SelChange:
      if (auto* combo = qobject_cast<QComboBox*>(control))
        QObject::connect(combo, qOverload<int>(&QComboBox::activated), control, handler);
      else if (auto* list = qobject_cast<QListWidget*>(control))
        QObject::connect(list, &QListWidget::currentRowChanged, control, handler);
      else if (auto* view = qobject_cast<QAbstractItemView*>(control))
        QObject::connect(view->selectionModel(), &QItemSelectionModel::currentChanged, control,
                         handler);
      break;
    case Notify::DoubleClick:
      if (auto* view = qobject_cast<QAbstractItemView*>(control))
        QObject::connect(view, &QAbstractItemView::doubleClicked, control, handler);
      break;
    case Notify::SetFocus:
      control->installEventFilter(new FocusNotifier(control, QEvent::FocusIn, handler));
      break;
    case Notify::KillFocus:
      control->installEventFilter(new FocusNotifier(control, QEvent::FocusOut, handler));
      break;
  }
}

bool CommandTable::Dispatch(int id) const {
  auto it = handlers_.constFind(id);
  if (it == handlers_.constEnd()) return false;
  const Handler handler = it.value();  // the handler may change the table
  handler();
  return true;
}

bool CommandTable::QueryState(int id, CommandState* state) const {
  auto it = queries_.constFind(id);
  if (it == queries_.constEnd()) return false;
  it.value()(*state);
  return true;
}

void CommandTable::UpdateAction(QAction* action) const {
  const int id = CommandIdOf(action);
  if (id <= 0) return;
  CommandState state;
  state.checkable = action->isCheckable();
  state.checked = action->isChecked();
  if (!QueryState(id, &state)) return;
  action->setEnabled(state.enabled);
  if (state.checkable) {
    action->setCheckable(true);
    action->setChecked(state.checked);
  }
}

void CommandTable::UpdateMenu(QMenu* menu) const {
  if (!menu) return;
  for (QAction* action : menu->actions()) UpdateAction(action);
}

}  // namespace ui
