#include "engine/Session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/PtyPair.h"

namespace orvane {
namespace {

using testing::PtyPair;

std::string Text(std::span<const uint8_t> b) { return std::string(b.begin(), b.end()); }

// Writes every event down in one line, in order.
class Log : public SessionObserver {
 public:
  void OnOpened(const std::string&, uint32_t baud) override { Add("open " + std::to_string(baud)); }
  void OnSettings(const LineSettings& settings) override { Add("settings " + DescribeLineSettings(settings)); }
  void OnWritten(std::span<const uint8_t> b, int64_t at) override {
    EXPECT_GT(at, 0);
    written += Text(b);
  }
  void OnRead(std::span<const uint8_t> b, int64_t, RowKind kind) override {
    (kind == RowKind::kExchange ? replyRead : unsolicitedRead) += Text(b);
  }
  void OnRowBegun(const Row& row) override { Add(row.Unsolicited() ? "begin U" : "begin X " + Utf16ToUtf8(row.sent)); }
  void OnRowEnded(const Row& row) override {
    rows.push_back(row);
    Add(std::string(row.Unsolicited() ? "end U " : "end X ") + ReplyEndName(row.end) + " " +
        std::string(row.reply.begin(), row.reply.end()));
  }
  void OnHangup(int) override { Add("hangup"); }
  void OnClosed() override { Add("closed"); }

  void Add(const std::string& event) { events += (events.empty() ? "" : " | ") + event; }

  std::string events, written, replyRead, unsolicitedRead;
  std::vector<Row> rows;
};

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    session.AddObserver(&log);
    ASSERT_EQ(session.Open(pty.path(), 115200), 0) << session.Reason();
  }
  // Sends |typed| (framed with a CR) and lets the device answer |reply| once the
  // command has arrived.
  void Exchange(const std::string& typed, const std::string& reply) {
    Framing framing;
    framing.suffix = u"<0D>";
    ASSERT_TRUE(session.Send(Utf8ToUtf16(typed), framing));
    bool answered = false;
    RunUntil(session, [&] {
      if (!answered && log.written.size() >= typed.size() + 1) {
        pty.Send(reply);
        answered = true;
      }
      return !session.Busy();
    }, 5000);
  }

  PtyPair pty;
  Log log;
  Session session;
};

// What came before a command is a row of its own; the exchange's bytes go to the
// observers as written and read, and its row holds the typed and the sent command.
TEST_F(SessionTest, UnsolicitedDataThenAnExchangeInOrder) {
  pty.Send("\r\nRING\r\n");
  ASSERT_TRUE(PtyPair::WaitReadable(pty.keeper()));
  Exchange("AT", "AT\r\r\nOK\r\n");
  EXPECT_EQ(log.events,
            "open 115200 | settings 8N1 | begin U | end U command \r\nRING\r\n | begin X AT<0D> | "
            "end X token AT\r\r\nOK\r\n");
  EXPECT_EQ(log.written, "AT\r");
  EXPECT_EQ(log.replyRead, "AT\r\r\nOK\r\n");
  EXPECT_EQ(log.unsolicitedRead, "\r\nRING\r\n");
  ASSERT_EQ(log.rows.size(), 2u);
  const Row& x = log.rows[1];
  EXPECT_EQ(x.typed, u"AT");
  EXPECT_EQ(x.replyLength, x.reply.size());
  EXPECT_GE(x.firstByteMs, 0);
  EXPECT_GT(x.sentAtMs, 0);
  EXPECT_EQ(log.rows[0].firstByteMs, 0);
}

// A quiet line with nothing pending asks for no wake-up; a pending row does.
TEST_F(SessionTest, OnlyAPendingRowNeedsAWakeUp) {
  EXPECT_EQ(session.Advance(), Session::Wait::kReadable);
  EXPECT_EQ(session.MsUntilDeadline(), -1);
  pty.Send("+CMTI: \"SM\",3");
  ASSERT_TRUE(PtyPair::WaitReadable(pty.keeper()));
  session.Advance();
  EXPECT_GT(session.MsUntilDeadline(), 0);
  EXPECT_EQ(session.PendingUnsolicited(), 13u);
  // Closing ends the pending row before the line.
  EXPECT_TRUE(session.Close());
  EXPECT_EQ(log.events, "open 115200 | settings 8N1 | begin U | end U closed +CMTI: \"SM\",3 | closed");
  EXPECT_FALSE(session.Close()) << "nothing is held any more";
}

// A device that goes away ends the row that is open, is reported once, and nothing
// more is sent or read; a later open starts afresh.
TEST_F(SessionTest, HangUpWhileIdleAndDuringAnExchange) {
  pty.Send("RDY");
  ASSERT_TRUE(PtyPair::WaitReadable(pty.keeper()));
  session.Advance();
  pty.Unplug();
  EXPECT_EQ(RunUntil(session, nullptr, 5000), RunEnd::kLineEnded);
  EXPECT_EQ(log.events, "open 115200 | settings 8N1 | begin U | end U hangup RDY | hangup");
  EXPECT_TRUE(session.HungUp());
  EXPECT_FALSE(session.Send(u"AT", Framing()));

  PtyPair second;
  ASSERT_EQ(session.Open(second.path(), 9600), 0);
  EXPECT_FALSE(session.HungUp());
  log.events.clear();
  Framing framing;
  ASSERT_TRUE(session.Send(u"ATD", framing));
  RunUntil(session, [&] {
    if (!log.written.empty() && second.ok()) second.Unplug();
    return !session.Busy();
  }, 5000);
  EXPECT_EQ(log.events, "begin X ATD | end X hangup  | hangup");
}

// Stopping keeps what arrived; a session that passes replies on keeps none in the row
// but counts them.
TEST(SessionOptionsTest, StopAndRepliesPassedOnOnly) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  SessionOptions options;
  options.keepReplies = false;
  Session session(options);
  Log log;
  session.AddObserver(&log);
  ASSERT_EQ(session.Open(pty.path(), 9600), 0);
  ASSERT_TRUE(session.Send(u"AT+STREAM", Framing()));
  EXPECT_FALSE(session.Send(u"AT", Framing())) << "one exchange at a time";
  bool sent = false;
  RunUntil(session, [&] {
    if (!log.written.empty() && !sent) pty.Send("part");
    sent = sent || !log.written.empty();
    return log.replyRead == "part";
  }, 5000);
  session.Stop();
  ASSERT_EQ(log.rows.size(), 1u);
  EXPECT_EQ(log.rows[0].end, ReplyEnd::kStopped);
  EXPECT_TRUE(log.rows[0].reply.empty());
  EXPECT_EQ(log.rows[0].replyLength, 4u);
}

}  // namespace
}  // namespace orvane
