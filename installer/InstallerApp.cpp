#include "installer/InstallerApp.h"

#include <QCoreApplication>
#include <QObject>

#include "installer/DesktopLink.h"
#include "installer/InstallerDialog.h"
#include "installer/SplashWindow.h"
#include "resources/InstallerIds.h"
#include "ui/Menus.h"
#include "ui/Messages.h"

using namespace orvane::installer_ids;

namespace {

// Every message the application's loops deliver passes here first.
class PreTranslateFilter : public QObject {
 public:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    return SplashWindow::PreTranslateMessage(receiver, event);
  }
};

}  // namespace

InstallerApp::InstallerApp() = default;

InstallerApp::~InstallerApp() {
  if (preTranslate_ && QCoreApplication::instance())
    QCoreApplication::instance()->removeEventFilter(preTranslate_.get());
}

bool InstallerApp::ReadAppManagerPath() {
  using namespace orvane;
  reg::Hive* hive = desktop::DesktopHive();
  if (!hive) return false;
  reg::Key key = reg::kNoKey;
  if (hive->OpenKey(reg::kLocalMachine, desktop::kAppPathsKey, &key) != reg::kSuccess) return false;
  uint32_t bytes = kPathBytes;
  const reg::Status status = desktop::QueryStringA(*hive, key, u"", appManagerPath_, &bytes);
  hive->CloseKey(key);
  if (status != reg::kSuccess) appManagerPath_[0] = '\0';
  return status == reg::kSuccess;
}

int InstallerApp::Run() {
  if (!ReadAppManagerPath()) {
    ui::ShowMessage(nullptr, ui::LoadString(kIdTable, IDS_NOT_INSTALLED), ui::MessageForm::Ok);
    return 1;
  }
  SplashWindow::EnableSplashScreen(true);
  if (!preTranslate_) {
    preTranslate_ = std::make_unique<PreTranslateFilter>();
    QCoreApplication::instance()->installEventFilter(preTranslate_.get());
  }

  InstallerDialog dialog(appManagerPath_);
  dialog.EnsureInitialized();
  if (!dialog.EndedWhileOpening()) ui::RunModal(dialog);
  if (SplashWindow* splash = SplashWindow::Current()) splash->HideSplashScreen();
  return dialog.GetOutcome() == InstallerDialog::Outcome::Installed ? 0 : 1;
}
