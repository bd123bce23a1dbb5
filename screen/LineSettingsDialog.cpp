#include "screen/LineSettingsDialog.h"

#include <QComboBox>

#include <cstring>

#include "engine/LineSettingsStore.h"
#include "engine/Session.h"
#include "platform/TextConvert.h"
#include "resources/OrvanePortIds.h"
#include "ui/Look.h"
#include "ui/Messages.h"

using namespace orvane::port_ids;

namespace {

// The combo boxes list their choices in the order of the values they stand for: data
// bits from 5, parity and flow control by their enums, stop bits from 1.
constexpr int kFirstDataBits = 5;
constexpr int kFirstStopBits = 1;

int Index(const QComboBox* combo) { return combo ? combo->currentIndex() : -1; }

}  // namespace

LineSettingsDialog::LineSettingsDialog(orvane::reg::Hive& hive, std::u16string port, orvane::Session& session,
                                       QWidget* parent)
    : ui::TemplateDialog(kIdTable, IDD_LINE_SETTINGS, parent),
      hive_(hive),
      session_(session),
      port_(session.IsOpen() ? orvane::Utf8ToUtf16(session.Device()) : std::move(port)) {
  host_.BindText(IDC_LINE_PORT, &portText_);
  host_.BindCheck(IDC_DTR, &dtr_);
  host_.BindCheck(IDC_RTS, &rts_);
}

void LineSettingsDialog::OnInitDialog() {
  ui::MakeCaption(Control(IDC_LINE_CAPTION));
  portText_ = port_.empty() ? QStringLiteral("No port chosen") : QString::fromStdU16String(port_);
  if (QWidget* label = Control(IDC_LINE_PORT)) label->setToolTip(portText_);
  Show(port_.empty() ? orvane::LineSettings{} : orvane::LoadLineSettings(hive_, port_));
  host_.Enable(IDC_SEND_BREAK, session_.IsOpen());
  host_.OnNotify(IDC_SEND_BREAK, ui::Notify::Clicked, [this] { OnSendBreak(); });
}

void LineSettingsDialog::Show(const orvane::LineSettings& settings) {
  const auto set = [this](int id, int index) {
    if (auto* combo = Control<QComboBox>(id)) combo->setCurrentIndex(index);
  };
  set(IDC_DATA_BITS, settings.dataBits - kFirstDataBits);
  set(IDC_PARITY, static_cast<int>(settings.parity));
  set(IDC_STOP_BITS, settings.stopBits - kFirstStopBits);
  set(IDC_FLOW, static_cast<int>(settings.flow));
  dtr_ = settings.dtr;
  rts_ = settings.rts;
  host_.ShowMembers();
}

orvane::LineSettings LineSettingsDialog::Shown() const {
  orvane::LineSettings settings;
  // A combo box without a choice keeps the default.
  if (const int i = Index(Control<QComboBox>(IDC_DATA_BITS)); i >= 0) settings.dataBits = static_cast<uint8_t>(kFirstDataBits + i);
  if (const int i = Index(Control<QComboBox>(IDC_PARITY)); i >= 0) settings.parity = static_cast<orvane::Parity>(i);
  if (const int i = Index(Control<QComboBox>(IDC_STOP_BITS)); i >= 0) settings.stopBits = static_cast<uint8_t>(kFirstStopBits + i);
  if (const int i = Index(Control<QComboBox>(IDC_FLOW)); i >= 0) settings.flow = static_cast<orvane::FlowControl>(i);
  settings.dtr = dtr_;
  settings.rts = rts_;
  return settings;
}

void LineSettingsDialog::OnOK() {
  if (!host_.ReadControls()) return;
  if (port_.empty()) {
    ui::ShowMessage(this, QStringLiteral("Please choose a port, before saving its line settings."));
    return;
  }
  if (!orvane::SaveLineSettings(hive_, port_, Shown())) {
    ui::ShowMessage(this, QStringLiteral("The line settings could not be saved."));
    return;
  }
  accept();
}

void LineSettingsDialog::OnSendBreak() {
  const int error = session_.SendBreak(orvane::kDefaultBreakMs);
  if (error == 0) return;
  QString why;
  switch (error) {
    case ENOTSUP: why = QStringLiteral("this line cannot send one (a raw tcp:// port passes bytes only)"); break;
    case EBUSY: why = QStringLiteral("a reply is being read"); break;
    case EBADF: why = QStringLiteral("the line is not open"); break;
    default: why = QString::fromLocal8Bit(std::strerror(error)); break;
  }
  ui::ShowMessage(this, QStringLiteral("The break was not sent: %1.").arg(why));
}
