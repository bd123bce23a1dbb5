// The main window on a desktop: it grows and zooms, message boxes fit in it, the focus
// stays put during a read, and the command field takes the keys desktop terminals use.
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>

#include "entry/EditBinaryDialog.h"
#include "preferences/WindowPlacementStore.h"
#include "screen/CMainFrame.h"
#include "tests/screen/ScreenTestSupport.h"
#include "tests/support/TabWalk.h"
#include "ui/FormLayout.h"
#include "ui/Zoom.h"

using namespace screen_test;

namespace {

orvane::Bytes B(const std::string& s) { return orvane::Bytes(s.begin(), s.end()); }

// The program's window, started as the program starts it.
class DesktopWindow : public ScreenTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app.InitInstance({QStringLiteral("OrvanePort")}));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame()));
    handheld = frame()->size();
  }
  void TearDown() override {
    frame()->SetZoom(100);
    ui::SetWindowGrowth({});
  }
  CMainFrame* frame() { return app.MainFrame(); }
  COrvanePortView& view() { return *app.View(); }
  QRect Place(int id) { return view().Control(id)->geometry(); }
  int FromRight(int id) { return view().width() - Place(id).right(); }
  void ResizeTo(const QSize& size) {
    frame()->resize(size);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame()->size() == size; }));
  }

  COrvanePortApp app{hive()};
  QSize handheld;
};

TEST_F(DesktopWindow, EnlargedTheListTakesTheRoomAndRightEdgeControlsStayThere) {
  const QRect list = Place(IDC_RESPONSES);
  const QRect modems = Place(IDC_MODEM), command = Place(IDC_COMMAND), port = Place(IDC_PORT);
  const int rightEdge[] = {IDC_STATUS, IDC_OPEN, IDC_CLOSE, IDC_PREFERENCES, IDC_SEND};
  std::vector<int> before;
  for (int id : rightEdge) before.push_back(FromRight(id));

  ResizeTo(QSize(800, 600));
  const QSize growth = frame()->FormLayout()->Growth();
  EXPECT_EQ(growth.width(), 800 - handheld.width());
  EXPECT_EQ(growth.height(), 600 - handheld.height());
  EXPECT_EQ(Place(IDC_RESPONSES), list.adjusted(0, 0, growth.width(), growth.height()));
  EXPECT_EQ(Place(IDC_MODEM), modems.adjusted(0, 0, growth.width(), 0));
  EXPECT_EQ(Place(IDC_PORT), port.adjusted(0, 0, growth.width(), 0));
  EXPECT_EQ(Place(IDC_COMMAND), command.adjusted(0, 0, growth.width(), 0));
  for (size_t i = 0; i < std::size(rightEdge); ++i) EXPECT_EQ(FromRight(rightEdge[i]), before[i]) << i;
  ResponseListCtrl* responses = List(view());
  const int width = responses->contentsRect().width();
  EXPECT_EQ(responses->columnWidth(0), 3 * width / 4);
  EXPECT_EQ(responses->columnWidth(1), width / 4);

  // Edit Binary opened now grows as much and shows more rows of four bytes; its scroll
  // maximum follows the rows it shows.
  EditBinaryDialog dialog(QString(40, QLatin1Char('A')));
  dialog.EnsureInitialized();
  const int rows = dialog.Editor()->Model().VisibleRows();
  EXPECT_EQ(dialog.size(), QSize(236, 268) + growth);
  EXPECT_EQ(rows, (135 + growth.height()) / 16);
  EXPECT_EQ(dialog.Editor()->Model().ScrollMax(), 0);  // 10 rows of data fit
}

TEST_F(DesktopWindow, ZoomDoublesTheListsFontAndPlaceAndTheWindowRemembersIt) {
  ResponseListCtrl* responses = List(view());
  const QRect list = Place(IDC_RESPONSES);
  const int fontPx = responses->font().pixelSize();
  ASSERT_GT(fontPx, 0);

  QTest::keyClick(frame(), Qt::Key_Plus, Qt::ControlModifier);  // 125%
  QTest::keyClick(frame(), Qt::Key_Plus, Qt::ControlModifier);  // 150%
  QTest::keyClick(frame(), Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_EQ(ui::ZoomPercent(), 125);
  frame()->SetZoom(200);
  ASSERT_TRUE(QTest::qWaitFor([&] { return view().size() == 2 * QSize(ui::kScreenWidth, 268); }));
  EXPECT_EQ(responses->font().pixelSize(), 2 * fontPx);
  EXPECT_EQ(Place(IDC_RESPONSES), QRect(2 * list.topLeft(), 2 * list.size()));

  ASSERT_TRUE(app.SavePlacement());
  orvane::WindowPlacement placement;
  ASSERT_TRUE(orvane::WindowPlacementStore(hive()).Load(&placement));
  EXPECT_EQ(placement.zoomPercent, 200);
  EXPECT_EQ(QSize(placement.width, placement.height), frame()->size());

  QTest::keyClick(frame(), Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(ui::ZoomPercent(), 100);
  ASSERT_TRUE(QTest::qWaitFor([&] { return frame()->size() == handheld; }));
  EXPECT_EQ(Place(IDC_RESPONSES), list);
}

// Zoom grows the window no further than the screen's available area, and a maximised
// window stays maximised.
TEST_F(DesktopWindow, ZoomKeepsTheWindowWithinTheScreen) {
  const QRect room = frame()->screen()->availableGeometry();
  ResizeTo(QSize(room.width() - 40, room.height() - 60));
  // Zooming in step by step until a step is refused: every step taken fits the screen.
  for (int step = 0; step < 8; ++step) {
    frame()->ZoomIn();
    EXPECT_LE(frame()->frameGeometry().width(), room.width()) << ui::ZoomPercent();
    EXPECT_LE(frame()->frameGeometry().height(), room.height()) << ui::ZoomPercent();
    EXPECT_TRUE(room.contains(frame()->frameGeometry().topLeft()));
    for (const QLabel* label : frame()->View()->findChildren<QLabel*>())
      if (!label->text().isEmpty())
        EXPECT_GE(label->height(), label->fontMetrics().height()) << label->text().toStdString();
  }
  EXPECT_LT(ui::ZoomPercent(), ui::kZoomMaxPercent) << "the screen is too small for the largest zoom";
  frame()->SetZoom(100);

  frame()->showMaximized();
  ASSERT_TRUE(QTest::qWaitFor([&] { return frame()->isMaximized(); }));
  frame()->SetZoom(150);
  EXPECT_TRUE(frame()->isMaximized());
  frame()->SetZoom(100);
  frame()->showNormal();
}

TEST_F(DesktopWindow, AMessageBoxWrapsToTheWindowsWidth) {
  const QString text = QStringLiteral(
      "Settings cannot be saved: /home/someone/.local/share/orvane-port-linewright/handheld.hive: "
      "Permission denied.");
  for (ui::MessageForm form : {ui::MessageForm::Ok, ui::MessageForm::YesNoQuestion}) {
    const auto box = ui::MakeMessageBox(frame(), text, form);
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    EXPECT_LE(box->width(), frame()->width());
    EXPECT_EQ(box->findChild<QLabel*>(QStringLiteral("orvaneMessageText"))->text(), text);
    EXPECT_EQ(box->findChildren<QPushButton*>().size(), form == ui::MessageForm::Ok ? 1 : 2);
    box->hide();
  }
}

TEST_F(DesktopWindow, AStoredPlacementIsTakenAndAnUnwritableHiveIsNoHarm) {
  orvane::WindowPlacement placement{0, 0, 700, 500, 150};
  ASSERT_TRUE(orvane::WindowPlacementStore(hive()).Save(placement));
  COrvanePortApp second(hive());
  ASSERT_TRUE(second.InitInstance({QStringLiteral("OrvanePort")}));
  EXPECT_EQ(ui::ZoomPercent(), 150);
  EXPECT_EQ(second.MainFrame()->size(), QSize(700, 500));
  second.MainFrame()->SetZoom(100);

  hive_->FailWritesFrom(1);
  EXPECT_FALSE(second.SavePlacement());
  second.ExitInstance();
}

// Tab walks every control the window offers, in the template's order, and Shift+Tab
// walks them back.
TEST_F(DesktopWindow, TabAndShiftTabWalkEveryControlOfTheWindow) {
  frame()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame()));
  // "<Not Listed>" lets the port field take typing; Close and Send wait for an open line.
  auto* modems = Ctl<QComboBox>(view(), IDC_MODEM);
  modems->setCurrentIndex(modems->findData(COrvanePortView::kNotListed));
  emit modems->activated(modems->currentIndex());
  modems->setFocus();
  const std::vector<QWidget*> forth = test_support::TabWalk(frame());
  std::vector<int> ids;
  for (QWidget* w : forth) ids.push_back(ui::ControlIdOf(w));
  EXPECT_EQ(ids, (std::vector<int>{IDC_MODEM, IDC_PORT, IDC_BAUD, IDC_OPEN, IDC_USE, IDC_PREFERENCES,
                                   IDC_COMMAND, IDC_RESPONSES}));
  std::vector<QWidget*> stops = test_support::TabStops(frame());
  std::vector<QWidget*> walked = forth;
  std::sort(stops.begin(), stops.end());
  std::sort(walked.begin(), walked.end());
  EXPECT_EQ(walked, stops) << test_support::Describe(walked) << "| " << test_support::Describe(stops);
  std::vector<QWidget*> back = test_support::TabWalk(frame(), true);
  ASSERT_EQ(back.size(), forth.size());
  std::reverse(back.begin() + 1, back.end());
  EXPECT_EQ(back, forth);
}

// The keys the menus show run their items from the command field (the focus's usual
// home), only when the item is enabled; F10 opens the first menu.
TEST_F(DesktopWindow, MenuKeysRunTheirItemsFromTheCommandField) {
  FakeModem modem;
  ASSERT_TRUE(modem.ok());
  frame()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame()));
  Ctl<QLineEdit>(view(), IDC_PORT)->setText(QString::fromStdString(modem.path()));
  QWidget* field = view().Control(IDC_COMMAND);
  field->setFocus();
  QTest::keyClick(field, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);  // Close: not enabled
  EXPECT_EQ(Status(view()), "Status");
  // Enter with the line closed says what to do first.
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(script.MessageTexts(), QStringList{"The line is not open: press Open (Ctrl+O) first."});
  script.messages.clear();
  // Opened from the modem list, the focus goes to the command field.
  view().Control(IDC_MODEM)->setFocus();
  QTest::keyClick(view().Control(IDC_MODEM), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(Status(view()), "Opened");
  EXPECT_EQ(QApplication::focusWidget(), field);
  QTest::keyClick(field, Qt::Key_O, Qt::ControlModifier);  // Open: not enabled now
  EXPECT_EQ(Status(view()), "Opened");
  QTest::keyClick(field, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Status(view()), "Closed");

  view().AddResponseEntry(B("OK"), u"AT");
  List(view())->SelectRow(0);
  field->setFocus();
  for (Qt::Key key : {Qt::Key_E, Qt::Key_Comma, Qt::Key_B, Qt::Key_H, Qt::Key_I})
    QTest::keyClick(field, key, Qt::ControlModifier);
  EXPECT_EQ(script.modalDialogs, (std::vector<QString>{"orvane::ExportOptionsDialog", "PreferencesDialog",
                                                       "EditBinaryDialog", "CommandHistoryDialog",
                                                       "CommandResponseDialog"}));
  script.answers = {ui::Answer::Yes};
  QTest::keyClick(field, Qt::Key_L, Qt::ControlModifier);
  EXPECT_EQ(script.MessageTexts(), QStringList{"Are you sure to clear the response list?"});
  EXPECT_EQ(List(view())->RowCount(), 0);

  // F10 opens the first menu; Escape twice leaves the menus and the keys work again.
  QTest::keyClick(field, Qt::Key_F10);
  EXPECT_EQ(frame()->MenuBar()->activeAction(), frame()->MenuBar()->actions().first());
  QMenu* port = frame()->MenuBar()->actions().first()->menu();
  ASSERT_TRUE(QTest::qWaitFor([&] { return port->isVisible(); }));
  QTest::keyClick(port, Qt::Key_Escape);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_EQ(QApplication::focusWidget(), field);
  QTest::keyClick(field, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(Status(view()), "Opened");
}

// `OrvanePort DEVICE BAUD`: a listed device is chosen in the modem list, another typed
// under "<Not Listed>"; the baud rate goes into the baud box. Bad arguments fail start-up.
TEST_F(ScreenTest, TheCommandLineChoosesTheDeviceAndBaud) {
  AddDriver("USB0", "/dev/ttyUSB0", "USB Serial (ttyUSB0)");
  struct Case { QStringList args; const char* modem; const char* port; const char* baud; } const cases[] = {
      {{"/dev/ttyUSB0", "9600"}, "USB Serial (ttyUSB0)", "/dev/ttyUSB0", "9600"},
      {{"rfc2217://127.0.0.1:7795"}, "<Not Listed>", "rfc2217://127.0.0.1:7795", "115200"},
      {{"/dev/ttyS9", "57600"}, "<Not Listed>", "/dev/ttyS9", "57600"},
  };
  for (const Case& c : cases) {
    COrvanePortApp app(hive());
    ASSERT_TRUE(app.InitInstance(QStringList{"OrvanePort"} + c.args)) << c.port;
    COrvanePortView& view = *app.View();
    EXPECT_EQ(Ctl<QComboBox>(view, IDC_MODEM)->currentText(), QLatin1String(c.modem)) << c.port;
    EXPECT_EQ(Ctl<QLineEdit>(view, IDC_PORT)->text(), QLatin1String(c.port));
    EXPECT_EQ(Ctl<QLineEdit>(view, IDC_PORT)->isEnabled(), QLatin1String(c.modem) == "<Not Listed>") << c.port;
    EXPECT_EQ(Ctl<QComboBox>(view, IDC_BAUD)->currentText(), QLatin1String(c.baud)) << c.port;
  }
  StartArguments start;
  QString problem;
  for (const QStringList& bad : {QStringList{"/dev/ttyS0", "fast"}, QStringList{"/dev/ttyS0", "0"},
                                 QStringList{"/dev/ttyS0", "9600", "x"}}) {
    EXPECT_FALSE(ParseStartArguments(bad, &start, &problem)) << bad.join(' ').toStdString();
    EXPECT_FALSE(problem.isEmpty());
    COrvanePortApp app(hive());
    EXPECT_FALSE(app.InitInstance(QStringList{"OrvanePort"} + bad));
  }
  ASSERT_TRUE(ParseStartArguments({"notes.txt"}, &start, &problem));
  EXPECT_EQ(start.file, "notes.txt");
  EXPECT_TRUE(start.device.isEmpty());
}

// The screen's own typing keys, through a line to a device.
class DesktopKeys : public ScreenTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(modem.ok());
    view = MakeView();
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    OpenOn(*view, modem.path());
    ASSERT_EQ(Status(*view), "Opened");
    field = Ctl<QLineEdit>(*view, IDC_COMMAND);
    field->setFocus();
  }
  QWidget* Focus() { return view->window()->focusWidget(); }

  FakeModem modem;
  std::unique_ptr<COrvanePortView> view;
  QLineEdit* field = nullptr;
};

TEST_F(DesktopKeys, TypingDuringAReadLeavesTheSelectionAndTheFocusComesBack) {
  view->AddResponseEntry(B("OK"), u"AT");
  view->AddResponseEntry(B("OK again"), u"AT");
  List(*view)->SelectRow(1);
  field->setFocus();
  modem.QueueReply("\r\nOK\r\n");
  StartSend(*view, "AT");
  ASSERT_TRUE(view->IsReading());
  EXPECT_NE(Focus(), List(*view));
  QTest::keyClicks(Focus(), QStringLiteral("OOK"));  // the list's type-ahead would pick row 0
  EXPECT_EQ(List(*view)->FirstSelectedRow(), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !view->IsReading(); }, 10000));
  EXPECT_EQ(List(*view)->FirstSelectedRow(), 1);
  EXPECT_EQ(Focus(), field);
}

TEST_F(DesktopKeys, UpAndDownRecallAndEnterOrCtrlReturnSends) {
  const std::u16string stored[] = {u"ATI", u"AT+GMM"};  // newest first
  ASSERT_TRUE(history.SaveHistory(stored));
  QTest::keyClicks(field, QStringLiteral("ATZ"));
  struct Step { Qt::Key key; const char* shown; } const steps[] = {
      {Qt::Key_Up, "ATI"}, {Qt::Key_Up, "AT+GMM"}, {Qt::Key_Up, "AT+GMM"},
      {Qt::Key_Down, "ATI"}, {Qt::Key_Down, "ATZ"}, {Qt::Key_Down, "ATZ"}};
  for (const Step& step : steps) {
    QTest::keyClick(field, step.key);
    EXPECT_EQ(field->text(), QLatin1String(step.shown)) << step.shown;
  }

  // Each of these keys sends the field's command once; Shift+Return sends nothing.
  QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_FALSE(view->IsReading());
  const std::pair<Qt::Key, Qt::KeyboardModifiers> keys[] = {
      {Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Enter, Qt::KeypadModifier},
      {Qt::Key_Return, Qt::ControlModifier}};
  int sent = 0;
  for (const auto& [key, mods] : keys) {
    modem.QueueReply("\r\nOK\r\n");
    QTest::keyClick(field, key, mods);
    ++sent;
    ASSERT_TRUE(QTest::qWaitFor([&] { return List(*view)->RowCount() == sent && !view->IsReading(); }, 10000))
        << sent;
    EXPECT_EQ(Cell(*view, sent - 1, 1), "ATZ");
  }
  EXPECT_EQ(modem.Commands(), (std::vector<std::string>{"ATZ", "ATZ", "ATZ"}));
  EXPECT_FALSE(field->toolTip().isEmpty());
  EXPECT_TRUE(Ctl<QPushButton>(*view, IDC_SEND)->toolTip().contains(QLatin1String("Enter")));
}

}  // namespace
