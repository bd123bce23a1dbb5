#include "screen/COrvanePortView.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "engine/BinaryTextCodec.h"
#include "resources/OrvanePortIds.h"
#include "entry/CommandEdit.h"
#include "preferences/PreferencesDialog.h"
#include "entry/model/CommandHistory.h"
#include "entry/CommandHistoryDialog.h"
#include "entry/EditBinaryDialog.h"
#include "export/ExportResponseList.h"
#include "preferences/PreferenceStore.h"
#include "screen/CommandResponseDialog.h"
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
      host_(WithScreenClasses(this), kIdTable, IDD_ORVANEPORT_FORM),
      preferences_(hive),
      history_(hive) {
  setObjectName(QStringLiteral("COrvanePortView"));
  // Construction: every text empty, use flag off, response store empty; then the
  // devices the driver table offers.
  listingCount_ = orvane::ListActivePorts(hive, listings_.data(), kListingCapacity);

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
    case ID_EDIT_AS_BINARY: case ID_COMMAND_HISTORY: case ID_APP_ABOUT:
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

  QWidget* modems = Control(IDC_MODEM);
  for (int i = 0; i < listingCount_; ++i) {
    ui::AddComboItem(modems, ToQ(listings_[static_cast<size_t>(i)].displayName), i);
  }
  ui::AddComboItem(modems, QStringLiteral("<Not Listed>"), kNotListed);
  if (auto* combo = qobject_cast<QComboBox*>(modems))
    combo->setCurrentIndex(listingCount_ != 0 && combo->count() > 1 ? 1 : 0);

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
  if (line_.Open(portText_.toStdU16String(), baud) == 0) {
    statusText_ = QStringLiteral("Opened");
    openFlag_ = true;
    preferences_.SaveBaudRate(baud);
  } else {
    statusText_ = QStringLiteral("Open Failed");
    openFlag_ = false;
  }
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
}

void COrvanePortView::EndRead() { exchange_.Stop(); }

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
  if (result.writeError != 0) {
    static constexpr char kWriteFailed[] = "Port Write Failed";
    AddResponseEntry(orvane::Bytes(kWriteFailed, kWriteFailed + sizeof kWriteFailed - 1),
                     result.sentText);
  } else {
    AddResponseEntry(std::move(result.reply), result.sentText, result.end);
  }

  if (!history_.AddToHistory(command))
    ui::ShowMessage(this, QStringLiteral("History update failed."));
  host_.ShowMembers();
}

void COrvanePortView::AddResponseEntry(orvane::Bytes reply, const std::u16string& commandText,
                                       orvane::ReplyEnd end) {
  ResponseListCtrl* list = ResponseList();
  if (!list) return;
  // Every byte gives at least one character, so the preview needs no more bytes than
  // it has characters.
  const size_t head = std::min(reply.size(), orvane::kPreviewLength);
  QString preview = ToQ(orvane::ResponsePreview(orvane::EncodeBinaryText(reply.data(), head)));
  if (end == orvane::ReplyEnd::kLimit) preview.prepend(QStringLiteral("[cut] "));
  const int slot = responses_.Add(std::move(reply));
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
    rows.push_back(
        {list->Text(row, ResponseListCtrl::kCommandColumn), responses_.Slot(list->RowData(row))});
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

void COrvanePortView::OnCommandHistory() {
  host_.ReadControls();
  CommandHistoryDialog dialog(history_);
  if (ui::RunModal(dialog) == QDialog::Accepted) commandText_ = dialog.PickedCommand();
  host_.ShowMembers();
}

void COrvanePortView::OnExportResponseList() {
  host_.ReadControls();
  std::vector<orvane::ExportRow> rows;
  for (ResponseRowData& row : ResponseRows())
    rows.push_back({row.commandText.toStdU16String(), std::move(row.responseBytes)});
  orvane::ExportResponseList(this, rows);
  host_.ShowMembers();
}

void COrvanePortView::OnClearResponses() {
  if (!ui::Confirm(this, QStringLiteral("Are you sure to clear the response list?"))) return;
  responses_.Clear();
  if (ResponseListCtrl* list = ResponseList()) list->DeleteAllRows();
}
