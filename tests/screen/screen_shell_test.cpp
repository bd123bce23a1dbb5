// The application shell: start-up, the command bar with its menus, tool buttons and
// tooltips, command routing, about, help, exit, the recent-file list, closing the
// window during a read.
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest/QTest>

#include "screen/CAboutBox.h"
#include "screen/CMainFrame.h"
#include "tests/platform/TempHive.h"
#include "tests/screen/FakeModem.h"
#include "tests/screen/ScreenTestSupport.h"

using namespace screen_test;

namespace {

struct MenuItem {
  QString text;
  int id;
};

std::vector<MenuItem> Items(QMenu* menu) {
  std::vector<MenuItem> items;
  for (QAction* a : menu->actions())
    items.push_back({a->isSeparator() ? QStringLiteral("-") : a->text(), ui::CommandIdOf(a)});
  return items;
}

}  // namespace

class Shell : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    CMainFrame::SetHelpOpener([this](const QUrl& url) {
      helpUrls.push_back(url);
      return true;
    });
  }
  void TearDown() override {
    CMainFrame::SetHelpOpener(nullptr);
    ScreenTest::TearDown();
  }
  bool Start(const QStringList& args = {QStringLiteral("OrvanePort")}) {
    if (!app.InitInstance(args)) return false;
    return QTest::qWaitForWindowExposed(app.MainFrame());
  }
  QMenu* Menu(int index) { return app.MainFrame()->MenuBar()->actions().at(index)->menu(); }

  COrvanePortApp app{hive()};
  std::vector<QUrl> helpUrls;
};

TEST_F(Shell, StartUpBuildsTheCommandBarMenusAndScreen) {
  ASSERT_TRUE(Start());
  CMainFrame* frame = app.MainFrame();
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(frame->windowTitle(), "OrvanePort");
  EXPECT_EQ(frame->View(), app.View());
  EXPECT_EQ(frame->width(), ui::kScreenWidth);
  EXPECT_EQ(Ctl<QLabel>(*app.View(), IDC_STATUS)->text(), "Status");

  const auto tops = frame->MenuBar()->actions();
  ASSERT_EQ(tops.size(), 2);
  EXPECT_EQ(tops[0]->text(), "&Port");
  EXPECT_EQ(tops[1]->text(), "&Linewright");
  QStringList port, line;
  for (const auto& i : Items(Menu(0))) port << QStringLiteral("%1=%2").arg(i.text).arg(i.id);
  for (const auto& i : Items(Menu(1))) line << QStringLiteral("%1=%2").arg(i.text).arg(i.id);
  EXPECT_EQ(port.join('|'), "&Open=32789|&Close=32790|&Remote Ports..=32792|Line &Settings...=32793|"
                            "Session &Journal=32840|Journal &Folder=32841|-=0|&About Orvane..=57664|"
                            "&Help=32774|E&xit=57665");
  EXPECT_EQ(line.join('|'),
            "Edit As &Binary=32786|Command &History=32787|-=0|&Show Response=32784|"
            "&Export Response List=32785|Open &Journal...=32842|C&lear Response List=32791|-=0|&Find...=32800|"
            "Find &Next=32801|Find Pre&vious=32802|Hide Unsol&icited Rows=32803|"
            "&Only ERROR, Silence or Cut=32804|-=0|&Run Sequence...=32810|"
            "S&top Sequence=32811|&1 Recent Sequence=32812|&2 Recent Sequence=32813|&3 Recent Sequence=32814|"
            "&4 Recent Sequence=32815|-=0|&Preferences=1009|"
            "&Use Preferences=32788");
  // The keys the menus show beside their items.
  QStringList keys;
  for (QMenu* menu : {Menu(0), Menu(1)})
    for (QAction* a : menu->actions())
      if (!a->shortcut().isEmpty()) keys << QStringLiteral("%1=%2").arg(ui::CommandIdOf(a)).arg(a->shortcut().toString());
  EXPECT_EQ(keys.join('|'), "32789=Ctrl+O|32790=Ctrl+Shift+O|32774=F1|57665=Ctrl+Q|32786=Ctrl+B|32787=Ctrl+H|32784=Ctrl+I|32785=Ctrl+E|"
            "32791=Ctrl+L|32800=Ctrl+F|32801=F3|32802=Shift+F3|32810=Ctrl+R|32811=Ctrl+Shift+R|1009=Ctrl+,");

  // Two tool buttons, export then help, and the four tooltips in the bar's order.
  std::vector<int> buttons;
  for (QAction* a : frame->CommandBar()->actions())
    if (ui::CommandIdOf(a) > 0) buttons.push_back(ui::CommandIdOf(a));
  EXPECT_EQ(buttons, (std::vector<int>{32785, 32774}));
  EXPECT_EQ(frame->Tooltips(), (QStringList{"File", "Help", "Export", "Help"}));
  EXPECT_EQ(tops[0]->toolTip(), "File");
  EXPECT_EQ(ui::LoadString(kIdTable, 57345), "Ready");
  EXPECT_EQ(ui::LoadString(kIdTable, 32783), "Response Menu");
  EXPECT_EQ(ui::LoadString(kIdTable, 128).split('\n'),
            (QStringList{"OrvanePort", "", "OrvanePort", "", "", "OrvanePort.Document",
                         "OrvanePort Document"}));

  // The framework's own settings key, with its recent-file list, is in the hive.
  orvane::reg::Key key = 0;
  EXPECT_EQ(hive().OpenKey(orvane::reg::kLocalMachine,
                           u"Software\\Local AppWizard-Generated Applications\\OrvanePort\\Recent File List",
                           &key),
            orvane::reg::kSuccess);
  hive().CloseKey(key);
}

TEST_F(Shell, MenusAskTheScreenWhatIsEnabledAndChecked) {
  ASSERT_TRUE(Start());
  QMenu* port = Menu(0);
  emit port->aboutToShow();
  EXPECT_TRUE(port->actions()[0]->isEnabled());   // Open
  EXPECT_FALSE(port->actions()[1]->isEnabled());  // Close
  QMenu* line = Menu(1);
  emit line->aboutToShow();
  QAction* use = line->actions().last();
  EXPECT_TRUE(use->isChecked());
  // Choosing "Use Preferences" from the menu unticks the box.
  emit line->triggered(use);
  EXPECT_FALSE(Ctl<QCheckBox>(*app.View(), IDC_USE)->isChecked());
  emit line->aboutToShow();
  EXPECT_FALSE(use->isChecked());
}

TEST_F(Shell, AboutHelpAndExit) {
  ASSERT_TRUE(Start());
  CMainFrame* frame = app.MainFrame();
  QStringList labels;
  script.onModal = [&](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "About Orvane");
    EXPECT_EQ(d.size(), QSize(ui::DluToPx(139), ui::DluToPx(146)));
    for (QLabel* l : d.findChildren<QLabel*>())
      if (!l->text().isEmpty()) labels << l->text();
    d.reject();
    return d.result();
  };
  EXPECT_TRUE(frame->RouteCommand(ID_APP_ABOUT));
  EXPECT_EQ(script.modalDialogs, std::vector<QString>{"CAboutBox"});
  EXPECT_TRUE(labels.filter("Copyright").size() == 1) << labels.join('|').toStdString();
  EXPECT_TRUE(labels.filter("@").size() == 1);

  EXPECT_TRUE(frame->RouteCommand(ID_HELP));
  ASSERT_EQ(helpUrls.size(), 1u);
  EXPECT_EQ(helpUrls[0].fragment(), "Main_Contents");
  EXPECT_TRUE(helpUrls[0].path().endsWith("/OrvanePortCmd.htm"));
  QFile page(helpUrls[0].toLocalFile());
  ASSERT_TRUE(page.open(QIODevice::ReadOnly));
  const QByteArray html = page.readAll();
  EXPECT_TRUE(html.contains("id=\"Main_Contents\""));
  for (const char* topic : {"Open", "Send", "Preferences", "Command History", "Edit As Binary", "Export"})
    EXPECT_TRUE(html.contains(topic)) << topic;
  // The tool bar's help button does the same.
  for (QAction* a : frame->CommandBar()->actions())
    if (ui::CommandIdOf(a) == ID_HELP) a->trigger();
  EXPECT_EQ(helpUrls.size(), 2u);
  EXPECT_TRUE(script.messages.empty());
  // With no browser to open it, a message says where the page is.
  CMainFrame::SetHelpOpener([](const QUrl&) { return false; });
  EXPECT_TRUE(frame->RouteCommand(ID_HELP));
  EXPECT_EQ(script.MessageTexts(), QStringList{"No web browser could open the help page. It is " +
                                               helpUrls[0].toLocalFile()});

  EXPECT_TRUE(frame->RouteCommand(ID_APP_EXIT));
  EXPECT_FALSE(frame->isVisible());
}

TEST_F(Shell, RecentFilesAreKeptInTheHiveFourAtMost) {
  QTemporaryDir dir;
  QStringList files;
  for (int i = 0; i < 5; ++i) {
    files << dir.filePath(QStringLiteral("doc%1.txt").arg(i));
    QFile f(files.last());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  for (const QString& f : files) {
    COrvanePortApp one(hive());
    ASSERT_TRUE(one.InitInstance({"OrvanePort", f}));
    one.ExitInstance();
  }
  COrvanePortApp last(hive());
  last.SetRegistryKey(u"Local AppWizard-Generated Applications");
  last.LoadStdProfileSettings(COrvanePortApp::kRecentFiles);
  EXPECT_EQ(last.RecentFiles(), (QStringList{files[4], files[3], files[2], files[1]}));
  // A file that cannot be opened ends start-up.
  COrvanePortApp bad(hive());
  EXPECT_FALSE(bad.InitInstance({"OrvanePort", dir.filePath("missing.txt")}));
}

TEST_F(Shell, ClosingTheWindowDuringAReadRecordsTheReplyThenCloses) {
  FakeModem modem;
  ASSERT_TRUE(modem.ok());
  ASSERT_TRUE(Start());
  COrvanePortView& view = *app.View();
  OpenOn(view, modem.path());
  ASSERT_EQ(Status(view), "Opened");
  modem.QueueReply("RING");  // no token, and a clock that never runs out
  view.SetTickSource([] { return 0u; });
  StartSend(view, "ATA");
  ASSERT_TRUE(WaitUntilRepliesRead(view, modem));
  ASSERT_TRUE(view.IsReading());
  EXPECT_TRUE(app.MainFrame()->close());
  ASSERT_EQ(List(view)->RowCount(), 1);
  EXPECT_EQ(Cell(view, 0, 0), "RING..");
  EXPECT_FALSE(view.IsReading());
  EXPECT_FALSE(app.MainFrame()->isVisible());
}

TEST_F(Shell, AboutIsRefusedWhileReading) {
  FakeModem modem;
  ASSERT_TRUE(modem.ok());
  ASSERT_TRUE(Start());
  COrvanePortView& view = *app.View();
  OpenOn(view, modem.path());
  view.SetTickSource([] { return 0u; });  // the read waits until the Close
  StartSend(view, "AT");
  ASSERT_TRUE(view.IsReading());
  EXPECT_TRUE(app.MainFrame()->RouteCommand(ID_APP_ABOUT));
  QMenu* port = Menu(0);
  emit port->aboutToShow();
  EXPECT_FALSE(port->actions()[2]->isEnabled());  // Remote Ports.. (a dialog)
  EXPECT_FALSE(port->actions()[3]->isEnabled());  // Line Settings... (a dialog)
  EXPECT_FALSE(port->actions()[5]->isEnabled());  // About Orvane..
  EXPECT_TRUE(port->actions()[6]->isEnabled());   // Help stays
  app.MainFrame()->RouteCommand(ID_PORT_CLOSE);
  EXPECT_FALSE(view.IsReading());
  EXPECT_TRUE(script.modalDialogs.empty());
  EXPECT_EQ(Status(view), "Closed");
}

// The program's own hive cannot be made (its folder would lie below a file): the screen
// says so once, at start, naming the file and the system's reason.
TEST(ShellStartUp, HiveThatCannotBeUsedIsReportedOnce) {
  orvane::testing::TempDir dir;
  const std::string blocker = dir.File("not-a-folder");
  QFile file(QString::fromStdString(blocker));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  const QByteArray saved = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(blocker));
  ui::ScriptedUi script;
  {
    COrvanePortApp app;
    qputenv("XDG_DATA_HOME", saved);
    ASSERT_TRUE(app.InitInstance({QStringLiteral("OrvanePort")}));
    app.ExitInstance();
  }
  EXPECT_EQ(script.MessageTexts(),
            QStringList{QString::fromStdString("Settings cannot be read or saved: " + blocker +
                                               "/orvane-port-linewright/handheld.hive: Not a directory.")});
}
