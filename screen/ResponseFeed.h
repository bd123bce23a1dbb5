// The response list's feed: every row the session ends goes into the store and onto the
// list, in order. The list reads what it shows from the store.
#pragma once

#include <QPointer>

#include "engine/ResponseStore.h"
#include "engine/Session.h"
#include "screen/ResponseListCtrl.h"

class ResponseFeed : public orvane::SessionObserver {
 public:
  explicit ResponseFeed(orvane::ResponseStore& store) : store_(store) {}

  // The list rows are appended to (none: rows are only stored).
  void SetList(ResponseListCtrl* list);
  ResponseListCtrl* List() const { return list_; }

  void OnRowEnded(const orvane::Row& row) override { Add(row); }
  // Stores |row| and appends it to the list. A command that could not be written shows
  // "Port Write Failed" as its reply.
  void Add(orvane::Row row);
  // Empties the store and the list.
  void Clear();

 private:
  orvane::ResponseStore& store_;
  QPointer<ResponseListCtrl> list_;
};
