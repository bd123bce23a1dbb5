// The rows the response list shows: the list's model with the rows the filter hides
// left out, in the same order. Rows are told apart by how they ended, which the model
// keeps per row, so filtering never reads a reply; finding reads the rows it passes,
// when asked, and nothing while the text is typed.
#pragma once

#include <QSortFilterProxyModel>

#include "screen/RowSearch.h"

class ResponseListModel;

class ResponseFilter : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit ResponseFilter(ResponseListModel* rows, QObject* parent = nullptr);

  void SetRowFilter(const orvane::RowFilter& filter);
  const orvane::RowFilter& Filter() const { return filter_; }
  // Where the notes searched beside the bytes come from (none: rows have no notes).
  void SetNotes(orvane::RowNotes notes) { notes_ = std::move(notes); }

  // Rows shown, and every row of the list.
  int ShownCount() const { return rowCount(); }
  int TotalCount() const;
  // The list's row shown at |shown|, and where |row| is shown; -1 when not there.
  int RowOfShown(int shown) const;
  int ShownOf(int row) const;

  // The shown row after |from| (or before it, unless |forward|) whose row holds
  // |needle|, going round the end; |from| -1 starts at the first (or last) row. -1 when
  // no shown row holds it. |wrapped| tells whether the search went round the end.
  int Find(const orvane::RowNeedle& needle, int from, bool forward, bool* wrapped) const;

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

 private:
  ResponseListModel* rows_;
  orvane::RowFilter filter_;
  orvane::RowNotes notes_;
};
