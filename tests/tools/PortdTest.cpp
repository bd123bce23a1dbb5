// The port service with real clients: linewright processes and read-only links, against
// the modem simulator.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/Journal.h"
#include "engine/service/PortProtocol.h"
#include "engine/service/PortService.h"
#include "engine/service/ServiceLink.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PortServiceThread.h"
#include "tests/support/SimulatorThread.h"
#include "tests/support/Unprivileged.h"
#include "tests/support/WaitFor.h"
#include "tools/orvane-portd/Portd.h"

namespace orvane::service {
namespace {

using testing::Process;
using Clock = std::chrono::steady_clock;

// Rows a link has seen, gathered on its own thread.
class Watcher : public SessionObserver {
 public:
  void OnRowBegun(const Row& row) override {
    std::lock_guard lock(mutex_);
    begun_.push_back(row);
    changed_.notify_all();
  }
  void OnRowEnded(const Row& row) override {
    std::lock_guard lock(mutex_);
    ended_.push_back(row);
    changed_.notify_all();
  }
  // Waits (at most 60 s, a hang guard) until |ready| holds for the rows ended and begun.
  template <typename Ready>
  bool WaitFor(Ready ready) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(60), [&] { return ready(ended_, begun_); });
  }
  std::vector<Row> Ended() {
    std::lock_guard lock(mutex_);
    return ended_;
  }
  std::vector<Row> Begun() {
    std::lock_guard lock(mutex_);
    return begun_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Row> begun_, ended_;
};

bool HasRow(const std::vector<Row>& rows, RowKind kind, const std::string& inReply, const std::string& command = {}) {
  for (const Row& row : rows) {
    const std::string reply(row.reply.begin(), row.reply.end());
    if (row.kind == kind && reply.find(inReply) != std::string::npos &&
        (command.empty() || Utf16ToUtf8(row.typed) == command))
      return true;
  }
  return false;
}

std::string RunAndRead(Process& p) {
  p.CloseInput();
  return p.ReadAll();
}

class PortService : public ::testing::Test {
 protected:
  static PortServiceOptions Options(const std::string& device) {
    PortServiceOptions options;
    options.name = device;
    options.baud = 115200;
    options.clientOutputBytes = 256 << 10;
    return options;
  }

  void SetUp() override {
    ASSERT_TRUE(sim.ok()) << sim.error();
    unsetenv("ORVANE_PORTD");
    ASSERT_TRUE(service.ok()) << service.error();
    int error = 0;
    std::string reason;
    LinkOptions watch;
    watch.readOnly = true;
    reader = ServiceLink::Attach(sim.path(), 115200, {}, watch, -1, &error, &reason);
    ASSERT_TRUE(reader) << reason;
    reader->SetSink(&watcher);
    pumping = std::thread([this] {
      while (!quit && !reader->Ended()) reader->Pump(50);
    });
  }

  void TearDown() override {
    quit = true;
    if (pumping.joinable()) pumping.join();
    EXPECT_EQ(service.Stop(), service::PortService::End::kStopped);
  }

  Process Linewright(std::vector<std::string> args) {
    args.insert(args.begin(), {LINEWRIGHT_TOOL, "--suffix", "<0D>"});
    Process p;
    EXPECT_TRUE(p.Start(args));
    return p;
  }

  // Standard error joins standard output.
  Process LinewrightAndErrors(const std::vector<std::string>& args) {
    std::vector<std::string> shell = {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", LINEWRIGHT_TOOL, "--suffix", "<0D>"};
    shell.insert(shell.end(), args.begin(), args.end());
    Process p;
    EXPECT_TRUE(p.Start(shell));
    return p;
  }

  testing::SimulatorThread sim;
  testing::PortServiceThread service{Options(sim.path())};
  std::unique_ptr<ServiceLink> reader;
  Watcher watcher;
  std::thread pumping;
  std::atomic<bool> quit = false;
};

TEST_F(PortService, ClientsGetTheirOwnRepliesInOrderAndLateOnesWhatCameBefore) {
  // A late result that comes after its client has gone reaches a client attaching later.
  Process first = Linewright({sim.path(), "115200", "AT+SIMLATE=50,\"+LATE: 1\""});
  EXPECT_EQ(RunAndRead(first), "AT+SIMLATE=50,\"+LATE: 1\"<0D><0D><0A>OK<0D><0A>\n");
  EXPECT_EQ(first.Wait(), 0);
  ASSERT_TRUE(watcher.WaitFor(
      [](const std::vector<Row>& ended, auto&) { return HasRow(ended, RowKind::kUnsolicited, "+LATE: 1"); }));
  Process late = Linewright({"--listen", "0.3", sim.path(), "115200"});
  EXPECT_NE(RunAndRead(late).find(" unsolicited: <0D><0A>+LATE: 1<0D><0A>\n"), std::string::npos);
  EXPECT_EQ(late.Wait(), 0);

  // Two clients at once, 500 commands each: the simulator echoes each command, so every
  // reply names the command it belongs to.
  const std::filesystem::path files[2] = {service.runtime() / "a.at", service.runtime() / "b.at"};
  const char* tags[2] = {"A", "B"};
  for (int c = 0; c < 2; ++c) {
    std::ofstream out(files[c]);
    for (int i = 0; i < 500; ++i) out << "AT+" << tags[c] << i << '\n';
  }
  Process clients[2] = {Linewright({"-f", files[0], sim.path(), "115200"}),
                        Linewright({"-f", files[1], sim.path(), "115200"})};
  std::string outputs[2];
  std::thread second([&] { outputs[1] = RunAndRead(clients[1]); });
  outputs[0] = RunAndRead(clients[0]);
  second.join();
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(clients[c].Wait(), 0);
    std::istringstream lines(outputs[c]);
    std::string line;
    // Each starts with the late result kept from before it attached.
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_NE(line.find(" unsolicited: <0D><0A>+LATE: 1<0D><0A>"), std::string::npos) << line;
    int i = 0;
    for (; std::getline(lines, line); ++i)
      ASSERT_EQ(line, "AT+" + std::string(tags[c]) + std::to_string(i) + "<0D><0D><0A>ERROR<0D><0A>") << i;
    EXPECT_EQ(i, 500) << tags[c];
  }

  // The read-only client saw every exchange, each with its own reply, and the late result.
  ASSERT_TRUE(watcher.WaitFor([](const std::vector<Row>& ended, auto&) { return ended.size() >= 1002; }));
  int exchanges = 0;
  for (const Row& row : watcher.Ended()) {
    if (row.Unsolicited()) continue;
    ++exchanges;
    const std::string reply(row.reply.begin(), row.reply.end());
    EXPECT_EQ(reply.rfind(Utf16ToUtf8(row.typed) + "\r", 0), 0u) << reply;
  }
  EXPECT_EQ(exchanges, 1001);
  EXPECT_TRUE(HasRow(watcher.Ended(), RowKind::kUnsolicited, "+LATE: 1"));
}

TEST_F(PortService, ClientsThatDieOrNeverReadLeaveTheOthersWorking) {
  // Killed while its reply is read: the reply is still read to its end.
  Process killed = Linewright({"--timeout", "300", sim.path(), "115200", "AT+SIMPROMPT"});
  ASSERT_TRUE(watcher.WaitFor([](auto&, const std::vector<Row>& begun) {
    return !begun.empty() && Utf16ToUtf8(begun.back().typed) == "AT+SIMPROMPT";
  }));
  ::kill(killed.pid, SIGKILL);
  killed.Wait();
  ASSERT_TRUE(watcher.WaitFor([](const std::vector<Row>& ended, auto&) {
    return HasRow(ended, RowKind::kExchange, "\r\n> ", "AT+SIMPROMPT");
  }));
  EXPECT_EQ(watcher.Ended().back().end, ReplyEnd::kSilence);

  // A client that never reads is dropped once its output is over the bound.
  const int silent = ConnectToService(SocketPathFor(sim.path()));
  ASSERT_GE(silent, 0);
  const std::string attach = "{\"op\":\"attach\",\"read_only\":true}\n";
  ASSERT_EQ(write(silent, attach.data(), attach.size()), static_cast<ssize_t>(attach.size()));
  for (int round = 0; round < 8; ++round) {
    Process big = Linewright({"--timeout", "200", sim.path(), "115200", "AT+SIMBYTES=200000"});
    EXPECT_GT(RunAndRead(big).size(), 200000u);
    EXPECT_EQ(big.Wait(), 0);
  }
  Process after = Linewright({sim.path(), "115200", "AT"});
  EXPECT_EQ(RunAndRead(after), "AT<0D><0D><0A>OK<0D><0A>\n");
  EXPECT_EQ(after.Wait(), 0);
  // The silent client's end of the connection has been closed by the service.
  ::fcntl(silent, F_SETFL, O_NONBLOCK);
  char sink[65536];
  ssize_t n = 0;
  while ((n = read(silent, sink, sizeof sink)) != 0)
    if (n < 0 && !testing::WaitReady(silent, POLLIN, 20000)) break;
  EXPECT_EQ(n, 0);
  close(silent);
}

// A connection spoken to line by line, as a person with socat would.
class RawClient {
 public:
  explicit RawClient(const std::string& device) : fd_(ConnectToService(SocketPathFor(device))) {}
  ~RawClient() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  void Say(const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] ssize_t n = ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
  }
  // The next line that holds |part|; empty when none comes within 20 s.
  std::string Await(const std::string& part) {
    const auto until = Clock::now() + std::chrono::seconds(20);
    for (;;) {
      for (size_t eol; (eol = in_.find('\n')) != std::string::npos;) {
        const std::string line = in_.substr(0, eol);
        in_.erase(0, eol + 1);
        if (line.find(part) != std::string::npos) return line;
      }
      pollfd p{fd_, POLLIN, 0};
      char buffer[4096];
      ssize_t n = 0;
      if (Clock::now() >= until || ::poll(&p, 1, 100) < 0 || (p.revents && (n = read(fd_, buffer, sizeof buffer)) <= 0))
        return {};
      in_.append(buffer, static_cast<size_t>(n));
    }
  }

 private:
  int fd_;
  std::string in_;
};

TEST_F(PortService, BadInputIsAnsweredAndTheConnectionGoesOn) {
  RawClient person(sim.path());
  ASSERT_TRUE(person.ok());
  const struct {
    const char* line;
    const char* answer;
  } cases[] = {
      {"not json", "\"message\":\"expected a JSON object at column 1\""},
      {"{\"op\":\"send\",\"id\":4,\"command\":\"AT\"}", "\"message\":\"attach first\""},
      {"{\"op\":\"attach\",\"read_only\":\"yes\"}", "read_only, stream and replay are true or false"},
      {"{\"op\":\"attach\"}", "\"event\":\"attached\""},
      {"{\"op\":\"dance\",\"id\":5}", "unknown op 'dance'"},
      {"{\"op\":\"send\",\"id\":6,\"command\":\"AT\",\"timeout_ms\":-1}", "timeout_ms is a whole number"},
      {"{\"op\":\"break\",\"id\":7,\"ms\":0}", "\"event\":\"break\",\"id\":7,\"error\":22"},
      {"{\"op\":\"send\",\"id\":8,\"command\":\"AT\",\"suffix\":\"<0D>\"}",
       "\"reply\":\"AT<0D><0D><0A>OK<0D><0A>\",\"id\":8"},
      {"{\"op\":\"status\"}", "\"clients\":2,\"read_only_clients\":1"},
      {"{\"op\":\"bye\"}", "\"event\":\"bye\""},
  };
  for (const auto& c : cases) {
    person.Say(c.line);
    EXPECT_NE(person.Await(c.answer), "") << c.line;
  }
  // As from a pipe through socat: the input ends before the reply comes, which still does.
  RawClient piped(sim.path());
  piped.Say("{\"op\":\"attach\"}\n{\"op\":\"send\",\"id\":9,\"command\":\"ATI\",\"suffix\":\"<0D>\"}");
  ::shutdown(piped.fd(), SHUT_WR);
  EXPECT_NE(piped.Await("Orvane Modem Simulator"), "");
}

TEST_F(PortService, AFloodingClientIsBoundedAndOthersGetTheirTurn) {
  // Commands sent as fast as the socket takes them, none of the replies read.
  RawClient flood(sim.path());
  ASSERT_TRUE(flood.ok());
  flood.Say("{\"op\":\"attach\"}");
  ::fcntl(flood.fd(), F_SETFL, O_NONBLOCK);
  const std::string command = "{\"op\":\"send\",\"command\":\"AT\",\"suffix\":\"<0D>\"}\n";
  size_t sent = 0;
  const auto until = Clock::now() + std::chrono::seconds(20);
  for (int stalls = 0; stalls < 20 && Clock::now() < until;) {
    if (::send(flood.fd(), command.data(), command.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(command.size())) {
      ++sent;
    } else {
      // A stall: the socket stays full while the service does not read.
      if (!testing::WaitReady(flood.fd(), POLLOUT, 20)) ++stalls;
    }
  }
  // The socket filled up: the service holds no more than 256 of the flood's commands.
  EXPECT_GT(sent, 256u);
  RawClient asker(sim.path());
  asker.Say("{\"op\":\"status\"}");
  JsonObject status;
  std::string error;
  int64_t queued = -1;
  ASSERT_TRUE(status.Parse(asker.Await("\"event\":\"status\""), &error)) << error;
  ASSERT_TRUE(status.Number("queued", &queued, -1));
  EXPECT_GE(queued, 0);
  EXPECT_LE(queued, 256);
  Process other = Linewright({sim.path(), "115200", "AT"});
  EXPECT_EQ(RunAndRead(other), "AT<0D><0D><0A>OK<0D><0A>\n");
  EXPECT_EQ(other.Wait(), 0);
}

TEST_F(PortService, AWatcherPrintsEveryRowUntilStoppedAndNeedsAService) {
  Process none = LinewrightAndErrors({"--watch", "/dev/null"});
  EXPECT_NE(RunAndRead(none).find("cannot watch /dev/null: no port service holds /dev/null"), std::string::npos);
  EXPECT_EQ(none.Wait(), 3);

  Process before = Linewright({sim.path(), "115200", "AT+SIMLATE=10,\"+EARLY\""});
  EXPECT_EQ(before.Wait(), 0);
  ASSERT_TRUE(watcher.WaitFor(
      [](const std::vector<Row>& ended, auto&) { return HasRow(ended, RowKind::kUnsolicited, "+EARLY"); }));
  Process watch = Linewright({"--watch", sim.path()});
  // What came before it attached first, then another client's exchange.
  EXPECT_EQ(watch.ReadLine(), "AT+SIMLATE=10,\"+EARLY\"<0D><0D><0A>OK<0D><0A>");
  EXPECT_NE(watch.ReadLine().find(" unsolicited: <0D><0A>+EARLY<0D><0A>"), std::string::npos);
  Process other = Linewright({sim.path(), "115200", "ATI"});
  EXPECT_EQ(other.Wait(), 0);
  EXPECT_EQ(watch.ReadLine().rfind("ATI<0D><0D><0A>Orvane Modem Simulator", 0), 0u);
  ::kill(watch.pid, SIGTERM);
  EXPECT_EQ(watch.Wait(), 6);
}

TEST_F(PortService, OtherLineSettingsThanTheServicesAreWarnedOf) {
  Process differ = LinewrightAndErrors({"--data-bits", "7", sim.path(), "9600", "AT"});
  const std::string said = RunAndRead(differ);
  EXPECT_NE(said.find("warning: the port service holds " + sim.path() + " at 115200 baud 8N1, not 9600 baud 7N1"),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("AT<0D><0D><0A>OK<0D><0A>\n"), std::string::npos);
  EXPECT_EQ(differ.Wait(), 0);
  Process same = LinewrightAndErrors({sim.path(), "115200", "AT"});
  EXPECT_EQ(RunAndRead(same), "AT<0D><0D><0A>OK<0D><0A>\n");
  EXPECT_EQ(same.Wait(), 0);
}

TEST(PortServiceReplay, AWaitIsNotMetByWhatCameBeforeTheClientAttached) {
  // A bare pty for a device: the test says what it sends, when.
  const int device = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(device, 0);
  ASSERT_EQ(grantpt(device) | unlockpt(device), 0);
  const std::string path = ptsname(device);
  unsetenv("ORVANE_PORTD");
  PortServiceOptions options;
  options.name = path;
  options.baud = 115200;
  testing::PortServiceThread service(options);
  ASSERT_TRUE(service.ok()) << service.error();
  Watcher watcher;
  int error = 0;
  std::string reason;
  LinkOptions watch;
  watch.readOnly = true;
  auto reader = ServiceLink::Attach(path, 115200, {}, watch, -1, &error, &reason);
  ASSERT_TRUE(reader) << reason;
  reader->SetSink(&watcher);
  // The row stays open (it does not end a line), so a client attaching now takes its
  // start from the service.
  const std::string notice = "\r\n+EARLY\r\nmore";
  ASSERT_EQ(write(device, notice.data(), notice.size()), static_cast<ssize_t>(notice.size()));
  const auto until = Clock::now() + std::chrono::seconds(20);
  while (watcher.Begun().empty() && Clock::now() < until) reader->Pump(50);

  const std::filesystem::path file = service.runtime() / "wait.seq";
  std::ofstream(file) << "@wait 0.3 +EARLY\n";
  Process waits;
  ASSERT_TRUE(waits.Start({LINEWRIGHT_TOOL, "--json", "-f", file, path, "115200"}));
  const std::string out = RunAndRead(waits);
  EXPECT_NE(out.find("{\"line\":1,\"step\":1,\"check\":\"@wait 0.3 +EARLY\",\"held\":false}"), std::string::npos)
      << out;
  EXPECT_NE(out.find("{\"unsolicited\":\"<0D><0A>+EARLY<0D><0A>more\""), std::string::npos) << out;  // still printed
  EXPECT_EQ(waits.Wait(), 8);
  reader.reset();
  close(device);
}

TEST_F(PortService, AnotherUserCannotConnect) {
  if (geteuid() != 0) GTEST_SKIP() << "running a client as another user needs root";
  const std::string path = SocketPathFor(sim.path());
  const int code = testing::AsUnprivilegedUser([&] {
    const int fd = ConnectToService(path);
    return fd < 0 && errno == EACCES ? 0 : 1;
  });
  EXPECT_EQ(code, 0);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// Sets environment variables for its lifetime.
class ScopedEnv {
 public:
  ScopedEnv(std::initializer_list<std::pair<const char*, std::string>> values) {
    for (const auto& [name, value] : values) {
      const char* old = std::getenv(name);
      saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
      setenv(name, value.c_str(), 1);
    }
  }
  ~ScopedEnv() {
    for (const auto& [name, old] : saved_) {
      if (old)
        setenv(name, old->c_str(), 1);
      else
        unsetenv(name);
    }
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(PortServiceOnDemand, TheFirstClientStartsItAndOthersGoThroughIt) {
  auto simulator = std::make_unique<testing::SimulatorThread>();
  testing::SimulatorThread& sim = *simulator;
  ASSERT_TRUE(sim.ok()) << sim.error();
  const std::string device = sim.path();
  const auto runtime = std::filesystem::temp_directory_path() / ("orvane-portd-auto-" + std::to_string(getpid()));
  std::filesystem::create_directories(runtime);
  {
    ScopedEnv env({{"XDG_RUNTIME_DIR", runtime.string()},
                   {"XDG_STATE_HOME", (runtime / "state").string()},
                   {"ORVANE_PORTD", "auto"},
                   {"ORVANE_PORTD_PROGRAM", PORTD_TOOL}});
    for (int i = 0; i < 2; ++i) {
      // The second finds the device held by the service the first started: it can only
      // have gone through that service.
      Process p;
      ASSERT_TRUE(p.Start({LINEWRIGHT_TOOL, "--suffix", "<0D>", sim.path(), "115200", "AT"}));
      EXPECT_EQ(RunAndRead(p), "AT<0D><0D><0A>OK<0D><0A>\n") << i;
      EXPECT_EQ(p.Wait(), 0);
      EXPECT_TRUE(std::filesystem::exists(SocketPathFor(sim.path())));
    }
    // The device hangs up: the client hears it as on the line, and the service ends
    // and removes its socket.
    Process last;
    ASSERT_TRUE(last.Start({LINEWRIGHT_TOOL, "--suffix", "<0D>", "--listen", "20", device, "115200", "AT+SIMHANGUP=50"}));
    RunAndRead(last);
    EXPECT_EQ(last.Wait(), 5);
  }
  const auto socket = runtime / "orvane-port-linewright" / (EscapePortName(device) + ".sock");
  EXPECT_TRUE(testing::WaitUntilGone(socket, 20000));
  // The service journaled the session of every client into the user's journal folder.
  std::vector<JournalRow> journaled;
  std::string error;
  for (const auto& file : std::filesystem::directory_iterator(runtime / "state" / "orvane-port-linewright" / "journal"))
    ASSERT_TRUE(ReadJournalRows(file.path().string(), &journaled, &error)) << error;
  int commands = 0;
  for (const JournalRow& r : journaled) commands += r.row.kind == RowKind::kExchange;
  EXPECT_EQ(commands, 3);
  std::filesystem::remove_all(runtime);
}

TEST(PortServiceLinger, EndsTheLingerTimeAfterTheLastClientLeft) {
  testing::SimulatorThread sim;
  ASSERT_TRUE(sim.ok()) << sim.error();
  PortServiceOptions options;
  options.name = sim.path();
  options.baud = 115200;
  options.lingerMs = 300;
  testing::PortServiceThread service(options);
  ASSERT_TRUE(service.ok()) << service.error();
  int error = 0;
  std::string reason;
  auto client = ServiceLink::Attach(sim.path(), 115200, {}, {}, -1, &error, &reason);
  ASSERT_TRUE(client) << reason;
  client->Close();
  EXPECT_TRUE(testing::WaitUntilGone(SocketPathFor(sim.path()), 20000));
  EXPECT_EQ(service.Stop(), service::PortService::End::kIdle);
}

TEST(PortNames, EscapedAsSystemdDoes) {
  const struct {
    const char* name;
    const char* escaped;
  } cases[] = {{"/dev/ttyUSB0", "dev-ttyUSB0"},
               {"/dev/serial/by-id/usb-FTDI_A1-if00", "dev-serial-by\\x2did-usb\\x2dFTDI_A1\\x2dif00"},
               {"rfc2217://lab:2001", "rfc2217:--lab:2001"},
               {"tcp://[::1]:3001", "tcp:--\\x5b::1\\x5d:3001"}};
  for (const auto& c : cases) EXPECT_EQ(EscapePortName(c.name), c.escaped);
}

TEST(PortdArguments, LineSettingsUnitNamesAndMistakes) {
  auto parse = [](std::vector<const char*> args, portd::Options* o, std::string* error) {
    args.insert(args.begin(), "orvane-portd");
    return portd::ParseArguments(static_cast<int>(args.size()), args.data(), o, error);
  };
  portd::Options o;
  std::string error;
  ASSERT_TRUE(parse({"--linger", "3", "--parity", "even", "--unit", "dev/ttyUSB0", "9600"}, &o, &error)) << error;
  EXPECT_EQ(o.service.name, "/dev/ttyUSB0");
  EXPECT_EQ(o.service.baud, 9600u);
  EXPECT_EQ(o.service.lingerMs, 3000);
  EXPECT_EQ(o.service.settings.parity, Parity::kEven);
  for (std::vector<const char*> bad : {std::vector<const char*>{"--timeout", "5", "/dev/x", "9600"},
                                       {"/dev/x"},
                                       {"/dev/x", "9600", "AT"},
                                       {"--parity", "sometimes", "/dev/x", "9600"},
                                       {"--linger", "soon", "/dev/x", "9600"}}) {
    portd::Options ignored;
    EXPECT_FALSE(parse(bad, &ignored, &error)) << bad[0];
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace orvane::service
