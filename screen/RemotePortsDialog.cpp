#include "screen/RemotePortsDialog.h"

#include <QListWidget>

#include "resources/OrvanePortIds.h"
#include "ui/Look.h"
#include "ui/Messages.h"

using namespace orvane::port_ids;

namespace {

// A message for the user from a lower-case reason: capitalised, with a full stop.
QString Sentence(const std::string& reason) {
  QString text = QString::fromStdString(reason);
  if (!text.isEmpty()) text[0] = text[0].toUpper();
  return text + u'.';
}

}  // namespace

RemotePortsDialog::RemotePortsDialog(orvane::reg::Hive& hive, QWidget* parent)
    : ui::TemplateDialog(kIdTable, IDD_REMOTE_PORTS, parent), hive_(hive) {}

QListWidget* RemotePortsDialog::List() const { return Control<QListWidget>(IDC_REMOTE_LIST); }

void RemotePortsDialog::OnInitDialog() {
  host_.BindText(IDC_REMOTE_CAPTION, &caption_);
  host_.BindText(IDC_REMOTE_NAME, &name_);
  host_.BindText(IDC_REMOTE_URL, &url_);
  caption_ = QStringLiteral("Remote Ports");
  ui::MakeCaption(Control(IDC_REMOTE_CAPTION));
  Reload();
  host_.OnNotify(IDC_REMOTE_LIST, ui::Notify::SelChange, [this] { OnSelChange(); });
  host_.OnNotify(IDC_REMOTE_ADD, ui::Notify::Clicked, [this] { OnAdd(); });
  host_.OnNotify(IDC_REMOTE_DELETE, ui::Notify::Clicked, [this] { OnDelete(); });
  host_.ShowMembers();
}

void RemotePortsDialog::Reload() {
  ports_ = orvane::LoadRemotePorts(hive_);
  QListWidget* list = List();
  if (!list) return;
  const QSignalBlocker quiet(list);
  list->clear();
  for (const auto& port : ports_)
    list->addItem(QString::fromStdU16String(port.name) + QStringLiteral("  ") + QString::fromStdU16String(port.url));
}

void RemotePortsDialog::OnSelChange() {
  host_.ReadControls();
  QListWidget* list = List();
  const int row = list ? list->currentRow() : -1;
  if (row < 0 || row >= static_cast<int>(ports_.size())) return;
  name_ = QString::fromStdU16String(ports_[static_cast<size_t>(row)].name);
  url_ = QString::fromStdU16String(ports_[static_cast<size_t>(row)].url);
  host_.ShowMembers();
}

void RemotePortsDialog::OnAdd() {
  host_.ReadControls();
  const orvane::RemotePort port{name_.trimmed().toStdU16String(), url_.trimmed().toStdU16String()};
  std::string error;
  if (!orvane::SaveRemotePort(hive_, port, &error)) {
    ui::ShowMessage(this, Sentence(error));
    return;
  }
  changed_ = true;
  Reload();
  for (size_t i = 0; i < ports_.size(); ++i)
    if (ports_[i].name == port.name && List()) List()->setCurrentRow(static_cast<int>(i));
  host_.ShowMembers();
}

void RemotePortsDialog::OnDelete() {
  host_.ReadControls();
  QListWidget* list = List();
  const int row = list ? list->currentRow() : -1;
  if (row < 0 || row >= static_cast<int>(ports_.size())) {
    ui::ShowMessage(this, QStringLiteral("Please select a remote port, before attempting to delete."));
    return;
  }
  const std::u16string name = ports_[static_cast<size_t>(row)].name;
  if (!ui::Confirm(this, QStringLiteral("Are you sure to delete %1?").arg(QString::fromStdU16String(name)))) return;
  if (!orvane::DeleteRemotePort(hive_, name)) {
    ui::ShowMessage(this, QStringLiteral("Deleting the remote port failed."));
    return;
  }
  changed_ = true;
  name_.clear();
  url_.clear();
  Reload();
  host_.ShowMembers();
}
