// Find and filter in the response list: a bar at the bottom of the main window, hidden
// until asked for, so the window at its usual size is the handheld's screen.
//
// "Find" (Ctrl+F) shows the bar with its text field. The text is binary text; it is
// looked for in each shown row's command as sent, its reply bytes and its notes, the
// case of A-Z ignored unless "Match case" is on. Find Next and Find Previous (F3 and
// Shift+F3, Enter and Shift+Enter in the field, the arrow buttons) select the next
// matching row and scroll to it, going round the end of the list; the bar says when
// it went round or found nothing. Escape closes the bar and gives the focus back.
// Rows are searched when asked, never while the text is typed.
//
// The filters hide unsolicited rows, or show only replies that ended in ERROR, in
// silence or were cut. While one is on, the bar shows "N of M rows shown".
#pragma once

#include <QPointer>
#include <QToolBar>

#include "screen/RowSearch.h"
#include "ui/CommandTable.h"

class QLabel;
class QLineEdit;
class QMainWindow;
class QToolButton;
class ResponseListCtrl;

class FindBar : public QToolBar {
  Q_OBJECT

 public:
  // Adds the bar, hidden, at the bottom of |frame| for |list|, and the commands ID_FIND,
  // ID_FIND_NEXT, ID_FIND_PREVIOUS, ID_HIDE_UNSOLICITED and ID_ONLY_TROUBLED (with their
  // check queries) to |commands|, which must outlive the bar.
  FindBar(QMainWindow* frame, ResponseListCtrl* list, ui::CommandTable& commands);

  // Shows the bar with the focus in its field, its text selected.
  void Open();
  // Hides the find part of the bar (the count stays while a filter is on) and gives
  // the focus back to where it was when the bar opened.
  void Close();
  // Selects the next (or previous) shown row holding the text; opens the bar first.
  void Find(bool forward);
  void SetRowFilter(const orvane::RowFilter& filter);
  const orvane::RowFilter& RowFilter() const;
  // Where the notes searched beside the bytes come from (none: no notes).
  void SetNotes(orvane::RowNotes notes);

  bool FindOpen() const { return findOpen_; }
  QLineEdit* Field() const { return field_; }
  // What the bar says about the last search ("" when it found a row on its way).
  QString Message() const;
  // "N of M rows shown" while a filter is on, else empty.
  QString CountText() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  ResponseListCtrl* List() const { return list_; }
  void SetMessage(const QString& text);
  void UpdateCount();
  // Shows what there is to show, the window growing for the bar when it must and
  // shrinking back when the bar goes.
  void ShowParts();

  QPointer<ResponseListCtrl> list_;
  QWidget* findRow_;
  QLineEdit* field_;
  QToolButton* matchCase_;
  QLabel* message_;
  QLabel* count_;
  bool findOpen_ = false;
  bool grewWindow_ = false;  // the window was made taller for the bar
  int heightBefore_ = 0;     // the window's height before
  int tallest_ = 0;          // the bar's tallest while shown
  QPointer<QWidget> returnFocus_;
};
