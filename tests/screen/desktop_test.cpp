// The main window on a desktop: it grows and zooms, message boxes fit in it, the focus
// stays put during a read, and the command field takes the keys desktop terminals use.
#include <QListWidget>
#include <QMessageBox>
#include <QScrollBar>

#include "entry/EditBinaryDialog.h"
#include "preferences/WindowPlacementStore.h"
#include "screen/CMainFrame.h"
#include "tests/screen/ScreenTestSupport.h"
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
  const QRect modems = Place(IDC_MODEM), command = Place(IDC_COMMAND);
  const int rightEdge[] = {IDC_STATUS, IDC_OPEN, IDC_CLOSE, IDC_PREFERENCES, IDC_SEND};
  std::vector<int> before;
  for (int id : rightEdge) before.push_back(FromRight(id));

  ResizeTo(QSize(800, 600));
  const QSize growth = frame()->FormLayout()->Growth();
  EXPECT_EQ(growth.width(), 800 - handheld.width());
  EXPECT_EQ(growth.height(), 600 - handheld.height());
  EXPECT_EQ(Place(IDC_RESPONSES), list.adjusted(0, 0, growth.width(), growth.height()));
  EXPECT_EQ(Place(IDC_MODEM), modems.adjusted(0, 0, growth.width(), 0));
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

TEST_F(DesktopKeys, CtrlReturnSendsUpAndDownRecallAndEnterSendsNothing) {
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

  QTest::keyClick(field, Qt::Key_Return);
  QTest::keyClick(field, Qt::Key_Enter);
  EXPECT_FALSE(view->IsReading());
  modem.QueueReply("\r\nOK\r\n");
  QTest::keyClick(field, Qt::Key_Return, Qt::ControlModifier);
  ASSERT_TRUE(QTest::qWaitFor([&] { return List(*view)->RowCount() == 1 && !view->IsReading(); }, 10000));
  EXPECT_EQ(Cell(*view, 0, 1), "ATZ");
  EXPECT_EQ(modem.Commands(), std::vector<std::string>{"ATZ"});
  EXPECT_FALSE(field->toolTip().isEmpty());
  EXPECT_TRUE(Ctl<QPushButton>(*view, IDC_SEND)->toolTip().contains(QLatin1String("Ctrl+Return")));
}

}  // namespace
