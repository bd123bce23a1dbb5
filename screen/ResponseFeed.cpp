#include "screen/ResponseFeed.h"

#include <string_view>

void ResponseFeed::SetList(ResponseListCtrl* list) {
  list_ = list;
  if (list_) list_->SetStore(&store_);
}

void ResponseFeed::Add(orvane::Row row) {
  if (row.end == orvane::ReplyEnd::kWriteFailed) {
    constexpr std::string_view kWriteFailed = "Port Write Failed";
    row.reply.assign(kWriteFailed.begin(), kWriteFailed.end());
  }
  const size_t dropped = store_.DroppedBytes();
  const int slot = store_.Add(std::move(row));
  if (!list_) return;
  // Rows whose bytes the store dropped now say so.
  if (store_.DroppedBytes() != dropped) list_->RefreshPreviews();
  const int shown = list_->AppendRow(slot);
  // The new row is the keyboard anchor; the selection and the scroll position stay.
  list_->SetSelectionMark(shown);
}

void ResponseFeed::Clear() {
  store_.Clear();
  if (list_) list_->DeleteAllRows();
}
