// The press-and-hold gesture, recognized in one place for every control that has one:
// a left press held this long without moving further than the slop. An event filter on
// the widget that receives the control's mouse events (a scroll area's viewport, or
// the control itself) watches presses, moves and releases and calls back when a hold
// is recognized; the release that ends a hold goes no further.
#pragma once

#include <QObject>
#include <QPoint>
#include <functional>
#include <memory>

class QMouseEvent;
class QTimer;
class QWidget;

namespace ui {

constexpr int kPressAndHoldMs = 500;
constexpr int kPressAndHoldSlopPx = 5;

class PressAndHold : public QObject {
 public:
  enum class Press {
    kPassOn,    // the control sees the press at once (a list selects its row)
    kHoldBack,  // the control sees the press only once it is no hold (a field's caret
                // stays put while the verdict is out)
  };
  // Watches |target|'s mouse events; |onHold| gets the press position in |target|'s
  // coordinates. The filter is a child of |target|.
  PressAndHold(QWidget* target, Press press, std::function<void(QPoint)> onHold);
  ~PressAndHold() override;

  // Forgets a press in progress (the control handled it otherwise, e.g. a double tap).
  void Cancel();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Elapsed();
  // Hands a held-back press to the control's ordinary handling.
  void ReleaseHeldPress();

  QWidget* target_;
  Press press_;
  std::function<void(QPoint)> onHold_;
  QTimer* timer_;
  QPoint pressPos_;
  std::unique_ptr<QMouseEvent> heldPress_;
  bool replaying_ = false;
  bool swallowRelease_ = false;
};

}  // namespace ui
