#include "screen/ResponseListModel.h"

#include "engine/ResponseStore.h"
#include "screen/SendRules.h"

ResponseListModel::ResponseListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResponseListModel::SetStore(const orvane::ResponseStore* store) {
  beginResetModel();
  store_ = store;
  endResetModel();
}

int ResponseListModel::AppendRow(int slot) {
  const int row = Count();
  beginInsertRows(QModelIndex(), row, row);
  rows_.push_back(slot);
  endInsertRows();
  return row;
}

void ResponseListModel::Clear() {
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  endResetModel();
}

QString ResponseListModel::Text(int row, int column) const {
  if (!Has(row) || store_ == nullptr) return {};
  const orvane::Row& shown = store_->At(rows_[static_cast<size_t>(row)]);
  switch (column) {
    case kResponseColumn: return QString::fromStdU16String(orvane::RowPreview(shown));
    case kCommandColumn: return QString::fromStdU16String(shown.sent);
    default: return {};
  }
}

int ResponseListModel::RowData(int row) const {
  return Has(row) ? rows_[static_cast<size_t>(row)] : -1;
}

int ResponseListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

int ResponseListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant ResponseListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !Has(index.row())) return {};
  switch (role) {
    case Qt::DisplayRole:
      return Text(index.row(), index.column());
    case Qt::UserRole:
      return RowData(index.row());
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
      return {};
  }
}

QVariant ResponseListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return QAbstractTableModel::headerData(section, orientation, role);
  if (role == Qt::DisplayRole) {
    if (section == kResponseColumn) return QStringLiteral("Response");
    if (section == kCommandColumn) return QStringLiteral("Command");
  }
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
  return {};
}

Qt::ItemFlags ResponseListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
