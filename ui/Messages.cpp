#include "ui/Messages.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPointer>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTextLayout>
#include <cmath>

#include "ui/TemplateDialog.h"
#include "ui/Zoom.h"

namespace ui {
namespace {
ScriptedUi* g_script = nullptr;

QString Title() {
  const QString name = QApplication::applicationDisplayName();
  return name.isEmpty() ? QStringLiteral("OrvanePort") : name;
}

// Space kept free on either side of a message box inside the window.
constexpr int kWindowMargin = 10;

// A message's text, wrapped to the width it is given: at spaces where it can be, and
// inside a long word (a file's path, say) where it must be.
class WrappedText : public QLabel {
 public:
  WrappedText(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
  }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override { return LaidOut(width).height(); }
  QSize sizeHint() const override { return LaidOut(QWIDGETSIZE_MAX).toSize(); }
  QSize minimumSizeHint() const override {
    return QSize(fontMetrics().averageCharWidth() * 8, fontMetrics().height());
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(rect()), Shown(), Option());
  }

 private:
  static QTextOption Option() {
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
  }
  QString Shown() const {
    QString shown = text();
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return shown;
  }
  QSizeF LaidOut(int width) const {
    QTextLayout layout(Shown(), font());
    layout.setTextOption(Option());
    layout.beginLayout();
    qreal height = 0, widest = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(width);
      line.setPosition(QPointF(0, height));
      height += line.height();
      widest = qMax(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    return QSizeF(std::ceil(widest), std::ceil(height));
  }
};

// A message box: the icon of its form, the text, and the form's buttons. The text wraps
// to the width of the window the box belongs to.
class MessageDialog : public QDialog {
 public:
  MessageDialog(QWidget* parent, QWidget* window, const QString& text, MessageForm form)
      : QDialog(parent), window_(window) {
    setWindowTitle(Title());
    setObjectName(QStringLiteral("orvaneMessageBox"));
    auto* rows = new QVBoxLayout(this);
    auto* line = new QHBoxLayout;
    rows->addLayout(line);
    const QStyle::StandardPixmap icon = form == MessageForm::OkInfo ? QStyle::SP_MessageBoxInformation
                                        : form == MessageForm::YesNoQuestion ? QStyle::SP_MessageBoxQuestion
                                                                             : QStyle::SP_CustomBase;
    if (icon != QStyle::SP_CustomBase) {
      auto* picture = new QLabel(this);
      const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
      picture->setPixmap(style()->standardIcon(icon, nullptr, this).pixmap(QSize(side, side)));
      picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
      line->addWidget(picture, 0, Qt::AlignTop);
    }
    label_ = new WrappedText(text, this);
    label_->setObjectName(QStringLiteral("orvaneMessageText"));
    line->addWidget(label_, 1);
    auto* buttons = new QDialogButtonBox(this);
    if (form == MessageForm::YesNoQuestion) {
      buttons->addButton(QDialogButtonBox::Yes);
      QPushButton* no = buttons->addButton(QDialogButtonBox::No);
      no->setDefault(true);
      no->setFocus();
    } else {
      buttons->addButton(QDialogButtonBox::Ok)->setDefault(true);
    }
    buttons->setCenterButtons(style()->styleHint(QStyle::SH_MessageBox_CenterButtons, nullptr, this));
    connect(buttons, &QDialogButtonBox::clicked, this, [this, buttons](QAbstractButton* b) {
      done(buttons->standardButton(b) == QDialogButtonBox::Yes ? QMessageBox::Yes
           : buttons->standardButton(b) == QDialogButtonBox::No ? QMessageBox::No
                                                                 : QMessageBox::Ok);
    });
    rows->addWidget(buttons);
    Fit();
  }

 protected:
  void reject() override {
    // Escape or the window's close button: No for a question, OK otherwise.
    done(findChild<QDialogButtonBox*>()->button(QDialogButtonBox::No) ? QMessageBox::No : QMessageBox::Ok);
  }

 private:
  // One line when it fits in the window, else wrapped to the window's width.
  void Fit() {
    layout()->activate();
    QSize size = layout()->totalSizeHint();
    const int room = window_ ? window_->width() - 2 * Zoomed(kWindowMargin) : 0;
    if (room > 0 && size.width() > room) {
      const int width = qMax(room, layout()->totalMinimumSize().width());
      size = QSize(width, layout()->totalHeightForWidth(width));
    }
    setFixedSize(size);
  }

  QPointer<QWidget> window_;
  QLabel* label_ = nullptr;
};
}  // namespace

ScriptedUi::ScriptedUi() : previous_(g_script) { g_script = this; }
ScriptedUi::~ScriptedUi() { g_script = previous_; }
ScriptedUi* ScriptedUi::Current() { return g_script; }

QStringList ScriptedUi::MessageTexts() const {
  QStringList texts;
  for (const auto& m : messages) texts << m.text;
  return texts;
}

Answer ShowMessage(QWidget* parent, const QString& text, MessageForm form) {
  if (g_script) {
    g_script->messages.push_back({text, form});
    Answer answer = form == MessageForm::YesNoQuestion ? Answer::No : Answer::Ok;
    if (!g_script->answers.empty()) {
      answer = g_script->answers.front();
      g_script->answers.pop_front();
    }
    return answer;
  }
  const std::unique_ptr<QDialog> box = MakeMessageBox(parent, text, form);
  const int result = box->exec();
  if (form == MessageForm::YesNoQuestion) return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
  return Answer::Ok;
}

std::unique_ptr<QDialog> MakeMessageBox(QWidget* parent, const QString& text, MessageForm form) {
  QWidget* window = parent ? parent->window() : QApplication::activeWindow();
  return std::make_unique<MessageDialog>(parent, window, text, form);
}

std::optional<QString> AskSaveFileName(QWidget* parent, const SaveFileRequest& request) {
  if (g_script) {
    g_script->saveRequests.push_back(request);
    if (g_script->onSaveFile) return g_script->onSaveFile(request);
    return std::nullopt;
  }
  QFileDialog dialog(parent, request.title);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(request.filters);
  dialog.setDefaultSuffix(request.defaultSuffix);
  // The platform's dialog never asks before replacing; the caller decides.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

std::optional<QString> AskOpenFileName(QWidget* parent, const SaveFileRequest& request) {
  if (g_script) return g_script->onOpenFile ? g_script->onOpenFile(request) : std::nullopt;
  QFileDialog dialog(parent, request.title);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(request.filters);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first();
}

int RunModal(QDialog& dialog) {
  if (auto* t = qobject_cast<TemplateDialog*>(&dialog)) t->EnsureInitialized();
  if (g_script) {
    g_script->modalDialogs.push_back(QString::fromLatin1(dialog.metaObject()->className()));
    if (g_script->onModal) return g_script->onModal(dialog);
    dialog.reject();
    return QDialog::Rejected;
  }
  // A dialog made without a parent would open in the middle of the desktop, far from
  // the small program window; open it over the window the user is working in.
  if (!dialog.parentWidget()) {
    QWidget* owner = QApplication::activeWindow();
    if (owner && owner != &dialog)
      dialog.move(owner->frameGeometry().center() - QPoint(dialog.width() / 2, dialog.height() / 2));
  }
  return dialog.exec();
}

}  // namespace ui
