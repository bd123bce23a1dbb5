// The response list (control IDC_RESPONSES): a two-column report list, one row per
// exchange, with its own tap-and-hold menu ("Response Menu", menu IDR_RESPONSE_MENU)
// once its menu flag is set.
// A press held still for half a second, or a right click, selects the row under it
// and opens the menu; the chosen command goes to the owning screen.
//
// A table view over an append-only model with fixed row heights: adding a row costs
// the same whether the list holds ten rows or ten thousand.
//
// On the desktop: wider than the handheld's list, the preview takes the column's width
// and replies are marked with how they ended; a time column can be shown (menu item
// "Show Time Column"); while the list is scrolled to its end it follows new rows (from
// the first row on when it is larger than the handheld's, once the user has scrolled
// to the end otherwise). Ctrl+C and "Copy" copy the selected rows' command and whole
// reply; "Copy Reply as Text" the reply with its line ends as line breaks.
//
// The list can hide rows (Filter): rows are still numbered as they were appended, row k
// being the k-th row since the last clear, whether it is shown or not, so every caller
// (Show Response, copy, the feed's selection mark) names the same row as before. A
// hidden row is never selected and has no place on the screen.
#pragma once

#include <QPoint>
#include <QRect>
#include <QTableView>
#include <functional>

#include "ui/PressAndHold.h"

class QMenu;
class ResponseFilter;
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
  static constexpr int kTimeColumn = 2;

  explicit ResponseListCtrl(QWidget* parent = nullptr);

  // Set-up of the main screen: style, full-row selection, the columns "Response" and
  // "Command" at three quarters and one quarter of the client width (kept when the list
  // is resized), menu flag set.
  void SetUp();

  bool MenuFlag() const { return menuFlag_; }
  void SetMenuFlag(bool on) { menuFlag_ = on; }

  // Rows, shown or not. A row that is not there reads as empty text and data -1.
  int RowCount() const;
  // Which rows are shown, and finding in them.
  ResponseFilter* Filter() const { return filter_; }
  // The store the rows are read from: column 0 previews a row's reply, column 1 shows
  // its command as sent. It must outlive the list.
  void SetStore(const orvane::ResponseStore* store);
  // Appends a row showing the store's |slot| at the end and returns its index. Neither
  // the selection nor the scroll position changes.
  int AppendRow(int slot);
  QString Text(int row, int column) const;
  int RowData(int row) const;
  void DeleteAllRows();
  // The store changed rows already shown (their bytes were dropped): shows them again.
  void RefreshPreviews();

  // Selection: the first selected row (-1 when none); selecting a row (-1, or a hidden
  // row, clears). RevealRow also scrolls the row into view.
  int FirstSelectedRow() const;
  void SelectRow(int row);
  void RevealRow(int row);
  // The selection mark, the anchor of keyboard selection: setting it changes neither
  // the selection nor the scroll position. -1 when there is none.
  void SetSelectionMark(int row);
  int SelectionMark() const;

  // Geometry in viewport coordinates: a row's rectangle across every column (empty when
  // the row is not there or hidden), and the row at a point (-1 when none).
  QRect RowRect(int row) const;
  int RowAt(const QPoint& pos) const;

  // True when the list is wider than the handheld's at the current zoom.
  bool Wide() const;
  // The time column, hidden until asked for.
  void SetTimeColumnShown(bool shown);
  bool TimeColumnShown() const { return !isColumnHidden(kTimeColumn); }
  // True while new rows scroll the list to its end.
  bool Following() const { return following_; }
  // The clipboard texts of the selected rows, in order, one line each: the command and
  // the whole reply (binary text) separated by a tab; or the replies alone with their
  // line ends as line breaks. Both put on the clipboard by Copy / CopyReplyAsText.
  QString SelectedRowsText() const;
  QString SelectedRepliesText() const;
  void Copy();
  void CopyReplyAsText();

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
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void SetColumnShares();
  // The preview's length and the marks for the list's width now.
  void FitPreview();
  // Larger than the handheld's list in either direction.
  bool Larger() const;
  // An empty (or not yet scrolling) list follows new rows when it is larger.
  void FollowFromTheStart();
  // Adds the copy and time column items to the list's menu.
  void AddDesktopItems(QMenu* menu);
  QList<int> SelectedRows() const;
  // The model's row of a shown index, and the shown index of a row (invalid when hidden).
  int RowOf(const QModelIndex& shown) const;
  QModelIndex ShownIndex(int row) const;
  QRect ShownRowRect(int shown) const;

  ResponseListModel* model_;
  ResponseFilter* filter_;
  bool menuFlag_ = false;
  bool setUp_ = false;
  int baseWidth_ = 0;  // the list's size at 100% when it was set up
  int baseHeight_ = 0;
  bool following_ = false;
};
