// Finding and filtering in the response list: the find bar's keys, wrapping and
// messages, the filters' counts, a selection through the filter naming the right row,
// and the bar in the program's window.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QToolButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <string>

#include "engine/ResponseStore.h"
#include "screen/CMainFrame.h"
#include "screen/FindBar.h"
#include "screen/ResponseFeed.h"
#include "screen/ResponseFilter.h"
#include "screen/ResponseListCtrl.h"
#include "tests/screen/ScreenTestSupport.h"
#include "ui/CommandTable.h"

using namespace screen_test;
using orvane::ReplyEnd;

namespace {

// A window with the list as its client and the bar below it, fed as the screen feeds
// it. The rows: 0 OK, 1 unsolicited RING, 2 ERROR, 3 silence, 4 OK with "ring" in it,
// 5 cut at the size limit.
class FindFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    window.setCentralWidget(list);
    window.resize(240, 300);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    list->SetUp();
    feed.SetList(list);
    Add(u"ATI<0D>", "\r\nModem 1.0\r\n\r\nOK\r\n", ReplyEnd::kToken);
    Add(u"", "\r\nRING\r\n", ReplyEnd::kCommand);
    Add(u"AT+CPIN?<0D>", "\r\n+CME ERROR: 10\r\n\r\nERROR\r\n", ReplyEnd::kToken);
    Add(u"AT+X<0D>", "", ReplyEnd::kSilence);
    Add(u"AT+CGSN<0D>", "\r\nring back\r\n\r\nOK\r\n", ReplyEnd::kToken);
    Add(u"AT+DUMP<0D>", std::string(64, 'z'), ReplyEnd::kLimit);
  }
  void Add(const std::u16string& sent, const std::string& reply, ReplyEnd end) {
    orvane::Row row;
    row.kind = sent.empty() ? orvane::RowKind::kUnsolicited : orvane::RowKind::kExchange;
    row.typed = row.sent = sent;
    row.reply.assign(reply.begin(), reply.end());
    row.replyLength = row.reply.size();
    row.end = end;
    feed.Add(std::move(row));
  }
  // Types |text| into the field and presses Enter (Shift+Enter backwards).
  void FindByEnter(const QString& text, bool forward = true) {
    bar.Field()->clear();
    QTest::keyClicks(bar.Field(), text);
    QTest::keyClick(bar.Field(), Qt::Key_Return, forward ? Qt::NoModifier : Qt::ShiftModifier);
  }
  bool Checked(int id) {
    ui::CommandState state;
    commands.QueryState(id, &state);
    return state.checked;
  }

  orvane::ResponseStore store;
  ResponseFeed feed{store};
  QMainWindow window;
  ResponseListCtrl* list = new ResponseListCtrl(&window);
  ui::CommandTable commands;
  FindBar bar{&window, list, commands};
};

}  // namespace

TEST_F(FindFilter, FindsInCommandsRepliesAndNotesGoingRoundTheEnd) {
  EXPECT_TRUE(bar.isHidden());
  list->setFocus();
  ASSERT_TRUE(commands.Dispatch(orvane::port_ids::ID_FIND));
  EXPECT_FALSE(bar.isHidden());
  EXPECT_EQ(QApplication::focusWidget(), bar.Field());

  // Either case by default; Enter goes on from the selected row, round the end.
  const struct {
    QString text;
    bool forward;
    int row;
    QString message;
  } steps[] = {
      {"ring", true, 1, ""},
      {"ring", true, 4, ""},
      {"ring", true, 1, "Continued from the top."},
      {"ring", false, 4, "Continued from the end."},
      {"<0D><0A>ok", true, 0, "Continued from the top."},  // binary text
      {"cpin", true, 2, ""},                                                 // the command
      {"nothing like it", true, 2, "Not found: nothing like it"},            // stays put
  };
  for (const auto& step : steps) {
    FindByEnter(step.text, step.forward);
    EXPECT_EQ(list->FirstSelectedRow(), step.row) << step.text.toStdString();
    EXPECT_EQ(bar.Message(), step.message) << step.text.toStdString();
  }
  // Match case; the next and previous commands (F3, Shift+F3 in the window).
  bar.findChild<QToolButton*>("MatchCase")->click();
  bar.Field()->setText("RING");
  commands.Dispatch(orvane::port_ids::ID_FIND_NEXT);
  EXPECT_EQ(list->FirstSelectedRow(), 1);
  commands.Dispatch(orvane::port_ids::ID_FIND_PREVIOUS);
  EXPECT_EQ(list->FirstSelectedRow(), 1);
  EXPECT_EQ(bar.Message(), "Continued from the end.");

  // Notes are searched too.
  bar.SetNotes([](const orvane::Row& row) {
    const std::string reply(row.reply.begin(), row.reply.end());
    return reply.find("CME ERROR: 10") != std::string::npos ? std::vector<std::string>{"SIM not inserted"}
                                                              : std::vector<std::string>{};
  });
  FindByEnter("SIM not");
  EXPECT_EQ(list->FirstSelectedRow(), 2);

  // Escape closes the bar and gives the focus back.
  QTest::keyClick(bar.Field(), Qt::Key_Escape);
  EXPECT_TRUE(bar.isHidden());
  EXPECT_EQ(QApplication::focusWidget(), list);
}

TEST_F(FindFilter, FiltersCountAndSelectionsNameTheRightRow) {
  ASSERT_TRUE(commands.Dispatch(orvane::port_ids::ID_HIDE_UNSOLICITED));
  EXPECT_TRUE(Checked(orvane::port_ids::ID_HIDE_UNSOLICITED));
  EXPECT_EQ(bar.CountText(), "5 of 6 rows shown");
  EXPECT_FALSE(bar.isHidden());
  commands.Dispatch(orvane::port_ids::ID_ONLY_TROUBLED);
  EXPECT_EQ(bar.CountText(), "3 of 6 rows shown");
  const ResponseFilter* shown = list->Filter();
  EXPECT_EQ((std::vector<int>{shown->RowOfShown(0), shown->RowOfShown(1), shown->RowOfShown(2)}),
            (std::vector<int>{2, 3, 5}));
  EXPECT_TRUE(list->RowRect(1).isEmpty());  // hidden

  // A click on the second row shown selects row 3: Show Response and copy take it.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->RowRect(3).center());
  EXPECT_EQ(list->RowAt(list->RowRect(3).center()), 3);
  ASSERT_EQ(list->FirstSelectedRow(), 3);
  EXPECT_EQ(list->RowData(3), 3);
  EXPECT_EQ(store.At(list->RowData(list->FirstSelectedRow())).sent, u"AT+X<0D>");
  list->Copy();
  EXPECT_EQ(QApplication::clipboard()->text(), "AT+X<0D>\t");

  // Finding passes over hidden rows.
  bar.Open();
  FindByEnter("at+");
  EXPECT_EQ(list->FirstSelectedRow(), 5);

  // New rows are counted, shown or not; a hidden one does not move the selection mark.
  const int mark = list->SelectionMark();
  Add(u"AT<0D>", "\r\nOK\r\n", ReplyEnd::kToken);
  EXPECT_EQ(bar.CountText(), "3 of 7 rows shown");
  EXPECT_EQ(list->SelectionMark(), mark);
  Add(u"AT+Y<0D>", "\r\nERROR\r\n", ReplyEnd::kToken);
  EXPECT_EQ(bar.CountText(), "4 of 8 rows shown");
  EXPECT_EQ(list->SelectionMark(), 7);

  // Both off: every row, no count; the bar goes once its find part is closed too.
  commands.Dispatch(orvane::port_ids::ID_ONLY_TROUBLED);
  commands.Dispatch(orvane::port_ids::ID_HIDE_UNSOLICITED);
  EXPECT_FALSE(Checked(orvane::port_ids::ID_ONLY_TROUBLED));
  EXPECT_EQ(bar.CountText(), "");
  EXPECT_EQ(list->Filter()->ShownCount(), 8);
  EXPECT_EQ(list->FirstSelectedRow(), 5);  // the selection stays
  bar.Close();
  EXPECT_TRUE(bar.isHidden());
}

// In the program's window: Ctrl+F opens the bar below the list, the window growing for
// it at the handheld's size; Escape gives the window and the focus back as they were.
TEST_F(ScreenTest, TheFindBarOpensInTheWindowOnlyWhenAskedFor) {
  COrvanePortApp app{hive()};
  ASSERT_TRUE(app.InitInstance({QStringLiteral("OrvanePort")}));
  CMainFrame* frame = app.MainFrame();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
  frame->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
  auto* bar = frame->findChild<FindBar*>();
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->isHidden());
  const QSize handheld = frame->size();
  const QRect list = app.View()->Control(IDC_RESPONSES)->geometry();

  app.View()->AddResponseEntry(orvane::DecodeBinaryText(u"<0D><0A>OK<0D><0A>"), u"ATI<0D>");
  QWidget* field = app.View()->Control(IDC_COMMAND);
  field->setFocus();
  QTest::keyClick(field, Qt::Key_F, Qt::ControlModifier);
  ASSERT_FALSE(bar->isHidden());
  EXPECT_EQ(QApplication::focusWidget(), bar->Field());
  ASSERT_TRUE(QTest::qWaitFor([&] { return frame->height() > handheld.height(); }));
  EXPECT_EQ(app.View()->Control(IDC_RESPONSES)->geometry(), list);
  QTest::keyClicks(bar->Field(), "ati");
  QTest::keyClick(bar->Field(), Qt::Key_F3);
  EXPECT_EQ(List(*app.View())->FirstSelectedRow(), 0);
  QTest::keyClick(bar->Field(), Qt::Key_F3);
  EXPECT_EQ(bar->Message(), "Continued from the top.");
  // Its messages and count make it no wider than the handheld's screen.
  app.View()->Commands().Dispatch(ID_HIDE_UNSOLICITED);
  EXPECT_EQ(bar->CountText(), "1 of 1 rows shown");
  bar->Field()->clear();
  QTest::keyClicks(bar->Field(), QString(60, QLatin1Char('x')));
  QTest::keyClick(bar->Field(), Qt::Key_Return);
  EXPECT_TRUE(bar->Message().startsWith("Not found: xxx"));
  QApplication::processEvents();
  EXPECT_EQ(frame->width(), handheld.width());
  app.View()->Commands().Dispatch(ID_HIDE_UNSOLICITED);

  QTest::keyClick(bar->Field(), Qt::Key_Escape);
  EXPECT_TRUE(bar->isHidden());
  EXPECT_EQ(QApplication::focusWidget(), field);
  EXPECT_TRUE(QTest::qWaitFor([&] { return frame->size() == handheld; }));
}
