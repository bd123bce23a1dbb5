#include "installer/InstallerDialog.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <chrono>

#include "installer/DesktopLink.h"
#include "installer/ProcessLauncher.h"
#include "installer/RemoteApi.h"
#include "installer/SplashWindow.h"
#include "ui/Look.h"
#include "ui/Menus.h"
#include "ui/Messages.h"

using namespace orvane::installer_ids;

namespace {

uint32_t g_openingWaitMs = InstallerDialog::kOpeningWaitMs;

uint32_t TickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

const QString kInstalled = QStringLiteral("Orvane Port Linewright successfully Installed");
// Message boxes shown while the dialog is still hidden (it ends while opening) belong
// to no window, so they are placed on the screen rather than on an unplaced dialog.
QWidget* MessageOwner(QWidget* dialog) { return dialog->isVisible() ? dialog : nullptr; }

const QString kManagerFailed =
    QStringLiteral("The Application Manager did not finish. Orvane Port Linewright was not installed.");

}  // namespace

void PumpMessagesFor(uint32_t ms) {
  SplashWindow::DirectDispatch direct;
  const uint32_t start = TickCount();
  QTimer wake;  // wakes the sleeping loop at the deadline
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  for (uint32_t elapsed = 0; elapsed <= ms; elapsed = TickCount() - start) {
    wake.start(static_cast<int>(ms - elapsed + 1));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

void InstallerDialog::SetOpeningWaitMs(uint32_t ms) { g_openingWaitMs = ms; }

InstallerDialog::InstallerDialog(const char* appManagerPath, QWidget* parent)
    : ui::TemplateDialog(kIdTable, IDD_ORVANEINSTALLER_DIALOG, parent),
      appManagerPath_(appManagerPath),
      systemMenu_(new QMenu(this)) {
  QAction* close = systemMenu_->addAction(QStringLiteral("&Close"));
  close->setProperty(ui::kCommandIdProperty, SC_CLOSE);
  if (auto* label = Control<QLabel>(IDC_PLACEHOLDER)) {
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  }
}

void InstallerDialog::OnInitDialog() {
  const QString about = ui::LoadString(kIdTable, IDS_ABOUTBOX);
  if (!about.isEmpty()) {
    systemMenu_->addSeparator();
    QAction* item = systemMenu_->addAction(about);
    item->setProperty(ui::kCommandIdProperty, IDM_ABOUTBOX);
  }
  setWindowIcon(QIcon(ui::Icon(IDI_INSTALLER)));

  SplashWindow::ShowSplashScreen(this);
  PumpMessagesFor(g_openingWaitMs);

  if (orvane::rapi::CeGetDeviceId() == 0) {
    outcome_ = Outcome::NoHandheld;
    ui::ShowMessage(MessageOwner(this), ui::LoadString(kIdTable, IDS_NO_HANDHELD), ui::MessageForm::Ok);
    EndDialog(QDialog::Accepted);
    return;
  }
  if (orvane::rapi::CeRapiInit() != orvane::rapi::kOk) {
    outcome_ = Outcome::NotReachable;
    ShowNotReachable();
    return;  // the dialog stays up until the user closes it
  }

  // The path is started whole; the command line supplies the arguments after it.
  const std::string program = appManagerPath_;
  commandLine_ = orvane::installer::BuildCommandLine(program);
  const auto result =
      orvane::installer::RunAndWait(program, orvane::installer::ArgumentsAfter(commandLine_, program));
  if (!result.started) {
    outcome_ = Outcome::CannotStart;
    ui::ShowMessage(MessageOwner(this), ui::LoadString(kIdTable, IDS_CANNOT_START), ui::MessageForm::Ok);
  } else if (!result.Succeeded()) {
    outcome_ = Outcome::ManagerFailed;
    ui::ShowMessage(MessageOwner(this), kManagerFailed, ui::MessageForm::Ok);
  } else {
    outcome_ = Outcome::Installed;
    ui::ShowMessage(MessageOwner(this), kInstalled, ui::MessageForm::OkInfo);
  }
  EndDialog(QDialog::Accepted);
}

void InstallerDialog::ShowNotReachable() {
  const std::string folder = orvane::desktop::HandheldFolder();
  if (auto* label = Control<QLabel>(IDC_PLACEHOLDER))
    label->setText(
        QStringLiteral("The handheld was found, but OrvaneInstaller could not connect to it, so nothing "
                       "was installed.\n\n"
                       "Check that the handheld's storage folder\n    %1\ncan be written to and is not locked or "
                       "read-only, then run OrvaneInstaller again.\n\n"
                       "Press OK or Cancel to close OrvaneInstaller.")
            .arg(QString::fromStdString(folder)));
}

void InstallerDialog::EndDialog(int result) {
  ended_ = true;
  done(result);
}

void InstallerDialog::OnSysCommand(int command) {
  if (command == IDM_ABOUTBOX) {
    AboutDialog about(this);
    ui::RunModal(about);
  } else if (command == SC_CLOSE) {
    OnCancel();
  }
}

void InstallerDialog::ShowSystemMenu(const QPoint& globalPos) {
  if (const int command = ui::TrackPopupMenu(systemMenu_, globalPos)) OnSysCommand(command);
}

void InstallerDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::AltModifier) {
    ShowSystemMenu(mapToGlobal(QPoint(0, 0)));
    return;
  }
  ui::TemplateDialog::keyPressEvent(event);
}

void InstallerDialog::contextMenuEvent(QContextMenuEvent* event) { ShowSystemMenu(event->globalPos()); }
