#include "screen/COrvanePortView.h"

#include <poll.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "engine/BinaryTextCodec.h"
#include "engine/RemotePorts.h"
#include "resources/OrvanePortIds.h"
#include "entry/CommandEdit.h"
#include "preferences/PreferencesDialog.h"
#include "entry/model/CommandHistory.h"
#include "entry/CommandHistoryDialog.h"
#include "entry/EditBinaryDialog.h"
#include "screen/ExportResponseList.h"
#include "preferences/PreferenceStore.h"
#include "screen/CommandResponseDialog.h"
#include "screen/DeviceWatch.h"
#include "screen/RemotePortsDialog.h"
#include "screen/ResponseListCtrl.h"
#include "screen/SendRules.h"
#include "ui/EnterKeyFilter.h"
#include "ui/Look.h"
#include "ui/Menus.h"
#include "ui/Messages.h"
#include "ui/SoftInputPanel.h"
#include "ui/Template.h"
#include "ui/WaitCursor.h"

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

QString ToQ(const std::u16string& text) { return QString::fromStdU16String(text); }

// The viewer's times: when the exchange was sent (or unsolicited data began), then the
// ms to the first byte and to the end, and how it ended. Empty when not known.
std::pair<QString, QString> TimeTexts(const orvane::RowTime& time) {
  if (time.sentAtMs == 0) return {};
  const QString at =
      QDateTime::fromMSecsSinceEpoch(time.sentAtMs).toString(QStringLiteral("HH:mm:ss.zzz"));
  const QString end = QStringLiteral("end %1 ms, %2").arg(time.elapsedMs).arg(QLatin1String(time.end));
  if (time.unsolicited) return {QStringLiteral("Unsolicited %1").arg(at), end};
  const QString first = time.firstByteMs < 0 ? QStringLiteral("no reply")
                                             : QStringLiteral("1st %1").arg(time.firstByteMs);
  return {QStringLiteral("Sent %1").arg(at), first + QStringLiteral(", ") + end};
}

// Ctrl+Return in the command field presses Send (Up and Down walk the history there).
void SetDesktopKeys(QWidget* field, QWidget* send) {
  auto* edit = qobject_cast<CommandEdit*>(field);
  auto* button = qobject_cast<QAbstractButton*>(send);
  if (!edit || !button) return;
  edit->SetSendKey([button] { button->click(); });  // nothing while Send is disabled
  edit->setToolTip(QStringLiteral("The command to send. Ctrl+Return sends it; "
                                  "Up and Down recall earlier commands."));
  button->setToolTip(QStringLiteral("Send the command (Ctrl+Return in the command field)."));
}

}  // namespace

COrvanePortView::COrvanePortView(orvane::reg::Hive& hive, QWidget* parent)
    : QWidget(parent),
      hive_(hive),
      host_(WithScreenClasses(this), kIdTable, IDD_ORVANEPORT_FORM),
      preferences_(hive),
      history_(hive) {
  setObjectName(QStringLiteral("COrvanePortView"));
  // Construction: every text empty, use flag off, response store empty; then the
  // devices the driver table offers, and the remote ports.
  listingCount_ = orvane::ListModemPorts(hive, listings_.data(), kListingCapacity);

  host_.BindText(IDC_BAUD, &baudText_);
  host_.BindText(IDC_COMMAND, &commandText_);
  host_.BindText(IDC_PORT, &portText_);
  host_.BindText(IDC_TITLE, &titleText_);
  host_.BindText(IDC_STATUS, &statusText_);
  host_.BindCheck(IDC_USE, &useFlag_);

  // The screen's command table: one line per command.
  host_.OnNotify(IDC_MODEM, ui::Notify::SelChange, [this] { OnSelectDevice(); });
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

  responseList_ = qobject_cast<ResponseListCtrl*>(Control(IDC_RESPONSES));
  if (ResponseListCtrl* list = ResponseList()) {
    list->prepareMenu = [this](QMenu* menu) { UpdateMenu(menu); };
    list->runCommand = [this](int id) { RunCommand(id); };
  }
  // The screen asks for all keys: Enter never presses a button.
  ui::InstallEnterKeyFilter(this);
}

COrvanePortView::~COrvanePortView() {
  // The stored replies are released with the store; the line is left to the platform.
  responses_.Clear();
}

ResponseListCtrl* COrvanePortView::ResponseList() const { return responseList_; }

void COrvanePortView::AddCommand(int id, void (COrvanePortView::*handler)()) {
  auto guarded = [this, id, handler] {
    if (IsReading() && RefusedWhileReading(id)) return;
    (this->*handler)();
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

  FillModemList(std::nullopt);

  if (auto* baud = host_.Control<QComboBox>(IDC_BAUD)) {
    for (const char* rate : kBaudRates) baud->addItem(QString::fromLatin1(rate));
  }
  openFlag_ = false;
  EnableForOpenFlag();

  SetMenuMode(host_, IDC_COMMAND, entry::MenuMode::History);
  SetHistory(Control(IDC_COMMAND), history_);
  SetDesktopKeys(Control(IDC_COMMAND), Control(IDC_SEND));
  SetMenuMode(host_, IDC_PORT, entry::MenuMode::Editing);
  if (ResponseListCtrl* list = ResponseList()) list->SetUp();

  useFlag_ = true;
  openFlag_ = false;
  baudText_ = QString::number(preferences_.LoadBaudRate());

  // The baud box's own edit field takes the Enter-key filter too.
  if (auto* baud = host_.Control<QComboBox>(IDC_BAUD); baud && baud->lineEdit())
    ui::InstallEnterKeyFilter(baud->lineEdit());

  host_.ShowMembers();
  OnSelectDevice();
}

bool COrvanePortView::FillModemList(const std::optional<std::u16string>& deviceName) {
  auto* combo = host_.Control<QComboBox>(IDC_MODEM);
  if (!combo) return false;
  combo->clear();
  for (int i = 0; i < listingCount_; ++i) {
    ui::AddComboItem(combo, ToQ(listings_[static_cast<size_t>(i)].displayName), i);
  }
  ui::AddComboItem(combo, QStringLiteral("<Not Listed>"), kNotListed);
  if (deviceName) {
    if (deviceName->empty()) {
      combo->setCurrentIndex(combo->findData(kNotListed));
      return true;
    }
    for (int i = 0; i < listingCount_; ++i) {
      if (listings_[static_cast<size_t>(i)].deviceName == *deviceName) {
        combo->setCurrentIndex(combo->findData(i));
        return true;
      }
    }
  }
  // "<Not Listed>" sorts first: position 1 is the first device.
  combo->setCurrentIndex(listingCount_ != 0 && combo->count() > 1 ? 1 : 0);
  return false;
}

bool COrvanePortView::FollowDevices(const std::string& hiveFile, const orvane::DeviceTableOptions& table,
                                    const orvane::DeviceMonitorOptions& monitor) {
  tableOptions_ = table;
  orvane::DeviceMonitorOptions watched = monitor;
  if (!hiveFile.empty()) watched.files.push_back(hiveFile);
  deviceWatch_ = std::make_unique<DeviceWatch>(watched, [this] { OnDevicesChanged(); });
  if (!deviceWatch_->Active()) {
    deviceWatch_.reset();
    return false;
  }
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
  pollfd p{line_.Descriptor(), POLLIN, 0};
  if (p.fd >= 0 && ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) OnDeviceGone();
}

void COrvanePortView::RefreshModemList() {
  if (openFlag_) {
    listStale_ = true;
    return;
  }
  listStale_ = false;
  host_.ReadControls();
  auto* combo = host_.Control<QComboBox>(IDC_MODEM);
  std::optional<std::u16string> chosen;
  if (combo && combo->currentIndex() >= 0) {
    const int index = combo->currentData().toInt();
    // "<Not Listed>" is a choice once there was something else to choose or a port was
    // typed there; with an empty list the first device to come is taken.
    if (index == kNotListed && (listingCount_ > 0 || !portText_.isEmpty())) chosen = std::u16string();
    else if (index >= 0 && index < listingCount_) chosen = listings_[static_cast<size_t>(index)].deviceName;
  }
  if (deviceWatch_) orvane::RefreshDriverTable(hive_, tableOptions_);
  for (auto& listing : listings_) listing = {};
  listingCount_ = orvane::ListModemPorts(hive_, listings_.data(), kListingCapacity);
  const bool kept = FillModemList(chosen);
  if (kept && chosen && chosen->empty()) {
    host_.ShowMembers();  // "<Not Listed>" keeps the port typed there
    return;
  }
  host_.ShowMembers();
  OnSelectDevice();
}

void COrvanePortView::OnDeviceGone() {
  idle_.Stop(orvane::UnsolicitedEnd::kHangup);
  line_.Close();
  openFlag_ = false;
  statusText_ = QStringLiteral("Device Gone");
  EnableForOpenFlag();
  host_.ShowMembers();
  if (listStale_) RefreshModemList();
}

void COrvanePortView::EnableForOpenFlag() {
  const bool open = openFlag_;
  host_.Enable(IDC_OPEN, !open);
  host_.Enable(IDC_MODEM, !open);
  host_.Enable(IDC_BAUD, !open);
  host_.Enable(IDC_CLOSE, open);
  host_.Enable(IDC_SEND, open);
}

void COrvanePortView::OnSelectDevice() {
  host_.ReadControls();
  auto* combo = host_.Control<QComboBox>(IDC_MODEM);
  const int index = combo && combo->currentIndex() >= 0 ? combo->currentData().toInt() : kNotListed;
  if (index == kNotListed || index < 0 || index >= listingCount_) {
    portText_.clear();
    host_.Enable(IDC_PORT, true);
  } else {
    portText_ = ToQ(listings_[static_cast<size_t>(index)].deviceName);
    host_.Enable(IDC_PORT, false);
  }
  host_.ShowMembers();
}

void COrvanePortView::OnOpenLine() {
  ui::WaitCursor wait;
  host_.ReadControls();
  const uint32_t baud = orvane::ParseBaudText(baudText_.toStdU16String());
  const int error = line_.Open(portText_.toStdU16String(), baud);
  if (error == 0) {
    statusText_ = QStringLiteral("Opened");
    openFlag_ = true;
    preferences_.SaveBaudRate(baud);
    WatchIdleLine();
  } else {
    statusText_ = QStringLiteral("Open Failed");
    openFlag_ = false;
  }
  // The status keeps its short text; its tooltip says why and what to do.
  if (QWidget* status = host_.Control<QWidget>(IDC_STATUS))
    status->setToolTip(QString::fromStdString(line_.Reason()));
  EnableForOpenFlag();
  host_.ShowMembers();
}

void COrvanePortView::OnCloseLine() {
  // A read in progress ends here and is recorded before the line closes.
  EndRead();
  ui::WaitCursor wait;
  host_.ReadControls();
  statusText_ = line_.Close() ? QStringLiteral("Closed") : QStringLiteral("Close Failed");
  openFlag_ = false;
  EnableForOpenFlag();
  host_.ShowMembers();
  if (listStale_) RefreshModemList();
}

void COrvanePortView::EndRead() {
  exchange_.Stop();
  // What the device said since the last exchange is recorded before the line closes.
  idle_.Stop(orvane::UnsolicitedEnd::kClosed);
}

void COrvanePortView::WatchIdleLine() {
  if (!openFlag_ || !line_.IsOpen()) return;
  idle_.Watch(
      line_, [this](orvane::UnsolicitedRow row) { AddUnsolicitedEntry(std::move(row)); },
      [this] {
        if (openFlag_) OnDeviceGone();
      });
}

void COrvanePortView::OnToggleUseFlag() {
  host_.ReadControls();
  useFlag_ = !useFlag_;
  host_.ShowMembers();
}

void COrvanePortView::SetReading(bool on) {
  if (on) waitCursor_.emplace();
  else waitCursor_.reset();
  if (on) focus_.Hold();
  // Nothing that starts an exchange or opens a dialog can be pressed meanwhile.
  host_.Enable(IDC_SEND, !on && openFlag_);
  host_.Enable(IDC_PREFERENCES, !on);
  host_.Enable(IDC_COMMAND, !on);
  if (on) {
    QWidget* port = Control(IDC_PORT);
    portFieldWasEnabled_ = port && port->isEnabled();
    host_.Enable(IDC_PORT, false);
  } else {
    host_.Enable(IDC_PORT, portFieldWasEnabled_);
    focus_.Release(Control(IDC_COMMAND));
  }
}

void COrvanePortView::OnSend() {
  host_.ReadControls();
  const std::u16string command = commandText_.toStdU16String();

  // The profile is read afresh at every send.
  orvane::Framing framing;
  if (useFlag_) {
    const std::u16string name = preferences_.LoadCurrentProfileName();
    const int profileCount = preferences_.CountProfiles();
    orvane::PreferenceProfile profile;
    if (preferences_.LoadProfile(name, &profile) && profileCount != 0)
      framing = orvane::ProfileFraming(profile);
  }

  // Whatever the device said before is a row of its own, never part of this reply.
  idle_.Stop(orvane::UnsolicitedEnd::kCommand);
  SetReading(true);
  orvane::ExchangeOptions options;
  options.tick = tick_;
  exchange_.Start(line_, command, framing, std::move(options),
                  [this, command](orvane::ExchangeResult result) {
                    OnExchangeEnded(std::move(result), command);
                  });
}

void COrvanePortView::OnExchangeEnded(orvane::ExchangeResult result, const std::u16string& command) {
  SetReading(false);
  // Controls changed during the read (the "Use" box) are taken, not overwritten.
  host_.ReadControls();
  orvane::RowTime time;
  time.sentAtMs = result.sentAtMs;
  time.firstByteMs = result.firstByteMs;
  time.elapsedMs = result.elapsedMs;
  if (result.writeError != 0) {
    static constexpr char kWriteFailed[] = "Port Write Failed";
    time.end = "write failed";
    AddRow(orvane::Bytes(kWriteFailed, kWriteFailed + sizeof kWriteFailed - 1), result.sentText,
           time);
  } else {
    time.end = orvane::ReplyEndName(result.end);
    AddRow(std::move(result.reply), result.sentText, time);
  }
  const bool gone = result.end == orvane::ReplyEnd::kHangup;
  if (!gone) WatchIdleLine();

  if (!history_.AddToHistory(command))
    ui::ShowMessage(this, QStringLiteral("History update failed."));
  host_.ShowMembers();
  // The device went away during the read: the line is of no more use.
  if (gone && openFlag_) OnDeviceGone();
}

void COrvanePortView::AddResponseEntry(orvane::Bytes reply, const std::u16string& commandText,
                                       orvane::ReplyEnd end) {
  orvane::RowTime time;
  time.end = orvane::ReplyEndName(end);
  AddRow(std::move(reply), commandText, time);
}

void COrvanePortView::AddUnsolicitedEntry(orvane::UnsolicitedRow row) {
  orvane::RowTime time;
  time.sentAtMs = row.atMs;
  time.firstByteMs = 0;
  time.elapsedMs = row.elapsedMs;
  time.end = orvane::UnsolicitedEndName(row.end);
  time.unsolicited = true;
  AddRow(std::move(row.bytes), std::u16string(), time);
}

void COrvanePortView::AddRow(orvane::Bytes reply, const std::u16string& commandText,
                             const orvane::RowTime& time) {
  ResponseListCtrl* list = ResponseList();
  if (!list) return;
  // Every byte gives at least one character, so the preview needs no more bytes than
  // it has characters.
  const size_t head = std::min(reply.size(), orvane::kPreviewLength);
  QString preview = ToQ(orvane::ResponsePreview(orvane::EncodeBinaryText(reply.data(), head)));
  if (!time.unsolicited && std::string_view(time.end) == "limit") preview.prepend(QStringLiteral("[cut] "));
  const int slot = responses_.Add(std::move(reply), time);
  const int row = list->AppendRow(preview, ToQ(commandText), slot);
  // The new row is the keyboard anchor; the selection and the scroll position stay.
  list->SetSelectionMark(row);
}

std::vector<ResponseRowData> COrvanePortView::ResponseRows() const {
  std::vector<ResponseRowData> rows;
  const ResponseListCtrl* list = ResponseList();
  if (!list) return rows;
  rows.reserve(static_cast<size_t>(list->RowCount()));
  for (int row = 0; row < list->RowCount(); ++row) {
    const int slot = list->RowData(row);
    rows.push_back({list->Text(row, ResponseListCtrl::kCommandColumn), responses_.Slot(slot),
                    responses_.Time(slot)});
  }
  return rows;
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
  const QString responseText =
      ToQ(orvane::EncodeBinaryText(responses_.Slot(list->RowData(row))));
  const QString commandText = list->Text(row, ResponseListCtrl::kCommandColumn);
  CommandResponseDialog dialog(commandText, responseText);
  const auto [sent, reply] = TimeTexts(responses_.Time(list->RowData(row)));
  dialog.SetTimeText(sent, reply);
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

void COrvanePortView::OnCommandHistory() {
  host_.ReadControls();
  CommandHistoryDialog dialog(history_);
  if (ui::RunModal(dialog) == QDialog::Accepted) commandText_ = dialog.PickedCommand();
  host_.ShowMembers();
}

void COrvanePortView::OnExportResponseList() {
  host_.ReadControls();
  std::vector<orvane::ExportRow> rows;
  for (ResponseRowData& row : ResponseRows()) {
    std::string end = row.time.end;
    if (row.time.unsolicited) end = "unsolicited (" + end + ")";
    rows.push_back({row.commandText.toStdU16String(), std::move(row.responseBytes),
                    row.time.sentAtMs, row.time.elapsedMs, std::move(end)});
  }
  orvane::ExportResponseList(this, rows);
  host_.ShowMembers();
}

void COrvanePortView::OnClearResponses() {
  if (!ui::Confirm(this, QStringLiteral("Are you sure to clear the response list?"))) return;
  responses_.Clear();
  if (ResponseListCtrl* list = ResponseList()) list->DeleteAllRows();
}
