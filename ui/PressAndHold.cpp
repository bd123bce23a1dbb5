#include "ui/PressAndHold.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

namespace ui {

PressAndHold::PressAndHold(QWidget* target, Press press, std::function<void(QPoint)> onHold)
    : QObject(target), target_(target), press_(press), onHold_(std::move(onHold)), timer_(new QTimer(this)) {
  timer_->setSingleShot(true);
  timer_->setInterval(kPressAndHoldMs);
  connect(timer_, &QTimer::timeout, this, [this] { Elapsed(); });
  target_->installEventFilter(this);
}

PressAndHold::~PressAndHold() = default;

void PressAndHold::Cancel() {
  timer_->stop();
  heldPress_.reset();
}

bool PressAndHold::eventFilter(QObject* watched, QEvent* event) {
  if (watched != target_ || replaying_) return false;
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) {
        Cancel();
        return false;
      }
      if (heldPress_) return false;  // a second button while the first is held back
      swallowRelease_ = false;
      pressPos_ = mouse->position().toPoint();
      timer_->start();
      if (press_ == Press::kPassOn) return false;
      heldPress_.reset(static_cast<QMouseEvent*>(mouse->clone()));
      return true;
    }
    case QEvent::MouseMove: {
      if (!timer_->isActive()) return swallowRelease_;
      const QPoint moved = static_cast<QMouseEvent*>(event)->position().toPoint() - pressPos_;
      if (moved.manhattanLength() <= kPressAndHoldSlopPx) return heldPress_ != nullptr;
      timer_->stop();
      ReleaseHeldPress();
      return false;
    }
    case QEvent::MouseButtonRelease:
      timer_->stop();
      ReleaseHeldPress();
      if (swallowRelease_) {
        swallowRelease_ = false;
        return true;
      }
      return false;
    case QEvent::MouseButtonDblClick:
      Cancel();
      return false;
    default:
      return false;
  }
}

void PressAndHold::ReleaseHeldPress() {
  std::unique_ptr<QMouseEvent> press = std::move(heldPress_);
  if (!press) return;
  replaying_ = true;
  QCoreApplication::sendEvent(target_, press.get());
  replaying_ = false;
}

void PressAndHold::Elapsed() {
  heldPress_.reset();
  swallowRelease_ = true;  // the button is still down; its release belongs to the menu
  if (onHold_) onHold_(pressPos_);
}

}  // namespace ui
