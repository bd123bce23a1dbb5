// Response viewer: two panes of bytes, the response pane focused, "Close" or Escape
// the way out.
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "resources/OrvanePortIds.h"
#include "screen/CommandResponseDialog.h"
#include "ui/Messages.h"

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

TEST(CommandResponseDialog, CloseOrEscapeEndsTheDialogAndTabWalksIt) {
  {
    CommandResponseDialog dialog(QStringLiteral("AT"), QStringLiteral("OK"));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    ASSERT_TRUE(dialog.ResponsePane()->hasFocus());
    // Tab leaves the pane for the next control and comes back round to it.
    QTest::keyClick(dialog.ResponsePane(), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), dialog.ResponsePane());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), dialog.ResponsePane());
    QTest::keyClick(dialog.ResponsePane(), Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
  }
  CommandResponseDialog dialog(QStringLiteral("AT"), QStringLiteral("OK"));
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  QTest::keyClick(dialog.ResponsePane(), Qt::Key_Return);
  EXPECT_TRUE(dialog.isVisible());
  QTest::keyClicks(dialog.ResponsePane(), QStringLiteral("41"));  // typed, then dropped
  QTest::mouseClick(dialog.Control<QPushButton>(ui::IDOK), Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}
