// Network lines against real servers on loopback ports: ser2net (RFC 2217) in front of
// the modem simulator's pty or a pty the test plays, and socat listeners (raw TCP).
#include "engine/NetworkLine.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "engine/Exchange.h"
#include "engine/LineFactory.h"
#include "tests/support/NetServers.h"
#include "tests/support/PtyPair.h"
#include "tests/support/SimulatorThread.h"
#include "tools/linewright/Linewright.h"

namespace orvane {
namespace {

using testing::FreeLoopbackPort;
using testing::PtyPair;
using testing::Ser2net;
using testing::ServerProcess;
using testing::TempFolder;
using Simulator = testing::SimulatorThread;

ExchangeResult RunExchange(Line& line, const std::u16string& command, uint32_t timeoutMs = 3000,
                   ExchangeOptions options = {}) {
  Framing framing;
  framing.timeoutMs = timeoutMs;
  Exchange exchange(line, command, framing, std::move(options));
  RunToEnd(exchange, line);
  return exchange.TakeResult();
}
std::u16string Reply(Line& line, const std::u16string& command) {
  return EncodeBinaryText(RunExchange(line, command).reply);
}
std::string RawReply(Line& line, const std::u16string& command) {
  const Bytes reply = RunExchange(line, command).reply;
  return std::string(reply.begin(), reply.end());
}

// The device side of a pty played by the test: reads |expect| bytes of command, then
// answers |answer|; what it read is kept.
class Device {
 public:
  Device(PtyPair& pty, size_t expect, std::string answer)
      : thread_([&pty, expect, answer = std::move(answer), this] {
          got_ = pty.Receive(expect);
          if (got_.size() >= expect) pty.Send(answer);
        }) {}
  std::string Join() {
    thread_.join();
    return got_;
  }

 private:
  std::string got_;
  std::thread thread_;
};

class Ser2netModem : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.ok());
    // A descriptor of the device side for reading its terminal settings back.
    tty = open(sim.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(tty, 0);
    ASSERT_TRUE(server.Start(sim.path())) << "ser2net did not start (scripts/install-deps.sh installs it)\n"
                                          << server.Log();
  }
  void TearDown() override { close(tty); }

  Simulator sim;
  Ser2net server;
  int tty = -1;
};

TEST_F(Ser2netModem, ExchangesAreExactAndThePortIsSetUp) {
  // By address and by a name the system resolves.
  for (const std::string& url :
       {server.Url(), "RFC2217://localhost:" + std::to_string(server.port())}) {
    NamedLine line;
    ASSERT_EQ(line.Open(std::string_view(url), 115200), 0) << url << ": " << line.Reason();
    EXPECT_EQ(Reply(line, u"AT<0D>"), u"AT<0D><0D><0A>OK<0D><0A>") << url;
    EXPECT_EQ(Reply(line, u"ATE0<0D>"), u"ATE0<0D><0D><0A>OK<0D><0A>");
    EXPECT_EQ(Reply(line, u"ATI<0D>"), u"<0D><0A>Orvane Modem Simulator<0D><0A><0D><0A>OK<0D><0A>");
    // A reply of many chunks, and one that ends by silence.
    const ExchangeResult many = RunExchange(line, u"AT+SIMBYTES=5000<0D>", 300);
    EXPECT_EQ(many.replyLength, 5000u);
    EXPECT_EQ(many.end, ReplyEnd::kSilence);
    EXPECT_EQ(Reply(line, u"ATZ<0D>"), u"<0D><0A>OK<0D><0A>");

    const auto* port = static_cast<NetworkLine*>(line.Held())->ComPort();
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(static_cast<NetworkLine*>(line.Held())->ComPortAgreed());
    EXPECT_EQ(port->baudRate, 115200u);
    EXPECT_EQ(port->dataSize, 8);
    EXPECT_EQ(port->parity, telnet::comport::kParityNone);
    EXPECT_EQ(port->stopSize, telnet::comport::kStopBitsOne);
    EXPECT_TRUE(line.Close());
    EXPECT_FALSE(line.Close());
  }
}

TEST_F(Ser2netModem, BaudRateReachesThePty) {
  const struct {
    uint32_t baud;
    speed_t speed;
  } rates[] = {{9600, B9600}, {1200, B1200}, {57600, B57600}, {115200, B115200}};
  for (const auto& rate : rates) {
    // Each open lets go of the connection before: ser2net serves one at a time.
    NamedLine line;
    ASSERT_EQ(line.Open(std::string_view(server.Url()), rate.baud), 0) << line.Reason();
    termios t{};
    ASSERT_EQ(tcgetattr(tty, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), rate.speed) << rate.baud;
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8)) << rate.baud;
  }
}

// ser2net sets its pty as asked (read back on the pair's own descriptor of it); a break
// goes through RFC 2217 and leaves the line working. Raw TCP cannot send one.
TEST(Ser2netPty, LineSettingsAndBreakReachThePort) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  Ser2net server;
  ASSERT_TRUE(server.Start(pty.path())) << server.Log();
  const LineSettings settings{7, Parity::kOdd, 2, FlowControl::kRtsCts, false, true};
  const tcflag_t kept = pty.KeptCflag(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  NamedLine line;
  ASSERT_EQ(line.Open(std::string_view(server.Url()), 9600, -1, settings), 0) << line.Reason();
  termios t{};
  ASSERT_EQ(tcgetattr(pty.keeper(), &t), 0);
  EXPECT_EQ(t.c_cflag & kept, (CS7 | PARENB | PARODD | CSTOPB | CRTSCTS) & kept);
  EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS), static_cast<tcflag_t>(CSTOPB | CRTSCTS));
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  const auto* port = static_cast<NetworkLine*>(line.Held())->ComPort();
  EXPECT_EQ(port->dataSize, 7);
  EXPECT_EQ(port->parity, telnet::comport::kParityOdd);
  EXPECT_EQ(port->stopSize, telnet::comport::kStopBitsTwo);

  EXPECT_EQ(line.SendBreak(5), 0);
  Device device(pty, 3, "\r\nOK\r\n");
  EXPECT_EQ(RawReply(line, u"AT<0D>"), "\r\nOK\r\n");
  EXPECT_EQ(device.Join(), "AT\r");

  ASSERT_EQ(line.Open(std::string_view(server.Url("tcp")), 9600), 0) << line.Reason();
  EXPECT_EQ(line.SendBreak(5), ENOTSUP);
}

TEST(Ser2netPty, ByteFFSurvivesBothWays) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  Ser2net server;
  ASSERT_TRUE(server.Start(pty.path())) << server.Log();
  NamedLine line;
  ASSERT_EQ(line.Open(std::string_view(server.Url()), 115200), 0) << line.Reason();

  Device device(pty, 6, std::string("X\xFFY\xFF\xFF\r\nOK\r\n"));
  EXPECT_EQ(RawReply(line, u"<FF>A<FF><FF>B<0D>"), "X\xFFY\xFF\xFF\r\nOK\r\n");
  EXPECT_EQ(device.Join(), "\xFF" "A\xFF\xFF" "B\r");
}

TEST(Ser2netPty, StoppingTheServerMidReplyIsAHangup) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  Ser2net server;
  ASSERT_TRUE(server.Start(pty.path())) << server.Log();
  NamedLine line;
  ASSERT_EQ(line.Open(std::string_view(server.Url()), 115200), 0) << line.Reason();

  Device device(pty, 3, "partial reply");
  ExchangeOptions options;
  // The first bytes of the reply are in: the server goes away.
  options.onBytes = [&](const uint8_t*, size_t) { server.Stop(); };
  const ExchangeResult r = RunExchange(line, u"AT<0D>", 60000, std::move(options));
  device.Join();
  EXPECT_EQ(r.end, ReplyEnd::kHangup);
  EXPECT_EQ(r.readError, EIO);
  const std::string reply(r.reply.begin(), r.reply.end());
  EXPECT_FALSE(reply.empty());
  EXPECT_EQ(std::string("partial reply").rfind(reply, 0), 0u) << reply;
  // The line stays hung up; writing to the closed connection fails.
  uint8_t byte;
  EXPECT_EQ(line.ReadSome(&byte, 1), -EIO);
  EXPECT_TRUE(line.Close());
}

TEST(Ser2netPty, ClosingReleasesTheConnection) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  Ser2net server;
  ASSERT_TRUE(server.Start(pty.path())) << server.Log();
  // ser2net serves one connection per port: a second open succeeds only when the first
  // connection was let go.
  NamedLine line;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(line.Open(std::string_view(server.Url()), 115200), 0) << i << ": " << line.Reason();
    const int fd = line.Descriptor();
    EXPECT_TRUE(line.Close());
    EXPECT_EQ(fcntl(fd, F_GETFD), -1);
  }
  // Opening while open lets go of the old connection first.
  ASSERT_EQ(line.Open(std::string_view(server.Url()), 115200), 0);
  ASSERT_EQ(line.Open(std::string_view(server.Url()), 9600), 0) << line.Reason();
}

TEST(SocatRaw, BytesPassUnchangedOverIpv4AndIpv6) {
  for (const bool ipv6 : {false, true}) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    TempFolder folder;
    ServerProcess socat;
    const int port = FreeLoopbackPort(ipv6);
    const std::string listen = ipv6 ? "TCP6-LISTEN:" + std::to_string(port) + ",bind=[::1]"
                                    : "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1";
    ASSERT_TRUE(socat.Start({"socat", listen, "FILE:" + pty.path() + ",raw,echo=0"}, port,
                            folder.path() + "/socat.log"))
        << socat.Log();
    const std::string url = (ipv6 ? "tcp://[::1]:" : "tcp://127.0.0.1:") + std::to_string(port);
    NamedLine line;
    ASSERT_EQ(line.Open(std::string_view(url), 9600), 0) << line.Reason();

    Device device(pty, 5, std::string("\xFF\r\n\r\nOK\r\n"));
    EXPECT_EQ(RawReply(line, u"AT<FF><0D><00>"), "\xFF\r\n\r\nOK\r\n") << url;
    EXPECT_EQ(device.Join(), std::string("AT\xFF\r\0", 5)) << url;
  }
}

TEST(SocatRaw, ServerClosingMidReplyIsAHangup) {
  TempFolder folder;
  ServerProcess socat;
  const int port = FreeLoopbackPort();
  // Answers the first bytes it gets with half a reply, then closes.
  const std::string script = folder.path() + "/half-reply.sh";
  std::ofstream(script) << "head -c 3 >/dev/null; printf 'AT\\r\\r\\nO'\n";
  ASSERT_TRUE(socat.Start({"socat", "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1",
                           "EXEC:sh " + script},
                          port, folder.path() + "/socat.log"))
      << socat.Log();
  NamedLine line;
  ASSERT_EQ(line.Open(std::string_view("tcp://127.0.0.1:" + std::to_string(port)), 9600), 0)
      << line.Reason();
  const ExchangeResult r = RunExchange(line, u"AT<0D>", 60000);
  EXPECT_EQ(r.end, ReplyEnd::kHangup);
  EXPECT_EQ(EncodeBinaryText(r.reply), u"AT<0D><0D><0A>O");
}

// A server that accepts and never answers, Telnet or data: the open waits its bound and
// gives a line that works without port control. Data goes out as Telnet's network
// virtual terminal wants it (a carriage return as CR NUL), since binary was not agreed.
TEST(SilentServer, StillGivesAWorkingLine) {
  TempFolder folder;
  ServerProcess socat;
  const int port = FreeLoopbackPort();
  const std::string received = folder.path() + "/received";
  ASSERT_TRUE(socat.Start({"socat", "-u", "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1",
                           "CREATE:" + received},
                          port, folder.path() + "/socat.log"))
      << socat.Log();
  NetworkLine line;
  std::string reason;
  LineAddress address;
  ASSERT_TRUE(ParseLineAddress("rfc2217://127.0.0.1:" + std::to_string(port), &address, &reason));
  NetworkBounds bounds;
  bounds.negotiateMs = 300;
  ASSERT_EQ(line.Open(address, 115200, &reason, bounds), 0) << reason;
  EXPECT_FALSE(line.ComPortAgreed());
  const ExchangeResult r = RunExchange(line, u"AT<FF><0D>", 50);
  EXPECT_EQ(r.writeError, 0);
  EXPECT_EQ(r.end, ReplyEnd::kSilence);
  // The connection closed, socat writes the rest and ends.
  line.Close();
  ASSERT_TRUE(socat.WaitExit());
  std::ifstream in(received, std::ios::binary);
  const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // After the opening requests (no port settings: the option was never agreed).
  EXPECT_EQ(got.substr(15), std::string("AT\xFF\xFF\r\0", 6));
}

// A listening socket on a free 127.0.0.1 port; the test plays the server on what it
// accepts. Connections are completed by the system before they are accepted.
class Listener {
 public:
  explicit Listener(int backlog = 1) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(fd_, backlog) == 0 &&
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) == 0)
      port_ = ntohs(a.sin_port);
  }
  ~Listener() { close(fd_); }
  // The next connection (-1 when none comes within a hang guard).
  int Accept() const {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 10000) == 1 ? accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
  }
  int fd() const { return fd_; }
  std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
  LineAddress Address() const {
    LineAddress address;
    std::string reason;
    ParseLineAddress(Url(), &address, &reason);
    return address;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// Sends |unit| over and over on |fd| until the client lets go, then closes. A hang
// guard ends it too, so that a client that never lets go fails its test.
void Flood(int fd, const Bytes& unit) {
  Bytes chunk;
  while (chunk.size() < (size_t{64} << 10)) chunk.insert(chunk.end(), unit.begin(), unit.end());
  const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < guard && send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) > 0) {
  }
  close(fd);
}

// Reads |fd| until |text| has come (or the client went away).
void ReadUntil(int fd, const std::string& text) {
  std::string got;
  char buffer[256];
  ssize_t n;
  while (got.find(text) == std::string::npos && (n = recv(fd, buffer, sizeof buffer, 0)) > 0) got.append(buffer, n);
}

// Reads |line| until it fails; its error.
long ReadUntilFailure(Line& line) {
  uint8_t buffer[4096];
  for (;;) {
    pollfd p{line.Descriptor(), POLLIN, 0};
    poll(&p, 1, -1);
    const long n = line.ReadSome(buffer, sizeof buffer);
    if (n < 0) return n;
  }
}

const Bytes kRefuseComPort = {telnet::kIac, telnet::kDont, telnet::kComPort};

// A server that sends negotiations and never reads the answers is dropped with a
// reason: while the port is set up, or later.
TEST(HostileServer, FloodingNegotiationsWithoutReadingIsDropped) {
  const Bytes doOption = {telnet::kIac, telnet::kDo, 5};
  for (const bool afterOpen : {false, true}) {
    Listener server;
    std::thread peer([&] {
      const int fd = server.Accept();
      if (afterOpen) {
        send(fd, kRefuseComPort.data(), kRefuseComPort.size(), MSG_NOSIGNAL);
        ReadUntil(fd, "go");
      }
      Flood(fd, doOption);
    });
    NetworkLine line;
    std::string reason;
    const int opened = line.Open(server.Address(), 115200, &reason);
    std::string why = reason;
    if (afterOpen) {
      EXPECT_EQ(opened, 0) << reason;
      EXPECT_EQ(line.WriteSome(reinterpret_cast<const uint8_t*>("go"), 2), 2);
      EXPECT_EQ(ReadUntilFailure(line), -ENOBUFS);
      why = line.Failure();
    } else {
      EXPECT_EQ(opened, ENOBUFS);
    }
    EXPECT_NE(why.find("Telnet negotiations without reading the answers"), std::string::npos) << why;
    line.Close();
    peer.join();
  }
}

// A server that floods Telnet commands carrying no data: the line gives its caller turns,
// so the negotiation's bound, a reply's timeout and a stop all end their waits while the
// flood goes on (it ends by a hang guard: a wait held that long ends in a hang-up).
TEST(HostileServer, FloodOfCommandsHoldsNoWaitPastItsEnd) {
  const Bytes nop = {telnet::kIac, telnet::kNop};
  {
    // Commands beyond a slice wait in the socket: a read gives the turn back with them
    // still there.
    Listener server;
    NetworkLine line;
    std::string reason;
    NetworkBounds bounds;
    bounds.negotiateMs = 50;  // the server stays silent while the line is set up
    ASSERT_EQ(line.Open(server.Address(), 115200, &reason, bounds), 0) << reason;
    const int room = 1 << 20;
    ASSERT_EQ(setsockopt(line.Descriptor(), SOL_SOCKET, SO_RCVBUF, &room, sizeof room), 0);
    const int peer = server.Accept();
    Bytes flood;
    for (int i = 0; i < 64 << 10; ++i) flood.insert(flood.end(), nop.begin(), nop.end());
    ASSERT_EQ(send(peer, flood.data(), flood.size(), 0), static_cast<ssize_t>(flood.size()));
    int waiting = 0;
    for (int i = 0; i < 500 && waiting < static_cast<int>(flood.size()); ++i) {
      usleep(10000);  // the system's delivery is no event to wait on
      ASSERT_EQ(ioctl(line.Descriptor(), FIONREAD, &waiting), 0);
    }
    ASSERT_EQ(waiting, static_cast<int>(flood.size()));
    uint8_t buffer[4096];
    EXPECT_EQ(line.ReadSome(buffer, sizeof buffer), 0);
    ASSERT_EQ(ioctl(line.Descriptor(), FIONREAD, &waiting), 0);
    EXPECT_GT(waiting, 0);
    close(peer);
  }
  {
    Listener server;
    std::thread peer([&] { Flood(server.Accept(), nop); });
    NetworkLine line;
    std::string reason;
    NetworkBounds bounds;
    bounds.negotiateMs = 200;
    EXPECT_EQ(line.Open(server.Address(), 115200, &reason, bounds), 0) << reason;
    EXPECT_FALSE(line.ComPortAgreed());
    line.Close();
    peer.join();
  }
  for (const bool stop : {false, true}) {
    Listener server;
    std::thread peer([&] {
      const int fd = server.Accept();
      send(fd, kRefuseComPort.data(), kRefuseComPort.size(), MSG_NOSIGNAL);
      Flood(fd, nop);
    });
    NetworkLine line;
    std::string reason;
    ASSERT_EQ(line.Open(server.Address(), 115200, &reason), 0) << reason;
    int stopPipe[2];
    ASSERT_EQ(pipe2(stopPipe, O_CLOEXEC), 0);
    if (stop) {
      ASSERT_EQ(write(stopPipe[1], "x", 1), 1);
    }
    Framing framing;
    framing.timeoutMs = stop ? 60000 : 300;
    orvane::Exchange exchange(line, u"AT", framing);
    RunToEnd(exchange, line, stopPipe[0]);
    EXPECT_EQ(exchange.Result().end, stop ? ReplyEnd::kStopped : ReplyEnd::kSilence);
    line.Close();
    peer.join();
    close(stopPipe[0]);
    close(stopPipe[1]);
  }
}

// Data is escaped (0xFF doubled). When the socket takes half an escape, its rest goes
// out before anything else, the answers to a server's negotiation included: the server
// decodes exactly the data written. The buffers are small, so the socket fills often.
TEST(HostileServer, AnswersNeverSplitAnEscape) {
  Listener server;
  const int small = 4096;
  ASSERT_EQ(setsockopt(server.fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
  NetworkLine line;
  std::string reason;
  NetworkBounds bounds;
  bounds.negotiateMs = 50;  // the server stays silent while the line is set up
  ASSERT_EQ(line.Open(server.Address(), 115200, &reason, bounds), 0) << reason;
  ASSERT_EQ(setsockopt(line.Descriptor(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
  const int peer = server.Accept();
  ASSERT_GE(peer, 0);
  Bytes wire;
  // What has reached the server; waits a little for what is on its way.
  auto drain = [&] {
    uint8_t buffer[65536];
    pollfd p{peer, POLLIN, 0};
    while (poll(&p, 1, 20) == 1) {
      const ssize_t n = recv(peer, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      wire.insert(wire.end(), buffer, buffer + n);
    }
  };
  const Bytes doOption = {telnet::kIac, telnet::kDo, 5};
  Bytes written;
  uint8_t byte;
  int fills = 0;
  for (int round = 0; round < 8; ++round) {
    // Half the rounds start with a plain byte, so that the escapes fall both ways
    // across the socket's cuts.
    Bytes data(size_t{16} << 10, telnet::kIac);
    if (round % 2 != 0) data[0] = 'A';
    size_t done = 0;
    while (done < data.size()) {
      const long n = line.WriteSome(data.data() + done, data.size() - done);
      ASSERT_GE(n, 0);
      done += static_cast<size_t>(n);
      if (done == data.size()) break;
      // The socket is full, perhaps in the middle of an escape: the server negotiates,
      // the line reads it and answers once the server has read what waits.
      ++fills;
      ASSERT_EQ(send(peer, doOption.data(), doOption.size(), 0), 3);
      pollfd p{line.Descriptor(), POLLIN, 0};
      ASSERT_EQ(poll(&p, 1, 10000), 1);
      ASSERT_EQ(line.ReadSome(&byte, 1), 0);
      drain();
      ASSERT_EQ(line.ReadSome(&byte, 1), 0);
    }
    written.insert(written.end(), data.begin(), data.end());
  }
  drain();
  ASSERT_EQ(line.ReadSome(&byte, 1), 0);
  drain();
  EXPECT_GT(fills, 8);
  telnet::Codec decoder;
  EXPECT_EQ(decoder.Receive(wire), written);
  EXPECT_EQ(decoder.ComPort().otherCommands, 0);
  close(peer);
}

// Input on the stop descriptor ends an open that waits for the connection or for the
// port to be set up; linewright ends as interrupted.
TEST(HostileServer, AStopEndsAnOpenThatWaits) {
  for (const bool connected : {false, true}) {
    // A full queue of connections leaves a new one unanswered; otherwise the system
    // takes the connection and the server stays silent.
    Listener server(connected ? 8 : 0);
    std::vector<int> fillers;
    if (!connected) {
      for (int i = 0; i < 2; ++i) {
        fillers.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(server.Address().port);
        connect(fillers.back(), reinterpret_cast<sockaddr*>(&a), sizeof a);
      }
    }
    int stopPipe[2];
    ASSERT_EQ(pipe2(stopPipe, O_CLOEXEC), 0);
    ASSERT_EQ(write(stopPipe[1], "x", 1), 1);
    const OpenedLine opened = OpenLine(std::string_view(server.Url()), 115200, stopPipe[0]);
    EXPECT_EQ(opened.error, ECANCELED) << connected << ": " << opened.reason;
    EXPECT_EQ(opened.reason, "interrupted");

    linewright::Options options;
    options.device = server.Url();
    options.baud = 115200;
    options.commands = {u"AT"};
    std::ostringstream out, err;
    EXPECT_EQ(linewright::Run(options, -1, out, err, stopPipe[0]), linewright::kExitInterrupted)
        << connected << ": " << err.str();
    for (int fd : fillers) close(fd);
    close(stopPipe[0]);
    close(stopPipe[1]);
  }
}

TEST(OpenByName, BadInputGivesAClearReason) {
  const int refused = FreeLoopbackPort();
  const int refused6 = FreeLoopbackPort(true);
  const std::string r4 = std::to_string(refused);
  const std::string r6 = std::to_string(refused6);
  const struct {
    std::string name;
    uint32_t baud;
    int error;
    std::string reason;
  } cases[] = {
      {"rfc2217://:x", 9600, EINVAL, "malformed address 'rfc2217://:x': no host (expected rfc2217://HOST:PORT)"},
      {"tcp://modem", 9600, EINVAL, "malformed address 'tcp://modem': no port (expected tcp://HOST:PORT)"},
      {"rfc2217://modem:0", 9600, EINVAL,
       "malformed address 'rfc2217://modem:0': the port '0' is not a number from 1 to 65535"},
      {"rfc2217://modem:65536", 9600, EINVAL,
       "malformed address 'rfc2217://modem:65536': the port '65536' is not a number from 1 to 65535"},
      {"tcp://::1:4000", 9600, EINVAL,
       "malformed address 'tcp://::1:4000': an IPv6 address goes in brackets, e.g. tcp://[::1]:PORT"},
      {"tcp://[::1]4000", 9600, EINVAL, "malformed address 'tcp://[::1]4000': no port (expected tcp://HOST:PORT)"},
      {"tcp://mo dem:1", 9600, EINVAL, "malformed address 'tcp://mo dem:1': 'mo dem' is not a host name"},
      {"ssh://modem:22", 9600, EINVAL,
       "malformed address 'ssh://modem:22': unknown scheme 'ssh' (rfc2217:// or tcp://)"},
      {"rfc2217://orvane-test.invalid:4000", 9600, ENOENT, "unknown host 'orvane-test.invalid'"},
      {"rfc2217://127.0.0.1:" + r4, 9600, ECONNREFUSED, "connection refused by 127.0.0.1:" + r4},
      {"tcp://[::1]:" + r6, 9600, ECONNREFUSED, "connection refused by [::1]:" + r6},
      {"rfc2217://127.0.0.1:" + r4, 0, EINVAL, "a baud rate of 0 is not a rate"},
      {"/dev/orvane-no-such-device", 9600, ENOENT,
       "No such file or directory: there is no device /dev/orvane-no-such-device (is it plugged in?)."},
  };
  for (const auto& c : cases) {
    const OpenedLine opened = OpenLine(std::string_view(c.name), c.baud);
    EXPECT_EQ(opened.line, nullptr) << c.name;
    EXPECT_EQ(opened.error, c.error) << c.name;
    EXPECT_EQ(opened.reason, c.reason) << c.name;
  }
  EXPECT_FALSE(IsNetworkName("/dev/ttyUSB0"));
  EXPECT_FALSE(IsNetworkName("COM1:"));
}

TEST_F(Ser2netModem, LinewrightTakesAUrl) {
  linewright::Options options;
  options.device = server.Url();
  options.baud = 115200;
  options.framing.suffix = u"<0D>";
  options.commands = {u"AT", u"ATI"};
  std::ostringstream out, err;
  EXPECT_EQ(linewright::Run(options, -1, out, err), linewright::kExitOk) << err.str();
  EXPECT_EQ(out.str(),
            "AT<0D><0D><0A>OK<0D><0A>\n"
            "ATI<0D><0D><0A>Orvane Modem Simulator<0D><0A><0D><0A>OK<0D><0A>\n");

  options.device = "rfc2217://127.0.0.1:" + std::to_string(FreeLoopbackPort());
  EXPECT_EQ(linewright::Run(options, -1, out, err), linewright::kExitOpenFailed);
  EXPECT_NE(err.str().find("linewright: cannot open " + options.device + ": connection refused by"),
            std::string::npos)
      << err.str();
}

}  // namespace
}  // namespace orvane
