// Response viewer: two panes of bytes, the response pane focused, "Close", Esc and
// Enter the ways out; grown, the reply as text too.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "resources/OrvanePortIds.h"
#include "screen/CommandResponseDialog.h"
#include "ui/Messages.h"
#include "ui/Zoom.h"

namespace {
using Bytes = std::vector<uint8_t>;
using namespace orvane::port_ids;
}

TEST(CommandResponseDialog, ShowsCommandAndReplyBytesInTheirPanes) {
  CommandResponseDialog dialog(QStringLiteral("AT<0D>"), QStringLiteral("Port Write Failed"));
  dialog.EnsureInitialized();
  EXPECT_EQ(dialog.Control<QLabel>(IDC_RESPONSE_CAPTION)->text(), QStringLiteral("Cmd Response"));
  EXPECT_EQ(dialog.Control<QLabel>(IDC_RESPONSE_CAPTION)->font().pixelSize(), 15);
  EXPECT_EQ(dialog.Control(ui::IDOK)->palette().color(QPalette::ButtonText), QColor(0, 0, 225));
  EXPECT_EQ(dialog.Control<QPushButton>(ui::IDOK)->text(), QStringLiteral("Close"));
  ASSERT_NE(dialog.CommandPane(), nullptr);
  ASSERT_NE(dialog.ResponsePane(), nullptr);
  EXPECT_EQ(dialog.CommandPane()->geometry(), QRect(12, 50, 211, 70));
  EXPECT_EQ(dialog.CommandPane()->Model().VisibleRows(), 4);
  EXPECT_EQ(dialog.ResponsePane()->geometry(), QRect(12, 150, 211, 110));
  EXPECT_EQ(dialog.ResponsePane()->Model().VisibleRows(), 6);
  EXPECT_EQ(dialog.CommandPane()->Model().Data(), (Bytes{'A', 'T', 0x0D}));
  const std::string failed = "Port Write Failed";
  EXPECT_EQ(dialog.ResponsePane()->Model().Data(), Bytes(failed.begin(), failed.end()));
  EXPECT_EQ(dialog.ResponsePane()->Model().Length(), 17);

  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  EXPECT_EQ(QApplication::focusWidget(), dialog.ResponsePane());
}

// Notes go in a box under the reply, which gives up that height; grown, the box keeps
// to the dialog's foot and widens with it.
TEST(CommandResponseDialog, NotesShowUnderTheReply) {
  CommandResponseDialog dialog(QStringLiteral("AT+CPIN?<0D>"),
                               QStringLiteral("<0D><0A>+CME ERROR: 10<0D><0A>"));
  dialog.SetNotes({"+CME ERROR 10: SIM not inserted", "second note"});
  dialog.EnsureInitialized();
  ASSERT_NE(dialog.NotesView(), nullptr);
  EXPECT_EQ(dialog.NotesView()->toPlainText(),
            QStringLiteral("+CME ERROR 10: SIM not inserted\nsecond note"));
  EXPECT_TRUE(dialog.NotesView()->isReadOnly());
  EXPECT_EQ(dialog.NotesView()->geometry(), QRect(12, 216, 211, 44));
  EXPECT_EQ(dialog.ResponsePane()->geometry(), QRect(12, 150, 211, 63));

  CommandResponseDialog without(QStringLiteral("AT<0D>"), QStringLiteral("OK"));
  without.SetNotes({});
  without.EnsureInitialized();
  EXPECT_EQ(without.NotesView(), nullptr);
  EXPECT_EQ(without.ResponsePane()->geometry(), QRect(12, 150, 211, 110));

  ui::SetWindowGrowth(QSize(300, 200));
  CommandResponseDialog grown(QStringLiteral("AT<0D>"), QStringLiteral("OK"));
  grown.SetNotes({"a note"});
  grown.EnsureInitialized();
  ui::SetWindowGrowth({});
  ASSERT_NE(grown.NotesView(), nullptr);
  ASSERT_NE(grown.ReplyTextView(), nullptr);
  EXPECT_GT(grown.NotesView()->width(), 211);
  EXPECT_GT(grown.NotesView()->geometry().top(), grown.ResponsePane()->geometry().bottom());
  EXPECT_GT(grown.NotesView()->geometry().top(), grown.ReplyTextView()->geometry().bottom());
  EXPECT_LE(grown.NotesView()->geometry().bottom(), grown.height());
}

TEST(CommandResponseDialog, EmptyReplyAndLongReplies) {
  {
    CommandResponseDialog dialog(QStringLiteral("AT"), QString());
    dialog.EnsureInitialized();
    EXPECT_EQ(dialog.ResponsePane()->Model().Length(), 0);
    EXPECT_EQ(dialog.ResponsePane()->Model().ScrollMax(), 0);
  }
  // Beyond six rows the reply pane scrolls; beyond four the command pane does.
  CommandResponseDialog dialog(QString(20, QLatin1Char('c')), QString(40, QLatin1Char('r')));
  dialog.EnsureInitialized();
  EXPECT_EQ(dialog.CommandPane()->Model().ScrollMax(), (5 - 4) * 16 + 32);
  EXPECT_EQ(dialog.ResponsePane()->Model().ScrollMax(), (10 - 6) * 16 + 32);
  dialog.ResponsePane()->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(dialog.ResponsePane()->Model().TopRow(), 4);

  // A line step of the bar moves the pane by one row of 16 bytes; the reply is
  // decoded from its text first (40 bytes, three rows).
  CommandResponseDialog stepped(
      QStringLiteral("AT+CGMI;+CGMM<0D>"),
      QStringLiteral("<0D><0A>Orvane Modem Co.<0D><0A>LW-56K v2.10<0D><0A><0D><0A>OK<0D><0A>"));
  stepped.EnsureInitialized();
  EXPECT_EQ(stepped.ResponsePane()->Model().Length(), 40);
  auto* bar = stepped.ResponsePane()->verticalScrollBar();
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(stepped.ResponsePane()->Model().TopRow(), 2);
}

// "Close", Esc and Enter end the dialog in the OK way; what was typed is dropped.
TEST(CommandResponseDialog, CloseEscAndEnterEndTheDialog) {
  for (int key : {0, int(Qt::Key_Escape), int(Qt::Key_Return), int(Qt::Key_Enter)}) {
    CommandResponseDialog dialog(QStringLiteral("AT"), QStringLiteral("OK"));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClicks(dialog.ResponsePane(), QStringLiteral("41"));  // typed, then dropped
    if (key == 0)
      QTest::mouseClick(dialog.Control<QPushButton>(ui::IDOK), Qt::LeftButton);
    else
      QTest::keyClick(dialog.ResponsePane(), Qt::Key(key));
    EXPECT_FALSE(dialog.isVisible()) << key;
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << key;
  }
  // Ctrl+C in a pane copies its bytes as binary text.
  CommandResponseDialog dialog(QStringLiteral("AT<0D>"), QStringLiteral("<0D><0A>OK<0D><0A>"));
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  QTest::keyClick(dialog.CommandPane(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("AT<0D>"));
}

// Tab leaves the response pane for the next control and Shift+Tab comes back to it.
TEST(CommandResponseDialog, TabWalksTheDialog) {
  CommandResponseDialog dialog(QStringLiteral("AT"), QStringLiteral("OK"));
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  ASSERT_TRUE(dialog.ResponsePane()->hasFocus());
  QTest::keyClick(dialog.ResponsePane(), Qt::Key_Tab);
  EXPECT_NE(QApplication::focusWidget(), dialog.ResponsePane());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), dialog.ResponsePane());
  EXPECT_TRUE(dialog.isVisible());
}

// Opened from an enlarged window: the reply as text beside its bytes, rows of sixteen
// bytes, a Copy button and the timing in words. At the handheld's size none of that.
TEST(CommandResponseDialog, GrownItShowsTheReplyAsTextAndUsesTheWidth) {
  const QString reply = QStringLiteral("<0D><0A>Orvane Modem Co.<0D><0A><0D><0A>OK<0D><0A>");
  orvane::Row row;
  row.sentAtMs = 1;
  row.firstByteMs = 3;
  row.elapsedMs = 4;
  row.end = orvane::ReplyEnd::kToken;
  {
    CommandResponseDialog handheld(QStringLiteral("ATI<0D>"), reply);
    handheld.SetTimes(row);
    handheld.EnsureInitialized();
    EXPECT_EQ(handheld.ReplyTextView(), nullptr);
    EXPECT_EQ(handheld.ResponsePane()->Model().BytesPerRow(), 4);
    EXPECT_TRUE(handheld.ReplyTimeText().startsWith(QStringLiteral("1st 3, end 4 ms")));
  }
  ui::SetWindowGrowth(QSize(960, 500));
  CommandResponseDialog dialog(QStringLiteral("ATI<0D>"), reply);
  dialog.SetTimes(row);
  dialog.EnsureInitialized();
  ui::SetWindowGrowth({});
  ASSERT_NE(dialog.ReplyTextView(), nullptr);
  EXPECT_EQ(dialog.ReplyTextView()->toPlainText(),
            QStringLiteral("<0D><0A>\nOrvane Modem Co.<0D><0A>\n<0D><0A>\nOK<0D><0A>\n"));
  // Beside the bytes, each taking half the extra width.
  EXPECT_GT(dialog.ReplyTextView()->geometry().left(), dialog.ResponsePane()->geometry().right());
  EXPECT_EQ(dialog.ResponsePane()->Model().BytesPerRow(), 16);
  EXPECT_EQ(dialog.ResponsePane()->Model().RowsNeeded(), 2);  // 26 bytes
  EXPECT_EQ(dialog.ReplyTimeText(), QStringLiteral("first byte after 3 ms, ended by its token after 4 ms"));
  auto* copy = dialog.findChild<QPushButton*>(QStringLiteral("copyReply"));
  ASSERT_NE(copy, nullptr);
  QApplication::clipboard()->clear();
  copy->click();
  EXPECT_EQ(QApplication::clipboard()->text(), reply);
}
