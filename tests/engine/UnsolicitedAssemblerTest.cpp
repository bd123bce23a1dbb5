#include "engine/UnsolicitedAssembler.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/SerialLine.h"
#include "tests/support/PtyPair.h"

namespace orvane {
namespace {

void Feed(UnsolicitedAssembler& a, const std::string& s, uint32_t now, int64_t wall = 0) {
  a.Add(reinterpret_cast<const uint8_t*>(s.data()), s.size(), now, wall);
}

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// A row ends after a silence strictly longer than the timeout, counted from its last
// byte, also across the wrap of the tick; it keeps the first byte's wall time.
TEST(UnsolicitedAssembler, SilenceEndsARow) {
  for (uint32_t start : {1000u, 0xFFFFFF00u}) {
    UnsolicitedAssembler a(50);
    EXPECT_EQ(a.MsUntilSilenceEnds(start), -1) << "nothing pending, nothing to wake for";
    Feed(a, "\r\nRI", start, 1700000000123);
    Feed(a, "NG\r\n", start + 30, 1700000000153);
    a.Idle(start + 80);
    EXPECT_TRUE(a.Pending()) << start;
    EXPECT_EQ(a.MsUntilSilenceEnds(start + 80), 1) << start;
    a.Idle(start + 81);
    ASSERT_FALSE(a.Pending()) << start;
    auto rows = a.TakeFinished();
    ASSERT_EQ(rows.size(), 1u) << start;
    EXPECT_EQ(Text(rows[0].bytes), "\r\nRING\r\n");
    EXPECT_EQ(rows[0].atMs, 1700000000123);
    EXPECT_EQ(rows[0].lastByteMs, 30u);
    EXPECT_EQ(rows[0].elapsedMs, 81u);
    EXPECT_EQ(rows[0].end, UnsolicitedEnd::kSilence);
    EXPECT_TRUE(a.TakeFinished().empty()) << "rows are handed out once";
  }
}

// Once a row ends a line, a short silence ends it; without a line end it waits for the
// whole timeout.
TEST(UnsolicitedAssembler, ALineEndShortensTheSilence) {
  UnsolicitedAssembler a(3000);
  Feed(a, "\r\nRING\r\n", 0);
  EXPECT_EQ(a.MsUntilSilenceEnds(0), static_cast<int>(kLineEndSilenceMs) + 1);
  a.Idle(kLineEndSilenceMs + 1);
  EXPECT_EQ(a.TakeFinished().size(), 1u);
  Feed(a, "\r\nRI", 1000);
  a.Idle(1000 + kLineEndSilenceMs + 1);
  EXPECT_TRUE(a.Pending());
  EXPECT_EQ(a.MsUntilSilenceEnds(1000), 3001);
}

// A flush ends the pending row at once with its reason; with nothing pending it makes
// no row. Data after a flush starts a new row.
TEST(UnsolicitedAssembler, FlushEndsThePendingRow) {
  UnsolicitedAssembler a(3000);
  a.Flush(UnsolicitedEnd::kCommand, 10);
  EXPECT_FALSE(a.HasFinished());
  Feed(a, "\r\n+CMTI: \"SM\",3\r\n", 10);
  a.Flush(UnsolicitedEnd::kCommand, 15);
  Feed(a, "\r\n+QTEMP: 31\r\n", 20);
  a.Flush(UnsolicitedEnd::kClosed, 40);
  auto rows = a.TakeFinished();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Text(rows[0].bytes), "\r\n+CMTI: \"SM\",3\r\n");
  EXPECT_EQ(rows[0].end, UnsolicitedEnd::kCommand);
  EXPECT_EQ(rows[0].elapsedMs, 5u);
  EXPECT_EQ(Text(rows[1].bytes), "\r\n+QTEMP: 31\r\n");
  EXPECT_EQ(rows[1].end, UnsolicitedEnd::kClosed);
  EXPECT_STREQ(UnsolicitedEndName(rows[1].end), "closed");
}

// A row that reaches the size limit ends there; the rest starts the next row.
TEST(UnsolicitedAssembler, SizeLimitSplitsWithoutLosingBytes) {
  UnsolicitedAssembler a(50, 4);
  Feed(a, "0123456789", 1);
  auto rows = a.TakeFinished();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Text(rows[0].bytes), "0123");
  EXPECT_EQ(Text(rows[1].bytes), "4567");
  EXPECT_EQ(rows[1].end, UnsolicitedEnd::kLimit);
  EXPECT_EQ(a.PendingLength(), 2u);
}

// From a real line: what waits is read into the pending row; a hang-up ends it.
TEST(UnsolicitedAssembler, ReadsALineAndEndsOnHangup) {
  testing::PtyPair pty;
  ASSERT_TRUE(pty.ok());
  SerialLine line;
  ASSERT_EQ(line.Open(pty.path16(), 115200), 0);
  UnsolicitedAssembler a;
  EXPECT_EQ(ReadUnsolicited(line, a), 0);
  EXPECT_FALSE(a.Pending()) << "a quiet line gives no row";
  pty.Send("\r\nRING\r\n");
  ASSERT_TRUE(testing::PtyPair::WaitReadable(line.Descriptor()));
  // The kernel may pass the bytes on in pieces: read until all have come.
  for (int i = 0; i < 100 && a.PendingLength() < 8; ++i) {
    EXPECT_EQ(ReadUnsolicited(line, a), 0);
    if (a.PendingLength() < 8) testing::PtyPair::WaitReadable(line.Descriptor(), 100);
  }
  EXPECT_EQ(a.PendingLength(), 8u);
  pty.Unplug();
  ASSERT_TRUE(testing::PtyPair::WaitReadable(line.Descriptor()));
  EXPECT_LT(ReadUnsolicited(line, a), 0);
  auto rows = a.TakeFinished();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(Text(rows[0].bytes), "\r\nRING\r\n");
  EXPECT_EQ(rows[0].end, UnsolicitedEnd::kHangup);
}

}  // namespace
}  // namespace orvane
