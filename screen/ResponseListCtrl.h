// The response list (control 1006): a two-column report list, one row per exchange,
// with its own tap-and-hold menu ("Response Menu", menu 137) once its menu flag is 1.
// A press held still for half a second, or a right click, selects the row under it
// and opens the menu; the chosen command goes to the owning screen.
#pragma once

#include <QPoint>
#include <QTreeWidget>
#include <functional>

class QMenu;
class QTimer;

class ResponseListCtrl : public QTreeWidget {
  Q_OBJECT

 public:
  static constexpr int kMenuId = 137;
  static constexpr int kHoldMs = 500;
  static constexpr int kHoldSlopPx = 5;

  explicit ResponseListCtrl(QWidget* parent = nullptr);

  // Set-up of the main screen: style, full-row selection, the columns "Response" and
  // "Command" at three quarters and one quarter of the client width, menu flag 1.
  void SetUp();

  int MenuFlag() const { return menuFlag_; }
  void SetMenuFlag(int flag) { menuFlag_ = flag; }

  // What a tap-and-hold at |pos| (list coordinates) does: selects the row there and,
  // with the menu flag set, opens the menu and hands the chosen command on.
  void TapAndHold(const QPoint& pos);

  // Called with the menu before it opens (to set its items' enabled state), and with
  // the command chosen from it.
  std::function<void(QMenu*)> prepareMenu;
  std::function<void(int)> runCommand;

  // Registers the template class "ResponseListCtrl".
  static void RegisterControlClass();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  int menuFlag_ = 0;
  QTimer* holdTimer_;
  QPoint pressPos_;
};
