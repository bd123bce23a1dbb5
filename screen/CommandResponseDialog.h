// Response viewer (template IDD_COMMAND_RESPONSE): one exchange of the response list in
// full, as bytes, the command in one binary editor pane and the reply in another; when
// given, the exchange's times beside the panes' labels. It
// only shows: what is typed into the panes is dropped; "Close" or Escape ends it.
#pragma once

#include <QString>

#include "engine/Row.h"
#include "entry/BinaryCtrl.h"
#include "ui/TemplateDialog.h"

class CommandResponseDialog : public ui::TemplateDialog {
  Q_OBJECT

 public:
  CommandResponseDialog(const QString& commandText, const QString& responseText,
                        QWidget* parent = nullptr);

  // The times shown (set before the dialog runs): when the exchange was sent, beside
  // "Command:", and the ms to its first byte and end and how it ended, beside
  // "Response:". A text too long for its place is whole in the label's tool tip.
  void SetTimeText(const QString& sent, const QString& reply) {
    sentText_ = sent;
    replyTimeText_ = reply;
  }
  // The times of |row|: when it was sent (or unsolicited data began), then the ms to the
  // first byte and to the end, and how it ended; none when not known.
  void SetTimes(const orvane::Row& row);
  const QString& SentText() const { return sentText_; }
  const QString& ReplyTimeText() const { return replyTimeText_; }

  QZBinaryCtrl* CommandPane() const { return commandPane_.window; }
  QZBinaryCtrl* ResponsePane() const { return responsePane_.window; }

 protected:
  void OnInitDialog() override;
  void OnCancel() override {}  // no Cancel button: "Close" or Escape ends the dialog

 private:
  BinaryCtrlHost commandPane_;
  BinaryCtrlHost responsePane_;
  QString commandText_;
  QString responseText_;
  QString caption_;
  QString sentText_;
  QString replyTimeText_;

  void CreatePane(BinaryCtrlHost& pane, const QString& text, const QRect& rect, ui::Anchor anchor);
};
