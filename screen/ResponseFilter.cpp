#include "screen/ResponseFilter.h"

#include "screen/ResponseListModel.h"

ResponseFilter::ResponseFilter(ResponseListModel* rows, QObject* parent)
    : QSortFilterProxyModel(parent), rows_(rows) {
  // A row's mark never changes, so changed cells (previews) are not filtered again.
  setDynamicSortFilter(false);
  setSourceModel(rows);
}

void ResponseFilter::SetRowFilter(const orvane::RowFilter& filter) {
  if (filter.hideUnsolicited == filter_.hideUnsolicited && filter.onlyTroubled == filter_.onlyTroubled)
    return;
  filter_ = filter;
  invalidateFilter();
}

bool ResponseFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
  return filter_.Shows(rows_->Mark(sourceRow));
}

int ResponseFilter::TotalCount() const { return rows_->Count(); }

int ResponseFilter::RowOfShown(int shown) const {
  const QModelIndex row = mapToSource(index(shown, 0));
  return row.isValid() ? row.row() : -1;
}

int ResponseFilter::ShownOf(int row) const {
  const QModelIndex shown = mapFromSource(rows_->index(row, 0));
  return shown.isValid() ? shown.row() : -1;
}

int ResponseFilter::Find(const orvane::RowNeedle& needle, int from, bool forward, bool* wrapped) const {
  const int n = ShownCount();
  *wrapped = false;
  if (n == 0 || needle.Empty()) return -1;
  const bool started = from >= 0 && from < n;
  // Without a start, the first step lands on the first (or last) row.
  const int start = started ? from : (forward ? n - 1 : 0);
  for (int step = 1; step <= n; ++step) {
    const int at = forward ? start + step : start - step;
    const int shown = (at % n + n) % n;
    const orvane::Row& row = rows_->RowOf(RowOfShown(shown));
    if (!needle.InRow(row, notes_ ? notes_(row) : std::vector<std::string>{})) continue;
    *wrapped = started && (at >= n || at < 0);
    return shown;
  }
  return -1;
}
