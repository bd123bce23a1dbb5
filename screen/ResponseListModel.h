// The rows behind the response list: one per exchange, in the order they happened.
// Rows are only appended at the end and removed all together, so appending costs the
// same however long the list has grown.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <vector>

class ResponseListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kResponseColumn = 0, kCommandColumn = 1, kColumnCount = 2 };

  explicit ResponseListModel(QObject* parent = nullptr);

  // Appends a row at the end; returns its index.
  int AppendRow(const QString& preview, const QString& command, int slot);
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
  struct Row {
    QString preview;
    QString command;
    int slot;
  };
  bool Has(int row) const { return row >= 0 && row < Count(); }

  std::vector<Row> rows_;
};
