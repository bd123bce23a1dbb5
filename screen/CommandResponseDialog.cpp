#include "screen/CommandResponseDialog.h"

#include <QKeyEvent>

#include "engine/BinaryTextCodec.h"
#include "ui/Look.h"

CommandResponseDialog::CommandResponseDialog(const QString& commandText,
                                             const QString& responseText, QWidget* parent)
    : ui::TemplateDialog(kTemplateId, parent),
      commandText_(commandText),
      responseText_(responseText) {}

void CommandResponseDialog::CreatePane(BinaryCtrlHost& pane, const QString& text, int left,
                                       int top, int right, int bottom) {
  const orvane::Bytes bytes = orvane::DecodeBinaryText(text.toStdU16String());
  CreateBinaryCtrl(pane, this, left, top, right, bottom, bytes);
  ShowBinaryCtrl(pane, true);
  FocusBinaryCtrl(pane);
}

void CommandResponseDialog::OnInitDialog() {
  host_.BindText(kCaptionId, &caption_);
  host_.ReadControls();
  caption_ = QStringLiteral("Cmd Response");
  ui::MakeCaption(Control(kCaptionId));
  // Four rows for the command, six for the reply; the reply pane is focused last.
  CreatePane(commandPane_, commandText_, 12, 50, 223, 120);
  CreatePane(responsePane_, responseText_, 12, 150, 223, 260);
  host_.ShowMembers();
}

void CommandResponseDialog::keyPressEvent(QKeyEvent* event) {
  // Escape reaching the dialog itself (the panes take every key) does not close it.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  ui::TemplateDialog::keyPressEvent(event);
}
