#include "screen/CommandResponseDialog.h"

#include <QDateTime>

#include "engine/BinaryTextCodec.h"
#include "resources/OrvanePortIds.h"
#include "ui/Look.h"

using namespace orvane::port_ids;

namespace {

constexpr double kCommandShare = 0.4;
constexpr ui::Anchor kCommandPaneAnchor{0, 1, 0, kCommandShare};
constexpr ui::Anchor kResponseLabelAnchor{0, 0, kCommandShare, 0};
constexpr ui::Anchor kResponsePaneAnchor{0, 1, kCommandShare, 1 - kCommandShare};

}  // namespace

CommandResponseDialog::CommandResponseDialog(const QString& commandText,
                                             const QString& responseText, QWidget* parent)
    : ui::TemplateDialog(kIdTable, IDD_COMMAND_RESPONSE, parent),
      commandText_(commandText),
      responseText_(responseText) {
  // On a larger window the command pane takes two fifths of the room, the reply the rest.
  Layout().SetAnchor(ui::IDOK, ui::kRightEdge);
  Layout().SetAnchorAt(ui::DluRect(7, 74, 35, 8).topLeft(), kResponseLabelAnchor);
  Layout().SetAnchor(IDC_RESPONSE_END, kResponseLabelAnchor);
  GrowWithWindow();
}

void CommandResponseDialog::CreatePane(BinaryCtrlHost& pane, const QString& text, const QRect& rect,
                                       ui::Anchor anchor) {
  const orvane::Bytes bytes = orvane::DecodeBinaryText(text.toStdU16String());
  CreateBinaryCtrl(pane, this, PlaceAtRunTime(rect, anchor), bytes);
  Layout().Add(pane.window, rect, anchor);
  ShowBinaryCtrl(pane, true);
  FocusBinaryCtrl(pane);
}

void CommandResponseDialog::OnInitDialog() {
  host_.BindText(IDC_RESPONSE_CAPTION, &caption_);
  host_.ReadControls();
  // Bound after the read: the times are only shown, never read back.
  host_.BindText(IDC_RESPONSE_TIME, &sentText_);
  host_.BindText(IDC_RESPONSE_END, &replyTimeText_);
  if (QWidget* sent = Control(IDC_RESPONSE_TIME)) sent->setToolTip(sentText_);
  if (QWidget* reply = Control(IDC_RESPONSE_END)) reply->setToolTip(replyTimeText_);
  caption_ = QStringLiteral("Cmd Response");
  ui::MakeCaption(Control(IDC_RESPONSE_CAPTION));
  // Four rows for the command, six for the reply; the reply pane is focused last.
  CreatePane(commandPane_, commandText_, QRect(12, 50, 211, 70), kCommandPaneAnchor);
  CreatePane(responsePane_, responseText_, QRect(12, 150, 211, 110), kResponsePaneAnchor);
  host_.ShowMembers();
}

void CommandResponseDialog::SetTimes(const orvane::Row& row) {
  if (row.sentAtMs == 0) return SetTimeText({}, {});
  const QString at =
      QDateTime::fromMSecsSinceEpoch(row.sentAtMs).toString(QStringLiteral("HH:mm:ss.zzz"));
  const QString end = QStringLiteral("end %1 ms, %2")
                          .arg(row.elapsedMs)
                          .arg(QLatin1String(orvane::ReplyEndName(row.end)));
  if (row.Unsolicited()) return SetTimeText(QStringLiteral("Unsolicited %1").arg(at), end);
  const QString first = row.firstByteMs < 0 ? QStringLiteral("no reply")
                                            : QStringLiteral("1st %1").arg(row.firstByteMs);
  SetTimeText(QStringLiteral("Sent %1").arg(at), first + QStringLiteral(", ") + end);
}
