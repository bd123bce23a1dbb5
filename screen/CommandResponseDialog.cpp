#include "screen/CommandResponseDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>

#include "engine/BinaryTextCodec.h"
#include "resources/OrvanePortIds.h"
#include "screen/SendRules.h"
#include "ui/Look.h"
#include "ui/Zoom.h"

using namespace orvane::port_ids;

namespace {

constexpr double kCommandShare = 0.4;
constexpr ui::Anchor kCommandPaneAnchor{0, 1, 0, kCommandShare};
constexpr ui::Anchor kResponseLabelAnchor{0, 0, kCommandShare, 0};
constexpr ui::Anchor kResponsePaneAnchor{0, 1, kCommandShare, 1 - kCommandShare};
// The timing lines widen with the dialog.
constexpr ui::Anchor kReplyTimeAnchor{0, 1, kCommandShare, 0};
// Narrower than this much extra width, the text view goes below the bytes.
constexpr int kBesideWidth = 160;
const QRect kResponsePaneRect(12, 150, 211, 110);
// The notes' box: three lines under the reply, keeping to the dialog's foot.
constexpr int kNotesHeight = 44;
constexpr int kNotesGap = 3;
constexpr double kNotesShare = 0.3;

}  // namespace

CommandResponseDialog::CommandResponseDialog(const QString& commandText,
                                             const QString& responseText, QWidget* parent)
    : ui::TemplateDialog(kIdTable, IDD_COMMAND_RESPONSE, parent),
      commandText_(commandText),
      responseText_(responseText) {
  // On a larger window the command pane takes two fifths of the room, the reply the rest.
  Layout().SetAnchor(ui::IDOK, ui::kRightEdge);
  Layout().SetAnchorAt(ui::DluRect(7, 74, 35, 8).topLeft(), kResponseLabelAnchor);
  Layout().SetAnchor(IDC_RESPONSE_END, kReplyTimeAnchor);
  Layout().SetAnchor(IDC_RESPONSE_TIME, ui::kWiden);
  const QSize growth = ui::WindowGrowth();
  grown_ = growth.width() > 0 || growth.height() > 0;
  GrowWithWindow();
}

void CommandResponseDialog::CreateTextView(QRect* paneRect, ui::Anchor* paneAnchor) {
  const QSize growth = ui::WindowGrowth();
  // The room the bytes had (of the extra height), now shared with the text.
  const double top = paneAnchor->moveY;
  const double room = paneAnchor->growY;
  QRect base;
  ui::Anchor anchor;
  if (growth.width() >= kBesideWidth) {
    // Beside the bytes: each takes half the extra width.
    *paneAnchor = {0, 0.5, top, room};
    base = QRect(paneRect->right() + 7, paneRect->top(), 0, paneRect->height());
    anchor = {0.5, 0.5, top, room};
  } else {
    // Below them: each takes half the extra height.
    *paneAnchor = {0, 1, top, room / 2};
    base = QRect(paneRect->left(), paneRect->bottom() + 3, paneRect->width(), 0);
    anchor = {0, 1, top + room / 2, room / 2};
  }
  replyText_ = new QPlainTextEdit(this);
  replyText_->setObjectName(QStringLiteral("replyText"));
  replyText_->setReadOnly(true);
  replyText_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  replyText_->setWordWrapMode(QTextOption::WrapAnywhere);
  replyText_->setPlainText(QString::fromStdU16String(
      orvane::BinaryTextLines(orvane::DecodeBinaryText(responseText_.toStdU16String()))));
  replyText_->setGeometry(PlaceAtRunTime(base, anchor));
  Layout().Add(replyText_, base, anchor);
  replyText_->show();

  // "Copy" left of "Close", keeping its distance from the right edge.
  if (QWidget* close = Control(ui::IDOK)) {
    auto* copy = new QPushButton(QStringLiteral("&Copy"), this);
    copy->setObjectName(QStringLiteral("copyReply"));
    copy->setAutoDefault(false);
    copy->setFont(close->font());
    copy->setPalette(close->palette());
    const QRect closeBase = ui::DluRect(97, 1, 31, 13);
    const QRect copyBase = closeBase.translated(-closeBase.width() - 4, 0);
    copy->setGeometry(PlaceAtRunTime(copyBase, ui::kRightEdge));
    Layout().Add(copy, copyBase, ui::kRightEdge);
    copy->show();
    connect(copy, &QPushButton::clicked, this, &CommandResponseDialog::CopyReply);
  }
}

void CommandResponseDialog::SetNotes(const std::vector<std::string>& notes) {
  QStringList lines;
  for (const std::string& note : notes) lines << QString::fromStdString(note);
  notes_ = lines.join(QLatin1Char('\n'));
}

void CommandResponseDialog::CreateNotesView(QRect* paneRect, ui::Anchor* paneAnchor) {
  const QRect base(paneRect->left(), paneRect->bottom() + 1 - kNotesHeight, paneRect->width(),
                   kNotesHeight);
  paneRect->setHeight(paneRect->height() - kNotesHeight - kNotesGap);
  // A larger window gives the notes a share of the reply's extra height too.
  const ui::Anchor anchor{0, 1, paneAnchor->moveY + paneAnchor->growY * (1 - kNotesShare),
                          paneAnchor->growY * kNotesShare};
  paneAnchor->growY *= 1 - kNotesShare;
  notesView_ = new QPlainTextEdit(this);
  notesView_->setObjectName(QStringLiteral("replyNotes"));
  notesView_->setReadOnly(true);
  notesView_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  notesView_->setPlainText(notes_);
  notesView_->setToolTip(notes_);
  notesView_->setGeometry(PlaceAtRunTime(base, anchor));
  Layout().Add(notesView_, base, anchor);
  notesView_->show();
}

void CommandResponseDialog::CopyReply() {
  QApplication::clipboard()->setText(responseText_);
}

void CommandResponseDialog::CreatePane(BinaryCtrlHost& pane, const QString& text, const QRect& rect,
                                       ui::Anchor anchor) {
  const orvane::Bytes bytes = orvane::DecodeBinaryText(text.toStdU16String());
  // Grown, a pane shows as many bytes a row as its width takes.
  CreateBinaryCtrl(pane, this, PlaceAtRunTime(rect, anchor), bytes,
                   grown_ ? BinaryRows::kFitWidth : BinaryRows::kFour);
  Layout().Add(pane.window, rect, anchor);
  pane.window->installEventFilter(this);
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
  QRect paneRect = kResponsePaneRect;
  ui::Anchor paneAnchor = kResponsePaneAnchor;
  if (!notes_.isEmpty()) CreateNotesView(&paneRect, &paneAnchor);
  if (grown_) CreateTextView(&paneRect, &paneAnchor);
  CreatePane(responsePane_, responseText_, paneRect, paneAnchor);
  if (grown_ && !timingWords_.isEmpty()) replyTimeText_ = timingWords_;
  if (QWidget* reply = Control(IDC_RESPONSE_END))
    reply->setToolTip(timingWords_.isEmpty() ? replyTimeText_ : timingWords_);
  host_.ShowMembers();
}

void CommandResponseDialog::keyPressEvent(QKeyEvent* event) {
  // Escape closes the dialog as "Close" does: there is nothing to cancel.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    OnOK();
    return;
  }
  ui::TemplateDialog::keyPressEvent(event);
}

bool CommandResponseDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return ui::TemplateDialog::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  auto* pane = qobject_cast<QZBinaryCtrl*>(watched);
  if (!pane) return ui::TemplateDialog::eventFilter(watched, event);
  const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
  // The panes type nothing for these keys: they close the dialog.
  if (mods == Qt::NoModifier && (key->key() == Qt::Key_Escape || key->key() == Qt::Key_Return ||
                                 key->key() == Qt::Key_Enter)) {
    OnOK();
    return true;
  }
  if (key->matches(QKeySequence::Copy)) {
    const orvane::Bytes& bytes = pane->Model().Data();
    QApplication::clipboard()->setText(QString::fromStdU16String(orvane::EncodeBinaryText(bytes)));
    return true;
  }
  return ui::TemplateDialog::eventFilter(watched, event);
}

void CommandResponseDialog::SetTimes(const orvane::Row& row) {
  timingWords_ = QString::fromStdString(orvane::TimingWords(row));
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
