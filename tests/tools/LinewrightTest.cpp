#include "tools/linewright/Linewright.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/PortDiscovery.h"
#include "platform/Registry.h"
#include "tests/support/PtyPair.h"

extern char** environ;

namespace orvane::linewright {
namespace {

bool Parse(std::vector<const char*> args, Options* options, std::string* error) {
  args.insert(args.begin(), "linewright");
  return ParseArguments(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(LinewrightArguments, OptionsThenDeviceBaudAndCommands) {
  Options o;
  std::string error;
  ASSERT_TRUE(Parse({"--timeout", "500", "--token", "> ", "--token=<0D>OK", "--suffix=<0D>",
                     "/dev/ttyUSB0", "115200", "AT", "--not-an-option", "ATI"},
                    &o, &error))
      << error;
  EXPECT_EQ(o.framing.timeoutMs, 500u);
  EXPECT_EQ(o.framing.tokens, (std::vector<std::u16string>{u"> ", u"<0D>OK"}));
  EXPECT_EQ(o.framing.suffix, u"<0D>");
  EXPECT_EQ(o.device, "/dev/ttyUSB0");
  EXPECT_EQ(o.baud, 115200u);
  EXPECT_EQ(o.commands, (std::vector<std::u16string>{u"AT", u"--not-an-option", u"ATI"}));

  Options d;
  ASSERT_TRUE(Parse({"--", "-odd-name", "9600"}, &d, &error));
  EXPECT_EQ(d.device, "-odd-name");
  EXPECT_EQ(d.framing.timeoutMs, 3000u);
  EXPECT_TRUE(d.framing.tokens.empty());
  EXPECT_EQ(d.maxBytes, kDefaultMaxReplyBytes);
  EXPECT_TRUE(d.commands.empty());
  // Commands are UTF-8 on the command line.
  Options u;
  ASSERT_TRUE(Parse({"COM1:", "0", "caf\xC3\xA9"}, &u, &error));
  EXPECT_EQ(u.commands[0], u"caf\u00E9");
}

TEST(LinewrightArguments, UsageErrorsSayWhatIsWrong) {
  struct Case {
    std::vector<const char*> args;
    const char* message;
  } cases[] = {
      {{}, "missing DEVICE and BAUD"},
      {{"/dev/x"}, "missing BAUD"},
      {{"/dev/x", "fast"}, "invalid baud rate 'fast' (a whole number)"},
      {{"/dev/x", "4294967296"}, "invalid baud rate '4294967296' (a whole number)"},
      {{"--timeout", "-1", "/dev/x", "1"}, "invalid timeout '-1' (milliseconds, 0 to 4294967295)"},
      {{"--token"}, "option '--token' needs a value"},
      {{"-x", "/dev/x", "1"}, "unknown option '-x'"},
      {{"--max-bytes", "0", "/dev/x", "1"}, "invalid --max-bytes '0' (1 to 1099511627776)"},
      {{"--reconnect", "0", "/dev/x", "1"}, "invalid --reconnect '0' (seconds, 1 to 86400)"},
  };
  for (const auto& c : cases) {
    Options o;
    std::string error;
    EXPECT_FALSE(Parse(c.args, &o, &error));
    EXPECT_EQ(error, c.message);
  }
}

// Runs |argv| with |input| on standard input; collects standard output and the exit
// status.
struct Process {
  pid_t pid = -1;
  int in = -1;
  int out = -1;

  bool Start(const std::vector<std::string>& argv) {
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    in = toChild[1];
    out = fromChild[0];
    return rc == 0;
  }
  std::string ReadLine() {
    std::string line;
    char c;
    while (read(out, &c, 1) == 1 && c != '\n') line.push_back(c);
    return line;
  }
  std::string ReadAll() {
    std::string all;
    char buf[4096];
    ssize_t n;
    while ((n = read(out, buf, sizeof buf)) > 0) all.append(buf, static_cast<size_t>(n));
    return all;
  }
  void CloseInput() {
    if (in >= 0) close(in);
    in = -1;
  }
  int Wait() {
    CloseInput();
    int status = 0;
    waitpid(pid, &status, 0);
    if (out >= 0) close(out);
    out = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
};

struct Result {
  int code;
  std::string out;
};

Result RunLinewright(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), LINEWRIGHT_TOOL);
  Process p;
  EXPECT_TRUE(p.Start(args));
  if (!input.empty()) {
    [[maybe_unused]] ssize_t n = write(p.in, input.data(), input.size());
  }
  p.CloseInput();
  Result r;
  r.out = p.ReadAll();
  r.code = p.Wait();
  return r;
}

class LinewrightAgainstSimulator : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.Start({MODEMSIM_TOOL}));
    device = sim.ReadLine();
    ASSERT_EQ(device.rfind("/dev/", 0), 0u) << device;
  }
  void TearDown() override {
    // The simulator ends when its standard input does.
    EXPECT_EQ(sim.Wait(), 0);
  }
  Process sim;
  std::string device;
};

TEST_F(LinewrightAgainstSimulator, PrintsEachReplyOnItsOwnLine) {
  const Result r = RunLinewright({"--suffix", "<0D>", device, "115200", "AT", "ATI"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out,
            "AT<0D><0D><0A>OK<0D><0A>\n"
            "ATI<0D><0D><0A>Orvane Modem Simulator<0D><0A><0D><0A>OK<0D><0A>\n");
}

TEST_F(LinewrightAgainstSimulator, ReadsCommandsFromStandardInputWithTokensAndTimeout) {
  const Result r = RunLinewright({"--timeout", "100", "--token", "> ", "--token", "OK<0D><0A>",
                                  device, "9600"},
                                 "ATE0<0D>\r\nAT+SIMPROMPT<0D>\n\xC3\xA9<0D>\n");
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out,
            "ATE0<0D><0D><0A>OK<0D><0A>\n"
            "<0D><0A>>> \n"
            "<0D><0A>ERROR<0D><0A>\n");
}

TEST_F(LinewrightAgainstSimulator, DistinctExitCodes) {
  EXPECT_EQ(RunLinewright({}).code, kExitUsage);
  EXPECT_EQ(RunLinewright({"--help"}).code, kExitOk);
  EXPECT_EQ(RunLinewright({"/dev/orvane-missing", "9600", "AT"}).code, kExitOpenFailed);
  EXPECT_EQ(RunLinewright({device, "0", "AT"}).code, kExitOpenFailed);
  // A profile is looked up in OrvanePort's own hive before the device is opened.
  EXPECT_EQ(RunLinewright({"--profile", "orvane-no-such-profile", device, "9600", "AT"}).code, kExitUsage);
  // The device hangs up during the first reply: what arrived is printed, and the run
  // ends there with its own code.
  const Result r = RunLinewright({"--timeout", "60000", "--suffix", "<0D>", device, "9600",
                                  "AT+SIMHANGUP=50", "AT"});
  EXPECT_EQ(r.code, kExitHangup);
  EXPECT_EQ(r.out, "AT+SIMHANGUP=50<0D>\n");
}

// A device name that stays while the device behind it goes and comes back, as a by-id link
// does: the run waits for it and goes on with the next command. The test plays the devices
// (pseudo-terminals) and takes the link away before each one goes, so the run can never
// open a pty number that another program has been given meanwhile.
TEST(LinewrightReconnect, WaitsForTheSameDeviceNameAndGoesOn) {
  char folder[] = "/tmp/orvane-reconnect-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string link = std::string(folder) + "/modem";
  auto pointLinkAt = [&](const std::string& device) {
    const std::string fresh = link + ".new";
    return symlink(device.c_str(), fresh.c_str()) == 0 && rename(fresh.c_str(), link.c_str()) == 0;
  };
  for (const bool comesBack : {true, false}) {
    testing::PtyPair first;
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(pointLinkAt(first.path()));
    Process run;
    ASSERT_TRUE(run.Start({LINEWRIGHT_TOOL, "--reconnect", comesBack ? "60" : "1", "--timeout", "60000", link,
                           "9600", "ATA", "ATI"}));
    EXPECT_EQ(first.Receive(3), "ATA") << "the line is open";
    ASSERT_EQ(unlink(link.c_str()), 0);
    first.Unplug();
    EXPECT_EQ(run.ReadLine(), "") << "the reply cut by the hang-up: nothing";
    testing::PtyPair second;
    if (comesBack) {
      ASSERT_TRUE(second.ok());
      ASSERT_TRUE(pointLinkAt(second.path()));
      EXPECT_EQ(second.Receive(3), "ATI") << "the next command goes to the device come back";
      second.Send("\r\nOK\r\n");
    }
    EXPECT_EQ(run.ReadAll(), comesBack ? "<0D><0A>OK<0D><0A>\n" : "");
    EXPECT_EQ(run.Wait(), comesBack ? kExitOk : kExitHangup);
  }
  std::filesystem::remove_all(folder);
}

TEST_F(LinewrightAgainstSimulator, EndlessReplyIsCutAtTheLimitAndTheRunGoesOn) {
  const Result r = RunLinewright({"--max-bytes", "100", "--timeout", "300", "--suffix", "<0D>",
                                  device, "9600", "ATE0", "AT+SIMSTREAM"});
  EXPECT_EQ(r.code, kExitOk);
  EXPECT_EQ(r.out.substr(0, 31), "ATE0<0D><0D><0A>OK<0D><0A>\nSTRE");
  EXPECT_EQ(r.out.back(), '\n');
}

TEST(LinewrightSignals, InterruptPrintsWhatArrivedAndExitsWithItsOwnCode) {
  for (const int sig : {SIGINT, SIGTERM}) {
    Process sim;  // a fresh simulator each time: the last one is still streaming
    ASSERT_TRUE(sim.Start({MODEMSIM_TOOL}));
    const std::string device = sim.ReadLine();
    Process p;
    ASSERT_TRUE(p.Start({LINEWRIGHT_TOOL, "--suffix", "<0D>", "--max-bytes", "1000000000", device,
                         "9600", "AT+SIMSTREAM"}));
    std::string out(64, '\0');
    ASSERT_EQ(read(p.out, out.data(), out.size()), 64) << "the stream is printed as it arrives";
    kill(p.pid, sig);
    out += p.ReadAll();
    EXPECT_EQ(p.Wait(), kExitInterrupted) << sig;
    EXPECT_EQ(out.rfind("AT+SIMSTREAM<0D>STREAM 00000001", 0), 0u) << out.substr(0, 40);
    EXPECT_EQ(out.back(), '\n');
    EXPECT_EQ(sim.Wait(), 0);
  }
}

// The simulator's entry in the device table of the hive the tests run on (empty text:
// not listed).
std::u16string ListedAs(const std::string& device) {
  auto hive = reg::Hive::OpenFile(reg::Hive::DefaultHandheldPath());
  if (!hive) return u"(no hive)";
  PortListing ports[100];
  const int count = ListActivePorts(*hive, ports, 100);
  const std::u16string name(device.begin(), device.end());
  for (int i = 0; i < count; ++i)
    if (ports[i].deviceName == name) return ports[i].displayName;
  return {};
}

TEST(ModemSimulatorProgram, IsListedAsADeviceOnceItsPathIsPrintedAndGoneWhenItEnds) {
  Process sim;
  ASSERT_TRUE(sim.Start({MODEMSIM_TOOL}));
  const std::string device = sim.ReadLine();
  ASSERT_EQ(device.rfind("/dev/", 0), 0u) << device;
  // No waiting: the printed path is the sign that the simulator is ready to be found.
  const std::string shortName = device.substr(5);
  EXPECT_EQ(ListedAs(device),
            u"Simulated Modem (" + std::u16string(shortName.begin(), shortName.end()) + u")");
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_EQ(ListedAs(device), u"");
}

}  // namespace
}  // namespace orvane::linewright
