// Keeps the keyboard focus put while a form disables the controls that could hold it.
// Qt moves the focus of a disabled control on to the next one in the tab order (a list,
// say, whose type-ahead search then changes its selected row as the user types). Held,
// the focus waits on the form itself, where keys do nothing; released, it goes back to
// the form's home control unless the user has put it somewhere else meanwhile.
#pragma once

#include <QPointer>

class QWidget;

namespace ui {

class FocusKeeper {
 public:
  explicit FocusKeeper(QWidget* form) : form_(form) {}

  // Before the controls are disabled. Does nothing when the focus is outside the form.
  void Hold();
  // After they are enabled again: a focus still held goes to |home|.
  void Release(QWidget* home);
  bool Holding() const { return holding_; }

 private:
  QPointer<QWidget> form_;
  bool holding_ = false;
};

}  // namespace ui
