// The rows behind the response list: one per row of the store, in the order they
// happened. The texts are read from the store when shown; the model keeps only each
// row's slot. Rows are only appended at the end and removed all together, so appending
// costs the same however long the list has grown.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

namespace orvane {
class ResponseStore;
}

class ResponseListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kResponseColumn = 0, kCommandColumn = 1, kColumnCount = 2 };

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
  // The integer attached to |row| (its slot number); -1 for a row that is not there.
  int RowData(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  bool Has(int row) const { return row >= 0 && row < Count(); }

  const orvane::ResponseStore* store_ = nullptr;
  std::vector<int> rows_;  // each row's slot
};
