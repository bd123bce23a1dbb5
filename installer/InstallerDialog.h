// The installer's main dialog. All of the installation happens while it opens: splash,
// the 3500 ms wait, the handheld checks, the application manager and the final
// message. It ends itself on every path but one: when the handheld was found but the
// connection could not be set up, it stays up and says so until the user closes it.
#pragma once

#include <QString>
#include <cstdint>

#include "resources/InstallerIds.h"
#include "ui/TemplateDialog.h"

class QMenu;

class AboutDialog : public ui::TemplateDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr)
      : ui::TemplateDialog(orvane::installer_ids::kIdTable, orvane::installer_ids::IDD_ABOUTBOX,
                           parent) {}
};

class InstallerDialog : public ui::TemplateDialog {
  Q_OBJECT

 public:
  static constexpr uint32_t kOpeningWaitMs = 3500;

  enum class Outcome { None, NoHandheld, NotReachable, CannotStart, ManagerFailed, Installed };

  // |appManagerPath| is the application's 260-byte buffer; it outlives the dialog.
  explicit InstallerDialog(const char* appManagerPath, QWidget* parent = nullptr);

  Outcome GetOutcome() const { return outcome_; }
  // True when the opening ended the dialog (it is then never shown).
  bool EndedWhileOpening() const { return ended_; }
  // The command line the application manager was started with (empty when not).
  const std::string& CommandLine() const { return commandLine_; }

  // The window's system menu (Close, and the about item added while opening), shown
  // by Alt+Space or a right click; OnSysCommand runs its items (SC_CLOSE,
  // IDM_ABOUTBOX).
  QMenu* SystemMenu() const { return systemMenu_; }
  void OnSysCommand(int command);

  // The opening's wait, shortened by tests that are not about it.
  static void SetOpeningWaitMs(uint32_t ms);

 protected:
  void OnInitDialog() override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void EndDialog(int result);
  void ShowSystemMenu(const QPoint& globalPos);
  void ShowNotReachable();

  const char* appManagerPath_;
  QMenu* systemMenu_;
  Outcome outcome_ = Outcome::None;
  bool ended_ = false;
  std::string commandLine_;
};

// Keeps messages flowing for |ms| milliseconds of the tick count: each pending message
// is dispatched directly (not through the splash's pre-translation); between messages
// the thread sleeps until the next one or the deadline.
void PumpMessagesFor(uint32_t ms);
