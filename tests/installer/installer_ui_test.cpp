// OrvaneInstaller from start to end: every row of its failure table, the command line
// for a path with blanks, a full install through the real application manager
// stand-in, the state where the handheld cannot be reached, the splash and the menu.
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <filesystem>

#include "installer/InstallerApp.h"
#include "installer/InstallerDialog.h"
#include "installer/SplashWindow.h"
#include "tests/installer/InstallerTestSupport.h"
#include "ui/Menus.h"
#include "ui/Messages.h"

namespace fs = std::filesystem;
using orvane::testing::ReadFile;
using orvane::testing::WriteFile;
using namespace orvane::installer_ids;

namespace {

const QString kNotInstalled =
    QStringLiteral("Active Sync is not installed on your machine. Please install Microsoft Active Sync.");
const QString kNoHandheld = QStringLiteral(
    "Pocket PC is not connected. Please check the connection between your desktop and pocket pc.");
const QString kCannotStart = QStringLiteral("Cannot start Active Sync Application Manager.");
const QString kInstalled = QStringLiteral("Orvane Port Linewright successfully Installed");

class Installer : public ::testing::Test {
 protected:
  void SetUp() override {
    SplashWindow::EnableSplashScreen(false);
    InstallerDialog::SetOpeningWaitMs(0);
    // The package the application manager is started with, in the current folder.
    WriteFile(sandbox.Path("pkg/OrvanePortCmd.ini"),
              ReadFile(std::string(std::getenv("ORVANE_SOURCE_DIR")) + "/resources/OrvanePortCmd.ini"));
    WriteFile(sandbox.Path("pkg/OrvanePort"), "the handheld program\n", true);
    WriteFile(sandbox.Path("pkg/OrvanePortCmd.htm"), "<html>help</html>\n");
    WriteFile(sandbox.Path("pkg/OrvanePort.pkg"),
              "[Package]\nInstallDir = Program Files\\Orvane Port Linewright\nFile1 = OrvanePort\n"
              "File2 = OrvanePortCmd.htm\n");
    inPackage = std::make_unique<orvane::testing::ScopedCurrentDir>(sandbox.Path("pkg"));
  }
  void TearDown() override {
    if (SplashWindow* splash = SplashWindow::Current()) splash->HideSplashScreen();
    SplashWindow::EnableSplashScreen(false);
    InstallerDialog::SetOpeningWaitMs(InstallerDialog::kOpeningWaitMs);
    inPackage.reset();
  }

  int RunInstaller() {
    InstallerApp app;
    return app.Run();
  }
  std::string Installed(const std::string& name) const {
    return sandbox.handheld() + "/Program Files/Orvane Port Linewright/" + name;
  }
  void ExpectOnlyMessage(const QString& text, ui::MessageForm form) {
    ASSERT_EQ(script.messages.size(), 1u) << script.MessageTexts().join(u'|').toStdString();
    EXPECT_EQ(script.messages[0].text, text);
    EXPECT_EQ(script.messages[0].form, form);
  }

  orvane::testing::DesktopSandbox sandbox;
  ui::ScriptedUi script;
  std::unique_ptr<orvane::testing::ScopedCurrentDir> inPackage;
};

TEST_F(Installer, WithoutTheApplicationManagerOnlyItsMessageIsShown) {
  // No desktop hive at all.
  EXPECT_EQ(RunInstaller(), 1);
  ExpectOnlyMessage(kNotInstalled, ui::MessageForm::Ok);
  EXPECT_TRUE(script.modalDialogs.empty());
  EXPECT_FALSE(SplashWindow::SplashScreenEnabled());  // the program ended before the splash

  // A hive with the handheld but without the App Paths entry.
  ASSERT_TRUE(sandbox.Register(ORVANE_APPMGR));
  std::string error;
  auto hive = orvane::reg::Hive::OpenFile(orvane::desktop::DefaultDesktopHivePath(), &error);
  ASSERT_TRUE(hive) << error;
  ASSERT_EQ(hive->DeleteKey(orvane::reg::kLocalMachine, orvane::desktop::kAppPathsKey), orvane::reg::kSuccess);
  script.messages.clear();
  EXPECT_EQ(RunInstaller(), 1);
  ExpectOnlyMessage(kNotInstalled, ui::MessageForm::Ok);
  EXPECT_TRUE(fs::is_empty(sandbox.handheld()));
}

TEST_F(Installer, APathThatDoesNotFitTheBufferCountsAsUnreadable) {
  // 259 characters fit (and name no program); 260 do not.
  const std::string fits = sandbox.Path("") + std::string(259 - sandbox.Path("").size(), 'p');
  ASSERT_EQ(fits.size(), 259u);
  ASSERT_TRUE(sandbox.Register(fits));
  EXPECT_EQ(RunInstaller(), 1);
  ExpectOnlyMessage(kCannotStart, ui::MessageForm::Ok);

  script.messages.clear();
  ASSERT_TRUE(sandbox.Register(fits + "p"));
  EXPECT_EQ(RunInstaller(), 1);
  ExpectOnlyMessage(kNotInstalled, ui::MessageForm::Ok);
}

TEST_F(Installer, WithoutAHandheldNothingIsStarted) {
  const std::string record = sandbox.Path("record.txt");
  WriteFile(sandbox.Path("ceappmgr"), orvane::testing::RecorderScript(record), true);
  ASSERT_TRUE(sandbox.Register(sandbox.Path("ceappmgr")));
  fs::remove(sandbox.handheld());
  EXPECT_EQ(RunInstaller(), 1);
  ExpectOnlyMessage(kNoHandheld, ui::MessageForm::Ok);
  EXPECT_TRUE(script.modalDialogs.empty());  // the dialog ended while opening
  EXPECT_FALSE(fs::exists(record));
}

TEST_F(Installer, AnApplicationManagerThatCannotStartIsReported) {
  ASSERT_TRUE(sandbox.Register(sandbox.Path("no such program")));
  EXPECT_EQ(RunInstaller(), 1);
  ExpectOnlyMessage(kCannotStart, ui::MessageForm::Ok);
  EXPECT_TRUE(script.modalDialogs.empty());

  // A file that is not a program does not start either.
  script.messages.clear();
  WriteFile(sandbox.Path("readme"), "not a program\n", true);
  ASSERT_TRUE(sandbox.Register(sandbox.Path("readme")));
  EXPECT_EQ(RunInstaller(), 1);
  ExpectOnlyMessage(kCannotStart, ui::MessageForm::Ok);
}

TEST_F(Installer, InstallsThroughTheRealApplicationManager) {
  ASSERT_TRUE(sandbox.Register(ORVANE_APPMGR));
  EXPECT_EQ(RunInstaller(), 0);
  ExpectOnlyMessage(kInstalled, ui::MessageForm::OkInfo);
  EXPECT_TRUE(script.modalDialogs.empty());
  EXPECT_EQ(ReadFile(Installed("OrvanePort")), "the handheld program\n");
  EXPECT_EQ(ReadFile(Installed("OrvanePortCmd.htm")), "<html>help</html>\n");
  EXPECT_EQ(::access(Installed("OrvanePort").c_str(), X_OK), 0);
}

TEST_F(Installer, AFailedInstallationIsNotReportedAsSuccess) {
  ASSERT_TRUE(sandbox.Register(ORVANE_APPMGR));
  fs::remove(sandbox.Path("pkg/OrvanePort.pkg"));
  EXPECT_EQ(RunInstaller(), 1);
  ASSERT_EQ(script.messages.size(), 1u);
  EXPECT_NE(script.messages[0].text, kInstalled);
  EXPECT_TRUE(script.messages[0].text.contains(QStringLiteral("was not installed")));
  EXPECT_EQ(script.messages[0].form, ui::MessageForm::Ok);
  EXPECT_TRUE(fs::is_empty(sandbox.handheld()));
}

TEST_F(Installer, APathWithBlanksIsStartedWholeWithTheQuotedPackage) {
  const std::string decoyRecord = sandbox.Path("decoy.txt");
  WriteFile(sandbox.Path("Program"), orvane::testing::RecorderScript(decoyRecord), true);
  const std::string record = sandbox.Path("record.txt");
  const std::string program = sandbox.Path("Program Files/Microsoft ActiveSync/CEAPPMGR.EXE");
  WriteFile(program, orvane::testing::RecorderScript(record), true);
  ASSERT_TRUE(sandbox.Register(program));

  char path[InstallerApp::kPathBytes] = {};
  program.copy(path, sizeof path - 1);
  InstallerDialog dialog(path);
  dialog.EnsureInitialized();
  EXPECT_TRUE(dialog.EndedWhileOpening());
  EXPECT_EQ(dialog.GetOutcome(), InstallerDialog::Outcome::Installed);
  EXPECT_EQ(dialog.CommandLine(), program + " \".\\OrvanePortCmd.ini\"");
  EXPECT_EQ(ReadFile(record), ".\\OrvanePortCmd.ini\n");
  EXPECT_FALSE(fs::exists(decoyRecord));
  ExpectOnlyMessage(kInstalled, ui::MessageForm::OkInfo);
}

TEST_F(Installer, AnUnreachableHandheldKeepsTheDialogUpAndSaysWhatToCheck) {
  const std::string record = sandbox.Path("record.txt");
  WriteFile(sandbox.Path("ceappmgr"), orvane::testing::RecorderScript(record), true);
  ASSERT_TRUE(sandbox.Register(sandbox.Path("ceappmgr"), orvane::testing::kUnwritableFolder));

  QString shown;
  script.onModal = [&](QDialog& d) {
    d.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&d));
    auto* label = qobject_cast<QLabel*>(ui::FindControl(&d, IDC_PLACEHOLDER));
    if (label) shown = label->text();
    EXPECT_TRUE(script.messages.empty());  // nothing but the dialog says it
    auto* ok = qobject_cast<QPushButton*>(ui::FindControl(&d, ui::IDOK));
    if (!ok) return d.result();
    // The opening's wait was cut short here, so the splash is still up: the first
    // press only closes it.
    EXPECT_NE(SplashWindow::Current(), nullptr);
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(SplashWindow::Current(), nullptr);
    EXPECT_TRUE(d.isVisible());
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(d.isVisible());
    return d.result();
  };
  EXPECT_EQ(RunInstaller(), 1);
  EXPECT_EQ(script.modalDialogs, std::vector<QString>{QStringLiteral("InstallerDialog")});
  EXPECT_TRUE(shown.contains(QStringLiteral("could not connect")));
  EXPECT_TRUE(shown.contains(QString::fromLatin1(orvane::testing::kUnwritableFolder)));
  EXPECT_TRUE(script.messages.empty());
  EXPECT_FALSE(fs::exists(record));  // nothing was started

  // Cancel and the close item end it too, without installing.
  for (int how : {ui::IDCANCEL, SC_CLOSE}) {
    char path[InstallerApp::kPathBytes] = "/bin/false";
    InstallerDialog dialog(path);
    dialog.EnsureInitialized();
    EXPECT_FALSE(dialog.EndedWhileOpening());
    EXPECT_EQ(dialog.GetOutcome(), InstallerDialog::Outcome::NotReachable);
    dialog.show();
    if (how == ui::IDCANCEL)
      dialog.Press(ui::IDCANCEL);
    else
      dialog.OnSysCommand(how);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
  }
  EXPECT_FALSE(fs::exists(record));
}

TEST_F(Installer, SystemMenuOffersTheAboutBox) {
  ASSERT_TRUE(sandbox.Register(ORVANE_APPMGR, orvane::testing::kUnwritableFolder));
  char path[InstallerApp::kPathBytes] = "/bin/false";
  InstallerDialog dialog(path);
  ASSERT_EQ(dialog.SystemMenu()->actions().size(), 1);  // Close, before opening
  dialog.EnsureInitialized();
  const auto actions = dialog.SystemMenu()->actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_TRUE(actions[1]->isSeparator());
  EXPECT_EQ(actions[2]->text(), QStringLiteral("&About OrvaneInstaller..."));
  EXPECT_EQ(ui::CommandIdOf(actions[2]), IDM_ABOUTBOX);
  EXPECT_FALSE(dialog.windowIcon().isNull());
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("OrvaneInstaller"));

  QStringList aboutTexts;
  script.onModal = [&](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), QStringLiteral("About OrvaneInstaller"));
    for (auto* label : d.findChildren<QLabel*>()) {
      aboutTexts << label->text();
      if (label->text().isEmpty()) {
        EXPECT_FALSE(label->pixmap().isNull());  // the icon
      }
    }
    return static_cast<int>(QDialog::Accepted);
  };
  script.onPopup = [](QMenu&) { return IDM_ABOUTBOX; };
  dialog.show();
  QTest::keyClick(&dialog, Qt::Key_Space, Qt::AltModifier);
  ASSERT_EQ(script.popups.size(), 1u);
  EXPECT_EQ(script.popups[0].last(), QStringLiteral("&About OrvaneInstaller..."));
  EXPECT_EQ(script.modalDialogs, std::vector<QString>{QStringLiteral("AboutDialog")});
  EXPECT_TRUE(aboutTexts.contains(QStringLiteral("OrvaneInstaller Version 1.0")));
  EXPECT_TRUE(dialog.isVisible());  // the about box leaves the dialog up
}

TEST_F(Installer, SplashShowsDuringTheWaitAndIgnoresInputDispatchedByIt) {
  InstallerDialog::SetOpeningWaitMs(300);
  ASSERT_TRUE(sandbox.Register(ORVANE_APPMGR));
  fs::remove(sandbox.handheld());

  // Looks at the splash once, at the first tick inside the wait (showing the splash may
  // dispatch events too, before the wait).
  bool seen = false;
  QTimer during;
  during.setInterval(10);
  QObject::connect(&during, &QTimer::timeout, [&] {
    SplashWindow* splash = SplashWindow::Current();
    if (seen || !splash || !SplashWindow::DirectDispatch::Active()) return;
    seen = true;
    EXPECT_TRUE(splash->isVisible());
    EXPECT_EQ(splash->size(), QSize(320, 240));
    EXPECT_TRUE(splash->isWindow());
    const QRect area = splash->screen()->availableGeometry();
    EXPECT_LE((splash->geometry().center() - area.center()).manhattanLength(), 2);
    // The wait dispatches directly: a key press does not close the splash.
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(splash, &press);
    EXPECT_EQ(SplashWindow::Current(), splash);
    EXPECT_TRUE(script.messages.empty());  // still waiting
  });
  during.start();
  EXPECT_EQ(RunInstaller(), 1);
  EXPECT_TRUE(seen);
  ExpectOnlyMessage(kNoHandheld, ui::MessageForm::Ok);
  EXPECT_EQ(SplashWindow::Current(), nullptr);  // gone when the program ends
}

TEST(Splash, ClosesOnItsTimerOrOnAPressOutsideTheWait) {
  QWidget owner;
  SplashWindow::EnableSplashScreen(false);
  SplashWindow::ShowSplashScreen(&owner);
  EXPECT_EQ(SplashWindow::Current(), nullptr);  // not allowed

  SplashWindow::EnableSplashScreen(true);
  SplashWindow::ShowSplashScreen(&owner);
  SplashWindow* splash = SplashWindow::Current();
  ASSERT_NE(splash, nullptr);
  SplashWindow::ShowSplashScreen(&owner);
  EXPECT_EQ(SplashWindow::Current(), splash);  // one at a time

  // Mouse moves and releases do not close it; a left press does and is consumed.
  QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  EXPECT_FALSE(SplashWindow::PreTranslateMessage(&owner, &move));
  EXPECT_EQ(SplashWindow::Current(), splash);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  EXPECT_TRUE(SplashWindow::PreTranslateMessage(&owner, &press));
  EXPECT_EQ(SplashWindow::Current(), nullptr);
  EXPECT_FALSE(SplashWindow::PreTranslateMessage(&owner, &press));  // no splash: passes on

  // A key press through the application's pre-translation closes it.
  class Filter : public QObject {
    bool eventFilter(QObject* o, QEvent* e) override { return SplashWindow::PreTranslateMessage(o, e); }
  } filter;
  qApp->installEventFilter(&filter);
  SplashWindow::ShowSplashScreen(&owner);
  ASSERT_NE(SplashWindow::Current(), nullptr);
  QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
  EXPECT_TRUE(QCoreApplication::sendEvent(&owner, &key));
  EXPECT_EQ(SplashWindow::Current(), nullptr);
  qApp->removeEventFilter(&filter);

  // Left alone, its timer closes it (shortened here from its 3.5 s).
  SplashWindow::SetTimerMs(20);
  SplashWindow::ShowSplashScreen(&owner);
  SplashWindow::SetTimerMs(SplashWindow::kTimerMs);
  ASSERT_NE(SplashWindow::Current(), nullptr);
  QPointer<SplashWindow> timed = SplashWindow::Current();
  EXPECT_TRUE(QTest::qWaitFor([] { return SplashWindow::Current() == nullptr; }, 10000));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(timed.isNull());  // destroyed, not just hidden
  SplashWindow::EnableSplashScreen(false);
}

}  // namespace
