// The main command screen: a form on template IDD_ORVANEPORT_FORM that fills the
// frame. The user picks a modem or types a port, sets the baud rate, opens and closes
// the line, types a command, sends it (framed with the current profile when "Use" is
// ticked) and works with the response list. The screen owns the one serial line, the
// device listings and the response store; its settings, profiles and history live in
// the hive it is given.
//
// A send starts an exchange and returns; the reply is awaited in the event loop, so
// the screen stays painted and a Close can end the read. Nothing that would start
// another exchange or open a dialog runs meanwhile: those commands are refused until
// the exchange is recorded (see RefusedWhileReading).
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/BinaryTextCodec.h"
#include "engine/PortDiscovery.h"
#include "engine/SerialLine.h"
#include "entry/model/CommandHistory.h"
#include "preferences/PreferenceStore.h"
#include "screen/ExchangeRunner.h"
#include "screen/ResponseStore.h"
#include "ui/FocusKeeper.h"
#include "ui/TemplateHost.h"
#include "ui/WaitCursor.h"

class QMenu;
class ResponseListCtrl;

// One row of the response list, as export and the viewer need it.
struct ResponseRowData {
  QString commandText;        // column 1: the command as sent (binary text)
  orvane::Bytes responseBytes;  // the reply's bytes from the row's slot
};

class COrvanePortView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kNotListed = 9999;
  static constexpr int kListingCapacity = 100;

  // Construction: empty texts, use flag off, empty response store, then the device
  // discovery into the 100 listings from |hive|'s driver table. The preferences and the
  // command history are kept in |hive|, which must outlive the screen.
  explicit COrvanePortView(orvane::reg::Hive& hive, QWidget* parent = nullptr);
  ~COrvanePortView() override;

  // Once, before the screen is first shown.
  void OnInitialUpdate();

  ui::TemplateHost& Host() { return host_; }
  ui::CommandTable& Commands() { return host_.Commands(); }
  QWidget* Control(int id) const { return host_.Control(id); }
  ResponseListCtrl* ResponseList() const;
  orvane::SerialLine& Line() { return line_; }
  const orvane::ResponseStore& Responses() const { return responses_; }
  int ListingCount() const { return listingCount_; }
  bool OpenFlag() const { return openFlag_; }
  bool UseFlag() const { return useFlag_; }

  // Every row in order: its command text (column 1) and the bytes of its slot.
  std::vector<ResponseRowData> ResponseRows() const;

  // True while a reply is read (the send flow's exchange is not yet recorded).
  bool IsReading() const { return exchange_.Running(); }
  // Commands refused while a reply is read: they would start another exchange or
  // open a dialog.
  bool RefusedWhileReading(int id) const;
  // Runs command |id| as the menus and buttons do (refused ones are ignored while a
  // reply is read). False when the screen has no such command.
  bool RunCommand(int id);
  // Applies the screen's enable and check queries to |menu|'s items.
  void UpdateMenu(QMenu* menu);
  // Ends a read in progress now and records what arrived (the window is closing).
  void EndRead();
  // The millisecond clock of the exchanges (tests); the steady clock when not set.
  void SetTickSource(std::function<uint32_t()> tick) { tick_ = std::move(tick); }

  // Handlers.
  void OnSelectDevice();
  void OnOpenLine();
  void OnCloseLine();
  void OnSend();
  void OnShowResponse();
  void OnClearResponses();
  void OnExportResponseList();
  void OnToggleUseFlag();

  // Records one exchange: a new row (preview and command) and the reply's bytes in the
  // next slot of the store. A reply cut at the size limit is marked in its row.
  void AddResponseEntry(orvane::Bytes reply, const std::u16string& commandText,
                        orvane::ReplyEnd end = orvane::ReplyEnd::kNone);
  void OnEditAsBinary();
  void OnCommandHistory();
  void OnPreferences();

 private:
  // Adds a command to the screen's table, refused while a reply is read when it is in
  // the refused list. A button of the same id presses into the same handler.
  void AddCommand(int id, void (COrvanePortView::*handler)());
  // The state of the controls that depend on the open flag.
  void EnableForOpenFlag();
  void SetReading(bool on);
  // The exchange of a send has ended: record it and the command.
  void OnExchangeEnded(orvane::ExchangeResult result, const std::u16string& command);

  ui::TemplateHost host_;
  orvane::PreferenceStore preferences_;
  orvane::CommandHistory history_;
  // The response list, found once: every exchange appends to it.
  QPointer<ResponseListCtrl> responseList_;

  // Bound members.
  QString commandText_;
  QString titleText_;
  QString portText_;
  QString statusText_;
  bool useFlag_ = false;  // "Use": frame commands with the current profile
  QString baudText_;

  int listingCount_ = 0;
  std::array<orvane::PortListing, kListingCapacity> listings_;
  orvane::SerialLine line_;
  orvane::ResponseStore responses_;
  bool openFlag_ = false;  // the line is open

  ExchangeRunner exchange_;
  std::optional<ui::WaitCursor> waitCursor_;  // on while a reply is read
  ui::FocusKeeper focus_{this};  // typing during a read changes nothing
  std::function<uint32_t()> tick_;

  bool initialized_ = false;
  bool portFieldWasEnabled_ = true;
};
