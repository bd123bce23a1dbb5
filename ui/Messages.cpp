#include "ui/Messages.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

#include "ui/TemplateDialog.h"

namespace ui {
namespace {
ScriptedUi* g_script = nullptr;

QString Title() {
  const QString name = QApplication::applicationDisplayName();
  return name.isEmpty() ? QStringLiteral("OrvanePort") : name;
}
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
  QMessageBox box(parent);
  box.setWindowTitle(Title());
  box.setText(text);
  switch (form) {
    case MessageForm::Ok:
      box.setIcon(QMessageBox::NoIcon);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageForm::OkInfo:
      box.setIcon(QMessageBox::Information);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageForm::YesNoQuestion:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::No);
      break;
  }
  const int result = box.exec();
  if (form == MessageForm::YesNoQuestion) return result == QMessageBox::Yes ? Answer::Yes : Answer::No;
  return Answer::Ok;
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
