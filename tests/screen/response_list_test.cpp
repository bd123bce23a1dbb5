// The response list on a desktop and the store under it: how rows are marked and
// copied, the preview that takes a wider column, following new rows, and the bound on
// the reply bytes the store keeps.
#include <QApplication>
#include <QClipboard>
#include <QIcon>
#include <QMenu>
#include <QScrollBar>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <string>

#include "engine/ResponseStore.h"
#include "screen/ExportResponseList.h"
#include "screen/ResponseFeed.h"
#include "screen/ResponseListCtrl.h"
#include "screen/SendRules.h"
#include "ui/Messages.h"

namespace {

using orvane::ReplyEnd;
using orvane::Row;
using orvane::RowMark;

orvane::Bytes B(const std::string& s) { return orvane::Bytes(s.begin(), s.end()); }

Row MakeRow(const std::string& reply, ReplyEnd end, bool unsolicited = false) {
  Row row;
  row.kind = unsolicited ? orvane::RowKind::kUnsolicited : orvane::RowKind::kExchange;
  if (!unsolicited) row.typed = row.sent = u"AT<0D>";
  row.reply = B(reply);
  row.replyLength = reply.size();
  row.end = end;
  return row;
}

}  // namespace

TEST(ListRules, MarksTimingAndReplyText) {
  struct Case {
    std::string reply;
    ReplyEnd end;
    bool unsolicited;
    RowMark mark;
  };
  const Case marks[] = {
      {"\r\nOK\r\n", ReplyEnd::kToken, false, RowMark::kOk},
      {"AT\r\r\nERROR\r\n", ReplyEnd::kToken, false, RowMark::kError},
      {"\r\nERROR\r\n\r\nOK\r\n", ReplyEnd::kToken, false, RowMark::kOk},  // the later one
      {"\r\nOK\r\n\r\nERROR\r\n", ReplyEnd::kToken, false, RowMark::kError},
      {"\r\n+CME ERROR: 10\r\n", ReplyEnd::kToken, false, RowMark::kError},
      {"\r\n+CMS ERROR: 321\r\n", ReplyEnd::kToken, false, RowMark::kError},
      {"READY>", ReplyEnd::kToken, false, RowMark::kToken},  // a profile's own token
      {"\r\nOK", ReplyEnd::kSilence, false, RowMark::kSilence},
      {"xxxx", ReplyEnd::kLimit, false, RowMark::kCut},
      {"", ReplyEnd::kHangup, false, RowMark::kHangup},
      {"", ReplyEnd::kWriteFailed, false, RowMark::kFailed},
      {"\r\nRING\r\n", ReplyEnd::kSilence, true, RowMark::kUnsolicited},
  };
  for (const Case& c : marks)
    EXPECT_EQ(orvane::MarkOf(MakeRow(c.reply, c.end, c.unsolicited)), c.mark) << c.reply;

  Row timed = MakeRow("\r\nOK\r\n", ReplyEnd::kToken);
  timed.sentAtMs = 1;
  timed.firstByteMs = 3;
  timed.elapsedMs = 4;
  EXPECT_EQ(orvane::TimingWords(timed), "first byte after 3 ms, ended by its token after 4 ms");
  timed.firstByteMs = -1;
  timed.end = ReplyEnd::kSilence;
  timed.elapsedMs = 3000;
  EXPECT_EQ(orvane::TimingWords(timed), "no reply, ended by silence after 3000 ms");
  Row ring = MakeRow("\r\nRING", ReplyEnd::kCommand, true);
  ring.sentAtMs = 1;
  ring.elapsedMs = 5;
  EXPECT_EQ(orvane::TimingWords(ring), "unsolicited, ended by the next command after 5 ms");
  EXPECT_EQ(orvane::TimingWords(Row()), "");

  const orvane::Bytes reply = B("\r\nLine <1>\r\nTwo\nThree\rEnd\x01");
  EXPECT_EQ(orvane::BinaryTextLines(reply),
            u"<0D><0A>\nLine <<1>><0D><0A>\nTwo<0A>\nThree<0D>End<01>");
  EXPECT_EQ(orvane::ReplyAsText(reply), u"\nLine <<1>>\nTwo\nThree\nEnd<01>");

  Row cut = MakeRow("abcdefghijklmnopqrstuvwxyz", ReplyEnd::kLimit);
  EXPECT_EQ(orvane::RowPreview(cut, 24), u"[cut] abcdefghijklmnopqrstuvwx");
  EXPECT_EQ(orvane::RowPreview(MakeRow("\r\nOK\r\n", ReplyEnd::kToken), 6), u"<0D><0");
  EXPECT_EQ(orvane::DroppedPreview(1048576), u"[dropped 1048576 bytes]");
}

TEST(ResponseStoreBound, DropsTheOldestRowsBytesAndKeepsTheRows) {
  orvane::ResponseStore store;
  EXPECT_EQ(store.MaxReplyBytes(), size_t{256} << 20);
  store.SetMaxReplyBytes(100);
  store.Add(MakeRow("", ReplyEnd::kToken));             // nothing to drop here
  store.Add(MakeRow(std::string(40, 'a'), ReplyEnd::kToken));
  store.Add(MakeRow(std::string(50, 'b'), ReplyEnd::kToken));
  EXPECT_EQ(store.ReplyBytes(), 90u);
  EXPECT_FALSE(store.Dropped(1));

  store.Add(MakeRow(std::string(30, 'c'), ReplyEnd::kToken));  // 120: row 1 goes
  size_t dropped = 0;
  EXPECT_FALSE(store.Dropped(0));
  EXPECT_TRUE(store.Dropped(1, &dropped));
  EXPECT_EQ(dropped, 40u);
  EXPECT_TRUE(store.Slot(1).empty());
  EXPECT_EQ(store.At(1).replyLength, 40u);
  EXPECT_EQ(store.At(1).sent, u"AT<0D>");
  EXPECT_EQ(store.Slot(2), B(std::string(50, 'b')));
  EXPECT_EQ(store.ReplyBytes(), 80u);
  EXPECT_EQ(store.Count(), 4);
  EXPECT_EQ(orvane::ExportRowsOf(store)[1].end, "token, reply dropped (40 bytes)");

  // A row larger than the bound alone leaves no bytes at all; a flood stays bounded.
  store.Add(MakeRow(std::string(150, 'd'), ReplyEnd::kLimit));
  EXPECT_EQ(store.ReplyBytes(), 0u);
  EXPECT_TRUE(store.Dropped(4, &dropped));
  EXPECT_EQ(dropped, 150u);
  for (int i = 0; i < 1000; ++i) {
    store.Add(MakeRow(std::string(7, 'e'), ReplyEnd::kSilence, true));
    ASSERT_LE(store.ReplyBytes(), 100u) << i;
  }
  EXPECT_EQ(store.Count(), 1005);
  EXPECT_EQ(store.DroppedBytes(), 40u + 50 + 30 + 150 + 7 * (1000 - 100 / 7));
  // A lower bound takes effect at once; Clear starts afresh.
  store.SetMaxReplyBytes(10);
  EXPECT_EQ(store.ReplyBytes(), 7u);
  store.Clear();
  EXPECT_EQ(store.DroppedBytes(), 0u);
  EXPECT_FALSE(store.Dropped(1));
  EXPECT_EQ(store.Add(MakeRow("x", ReplyEnd::kToken)), 0);
}

// A list on its own, fed as the screen feeds it, at the handheld's size to start with.
class ResponseList : public ::testing::Test {
 protected:
  void SetUp() override {
    list.resize(kHandheld);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    list.SetUp();
    feed.SetList(&list);
  }
  void Add(const std::string& reply, ReplyEnd end = ReplyEnd::kToken, bool unsolicited = false) {
    feed.Add(MakeRow(reply, end, unsolicited));
  }
  void ResizeTo(const QSize& size) {
    list.resize(size);
    ASSERT_TRUE(QTest::qWaitFor([&] { return list.size() == size; }));
  }
  bool AtEnd() {
    QApplication::processEvents();
    const QScrollBar* bar = list.verticalScrollBar();
    return bar->value() == bar->maximum();
  }

  static constexpr QSize kHandheld{226, 120};
  orvane::ResponseStore store;
  ResponseFeed feed{store};
  ResponseListCtrl list;
  ui::ScriptedUi script;
};

TEST_F(ResponseList, AWiderColumnShowsMoreOfTheReplyAndMarksHowItEnded) {
  std::string longReply;
  for (int i = 0; i < 300; ++i) longReply += static_cast<char>('A' + i % 26);
  Add(longReply);
  Add("\r\nOK\r\n");
  Add("\r\nERROR\r\n");
  const QModelIndex first = list.model()->index(0, 0);
  EXPECT_EQ(list.Text(0, 0), QString::fromStdString(longReply.substr(0, 20)) + "..");
  EXPECT_EQ(list.Text(1, 0), "<0D><0A>OK<0D><0A>..");
  EXPECT_FALSE(list.Wide());
  EXPECT_TRUE(first.data(Qt::DecorationRole).isNull());

  ResizeTo(QSize(900, 300));
  ASSERT_TRUE(list.Wide());
  const QString wide = list.Text(0, 0);
  EXPECT_TRUE(QString::fromStdString(longReply).startsWith(wide));
  // Enough to fill the column; the view elides the rest.
  EXPECT_GE(list.fontMetrics().horizontalAdvance(wide), list.columnWidth(0));
  EXPECT_EQ(list.Text(1, 0), "<0D><0A>OK<0D><0A>");
  EXPECT_FALSE(first.data(Qt::DecorationRole).isNull());
  const QModelIndex error = list.model()->index(2, 0);
  EXPECT_TRUE(error.data(Qt::ToolTipRole).toString().startsWith("ERROR"));
  const auto iconKey = [&](int row) {
    return qvariant_cast<QIcon>(list.model()->index(row, 0).data(Qt::DecorationRole)).cacheKey();
  };
  EXPECT_NE(iconKey(1), iconKey(2));

  // A wider column takes more; back at the handheld's size the 20-character rule.
  list.setColumnWidth(0, list.columnWidth(0) + 200);
  EXPECT_GT(list.Text(0, 0).size(), wide.size());
  ResizeTo(kHandheld);
  EXPECT_EQ(list.Text(0, 0), QString::fromStdString(longReply.substr(0, 20)) + "..");
  EXPECT_TRUE(first.data(Qt::DecorationRole).isNull());
}

// A row's notes are in its tool tip at any size: alone on the handheld, after how the
// reply ended on a wider list. A row without notes has no tool tip on the handheld.
TEST_F(ResponseList, ToolTipsHoldTheNotes) {
  Add("\r\n+CME ERROR: 10\r\n");
  Add("\r\nOK\r\n");
  Add("\r\n+CREG: 5\r\n", ReplyEnd::kSilence, true);
  const auto tip = [&](int row) { return list.model()->index(row, 0).data(Qt::ToolTipRole).toString(); };
  EXPECT_EQ(tip(0), "+CME ERROR 10: SIM not inserted");
  EXPECT_EQ(tip(1), QString());
  EXPECT_EQ(tip(2), "network registration (CREG): registered, roaming");
  ResizeTo(QSize(900, 300));
  ASSERT_TRUE(list.Wide());
  const QStringList lines = tip(0).split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 2) << tip(0).toStdString();
  EXPECT_EQ(lines[1], "+CME ERROR 10: SIM not inserted");
}

TEST_F(ResponseList, ALargerListFollowsNewRowsUntilScrolledUp) {
  // At the handheld's size new rows go below, as they always did.
  for (int i = 0; i < 40; ++i) Add("R" + std::to_string(i));
  EXPECT_EQ(list.verticalScrollBar()->value(), 0);
  feed.Clear();

  ResizeTo(QSize(600, 300));
  for (int i = 0; i < 40; ++i) Add("R" + std::to_string(i));
  ASSERT_GT(list.verticalScrollBar()->maximum(), 0);
  EXPECT_TRUE(AtEnd());
  EXPECT_TRUE(list.Following());

  list.verticalScrollBar()->setValue(3);  // the user looks at older rows
  for (int i = 0; i < 10; ++i) Add("S" + std::to_string(i));
  QApplication::processEvents();
  EXPECT_EQ(list.verticalScrollBar()->value(), 3);

  list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum());
  for (int i = 0; i < 10; ++i) Add("T" + std::to_string(i));
  EXPECT_TRUE(AtEnd());
  EXPECT_EQ(list.RowAt(list.RowRect(list.RowCount() - 1).center()), list.RowCount() - 1);
}

TEST_F(ResponseList, CopyGivesTheWholeCommandAndReply) {
  const std::string reply = "\r\n" + std::string(100, 'x') + "\r\nOK\r\n";
  Add(reply);
  Add("\r\nRING\r\n", ReplyEnd::kSilence, true);
  list.SelectRow(0);
  QApplication::clipboard()->clear();
  QTest::keyClick(&list, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(),
            "AT<0D>\t" + QString::fromStdU16String(orvane::EncodeBinaryText(B(reply))));

  // The menu's items: copy, copy the reply as text, the time column.
  list.SelectRow(1);
  script.onPopup = [](QMenu& menu) {
    for (QAction* action : menu.actions())
      if (action->text() == "Copy Reply as &Text") action->trigger();
    return 0;
  };
  list.TapAndHold(list.RowRect(1).center());
  EXPECT_EQ(QApplication::clipboard()->text(), "\nRING\n");
  ASSERT_EQ(script.popups.size(), 1u);
  EXPECT_TRUE(script.popups[0].join('|').endsWith("-|&Copy|Copy Reply as &Text|Show T&ime Column"));

  EXPECT_FALSE(list.TimeColumnShown());
  script.onPopup = [](QMenu& menu) {
    menu.actions().last()->trigger();
    return 0;
  };
  list.TapAndHold(list.RowRect(1).center());
  EXPECT_TRUE(list.TimeColumnShown());
  EXPECT_GT(list.columnWidth(ResponseListCtrl::kTimeColumn), 0);
}

TEST_F(ResponseList, RowsWhoseBytesWereDroppedSaySo) {
  store.SetMaxReplyBytes(64);
  Add(std::string(40, 'a'));
  Add(std::string(40, 'b'));  // the first row's bytes go
  EXPECT_EQ(list.Text(0, 0), "[dropped 40 bytes]..");
  EXPECT_EQ(list.Text(1, 0), QString(20, 'b') + "..");
  list.SelectRow(0);
  list.Copy();
  EXPECT_EQ(QApplication::clipboard()->text(), "AT<0D>\t[dropped 40 bytes]");
}
