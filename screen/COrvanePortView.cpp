#include "screen/COrvanePortView.h"

#include <poll.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "engine/BinaryTextCodec.h"
#include "engine/LineSettingsStore.h"
#include "resources/OrvanePortIds.h"
#include "entry/CommandEdit.h"
#include "preferences/PreferencesDialog.h"
#include "entry/model/CommandHistory.h"
#include "entry/CommandHistoryDialog.h"
#include "entry/EditBinaryDialog.h"
#include "screen/ExportResponseList.h"
#include "notes/ReplyNotes.h"
#include "preferences/PreferenceStore.h"
#include "screen/CommandResponseDialog.h"
#include "screen/LineSettingsDialog.h"
#include "screen/RemotePortsDialog.h"
#include "screen/SendHints.h"
#include "screen/SharedPortStatus.h"
#include "screen/ResponseListCtrl.h"
#include "screen/SendRules.h"
#include "ui/EnterKeyFilter.h"
#include "ui/Look.h"
#include "ui/Menus.h"
#include "ui/Messages.h"
#include "ui/SoftInputPanel.h"
#include "ui/Template.h"

using namespace orvane::port_ids;

namespace {

const char* const kBaudRates[] = {"110",   "300",   "600",   "1200",   "2400",
                                  "4800",  "9600",  "14400", "19200",  "38400",
                                  "56000", "57600", "115200", "128000", "256000"};

// The list's and the entry fields' classes must be known before the template is built.
QWidget* WithScreenClasses(QWidget* owner) {
  ResponseListCtrl::RegisterControlClass();
  RegisterEntryControlClasses();
  return owner;
}

// The command field's Command History item picks from the screen's history.
void SetHistory(QWidget* field, const orvane::CommandHistory& history) {
  if (auto* edit = qobject_cast<CommandEdit*>(field)) edit->SetHistory(history);
}

// Enter (or Ctrl+Return) in the command field presses Send (Up and Down walk the history
// there); with the line closed it says how to open it.
void SetDesktopKeys(QWidget* field, QWidget* send, std::function<bool()> lineOpen) {
  auto* edit = qobject_cast<CommandEdit*>(field);
  auto* button = qobject_cast<QAbstractButton*>(send);
  if (!edit || !button) return;
  edit->SetSendKey([edit, button, lineOpen] {
    if (lineOpen()) {
      button->click();  // nothing while a reply is read
      return;
    }
    ui::ShowMessage(edit, QStringLiteral("The line is not open: press Open (Ctrl+O) first."));
  });
  edit->setToolTip(QStringLiteral("The command to send. Enter sends it; "
                                  "Up and Down recall earlier commands."));
  button->setToolTip(QStringLiteral("Send the command (Enter in the command field)."));
}

}  // namespace

COrvanePortView::COrvanePortView(orvane::reg::Hive& hive, QWidget* parent)
    : QWidget(parent),
      hive_(hive),
      host_(WithScreenClasses(this), kIdTable, IDD_ORVANEPORT_FORM),
      preferences_(hive),
      history_(hive),
      // Construction: every text empty, use flag off, response store empty; then the
      // devices the driver table offers, and the remote ports.
      modems_(hive, host_, portText_) {
  setObjectName(QStringLiteral("COrvanePortView"));
  // The journal has a row's bytes before the list shows it, and learns the row's slot after.
  session_.AddObserver(journal_.Writer());
  session_.AddObserver(&feed_);
  session_.AddObserver(&journal_);
  driver_.stepped = [this] { OnSessionStepped(); };

  host_.BindText(IDC_BAUD, &baudText_);
  host_.BindText(IDC_COMMAND, &commandText_);
  host_.BindText(IDC_PORT, &portText_);
  host_.BindText(IDC_TITLE, &titleText_);
  host_.BindText(IDC_STATUS, &statusText_);
  host_.BindCheck(IDC_USE, &useFlag_);

  // The screen's command table: one line per command.
  host_.OnNotify(IDC_MODEM, ui::Notify::SelChange, [this] { modems_.Select(); });
  AddCommand(IDC_OPEN, &COrvanePortView::OnOpenLine);
  AddCommand(ID_PORT_OPEN, &COrvanePortView::OnOpenLine);
  AddCommand(IDC_CLOSE, &COrvanePortView::OnCloseLine);
  AddCommand(ID_PORT_CLOSE, &COrvanePortView::OnCloseLine);
  AddCommand(IDC_SEND, &COrvanePortView::OnSend);
  AddCommand(ID_SHOW_RESPONSE, &COrvanePortView::OnShowResponse);
  AddCommand(ID_CLEAR_RESPONSES, &COrvanePortView::OnClearResponses);
  AddCommand(ID_EXPORT_RESPONSES, &COrvanePortView::OnExportResponseList);
  AddCommand(ID_USE_PREFERENCES, &COrvanePortView::OnToggleUseFlag);
  AddCommand(ID_EDIT_AS_BINARY, &COrvanePortView::OnEditAsBinary);
  AddCommand(ID_COMMAND_HISTORY, &COrvanePortView::OnCommandHistory);
  AddCommand(IDC_PREFERENCES, &COrvanePortView::OnPreferences);
  AddCommand(ID_REMOTE_PORTS, &COrvanePortView::OnRemotePorts);
  AddCommand(ID_LINE_SETTINGS, &COrvanePortView::OnLineSettings);
  AddCommand(ID_RUN_SEQUENCE, [](COrvanePortView* v) { v->OnRunSequence(); });
  AddCommand(ID_STOP_SEQUENCE, &COrvanePortView::OnStopSequence);
  const int recent[] = {ID_RECENT_SEQUENCE_1, ID_RECENT_SEQUENCE_2, ID_RECENT_SEQUENCE_3, ID_RECENT_SEQUENCE_4};
  for (int i = 0; i < 4; ++i) AddCommand(recent[i], [i](COrvanePortView* v) { v->OnRunSequence(i); });
  Commands().OnQuery(ID_STOP_SEQUENCE, [this](ui::CommandState& s) { s.Enable(sequence_.Running()); });
  sequence_.showStatus = [this](const QString& text) {
    host_.ReadControls();
    statusText_ = text;
    host_.ShowMembers();
  };
  sequence_.ended = [this] { EnableControls(); };
  AddJournalCommands(Commands(), journal_, [this](int id) { return IsReading() && RefusedWhileReading(id); });
  host_.OnNotify(IDC_RESPONSES, ui::Notify::DoubleClick, [this] { RunCommand(ID_SHOW_RESPONSE); });

  Commands().OnQuery(ID_PORT_OPEN, [this](ui::CommandState& s) { s.Enable(!openFlag_); });
  Commands().OnQuery(ID_PORT_CLOSE, [this](ui::CommandState& s) { s.Enable(openFlag_); });
  Commands().OnQuery(ID_USE_PREFERENCES, [this](ui::CommandState& s) {
    host_.ReadControls();
    s.SetCheck(useFlag_);
  });

  // Entry fields raise the soft input panel while they hold the focus.
  for (int id : {IDC_COMMAND, IDC_PORT}) {
    host_.OnNotify(id, ui::Notify::SetFocus, [] { ui::sip::Raise(); });
    host_.OnNotify(id, ui::Notify::KillFocus, [] { ui::sip::ForceDown(); });
  }

  feed_.SetList(qobject_cast<ResponseListCtrl*>(Control(IDC_RESPONSES)));
  if (ResponseListCtrl* list = ResponseList()) {
    list->prepareMenu = [this](QMenu* menu) { UpdateMenu(menu); };
    list->runCommand = [this](int id) { RunCommand(id); };
  }
  // The screen asks for all keys: Enter never presses a button.
  ui::InstallEnterKeyFilter(this);
}

COrvanePortView::~COrvanePortView() {
  // Nothing more reaches the list; the line is closed with the session.
  session_.RemoveObserver(&feed_);
  session_.RemoveObserver(&journal_);
  session_.RemoveObserver(journal_.Writer());
  driver_.stepped = nullptr;
}

void COrvanePortView::SetTickSource(std::function<uint32_t()> tick) { session_.SetTick(std::move(tick)); }

void COrvanePortView::AddCommand(int id, std::function<void(COrvanePortView*)> handler) {
  auto guarded = [this, id, handler] {
    if (IsReading() && RefusedWhileReading(id)) return;
    handler(this);
  };
  if (qobject_cast<QAbstractButton*>(Control(id)))
    host_.OnNotify(id, ui::Notify::Clicked, guarded);
  else
    Commands().On(id, guarded);
}

bool COrvanePortView::RefusedWhileReading(int id) const {
  switch (id) {
    case IDC_SEND: case IDC_OPEN: case ID_PORT_OPEN: case IDC_PREFERENCES:
    case ID_SHOW_RESPONSE: case ID_EXPORT_RESPONSES: case ID_CLEAR_RESPONSES:
    case ID_EDIT_AS_BINARY: case ID_COMMAND_HISTORY: case ID_APP_ABOUT: case ID_REMOTE_PORTS:
    case ID_LINE_SETTINGS: case ID_RUN_SEQUENCE: case ID_RECENT_SEQUENCE_1: case ID_RECENT_SEQUENCE_2:
    case ID_RECENT_SEQUENCE_3: case ID_RECENT_SEQUENCE_4: case ID_OPEN_JOURNAL: case ID_JOURNAL_FOLDER:
      return true;
    default:
      return false;
  }
}

bool COrvanePortView::RunCommand(int id) {
  if (IsReading() && RefusedWhileReading(id)) return Commands().Handles(id);
  return Commands().Dispatch(id);
}

void COrvanePortView::UpdateMenu(QMenu* menu) {
  if (!menu) return;
  Commands().UpdateMenu(menu);
  sequence_.UpdateMenu(menu);
  if (!IsReading()) return;
  for (QAction* action : menu->actions())
    if (RefusedWhileReading(ui::CommandIdOf(action))) action->setEnabled(false);
}

void COrvanePortView::OnInitialUpdate() {
  if (initialized_) return;
  initialized_ = true;
  host_.ReadControls();

  titleText_ = QStringLiteral("Port Linewright");
  ui::MakeCaption(Control(IDC_TITLE));

  modems_.Fill(std::nullopt);

  if (auto* baud = host_.Control<QComboBox>(IDC_BAUD)) {
    for (const char* rate : kBaudRates) baud->addItem(QString::fromLatin1(rate));
  }
  openFlag_ = false;
  EnableControls();

  SetMenuMode(host_, IDC_COMMAND, entry::MenuMode::History);
  SetHistory(Control(IDC_COMMAND), history_);
  SetDesktopKeys(Control(IDC_COMMAND), Control(IDC_SEND), [this] { return openFlag_; });
  SetMenuMode(host_, IDC_PORT, entry::MenuMode::Editing);
  if (ResponseListCtrl* list = ResponseList()) list->SetUp();

  useFlag_ = true;
  openFlag_ = false;
  baudText_ = QString::number(preferences_.LoadBaudRate());

  // The baud box's own edit field takes the Enter-key filter too.
  if (auto* baud = host_.Control<QComboBox>(IDC_BAUD); baud && baud->lineEdit())
    ui::InstallEnterKeyFilter(baud->lineEdit());

  host_.ShowMembers();
  modems_.Select();
}

void COrvanePortView::ChooseStartPort(const QString& device, const QString& baud) {
  modems_.Choose(device);
  host_.ReadControls();
  if (!baud.isEmpty()) baudText_ = baud;
  host_.ShowMembers();
}

bool COrvanePortView::FollowDevices(const std::string& hiveFile, const orvane::DeviceTableOptions& table,
                                    const orvane::DeviceMonitorOptions& monitor) {
  orvane::DeviceMonitorOptions watched = monitor;
  if (!hiveFile.empty()) watched.files.push_back(hiveFile);
  if (!modems_.Follow(watched, table, [this] { OnDevicesChanged(); })) return false;
  // What changed before the watch began is taken too.
  RefreshModemList();
  return true;
}

void COrvanePortView::OnDevicesChanged() {
  if (!openFlag_) {
    RefreshModemList();
    return;
  }
  listStale_ = true;
  // A read in progress sees a hang-up itself; an idle line is asked here.
  if (IsReading()) return;
  pollfd p{session_.Descriptor(), POLLIN, 0};
  if (p.fd >= 0 && ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) OnDeviceGone();
}

void COrvanePortView::RefreshModemList() {
  if (openFlag_) {
    listStale_ = true;
    return;
  }
  listStale_ = false;
  modems_.Refresh();
  host_.ReadControls();
  // The device that went while open is opened again once it is back, unless the user
  // chose another meanwhile.
  if (reopenPort_.isEmpty()) return;
  if (portText_ != reopenPort_) {
    reopenPort_.clear();
  } else if (modems_.GoneIsBack() || (modems_.Typed() && QFileInfo::exists(portText_))) {
    OpenLine(true);
  }
}

void COrvanePortView::OnDeviceGone() {
  modems_.MarkGone();
  host_.ReadControls();
  reopenPort_ = portText_;
  openFlag_ = false;
  session_.Close();
  driver_.Step();
  statusText_ = QStringLiteral("Device Gone");
  EnableControls();
  host_.ShowMembers();
  if (listStale_) RefreshModemList();
}

void COrvanePortView::EnableControls() {
  const bool open = openFlag_;
  const bool reading = IsReading();
  host_.Enable(IDC_OPEN, !open);
  host_.Enable(IDC_MODEM, !open);
  host_.Enable(IDC_BAUD, !open);
  host_.Enable(IDC_CLOSE, open);
  // Nothing that starts an exchange or opens a dialog can be pressed during a read.
  host_.Enable(IDC_SEND, open && !reading);
  host_.Enable(IDC_PREFERENCES, !reading);
  host_.Enable(IDC_COMMAND, !reading);
}

void COrvanePortView::OnSelectDevice() { modems_.Select(); }

void COrvanePortView::OnOpenLine() { OpenLine(false); }

void COrvanePortView::OpenLine(bool again) {
  std::optional<ui::WaitCursor> wait(std::in_place);
  host_.ReadControls();
  const uint32_t baud = orvane::ParseBaudText(baudText_.toStdU16String());
  openFlag_ = session_.Open(portText_.toStdU16String(), baud, -1,
                            orvane::LoadLineSettings(hive_, portText_.toStdU16String())) == 0;
  // Opening a device that came back may fail while its node is still being set up: it
  // stays gone, and the next change the device monitor sees tries again, without a word.
  if (again && !openFlag_) {
    driver_.Step();
    return;
  }
  reopenPort_.clear();
  statusText_ = openFlag_ ? QStringLiteral("Opened") : QStringLiteral("Open Failed");
  sharedShown_ = 0;
  if (openFlag_) preferences_.SaveBaudRate(baud);
  driver_.Step();
  // The status keeps its short text; its tooltip and a message say why and what to do.
  const QString reason = QString::fromStdString(session_.Reason());
  if (QWidget* status = host_.Control<QWidget>(IDC_STATUS)) status->setToolTip(reason);
  ShowSharedStatus();
  EnableControls();
  host_.ShowMembers();
  // Open and the lists are disabled now: the focus goes where the next step is typed.
  if (QWidget* command = Control(IDC_COMMAND); openFlag_ && command) command->setFocus();
  wait.reset();
  if (!openFlag_) {
    ui::ShowMessage(this, reason.isEmpty() ? QStringLiteral("Open failed.")
                                           : QStringLiteral("Open failed: %1").arg(reason));
    return;
  }
  // Another reader of the same device takes replies away from this one (a port service
  // holding it does not: it shares the replies out).
  if (session_.SharedClients() > 0) {
    if (const std::string differ = session_.SharedSettingsWarning(); !differ.empty())
      ui::ShowMessage(this, QStringLiteral("The port is shared: %1.").arg(QString::fromStdString(differ)));
    return;
  }
  if (const QString warning = OtherReadersWarning(portText_); !warning.isEmpty()) ui::ShowMessage(this, warning);
}

void COrvanePortView::OnCloseLine() {
  // A read in progress ends here and is recorded before the line closes; so does a run.
  sequence_.Stop();
  const bool closed = session_.Close();
  driver_.Step();
  ui::WaitCursor wait;
  host_.ReadControls();
  statusText_ = closed ? QStringLiteral("Closed") : QStringLiteral("Close Failed");
  openFlag_ = false;
  EnableControls();
  host_.ShowMembers();
  if (listStale_) RefreshModemList();
}

void COrvanePortView::EndRead() {
  sequence_.Stop();
  session_.Close();
  driver_.Step();
}

void COrvanePortView::OnToggleUseFlag() {
  host_.ReadControls();
  useFlag_ = !useFlag_;
  host_.ShowMembers();
}

bool COrvanePortView::CurrentFraming(orvane::Framing* framing, std::string* problem) const {
  // The profile is read afresh at every send.
  if (!useFlag_ || preferences_.CountProfiles() == 0) return true;
  orvane::PreferenceProfile profile;
  if (preferences_.LoadProfile(preferences_.LoadCurrentProfileName(), &profile, problem)) {
    *framing = orvane::ProfileFraming(profile);
    return true;
  }
  // A profile that is not there (deleted, or none chosen) leaves the command unframed;
  // one that is there but cannot be read stops the send.
  return problem->empty();
}

void COrvanePortView::OnRunSequence(int recent) {
  host_.ReadControls();
  if (!openFlag_) {
    ui::ShowMessage(this, QStringLiteral("The line is not open: press Open (Ctrl+O) first, then run the sequence."));
    return;
  }
  orvane::Framing framing;
  if (!CurrentFraming(&framing, QStringLiteral("The sequence was not run."))) return;
  sequence_.Run(recent, framing);
  EnableControls();
}

bool COrvanePortView::CurrentFraming(orvane::Framing* framing, const QString& notDone) {
  std::string problem;
  if (CurrentFraming(framing, &problem)) return true;
  ui::ShowMessage(this, QStringLiteral("The profile %1 cannot be loaded: %2. ")
                                .arg(QString::fromStdU16String(preferences_.LoadCurrentProfileName()),
                                     QString::fromStdString(problem)) + notDone);
  return false;
}

void COrvanePortView::OnSend() {
  host_.ReadControls();
  SendCommand(commandText_.toStdU16String(), true);
}

void COrvanePortView::SendCommand(const std::u16string& command, bool remember) {
  orvane::Framing framing;
  if (!CurrentFraming(&framing, QStringLiteral("The command was not sent."))) return;
  sending_ = command;
  rememberSent_ = remember;
  // Until the exchange is recorded (OnSessionStepped).
  waitCursor_.emplace();
  focus_.Hold();
  QWidget* port = Control(IDC_PORT);
  portFieldWasEnabled_ = port && port->isEnabled();
  host_.Enable(IDC_PORT, false);
  if (!session_.Send(sending_, framing)) {
    // The device went away since the last read: the command could not be written.
    orvane::Row row;
    row.typed = sending_;
    row.sent = framing.Frame(sending_);
    row.sentAtMs = orvane::WallClockMs();
    row.end = orvane::ReplyEnd::kWriteFailed;
    row.error = session_.HangupError();
    feed_.Add(std::move(row));
  }
  EnableControls();
  driver_.Step();
}

void COrvanePortView::OnSessionStepped() {
  sequence_.Stepped();
  if (waitCursor_ && !IsReading()) {
    // The send's exchange has ended and its row is in the list.
    waitCursor_.reset();
    host_.Enable(IDC_PORT, portFieldWasEnabled_);
    EnableControls();
    focus_.Release(Control(IDC_COMMAND));
    // Controls changed during the read (the "Use" box) are taken, not overwritten.
    host_.ReadControls();
    if (rememberSent_ && !history_.AddToHistory(sending_))
      ui::ShowMessage(this, QStringLiteral("History update failed."));
    host_.ShowMembers();
    // Asked once the driver is done with this step.
    QTimer::singleShot(0, this, [this] { OfferLineEnd(); });
  }
  if (openFlag_ && session_.SharedClients() != sharedShown_) {
    ShowSharedStatus();
    host_.ShowMembers();
  }
  // The device went away: the line is of no more use.
  if (session_.HungUp() && openFlag_) OnDeviceGone();
}

void COrvanePortView::ShowSharedStatus() {
  sharedShown_ = session_.SharedClients();
  if (sharedShown_ == 0) return;
  const SharedPortStatus shared =
      DescribeSharedPort(sharedShown_, QString::fromStdString(session_.SharedSettingsWarning()));
  statusText_ = shared.text;
  if (QWidget* status = host_.Control<QWidget>(IDC_STATUS)) status->setToolTip(shared.tip);
}

void COrvanePortView::OfferLineEnd() {
  if (lineEndOffered_ || IsReading() || !LastSendLacksLineEnd(responses_)) return;
  lineEndOffered_ = true;
  if (!AdoptLineEndProfile(this, preferences_)) return;
  host_.ReadControls();
  useFlag_ = true;
  host_.ShowMembers();
  // The device still holds the command: the carriage return alone ends it, so it is
  // answered now and the next command starts afresh.
  if (openFlag_ && !IsReading()) SendCommand(std::u16string(), false);
}

void COrvanePortView::AddResponseEntry(orvane::Bytes reply, const std::u16string& commandText,
                                       orvane::ReplyEnd end) {
  orvane::Row row;
  row.typed = row.sent = commandText;
  row.replyLength = reply.size();
  row.reply = std::move(reply);
  row.end = end;
  feed_.Add(std::move(row));
}

void COrvanePortView::OnShowResponse() {
  host_.ReadControls();
  ResponseListCtrl* list = ResponseList();
  const int row = list ? list->FirstSelectedRow() : -1;
  if (row < 0) {
    ui::ShowMessage(this,
                    QStringLiteral("Please select from the response list, before attempting to show."));
    return;
  }
  const orvane::Row shown = journal_.RowWithBytes(list->RowData(row));
  if (size_t dropped = 0; responses_.Dropped(list->RowData(row), &dropped) && shown.reply.size() != dropped) {
    ui::ShowMessage(this, QStringLiteral("This reply's %1 bytes were dropped to keep the response list "
                                         "within its memory bound, and no session journal holds them.")
                              .arg(dropped));
    return;
  }
  CommandResponseDialog dialog(QString::fromStdU16String(shown.sent),
                               QString::fromStdU16String(orvane::EncodeBinaryText(shown.reply)));
  dialog.SetTimes(shown);
  dialog.SetNotes(orvane::notes::ReplyNotes(shown));
  ui::RunModal(dialog);
}

void COrvanePortView::OnEditAsBinary() {
  host_.ReadControls();
  EditBinaryDialog dialog(commandText_);
  if (ui::RunModal(dialog) == QDialog::Accepted) commandText_ = dialog.BinaryText();
  host_.ShowMembers();
}

void COrvanePortView::OnPreferences() {
  // Nothing is read back: every send reads the current profile from the store afresh.
  PreferencesDialog dialog(preferences_);
  ui::RunModal(dialog);
}

void COrvanePortView::OnRemotePorts() {
  RemotePortsDialog dialog(hive_, this);
  ui::RunModal(dialog);
  if (dialog.Changed()) RefreshModemList();
}

void COrvanePortView::OnLineSettings() {
  host_.ReadControls();
  LineSettingsDialog dialog(hive_, portText_.toStdU16String(), session_, this);
  ui::RunModal(dialog);
}

void COrvanePortView::OnCommandHistory() {
  host_.ReadControls();
  CommandHistoryDialog dialog(history_);
  if (ui::RunModal(dialog) == QDialog::Accepted) commandText_ = dialog.PickedCommand();
  host_.ShowMembers();
}

void COrvanePortView::OnExportResponseList() {
  host_.ReadControls();
  // The oldest replies may have been dropped to keep the list bounded; those that no
  // journal gives back would be written empty, so the user is asked first.
  size_t missing = 0;
  const std::vector<orvane::ExportRow> rows = journal_.ExportRows(&missing);
  if (missing > 0 &&
      !ui::Confirm(this, QStringLiteral("The oldest replies (%1 bytes) were dropped to keep the response list "
                                        "within its memory bound; they would be exported empty. Export anyway?")
                             .arg(missing)))
    return;
  orvane::ExportResponseList(this, rows);
  host_.ShowMembers();
}

void COrvanePortView::OnClearResponses() {
  if (!ui::Confirm(this, QStringLiteral("Are you sure to clear the response list?"))) return;
  feed_.Clear();
  journal_.Forget();
}
