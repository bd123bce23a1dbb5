#include "screen/FindBar.h"

#include <algorithm>

#include <QApplication>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QShortcut>
#include <QToolButton>

#include "resources/OrvanePortIds.h"
#include "screen/ResponseFilter.h"
#include "screen/ResponseListCtrl.h"
#include "ui/WaitCursor.h"

using namespace orvane::port_ids;

namespace {

QToolButton* Button(QWidget* parent, const QString& name, const QString& tip) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setToolTip(tip);
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::TabFocus);
  return button;
}

}  // namespace

FindBar::FindBar(QMainWindow* frame, ResponseListCtrl* list, ui::CommandTable& commands)
    : QToolBar(QStringLiteral("Find"), frame), list_(list) {
  setObjectName(QStringLiteral("FindBar"));
  setMovable(false);
  setFloatable(false);
  toggleViewAction()->setVisible(false);  // not offered in the window's tool bar menu

  auto* content = new QWidget(this);
  content->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  auto* rows = new QVBoxLayout(content);
  rows->setContentsMargins(2, 2, 2, 2);
  rows->setSpacing(2);

  findRow_ = new QWidget(content);
  auto* row = new QHBoxLayout(findRow_);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(1);
  field_ = new QLineEdit(findRow_);
  field_->setObjectName(QStringLiteral("FindText"));
  field_->setPlaceholderText(QStringLiteral("Find"));
  field_->setToolTip(QStringLiteral("Text to find in commands, replies and notes (binary text, "
                                    "e.g. ERROR or <0D><0A>). Enter: next; Shift+Enter: previous."));
  field_->installEventFilter(this);
  row->addWidget(field_, 1);
  QToolButton* previous = Button(findRow_, QStringLiteral("FindPrevious"), QStringLiteral("Previous (Shift+F3)"));
  previous->setArrowType(Qt::UpArrow);
  QToolButton* next = Button(findRow_, QStringLiteral("FindNext"), QStringLiteral("Next (F3)"));
  next->setArrowType(Qt::DownArrow);
  matchCase_ = Button(findRow_, QStringLiteral("MatchCase"), QStringLiteral("Match case"));
  matchCase_->setText(QStringLiteral("Aa"));
  matchCase_->setCheckable(true);
  QToolButton* close = Button(findRow_, QStringLiteral("FindClose"), QStringLiteral("Close (Esc)"));
  close->setText(QString(QChar(0x00D7)));  // multiplication sign
  for (QWidget* button : {previous, next, matchCase_, close}) row->addWidget(button);
  connect(previous, &QToolButton::clicked, this, [this] { Find(false); });
  connect(next, &QToolButton::clicked, this, [this] { Find(true); });
  connect(close, &QToolButton::clicked, this, &FindBar::Close);
  connect(field_, &QLineEdit::textEdited, this, [this] { SetMessage({}); });
  connect(matchCase_, &QToolButton::toggled, this, [this] { SetMessage({}); });

  // The lines of text never widen the window: what does not fit is cut.
  message_ = new QLabel(content);
  message_->setObjectName(QStringLiteral("FindMessage"));
  message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  count_ = new QLabel(content);
  count_->setObjectName(QStringLiteral("FilterCount"));
  count_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  rows->addWidget(findRow_);
  rows->addWidget(message_);
  rows->addWidget(count_);
  addWidget(content);

  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WidgetWithChildrenShortcut);
  connect(escape, &QShortcut::activated, this, &FindBar::Close);

  // The count follows the rows: appended, cleared, filtered.
  ResponseFilter* shown = List() ? List()->Filter() : nullptr;
  if (shown) {
    for (QAbstractItemModel* model : {static_cast<QAbstractItemModel*>(shown), shown->sourceModel()}) {
      connect(model, &QAbstractItemModel::rowsInserted, this, &FindBar::UpdateCount);
      connect(model, &QAbstractItemModel::rowsRemoved, this, &FindBar::UpdateCount);
      connect(model, &QAbstractItemModel::modelReset, this, &FindBar::UpdateCount);
    }
  }

  commands.On(ID_FIND, [this] { Open(); });
  commands.On(ID_FIND_NEXT, [this] { Find(true); });
  commands.On(ID_FIND_PREVIOUS, [this] { Find(false); });
  commands.On(ID_HIDE_UNSOLICITED, [this] {
    orvane::RowFilter filter = RowFilter();
    filter.hideUnsolicited = !filter.hideUnsolicited;
    SetRowFilter(filter);
  });
  commands.On(ID_ONLY_TROUBLED, [this] {
    orvane::RowFilter filter = RowFilter();
    filter.onlyTroubled = !filter.onlyTroubled;
    SetRowFilter(filter);
  });
  commands.OnQuery(ID_HIDE_UNSOLICITED, [this](ui::CommandState& s) { s.SetCheck(RowFilter().hideUnsolicited); });
  commands.OnQuery(ID_ONLY_TROUBLED, [this](ui::CommandState& s) { s.SetCheck(RowFilter().onlyTroubled); });

  frame->addToolBar(Qt::BottomToolBarArea, this);
  setVisible(false);
  message_->setVisible(false);
  count_->setVisible(false);
}

const orvane::RowFilter& FindBar::RowFilter() const {
  static const orvane::RowFilter kNone;
  return List() ? List()->Filter()->Filter() : kNone;
}

void FindBar::SetNotes(orvane::RowNotes notes) {
  if (List()) List()->Filter()->SetNotes(std::move(notes));
}

QString FindBar::Message() const { return message_->text(); }

QString FindBar::CountText() const { return RowFilter().Active() ? count_->text() : QString(); }

void FindBar::Open() {
  QWidget* focus = QApplication::focusWidget();
  if (!findOpen_ && focus && !isAncestorOf(focus)) returnFocus_ = focus;
  findOpen_ = true;
  ShowParts();
  field_->setFocus(Qt::ShortcutFocusReason);
  field_->selectAll();
}

void FindBar::Close() {
  if (!findOpen_) return;
  findOpen_ = false;
  message_->clear();
  ShowParts();
  QWidget* back = returnFocus_ && returnFocus_->isVisible() && returnFocus_->isEnabled()
                      ? returnFocus_.data()
                      : static_cast<QWidget*>(List());
  if (back) back->setFocus(Qt::OtherFocusReason);
  returnFocus_ = nullptr;
}

void FindBar::Find(bool forward) {
  if (!findOpen_) Open();
  ResponseListCtrl* list = List();
  if (!list) return;
  const orvane::RowNeedle needle(field_->text().toStdU16String(), matchCase_->isChecked());
  if (needle.Empty()) {
    SetMessage(QStringLiteral("Type the text to find."));
    return;
  }
  ResponseFilter* shown = list->Filter();
  bool wrapped = false;
  int found = -1;
  {
    ui::WaitCursor wait;  // a long session's replies take a moment
    found = shown->Find(needle, shown->ShownOf(list->FirstSelectedRow()), forward, &wrapped);
  }
  if (found < 0) {
    SetMessage(QStringLiteral("Not found: %1").arg(field_->text()));
    return;
  }
  list->RevealRow(shown->RowOfShown(found));
  if (!wrapped)
    SetMessage({});
  else
    SetMessage(forward ? QStringLiteral("Continued from the top.") : QStringLiteral("Continued from the end."));
}

void FindBar::SetRowFilter(const orvane::RowFilter& filter) {
  ResponseListCtrl* list = List();
  if (!list) return;
  list->Filter()->SetRowFilter(filter);
  // The selected row stays in sight when it is still shown.
  if (const int selected = list->FirstSelectedRow(); selected >= 0) list->RevealRow(selected);
  UpdateCount();
}

void FindBar::SetMessage(const QString& text) {
  if (text == message_->text()) return;
  message_->setText(text);
  ShowParts();
}

void FindBar::UpdateCount() {
  ResponseListCtrl* list = List();
  const bool active = list && RowFilter().Active();
  if (active) {
    const ResponseFilter* shown = list->Filter();
    count_->setText(QStringLiteral("%1 of %2 rows shown").arg(shown->ShownCount()).arg(shown->TotalCount()));
  }
  if (active == count_->isHidden()) ShowParts();
}

void FindBar::ShowParts() {
  const bool counting = RowFilter().Active();
  findRow_->setVisible(findOpen_);
  message_->setVisible(findOpen_ && !message_->text().isEmpty());
  count_->setVisible(counting);
  const bool wanted = findOpen_ || counting;
  QWidget* window = this->window();
  auto* frame = qobject_cast<QMainWindow*>(window);
  const bool free = frame && !frame->isMaximized() && !frame->isFullScreen();
  if (wanted != isHidden() || !frame) {
    if (wanted) {
      setVisible(true);
      tallest_ = std::max(tallest_, sizeHint().height());
    }
    return;
  }
  if (wanted) {
    // A window at its least height grows by the bar (the list cannot be shorter than the
    // handheld's); a taller one gives the bar the room of the list.
    grewWindow_ = free && window->height() <= window->minimumSizeHint().height();
    heightBefore_ = window->height();
    setVisible(true);
    tallest_ = sizeHint().height();
    return;
  }
  // The window goes back to its height when it has grown by no more than the bar.
  const bool onlyTheBar = free && window->height() <= heightBefore_ + tallest_;
  setVisible(false);
  if (grewWindow_ && onlyTheBar) {
    window->layout()->activate();
    window->resize(window->width(), std::max(heightBefore_, window->minimumSizeHint().height()));
  }
  grewWindow_ = false;
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == field_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      Find(!(key->modifiers() & Qt::ShiftModifier));
      return true;
    }
  }
  return QToolBar::eventFilter(watched, event);
}
