// Response viewer (template IDD_COMMAND_RESPONSE): one exchange of the response list in
// full, as bytes, the command in one binary editor pane and the reply in another; when
// given, the exchange's times beside the panes' labels. It only shows: what is typed
// into the panes is dropped. "Close", Esc and Enter close it; Ctrl+C in a pane copies
// its bytes as binary text.
//
// Larger than the handheld's (the main window was enlarged), the reply is also shown as
// text (binary text, a line break after each <0A>) beside the bytes, or below them when
// the room is taller than wide; a "Copy" button copies the whole reply; the reply's
// timing line is in words.
//
// A reply with notes (an error code named, a short message decoded) shows them in a
// box under the reply, which gives up that much of its height; one without, none.
#pragma once

#include <QString>

#include <string>
#include <vector>

class QPlainTextEdit;

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
  // The notes shown under the reply (set before the dialog runs), one a line.
  void SetNotes(const std::vector<std::string>& notes);
  // The box of notes; none when there are no notes.
  QPlainTextEdit* NotesView() const { return notesView_; }
  const QString& ReplyTimeText() const { return replyTimeText_; }

  QZBinaryCtrl* CommandPane() const { return commandPane_.window; }
  QZBinaryCtrl* ResponsePane() const { return responsePane_.window; }
  // The reply as text; none at the handheld's size.
  QPlainTextEdit* ReplyTextView() const { return replyText_; }
  // Puts the whole reply, as binary text, on the clipboard.
  void CopyReply();

 protected:
  void OnInitDialog() override;
  void OnCancel() override {}  // there is no cancel: "Close" ends the dialog
  void keyPressEvent(QKeyEvent* event) override;
  // Esc, Enter and Ctrl+C reach the dialog through the panes, which take every key.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  BinaryCtrlHost commandPane_;
  BinaryCtrlHost responsePane_;
  QString commandText_;
  QString responseText_;
  QString caption_;
  QString sentText_;
  QString replyTimeText_;
  QString timingWords_;
  bool grown_ = false;
  QPlainTextEdit* replyText_ = nullptr;
  QString notes_;
  QPlainTextEdit* notesView_ = nullptr;

  // The box of notes at the foot of the reply's place, which shrinks by its height.
  void CreateNotesView(QRect* paneRect, ui::Anchor* paneAnchor);

  // The text view and the Copy button of a grown dialog; the response pane's place.
  void CreateTextView(QRect* paneRect, ui::Anchor* paneAnchor);

  void CreatePane(BinaryCtrlHost& pane, const QString& text, const QRect& rect, ui::Anchor anchor);
};
