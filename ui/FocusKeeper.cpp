#include "ui/FocusKeeper.h"

#include <QWidget>

namespace ui {

void FocusKeeper::Hold() {
  if (!form_) return;
  QWidget* focus = form_->window()->focusWidget();
  if (!focus || (focus != form_ && !form_->isAncestorOf(focus))) return;
  holding_ = true;
  form_->setFocus(Qt::OtherFocusReason);
}

void FocusKeeper::Release(QWidget* home) {
  if (!holding_ || !form_) return;
  holding_ = false;
  QWidget* focus = form_->window()->focusWidget();
  if ((focus == nullptr || focus == form_) && home && home->isEnabled())
    home->setFocus(Qt::OtherFocusReason);
}

}  // namespace ui
