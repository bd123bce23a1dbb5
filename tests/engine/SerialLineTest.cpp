#include "engine/SerialLine.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "engine/Exchange.h"
#include "platform/SerialDevice.h"
#include "tests/support/PtyPair.h"

namespace orvane {
namespace {

using testing::PtyPair;

class SerialLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    ASSERT_EQ(line.Open(pty.path16(), 115200), 0);
  }

  // Sends |command| framed by |framing| and reads the reply to its end.
  ExchangeResult Run(const std::u16string& command, Framing framing, ExchangeOptions options = {},
                     int stopFd = -1) {
    Exchange exchange(line, command, framing, std::move(options));
    RunToEnd(exchange, line, stopFd);
    return exchange.TakeResult();
  }
  static Framing Timeout(uint32_t ms) {
    Framing f;
    f.timeoutMs = ms;
    return f;
  }

  PtyPair pty;
  SerialLine line;
};

TEST(SerialLineOpen, MissingDeviceAndBaudZeroFailWithoutHoldingADevice) {
  SerialLine line;
  EXPECT_EQ(line.Open(u"/dev/orvane-no-such-device", 9600), ENOENT);
  EXPECT_FALSE(line.IsOpen());
  EXPECT_EQ(line.Open(u"COM250:", 9600), ENOENT);  // /dev/ttyS249 does not exist
  EXPECT_FALSE(line.IsOpen());

  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  EXPECT_EQ(line.Open(pty.path16(), 0), EINVAL);
  EXPECT_FALSE(line.IsOpen());
  // A failed open released the device: another line can take it.
  SerialLine other;
  EXPECT_EQ(other.Open(pty.path16(), 9600), 0);
}

TEST(SerialLineOpen, SomethingThatIsNotATtyIsRefusedAndReleased) {
  SerialLine line;
  EXPECT_NE(line.Open(u"/dev/null", 9600), 0);
  EXPECT_FALSE(line.IsOpen());
}

TEST(SerialLineOpen, DeviceNames) {
  EXPECT_EQ(serial::DevicePathForName("COM1:"), "/dev/ttyS0");
  EXPECT_EQ(serial::DevicePathForName("com12:"), "/dev/ttyS11");
  EXPECT_EQ(serial::DevicePathForName("COM0:"), "COM0:");
  EXPECT_EQ(serial::DevicePathForName("COM1"), "COM1");
  EXPECT_EQ(serial::DevicePathForName("COMx:"), "COMx:");
  EXPECT_EQ(serial::DevicePathForName("/dev/ttyUSB0"), "/dev/ttyUSB0");
}

TEST(SerialLineOpen, AppliesRawEightNoneOneAtAnyBaud) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  SerialLine line;
  ASSERT_EQ(line.Open(pty.path16(), 123457), 0);
  const int fd = open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  serial::ControlBlock block;
  ASSERT_EQ(serial::GetControlBlock(fd, &block), 0);
  EXPECT_EQ(block.baudRate, 123457u);
  EXPECT_EQ(block.byteSize, 8);
  EXPECT_EQ(block.parity, 0);
  EXPECT_EQ(block.stopBits, 0);
  EXPECT_EQ(block.flags & (serial::kFlagParity | serial::kFlagOutxCtsFlow | serial::kFlagOutX |
                           serial::kFlagInX),
            0u);
  termios t{};
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | IXON | ISTRIP), 0u);
  close(fd);
}

// Each setting as the tty sees it (as far as a pty keeps it); out-of-range settings open
// nothing.
TEST(SerialLineOpen, LineSettingsReachTheTty) {
  constexpr tcflag_t kFraming = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
  const struct {
    LineSettings settings;
    tcflag_t cflag;
    tcflag_t iflag;  // of IXON | IXOFF
  } cases[] = {
      {{}, CS8, 0},
      {{7, Parity::kEven, 1}, CS7 | PARENB, 0},
      {{7, Parity::kOdd, 2}, CS7 | PARENB | PARODD | CSTOPB, 0},
      {{5, Parity::kMark, 1}, CS5 | PARENB | PARODD | CMSPAR, 0},
      {{6, Parity::kSpace, 2, FlowControl::kRtsCts}, CS6 | PARENB | CMSPAR | CSTOPB | CRTSCTS, 0},
      {{8, Parity::kNone, 1, FlowControl::kXonXoff, false, false}, CS8, IXON | IXOFF},
  };
  for (const auto& c : cases) {
    const std::string name = DescribeLineSettings(c.settings);
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    const tcflag_t kept = pty.KeptCflag(kFraming);
    ASSERT_TRUE(kept & CMSPAR);  // something to tell the cases apart
    SerialLine line;
    ASSERT_EQ(line.Open(pty.path16(), 9600, c.settings), 0) << name;
    termios t{};
    ASSERT_EQ(tcgetattr(pty.keeper(), &t), 0);
    EXPECT_EQ(t.c_cflag & kept, c.cflag & kept) << name;
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), c.iflag) << name;
  }
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  SerialLine line;
  for (const LineSettings bad : {LineSettings{4}, LineSettings{9}, LineSettings{8, Parity::kNone, 3},
                                 LineSettings{8, static_cast<Parity>(5)}}) {
    EXPECT_EQ(line.Open(pty.path16(), 9600, bad), EINVAL);
    EXPECT_FALSE(line.IsOpen());
  }
}

TEST_F(SerialLineTest, ABreakIsSentWithinItsRange) {
  EXPECT_EQ(line.SendBreak(1), 0);
  EXPECT_EQ(line.SendBreak(0), EINVAL);
  EXPECT_EQ(line.SendBreak(kMaxBreakMs + 1), EINVAL);
  line.Close();
  EXPECT_EQ(line.SendBreak(1), EBADF);
}

TEST(SerialLineOpen, SecondOpenOfTheSamePortIsRefusedUntilReleased) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  SerialLine first;
  SerialLine second;
  ASSERT_EQ(first.Open(pty.path16(), 9600), 0);
  EXPECT_EQ(second.Open(pty.path16(), 9600), EBUSY);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_TRUE(first.Close());
  EXPECT_EQ(second.Open(pty.path16(), 9600), 0);
}

TEST(SerialLineOpen, SecondProgramIsRefused) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  SerialLine line;
  ASSERT_EQ(line.Open(pty.path16(), 9600), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SerialLine other;
    _exit(other.Open(pty.path16(), 9600) == EBUSY ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(SerialLineOpen, OpenWhileHeldReleasesTheOldDevice) {
  PtyPair a;
  PtyPair b;
  ASSERT_TRUE(a.ok() && b.ok());
  SerialLine line;
  ASSERT_EQ(line.Open(a.path16(), 9600), 0);
  ASSERT_EQ(line.Open(b.path16(), 9600), 0);
  SerialLine other;
  EXPECT_EQ(other.Open(a.path16(), 9600), 0);
  EXPECT_EQ(other.Open(b.path16(), 9600), EBUSY);
}

TEST_F(SerialLineTest, CloseTwiceReportsFailureTheSecondTime) {
  EXPECT_TRUE(line.Close());
  EXPECT_FALSE(line.IsOpen());
  EXPECT_FALSE(line.Close());
  const uint8_t byte = 'A';
  EXPECT_EQ(line.Write(&byte, 1), EBADF);
}

TEST_F(SerialLineTest, WritesBytesAsGiven) {
  const uint8_t bytes[] = {'A', 'T', 0x00, 0xFF, '\r'};
  ASSERT_EQ(line.Write(bytes, sizeof bytes), 0);
  EXPECT_EQ(pty.Receive(sizeof bytes), std::string("AT\0\xFF\r", 5));
  EXPECT_EQ(line.Write(bytes, 0), 0);
}

TEST_F(SerialLineTest, OpenDiscardsWhatTheDeviceSaidBefore) {
  line.Close();
  pty.Send("RING\r\n");
  ASSERT_TRUE(PtyPair::WaitReadable(pty.keeper()));
  ASSERT_EQ(line.Open(pty.path16(), 9600), 0);
  pty.Send("\r\nOK\r\n");
  const ExchangeResult r = Run(u"AT", Timeout(3000));
  EXPECT_EQ(std::string(r.reply.begin(), r.reply.end()), "\r\nOK\r\n");
  EXPECT_EQ(r.end, ReplyEnd::kToken);
}

TEST_F(SerialLineTest, CloseGivesThePortBackItsSettings) {
  line.Close();
  termios before{};
  ASSERT_EQ(tcgetattr(pty.keeper(), &before), 0);
  before.c_lflag |= ICANON | ECHO;  // a cooked terminal, as a shell would leave it
  cfsetspeed(&before, B2400);
  ASSERT_EQ(tcsetattr(pty.keeper(), TCSANOW, &before), 0);

  ASSERT_EQ(line.Open(pty.path16(), 115200), 0);
  termios opened{};
  ASSERT_EQ(tcgetattr(pty.keeper(), &opened), 0);
  EXPECT_EQ(opened.c_lflag & ICANON, 0u);
  ASSERT_TRUE(line.Close());
  termios after{};
  ASSERT_EQ(tcgetattr(pty.keeper(), &after), 0);
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO), unsigned{ICANON | ECHO});
  EXPECT_EQ(cfgetospeed(&after), speed_t{B2400});
}

// The same reply all at once and trickled byte by byte gives the same bytes and end.
TEST_F(SerialLineTest, BulkAndTrickledRepliesAreReadAlike) {
  std::string reply;
  for (int i = 0; i < 700; ++i) reply.push_back(static_cast<char>(i % 251 + 1));
  reply += "\r\nOK\r\n";
  for (const bool trickle : {false, true}) {
    std::thread device([&] {
      if (!trickle) return pty.Send(reply);
      for (char c : reply) {
        pty.Send(std::string(1, c));
        if (c == '\n') std::this_thread::sleep_for(std::chrono::microseconds(300));
      }
    });
    const ExchangeResult r = Run(u"", Timeout(2000));
    device.join();
    EXPECT_EQ(std::string(r.reply.begin(), r.reply.end()), reply) << trickle;
    EXPECT_EQ(r.end, ReplyEnd::kToken) << trickle;
    EXPECT_GE(r.firstByteMs, 0);
    EXPECT_LT(r.elapsedMs, 2000u);
  }
}

TEST_F(SerialLineTest, EndlessReplyStopsAtTheLimitKeepingWhatArrived) {
  std::atomic<bool> done{false};
  // Non-blocking, so the device notices |done| even when the line has stopped reading.
  fcntl(pty.master(), F_SETFL, fcntl(pty.master(), F_GETFL) | O_NONBLOCK);
  std::thread device([&] {
    const std::string block(4096, '#');
    while (!done) {
      pollfd p{pty.master(), POLLOUT, 0};
      if (poll(&p, 1, 10) == 1 && write(pty.master(), block.data(), block.size()) < 0 &&
          errno != EAGAIN)
        break;
    }
  });
  ExchangeOptions options;
  options.maxReplyBytes = 1 << 20;
  const ExchangeResult kept = Run(u"", Timeout(3000), options);
  EXPECT_EQ(kept.end, ReplyEnd::kLimit);
  EXPECT_EQ(kept.reply.size(), size_t{1} << 20);
  EXPECT_EQ(kept.reply.back(), '#');

  // Passed on as it comes instead of kept: the same count, and nothing is held.
  size_t passed = 0;
  options.keepReply = false;
  options.onBytes = [&](const uint8_t*, size_t n) { passed += n; };
  const ExchangeResult streamed = Run(u"", Timeout(3000), options);
  done = true;
  device.join();
  EXPECT_EQ(streamed.end, ReplyEnd::kLimit);
  EXPECT_EQ(passed, size_t{1} << 20);
  EXPECT_EQ(streamed.replyLength, passed);
  EXPECT_TRUE(streamed.reply.empty());
}

// Reply bytes the line has read, counted as they arrive; |arrived| is signalled once
// |count| of them are in.
ExchangeOptions SignalAfter(size_t count, std::promise<void>& arrived) {
  ExchangeOptions options;
  options.onBytes = [count, &arrived, seen = size_t{0}](const uint8_t*, size_t n) mutable {
    if (seen < count && (seen += n) >= count) arrived.set_value();
  };
  return options;
}

TEST_F(SerialLineTest, HangUpEndsTheReadAtOnceWithWhatArrived) {
  pty.Send("partial");
  std::promise<void> read;
  // The device goes away once the line has read what it sent.
  std::thread unplug([&, done = read.get_future()] {
    done.wait_for(std::chrono::seconds(10));
    pty.Unplug();
  });
  const ExchangeResult r = Run(u"", Timeout(60000), SignalAfter(7, read));
  unplug.join();
  EXPECT_EQ(std::string(r.reply.begin(), r.reply.end()), "partial");
  EXPECT_EQ(r.end, ReplyEnd::kHangup);
  EXPECT_LT(r.elapsedMs, 5000u);
  EXPECT_TRUE(line.IsOpen()) << "nothing closes the line by itself";
  // The next command cannot be written.
  EXPECT_NE(Run(u"AT", Timeout(100)).writeError, 0);
}

TEST_F(SerialLineTest, AStopRequestEndsTheReadKeepingWhatArrived) {
  int stop[2];
  ASSERT_EQ(pipe(stop), 0);
  pty.Send("AB");
  std::promise<void> read;
  // The user asks to stop once the line has read what arrived.
  std::thread user([&, done = read.get_future()] {
    done.wait_for(std::chrono::seconds(10));
    [[maybe_unused]] ssize_t n = write(stop[1], "x", 1);
  });
  const ExchangeResult r = Run(u"", Timeout(60000), SignalAfter(2, read), stop[0]);
  user.join();
  close(stop[0]);
  close(stop[1]);
  EXPECT_EQ(std::string(r.reply.begin(), r.reply.end()), "AB");
  EXPECT_EQ(r.end, ReplyEnd::kStopped);
}

// The device never drains its input: the write fails once the bound has passed,
// and a partial write is carried on rather than dropped.
TEST_F(SerialLineTest, AWriteThatCannotFinishFailsAtTheBound) {
  uint32_t now = 0;
  ExchangeOptions options;
  options.tick = [&] { return now; };
  const std::u16string huge(1 << 20, u'x');
  Exchange exchange(line, huge, Timeout(100), options);
  EXPECT_EQ(exchange.Advance(), Exchange::Wait::kWritable);
  EXPECT_EQ(exchange.MsUntilDeadline(), int{kMinWriteBoundMs});
  now = kMinWriteBoundMs - 1;
  EXPECT_EQ(exchange.Advance(), Exchange::Wait::kWritable);
  now = kMinWriteBoundMs;
  EXPECT_EQ(exchange.Advance(), Exchange::Wait::kNothing);
  EXPECT_EQ(exchange.Result().writeError, ETIMEDOUT);
  EXPECT_GT(pty.Receive(1, 100).size(), 0u) << "what fit was written";

  // A longer reply timeout gives the write as long.
  now = 0;
  Exchange patient(line, huge, Timeout(9000), options);
  patient.Advance();
  EXPECT_EQ(patient.MsUntilDeadline(), 9000);
}

TEST(ExchangeFraming, TimeoutSecondsBecomeMillisecondsWithinRange) {
  const std::pair<int64_t, uint32_t> cases[] = {
      {2, 2000u}, {0, 0u}, {-5, 0u}, {4294967, 4294967000u}, {4294968, 4294967295u},
      {INT32_MAX, 4294967295u}};
  for (const auto& [seconds, ms] : cases) EXPECT_EQ(TimeoutMsFromSeconds(seconds), ms) << seconds;
}

}  // namespace
}  // namespace orvane
