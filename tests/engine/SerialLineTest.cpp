#include "engine/SerialLine.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/SerialDevice.h"
#include "tests/support/PtyPair.h"

namespace orvane {
namespace {

using testing::PtyPair;

// A clock that moves only when the line waits between idle polls, one millisecond
// per wait: silence is then counted exactly, with no real time involved.
struct FakeClock {
  uint32_t now = 1000;
  // Called at the wait that starts when the clock shows |at|, before it moves on.
  std::function<void(int handle)> at_wait;
  uint32_t fire_at = 0;

  void Attach(SerialLine& line) {
    line.SetTickSource([this] { return now; });
    line.SetIdleWait([this](int handle, int) {
      if (at_wait && now == fire_at) at_wait(handle);
      ++now;
      return 0;
    });
  }
};

// The clock never moves: a read that returns ended by a token, the device going away
// or a stop, never by the silence timeout.
void FreezeClock(SerialLine& line) {
  line.SetTickSource([] { return 5u; });
  line.SetIdleWait([](int handle, int ms) { return serial::WaitReadable(handle, ms); });
}

class SerialLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    ASSERT_EQ(line.Open(pty.path16(), 115200), 0);
  }
  void TearDown() override { SerialLine::SetMessagePump(nullptr); }

  // Sends |bytes| from the device and waits until the line can read them.
  void DeviceSays(const std::string& bytes) {
    pty.Send(bytes);
    ASSERT_TRUE(PtyPair::WaitReadable(KeeperFd()));
  }
  int KeeperFd() {
    // The slave side as the line sees it: any descriptor of the same tty polls alike.
    if (probe < 0) probe = open(pty.path().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return probe;
  }
  ~SerialLineTest() override {
    if (probe >= 0) close(probe);
  }

  PtyPair pty;
  SerialLine line;
  int probe = -1;
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

TEST_F(SerialLineTest, WritesBytesAndTextAsGiven) {
  const uint8_t bytes[] = {'A', 'T', 0x00, 0xFF, '\r'};
  ASSERT_EQ(line.Write(bytes, sizeof bytes), 0);
  EXPECT_EQ(pty.Receive(sizeof bytes), std::string("AT\0\xFF\r", 5));

  ASSERT_EQ(line.WriteText(u"AT\u00E9\u20AC\r"), 0);
  EXPECT_EQ(pty.Receive(5), "AT\xE9\x80\r");
  // Text is written up to its first zero byte.
  ASSERT_EQ(line.WriteText(std::u16string(u"OK\0rest", 7)), 0);
  EXPECT_EQ(pty.Receive(2, 200), "OK");
  EXPECT_EQ(line.Write(bytes, 0), 0);
}

TEST_F(SerialLineTest, DefaultTokensEndTheReadOnceTheLineFallsIdle) {
  FreezeClock(line);
  DeviceSays("ATI\r\r\nOrvane\r\n\r\nOK\r\n");
  std::u16string out;
  EXPECT_EQ(line.ReadResponseText(3000, nullptr, 0, &out), 0);
  EXPECT_EQ(out, u"ATI<0D><0D><0A>Orvane<0D><0A><0D><0A>OK<0D><0A>");

  DeviceSays("\r\nERROR\r\n");
  out.clear();
  line.ReadResponseText(3000, nullptr, 0, &out);
  EXPECT_EQ(out, u"<0D><0A>ERROR<0D><0A>");
}

TEST_F(SerialLineTest, ATokenListReplacesTheDefaults) {
  const std::u16string tokens[] = {u"READY", u"<0D><0A>>> "};
  FakeClock clock;
  clock.Attach(line);
  DeviceSays("\r\nOK\r\n");
  std::u16string out;
  const uint32_t start = clock.now;
  line.ReadResponseText(40, tokens, 2, &out);
  EXPECT_EQ(out, u"<0D><0A>OK<0D><0A>");
  EXPECT_EQ(clock.now - start, 41u) << "the default token must not end a read with tokens";

  // The second token, a prompt with a doubled bracket, ends the read while idle.
  FreezeClock(line);
  DeviceSays("\r\n> ");
  out.clear();
  line.ReadResponseText(40, tokens, 2, &out);
  EXPECT_EQ(out, u"<0D><0A>>> ");
  // A count of 0 means the defaults even with a list.
  DeviceSays("\r\nOK\r\n");
  out.clear();
  line.ReadResponseText(40, tokens, 0, &out);
  EXPECT_EQ(out, u"<0D><0A>OK<0D><0A>");
}

TEST_F(SerialLineTest, SilenceOfExactlyTheTimeoutDoesNotEndTheRead) {
  FakeClock clock;
  clock.Attach(line);
  // The poll at 50 ms of silence finds nothing and waits; during that wait a byte
  // arrives, so the read is still running and takes it.
  clock.fire_at = clock.now + 50;
  clock.at_wait = [this](int) { DeviceSays("Z"); };
  uint8_t buffer[kChunkCapacity + 1];
  int count = kChunkCapacity;
  EXPECT_EQ(line.ReadChunk(buffer, &count, 50, nullptr, 0), ChunkEnded);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(buffer[0], 'Z');
  EXPECT_EQ(buffer[1], 0);
}

TEST_F(SerialLineTest, OneMillisecondMoreThanTheTimeoutEndsTheRead) {
  FakeClock clock;
  clock.now = 0xFFFFFFF0u;  // across the counter's wrap
  clock.Attach(line);
  const uint32_t start = clock.now;
  uint8_t buffer[kChunkCapacity + 1];
  int count = kChunkCapacity;
  EXPECT_EQ(line.ReadChunk(buffer, &count, 50, nullptr, 0), ChunkEnded);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(static_cast<uint32_t>(clock.now - start), 51u);
}

TEST_F(SerialLineTest, ChunksHoldAtMost255Bytes) {
  std::string reply;
  for (int i = 0; i < 600; ++i) reply.push_back(static_cast<char>('A' + i % 26));
  FakeClock clock;
  clock.Attach(line);
  // Real waits for the data the kernel is still passing on, fake clock for silence.
  line.SetIdleWait([&clock](int handle, int) {
    ++clock.now;
    return serial::WaitReadable(handle, 20);
  });
  pty.Send(reply);
  std::vector<int> sizes;
  std::string got;
  int result = ChunkFull;
  while (result == ChunkFull) {
    uint8_t buffer[kChunkCapacity + 1];
    int count = kChunkCapacity;
    result = line.ReadChunk(buffer, &count, 100, nullptr, 0);
    sizes.push_back(count);
    got.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(count));
  }
  EXPECT_EQ(sizes, (std::vector<int>{255, 255, 90}));
  EXPECT_EQ(got, reply);
}

TEST_F(SerialLineTest, ExactlyOneFullChunkIsFollowedByAnEmptyOne) {
  FakeClock clock;
  clock.Attach(line);
  line.SetIdleWait([&clock](int handle, int) {
    ++clock.now;
    return serial::WaitReadable(handle, 20);
  });
  // The token sits at bytes 250..255: it ends exactly at the chunk's last byte, so it
  // is never seen while that chunk is idle, and the next chunk starts empty.
  std::string reply(249, 'x');
  reply += "\r\nOK\r\n";
  ASSERT_EQ(reply.size(), 255u);
  pty.Send(reply);
  std::u16string out;
  line.ReadResponseText(100, nullptr, 0, &out);
  EXPECT_EQ(out, std::u16string(249, u'x') + u"<0D><0A>OK<0D><0A>");
}

TEST_F(SerialLineTest, ReplyOfSixHundredBytesIsAppendedInOrder) {
  std::string reply;
  for (int i = 0; i < 600; ++i) reply.push_back(static_cast<char>(i % 256));
  pty.Send(reply);
  std::u16string out;
  line.ReadResponseText(300, nullptr, 0, &out);
  const Bytes bytes(reply.begin(), reply.end());
  EXPECT_EQ(out, EncodeBinaryText(bytes));
}

TEST_F(SerialLineTest, ZeroByteBeforeTheTokenHidesIt) {
  FakeClock clock;
  clock.Attach(line);
  DeviceSays(std::string("DATA\0\r\nOK\r\n", 11));
  std::u16string out;
  const uint32_t start = clock.now;
  line.ReadResponseText(30, nullptr, 0, &out);
  EXPECT_EQ(out, u"DATA<00><0D><0A>OK<0D><0A>");
  EXPECT_EQ(clock.now - start, 31u);
}

TEST_F(SerialLineTest, EmptyTokensAndTokensWithZeroBytesNeverMatch) {
  const std::u16string tokens[] = {u"", u"OK<00>"};
  FakeClock clock;
  clock.Attach(line);
  DeviceSays("OK");
  std::u16string out;
  const uint32_t start = clock.now;
  line.ReadResponseText(20, tokens, 2, &out);
  EXPECT_EQ(out, u"OK");
  EXPECT_EQ(clock.now - start, 21u);
}

TEST_F(SerialLineTest, DeviceThatNeverStopsGivesFullChunksUntilStopped) {
  std::atomic<bool> done{false};
  std::thread device([&] {
    const std::string block(64, '#');
    while (!done) {
      pollfd p{pty.master(), POLLOUT, 0};
      if (poll(&p, 1, 10) == 1 && write(pty.master(), block.data(), block.size()) < 0) break;
    }
  });
  FreezeClock(line);
  for (int i = 0; i < 4; ++i) {
    uint8_t buffer[kChunkCapacity + 1];
    int count = kChunkCapacity;
    EXPECT_EQ(line.ReadChunk(buffer, &count, 3000, nullptr, 0), ChunkFull);
    EXPECT_EQ(count, 255);
  }
  std::u16string out;
  SerialLine::SetMessagePump([&] {
    if (out.size() >= 2000) line.RequestStop();
  });
  line.ReadResponseText(3000, nullptr, 0, &out);
  EXPECT_GE(out.size(), 2000u);
  EXPECT_EQ(out.find_first_not_of(u'#'), std::u16string::npos);
  done = true;
  device.join();
}

TEST_F(SerialLineTest, DeviceGoingAwayEndsTheReadWithWhatArrived) {
  FreezeClock(line);
  DeviceSays("partial");
  int pumps = 0;
  SerialLine::SetMessagePump([&] {
    if (++pumps == 50) pty.CloseMaster();  // the device is unplugged mid-read
  });
  std::u16string out;
  line.ReadResponseText(60000, nullptr, 0, &out);
  EXPECT_EQ(out, u"partial");
  EXPECT_TRUE(line.IsOpen()) << "nothing closes the line by itself";
  EXPECT_TRUE(line.Close());
}

TEST_F(SerialLineTest, CloseFromThePumpEndsTheReadAtItsNextPoll) {
  FreezeClock(line);
  DeviceSays("AB");
  int pumps = 0;
  bool closed = false;
  SerialLine::SetMessagePump([&] {
    if (++pumps == 20) closed = line.Close();
  });
  std::u16string out;
  line.ReadResponseText(60000, nullptr, 0, &out);
  EXPECT_TRUE(closed);
  EXPECT_EQ(out, u"AB");
  // Reading a line that holds nothing ends at once.
  out.clear();
  line.ReadResponseText(60000, nullptr, 0, &out);
  EXPECT_TRUE(out.empty());
}

TEST_F(SerialLineTest, StopRequestedOutsideAReadDoesNotEndTheNextOne) {
  line.RequestStop();
  FreezeClock(line);
  DeviceSays("\r\nOK\r\n");
  std::u16string out;
  line.ReadResponseText(60000, nullptr, 0, &out);
  EXPECT_EQ(out, u"<0D><0A>OK<0D><0A>");
}

}  // namespace
}  // namespace orvane
