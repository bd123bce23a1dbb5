// The main command screen: a form on template IDD_ORVANEPORT_FORM that fills the
// frame. The user picks a modem or types a port, sets the baud rate, opens and closes
// the line, types a command, sends it (framed with the current profile when "Use" is
// ticked) and works with the response list. The screen owns the one serial line, the
// device listings and the response store; its settings, profiles and history live in
// the hive it is given.
//
// While the line is closed the modem list follows plugging (FollowDevices): a device
// plugged or unplugged, a simulator started or ended, a remote port added, shows in the
// list at once, and the user's choice stays selected while it is still offered. A device
// that vanishes while the line is open ends the line: the status says "Device Gone".
//
// A send starts an exchange and returns; the reply is awaited in the event loop, so
// the screen stays painted and a Close can end the read. Between exchanges, while the
// line is open, what the device says unprompted is read as it comes and recorded as
// rows of their own with no command (IdleReader); a send first ends the pending one. Nothing that would start
// another exchange or open a dialog runs meanwhile: those commands are refused until
// the exchange is recorded (see RefusedWhileReading).
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/BinaryTextCodec.h"
#include "engine/PortDiscovery.h"
#include "engine/LineFactory.h"
#include "platform/DeviceMonitor.h"
#include "platform/DeviceTable.h"
#include "entry/model/CommandHistory.h"
#include "preferences/PreferenceStore.h"
#include "screen/ExchangeRunner.h"
#include "screen/IdleReader.h"
#include "screen/ResponseStore.h"
#include "ui/FocusKeeper.h"
#include "ui/TemplateHost.h"
#include "ui/WaitCursor.h"

class QMenu;
class DeviceWatch;
class ResponseListCtrl;

// One row of the response list, as export and the viewer need it.
struct ResponseRowData {
  QString commandText;        // column 1: the command as sent (binary text)
  orvane::Bytes responseBytes;  // the reply's bytes from the row's slot
  orvane::RowTime time;         // when it was sent and how it ended
};

class COrvanePortView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kNotListed = 9999;
  static constexpr int kListingCapacity = 100;

  // Construction: empty texts, use flag off, empty response store, then the device
  // discovery into the 100 listings from |hive|'s driver table and remote ports. The
  // preferences and the command history are kept in |hive|, which must outlive the screen.
  explicit COrvanePortView(orvane::reg::Hive& hive, QWidget* parent = nullptr);
  ~COrvanePortView() override;

  // Once, before the screen is first shown.
  void OnInitialUpdate();

  // From now on the modem list follows plugging: on every change noticed by the device
  // monitor (plugging, ptys, writes to |hiveFile|, the hive the screen reads; empty: none)
  // the driver table is refreshed from the machine's devices (|table|) and the list filled
  // again while the line is closed. False, and nothing followed, when nothing can be
  // watched.
  bool FollowDevices(const std::string& hiveFile, const orvane::DeviceTableOptions& table = {},
                     const orvane::DeviceMonitorOptions& monitor = {});
  // Fills the modem list afresh from the hive (after refreshing the driver table when
  // following), keeping the selected device, or "<Not Listed>" and the typed port, when
  // still offered. While the line is open this waits until it is closed.
  void RefreshModemList();

  ui::TemplateHost& Host() { return host_; }
  ui::CommandTable& Commands() { return host_.Commands(); }
  QWidget* Control(int id) const { return host_.Control(id); }
  ResponseListCtrl* ResponseList() const;
  orvane::NamedLine& Line() { return line_; }
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
  // Ends a read in progress now and records what arrived, the reply's and any unsolicited
  // data, and stops reading the line (the window or the line is closing).
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
  void OnRemotePorts();

  // Records one exchange: a new row (preview and command) and the reply's bytes in the
  // next slot of the store. A reply cut at the size limit is marked in its row.
  void AddResponseEntry(orvane::Bytes reply, const std::u16string& commandText,
                        orvane::ReplyEnd end = orvane::ReplyEnd::kNone);
  // Records a row of unsolicited data: no command, its bytes and time.
  void AddUnsolicitedEntry(orvane::UnsolicitedRow row);
  // True while the open line is read between exchanges.
  const IdleReader& IdleLine() const { return idle_; }
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
  // Fills the modem list from the listings and selects |deviceName| when offered (an
  // empty name: "<Not Listed>"), else the first device. False when it was not offered.
  bool FillModemList(const std::optional<std::u16string>& deviceName);
  // The device monitor noticed a change.
  void OnDevicesChanged();
  // The open line's device has gone: it is released and the status says so.
  void OnDeviceGone();
  // Appends one row: preview, command and the bytes with their time in the next slot.
  void AddRow(orvane::Bytes reply, const std::u16string& commandText, const orvane::RowTime& time);
  // Reads the open line between exchanges.
  void WatchIdleLine();

  orvane::reg::Hive& hive_;
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
  std::vector<orvane::PortListing> listings_;
  orvane::NamedLine line_;  // a local device or a network port, by name
  orvane::ResponseStore responses_;
  bool openFlag_ = false;  // the line is open

  ExchangeRunner exchange_;
  IdleReader idle_;
  std::optional<ui::WaitCursor> waitCursor_;  // on while a reply is read
  ui::FocusKeeper focus_{this};  // typing during a read changes nothing
  std::function<uint32_t()> tick_;

  bool initialized_ = false;
  bool portFieldWasEnabled_ = true;

  // Following plugging.
  std::unique_ptr<DeviceWatch> deviceWatch_;
  orvane::DeviceTableOptions tableOptions_;
  bool listStale_ = false;  // a change came while the line was open
};
