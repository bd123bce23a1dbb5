// The one seam through which screens ask the user something: message boxes, the
// save-file dialog and modal child dialogs. Production code calls these instead of
// QMessageBox / QFileDialog / QDialog::exec; a test installs a ScriptedUi to answer
// them and to read exactly what was shown.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QDialog;
class QMenu;
class QWidget;

namespace ui {

enum class MessageForm {
  Ok,           // OK only
  OkInfo,       // OK with the information icon (success notices)
  YesNoQuestion // Yes and No with the question icon (confirmations)
};
enum class Answer { Ok, Yes, No };

Answer ShowMessage(QWidget* parent, const QString& text, MessageForm form = MessageForm::Ok);
// The box ShowMessage runs (when no ScriptedUi answers): its text wraps to the width of
// |parent|'s window (or of the active window), less a margin, so it is never wider than
// the program's window.
std::unique_ptr<QDialog> MakeMessageBox(QWidget* parent, const QString& text, MessageForm form);
inline bool Confirm(QWidget* parent, const QString& text) {
  return ShowMessage(parent, text, MessageForm::YesNoQuestion) == Answer::Yes;
}

struct SaveFileRequest {
  QString title;
  QStringList filters;    // e.g. "All (*.TXT)"
  QString defaultSuffix;  // empty: none added
};
// Asks for a file name to save to; nothing when the user cancels.
std::optional<QString> AskSaveFileName(QWidget* parent, const SaveFileRequest& request);

// Asks for an existing file to open (the request's title and filters); nothing when the
// user cancels.
std::optional<QString> AskOpenFileName(QWidget* parent, const SaveFileRequest& request);

// Runs |dialog| modally and returns its result (QDialog::Accepted / Rejected).
// Dialogs made from templates are initialised first.
int RunModal(QDialog& dialog);

// Installed for the lifetime of a test: answers everything the seam is asked.
class ScriptedUi {
 public:
  struct Shown {
    QString text;
    MessageForm form;
  };

  ScriptedUi();
  ~ScriptedUi();
  ScriptedUi(const ScriptedUi&) = delete;
  ScriptedUi& operator=(const ScriptedUi&) = delete;

  static ScriptedUi* Current();

  // Answers for the next message boxes, in order. When none is queued, OK forms
  // answer Ok and confirmations answer No.
  std::deque<Answer> answers;
  // Every message shown, in order.
  std::vector<Shown> messages;
  // Answers the save-file dialog (default: cancelled); every request is recorded.
  std::function<std::optional<QString>(const SaveFileRequest&)> onSaveFile;
  std::vector<SaveFileRequest> saveRequests;
  // Answers the open-file dialog (default: cancelled).
  std::function<std::optional<QString>(const SaveFileRequest&)> onOpenFile;
  // Runs a modal dialog (already initialised) and returns its result; the default
  // rejects it. Dialogs' class names are recorded in order.
  std::function<int(QDialog&)> onModal;
  std::vector<QString> modalDialogs;
  // Answers a popup menu with a command id (0: dismissed; the default). Each popup's
  // item texts are recorded, a separator as "-".
  std::function<int(QMenu&)> onPopup;
  std::vector<QStringList> popups;

  QStringList MessageTexts() const;

 private:
  ScriptedUi* previous_;
};

}  // namespace ui
