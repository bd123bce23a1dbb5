// The response list (control IDC_RESPONSES): a two-column report list, one row per
// exchange, with its own tap-and-hold menu ("Response Menu", menu IDR_RESPONSE_MENU)
// once its menu flag is set.
// A press held still for half a second, or a right click, selects the row under it
// and opens the menu; the chosen command goes to the owning screen.
//
// A table view over an append-only model with fixed row heights: adding a row costs
// the same whether the list holds ten rows or ten thousand.
#pragma once

#include <QPoint>
#include <QRect>
#include <QTableView>
#include <functional>

#include "ui/PressAndHold.h"

class QMenu;
class ResponseListModel;
namespace orvane {
class ResponseStore;
}

class ResponseListCtrl : public QTableView {
  Q_OBJECT

 public:
  // Column 0 previews the reply, column 1 holds the command as sent.
  static constexpr int kResponseColumn = 0;
  static constexpr int kCommandColumn = 1;

  explicit ResponseListCtrl(QWidget* parent = nullptr);

  // Set-up of the main screen: style, full-row selection, the columns "Response" and
  // "Command" at three quarters and one quarter of the client width (kept when the list
  // is resized), menu flag set.
  void SetUp();

  bool MenuFlag() const { return menuFlag_; }
  void SetMenuFlag(bool on) { menuFlag_ = on; }

  // Rows. A row that is not there reads as empty text and data -1.
  int RowCount() const;
  // The store the rows are read from: column 0 previews a row's reply, column 1 shows
  // its command as sent. It must outlive the list.
  void SetStore(const orvane::ResponseStore* store);
  // Appends a row showing the store's |slot| at the end and returns its index. Neither
  // the selection nor the scroll position changes.
  int AppendRow(int slot);
  QString Text(int row, int column) const;
  int RowData(int row) const;
  void DeleteAllRows();

  // Selection: the first selected row (-1 when none); selecting a row (-1 clears).
  int FirstSelectedRow() const;
  void SelectRow(int row);
  // The selection mark, the anchor of keyboard selection: setting it changes neither
  // the selection nor the scroll position. -1 when there is none.
  void SetSelectionMark(int row);
  int SelectionMark() const;

  // Geometry in viewport coordinates: a row's rectangle across every column (empty when
  // the row is not there), and the row at a point (-1 when none).
  QRect RowRect(int row) const;
  int RowAt(const QPoint& pos) const;

  // What a tap-and-hold at |pos| (viewport coordinates) does: selects the row there
  // and, with the menu flag set, opens the menu and hands the chosen command on.
  void TapAndHold(const QPoint& pos);

  // Called with the menu before it opens (to set its items' enabled state), and with
  // the command chosen from it.
  std::function<void(QMenu*)> prepareMenu;
  std::function<void(int)> runCommand;

  // Registers the template class "ResponseListCtrl".
  static void RegisterControlClass();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  // A wider list keeps the columns' shares; a larger font makes the rows taller.
  void resizeEvent(QResizeEvent* event) override;
  // The selection mark is a thin frame round its row while the list has the focus.
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void SetColumnShares();

  ResponseListModel* model_;
  bool menuFlag_ = false;
  bool setUp_ = false;
};
