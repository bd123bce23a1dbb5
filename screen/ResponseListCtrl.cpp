#include "screen/ResponseListCtrl.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>

#include "ui/EnterKeyFilter.h"
#include "ui/Menus.h"
#include "ui/Template.h"

ResponseListCtrl::ResponseListCtrl(QWidget* parent) : QTreeWidget(parent), holdTimer_(new QTimer(this)) {
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  header()->setStretchLastSection(false);
  holdTimer_->setSingleShot(true);
  holdTimer_->setInterval(kHoldMs);
  connect(holdTimer_, &QTimer::timeout, this, [this] { TapAndHold(pressPos_); });
  // The list asks for all keys: Enter never reaches a default button.
  ui::InstallEnterKeyFilter(this);
}

void ResponseListCtrl::SetUp() {
  // Child, visible, border, report view, single selection; full-row selection.
  setFrameShape(QFrame::StyledPanel);
  setHeaderHidden(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setAllColumnsShowFocus(true);
  // A new row becomes the keyboard anchor without moving the view.
  setAutoScroll(false);
  setColumnCount(2);
  setHeaderLabels({QStringLiteral("Response"), QStringLiteral("Command")});
  header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  const int width = contentsRect().width();
  setColumnWidth(0, 3 * width / 4);
  setColumnWidth(1, width / 4);
  SetMenuFlag(1);
}

void ResponseListCtrl::TapAndHold(const QPoint& pos) {
  holdTimer_->stop();
  if (QTreeWidgetItem* item = itemAt(pos)) {
    setCurrentItem(item);
    item->setSelected(true);
  }
  if (menuFlag_ != 1) return;
  QMenu menu(this);
  if (!ui::LoadPopupMenu(kMenuId, &menu)) return;
  if (prepareMenu) prepareMenu(&menu);
  const int command = ui::TrackPopupMenu(&menu, viewport()->mapToGlobal(pos));
  if (command != 0 && runCommand) runCommand(command);
}

void ResponseListCtrl::mousePressEvent(QMouseEvent* event) {
  QTreeWidget::mousePressEvent(event);
  if (event->button() == Qt::LeftButton) {
    pressPos_ = event->position().toPoint();
    holdTimer_->start();
  }
}

void ResponseListCtrl::mouseMoveEvent(QMouseEvent* event) {
  if (holdTimer_->isActive() &&
      (event->position().toPoint() - pressPos_).manhattanLength() > kHoldSlopPx)
    holdTimer_->stop();
  QTreeWidget::mouseMoveEvent(event);
}

void ResponseListCtrl::mouseReleaseEvent(QMouseEvent* event) {
  holdTimer_->stop();
  QTreeWidget::mouseReleaseEvent(event);
}

void ResponseListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  holdTimer_->stop();
  QTreeWidget::mouseDoubleClickEvent(event);
  event->accept();  // a double tap is handled by the list's owner
}

void ResponseListCtrl::contextMenuEvent(QContextMenuEvent* event) {
  // A right click is the desktop's tap-and-hold.
  TapAndHold(event->pos());  // viewport coordinates, like the mouse events
  event->accept();
}

void ResponseListCtrl::RegisterControlClass() {
  ui::RegisterControlClass(QStringLiteral("ResponseListCtrl"),
                           [](QWidget* parent, const ui::ControlSpec&) -> QWidget* {
                             return new ResponseListCtrl(parent);
                           });
}
