// Walks a window's keyboard focus with Tab (or Shift+Tab) from its focused control until
// the walk comes back round, and names the controls a walk must reach.
#pragma once

#include <QApplication>
#include <QWidget>
#include <QtTest/QTest>
#include <string>
#include <vector>

namespace test_support {

// The controls in the order Tab reached them, starting with the focused one.
inline std::vector<QWidget*> TabWalk(QWidget* window, bool backwards = false) {
  std::vector<QWidget*> reached;
  QWidget* focus = QApplication::focusWidget();
  for (int step = 0; focus && window->isAncestorOf(focus) && step < 64; ++step) {
    QWidget* control = focus;
    if (!reached.empty() && control == reached.front()) break;
    reached.push_back(control);
    QTest::keyClick(focus, backwards ? Qt::Key_Backtab : Qt::Key_Tab);
    focus = QApplication::focusWidget();
  }
  return reached;
}

// Every control of |window| that takes the focus by Tab now: shown, enabled, TabFocus.
inline std::vector<QWidget*> TabStops(QWidget* window) {
  std::vector<QWidget*> stops;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisible() || !w->isEnabled() || !(w->focusPolicy() & Qt::TabFocus)) continue;
    // A control that passes its focus on (an editable combo box's edit field) is
    // reached as the one it passes it to.
    if (w->focusProxy()) continue;
    stops.push_back(w);
  }
  return stops;
}

// "class:objectName" of each, for a failure's message.
inline std::string Describe(const std::vector<QWidget*>& widgets) {
  std::string text;
  for (const QWidget* w : widgets)
    text += std::string(w->metaObject()->className()) + ":" + w->objectName().toStdString() + " ";
  return text;
}

}  // namespace test_support
