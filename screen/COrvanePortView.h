// The main command screen: a form on template IDD_ORVANEPORT_FORM that fills the
// frame. The user picks a modem or types a port, sets the baud rate, opens and closes
// the line, types a command, sends it (framed with the current profile when "Use" is
// ticked) and works with the response list. The screen holds the session of the one
// line (engine/Session.h), the modem list and the response store; its settings,
// profiles and history live in the hive it is given.
//
// While the line is closed the modem list follows plugging (FollowDevices): a device
// plugged or unplugged, a simulator started or ended, a remote port added, shows in the
// list at once, and the user's choice stays selected while it is still offered. A device
// that vanishes while the line is open ends the line: the status says "Device Gone".
//
// A send starts an exchange and returns; the session is driven in the event loop
// (SessionDriver), so the screen stays painted and a Close can end the read. Between
// exchanges, what the device says unprompted becomes rows of their own with no command.
// Every row the session ends goes into the store and onto the list (ResponseFeed).
// Nothing that would start another exchange or open a dialog runs while a reply is read:
// those commands are refused until the exchange is recorded (see RefusedWhileReading).
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/BinaryTextCodec.h"
#include "engine/ResponseStore.h"
#include "engine/Session.h"
#include "entry/model/CommandHistory.h"
#include "platform/DeviceMonitor.h"
#include "platform/DeviceTable.h"
#include "preferences/PreferenceStore.h"
#include "screen/ModemChooser.h"
#include "screen/ResponseFeed.h"
#include "screen/SequenceRun.h"
#include "screen/SessionDriver.h"
#include "screen/SessionJournal.h"
#include "ui/FocusKeeper.h"
#include "ui/TemplateHost.h"
#include "ui/WaitCursor.h"

class QMenu;
class ResponseListCtrl;

class COrvanePortView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kNotListed = ModemChooser::kNotListed;

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

  // The device named at start (command line): chosen in the modem list, or typed under
  // "<Not Listed>"; a non-empty |baud| goes into the baud box (saved only by an Open).
  void ChooseStartPort(const QString& device, const QString& baud);

  ui::TemplateHost& Host() { return host_; }
  ui::CommandTable& Commands() { return host_.Commands(); }
  QWidget* Control(int id) const { return host_.Control(id); }
  ResponseListCtrl* ResponseList() const { return feed_.List(); }
  orvane::Session& Session() { return session_; }
  SessionJournal& Journal() { return journal_; }
  orvane::NamedLine& Line() { return session_.Line(); }
  // Every row in order, as the list shows them (row k is slot k).
  const orvane::ResponseStore& Responses() const { return responses_; }
  int ListingCount() const { return modems_.ListingCount(); }
  bool OpenFlag() const { return openFlag_; }
  bool UseFlag() const { return useFlag_; }

  // True while a reply is read (the send flow's exchange is not yet recorded) or a
  // sequence runs.
  bool IsReading() const { return session_.Busy() || sequence_.Running(); }
  // Commands refused while a reply is read: they would start another exchange or
  // open a dialog.
  bool RefusedWhileReading(int id) const;
  // Runs command |id| as the menus and buttons do (refused ones are ignored while a
  // reply is read). False when the screen has no such command.
  bool RunCommand(int id);
  // Applies the screen's enable and check queries to |menu|'s items.
  void UpdateMenu(QMenu* menu);
  // Ends a read in progress now and records what arrived, the reply's and any unsolicited
  // data, and closes the line (the window is closing).
  void EndRead();
  // The millisecond clock of the session (tests); the steady clock when not set.
  void SetTickSource(std::function<uint32_t()> tick);

  // Handlers.
  void OnSelectDevice();
  void OnOpenLine();
  // |again|: the device that went while open is back; a failure leaves it gone, quietly.
  void OpenLine(bool again);
  void OnCloseLine();
  void OnSend();
  void OnShowResponse();
  void OnClearResponses();
  void OnExportResponseList();
  void OnToggleUseFlag();
  void OnRemotePorts();
  // The line settings of the port in the port field (kept per port; Open takes them).
  void OnLineSettings();

  // Records one exchange as a row: the command as sent and the reply's bytes. A reply
  // cut at the size limit is marked in its row.
  void AddResponseEntry(orvane::Bytes reply, const std::u16string& commandText,
                        orvane::ReplyEnd end = orvane::ReplyEnd::kNone);
  void OnEditAsBinary();
  void OnCommandHistory();
  void OnPreferences();
  // Linewright > Run Sequence (|recent|: a file run before, 0 the newest; -1: pick one).
  void OnRunSequence(int recent = -1);
  void OnStopSequence() { sequence_.Stop(); }

 private:
  // Adds a command to the screen's table, refused while a reply is read when it is in
  // the refused list. A button of the same id presses into the same handler.
  void AddCommand(int id, std::function<void(COrvanePortView*)> handler);
  // The state of the controls that depend on the open flag and on a read in progress.
  void EnableControls();
  // The session was advanced: a send's exchange may have ended, the device gone.
  void OnSessionStepped();
  // The device monitor noticed a change.
  void OnDevicesChanged();
  // The open line's device has gone: it is released and the status says so.
  void OnDeviceGone();
  // A port shared through its service: the status says so, with the clients attached.
  void ShowSharedStatus();
  // Sends |command| framed by the current profile (when "Use" is ticked); the history
  // takes it when |remember|.
  void SendCommand(const std::u16string& command, bool remember);
  // A command that went out without a line end got no reply: says so at once, and on
  // the user's word makes a profile that adds a carriage return, current and used, and
  // sends the carriage return that ends the command the device holds. Offered once a run.
  void OfferLineEnd();
  // The framing of the next send: the current profile's when "Use" is ticked and it
  // loads. False, with the reason in |problem|, when the profile is damaged.
  bool CurrentFraming(orvane::Framing* framing, std::string* problem) const;
  // The same; when the profile is damaged, a message says why and that |notDone|.
  bool CurrentFraming(orvane::Framing* framing, const QString& notDone);

  orvane::reg::Hive& hive_;
  ui::TemplateHost host_;
  orvane::PreferenceStore preferences_;
  orvane::CommandHistory history_;

  // Bound members.
  QString commandText_;
  QString titleText_;
  QString portText_;
  QString statusText_;
  bool useFlag_ = false;  // "Use": frame commands with the current profile
  QString baudText_;

  ModemChooser modems_;
  orvane::ResponseStore responses_;
  ResponseFeed feed_{responses_};
  orvane::Session session_;
  SessionDriver driver_{session_};
  SequenceRun sequence_{hive_, session_, driver_, this};
  SessionJournal journal_{hive_, session_, responses_, feed_, this};
  bool openFlag_ = false;  // the line is open
  int sharedShown_ = 0;  // the clients of the port's service the status shows; 0: not shared
  std::u16string sending_;  // the command as typed while its exchange runs
  bool rememberSent_ = true;  // it goes into the history

  std::optional<ui::WaitCursor> waitCursor_;  // on while a reply is read
  ui::FocusKeeper focus_{this};  // typing during a read changes nothing

  bool initialized_ = false;
  bool portFieldWasEnabled_ = true;
  bool listStale_ = false;  // a change came while the line was open
  bool lineEndOffered_ = false;
  QString reopenPort_;  // the port that went while open, to open again when it is back
};
