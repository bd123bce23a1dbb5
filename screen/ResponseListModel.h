// The rows behind the response list: one per row of the store, in the order they
// happened. The texts are read from the store when shown; the model keeps only each
// row's slot. Rows are only appended at the end and removed all together, so appending
// costs the same however long the list has grown.
//
// On a list wider than the handheld's the preview shows as many characters as the
// column takes (SetPreviewChars) and each reply is marked with how it ended: an icon
// whose glyph tells it without colour, and the words in its tool tip (SetMarked). A
// row's tool tip also holds its notes (an error code named, a short message decoded). The
// third column, the time of the row, is shown only when the list asks for it.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

#include "engine/Row.h"
#include "screen/SendRules.h"

namespace orvane {
class ResponseStore;
}

class ResponseListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kResponseColumn = 0, kCommandColumn = 1, kTimeColumn = 2, kColumnCount = 3 };

  explicit ResponseListModel(QObject* parent = nullptr);

  // The store the rows' texts are read from (it must outlive the model, or be unset).
  void SetStore(const orvane::ResponseStore* store);
  // Appends a row showing the store's |slot| at the end; returns its index.
  int AppendRow(int slot);
  // Removes every row.
  void Clear();

  int Count() const { return static_cast<int>(rows_.size()); }
  // A column's text of |row|; empty for a row or column that is not there.
  QString Text(int row, int column) const;
  // The preview's length: 0 for the handheld's rule (20 characters and ".."), else that
  // many characters of the reply with nothing after them.
  void SetPreviewChars(int chars);
  int PreviewChars() const { return previewChars_; }
  // Whether replies carry the mark of how they ended.
  void SetMarked(bool marked);
  bool Marked() const { return marked_; }
  // What the copy commands put on the clipboard for |row|: its command as sent and its
  // whole reply as binary text, separated by a tab; its reply with its line ends as
  // real line breaks. Empty for a row that is not there.
  QString CopyText(int row) const;
  QString ReplyText(int row) const;
  // Every row's cells of |column| have changed.
  void ColumnChanged(int column);
  // The integer attached to |row| (its slot number); -1 for a row that is not there.
  int RowData(int row) const;
  // The store's row behind |row| (an empty row for a row that is not there), and how it
  // ended as it was appended (kept, so it stays when the store drops the row's bytes).
  const orvane::Row& RowOf(int row) const;
  orvane::RowMark Mark(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  bool Has(int row) const { return row >= 0 && row < Count(); }
  int SlotOf(int row) const { return rows_[static_cast<size_t>(row)]; }
  QString Preview(int slot) const;

  const orvane::ResponseStore* store_ = nullptr;
  std::vector<int> rows_;  // each row's slot
  std::vector<orvane::RowMark> marks_;  // each row's mark
  int previewChars_ = 0;
  bool marked_ = false;
};
