#include "tools/linewright/Linewright.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Journal.h"
#include "engine/PortDiscovery.h"
#include "tests/platform/TempHive.h"
#include "tests/tools/FlatJson.h"
#include "platform/Registry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PtyPair.h"
#include "tools/linewright/LineReader.h"

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
      {{"--listen", "1.2345", "/dev/x", "1"}, "invalid --listen '1.2345' (seconds, e.g. 10 or 0.5)"},
      {{"--listen", ".5", "/dev/x", "1"}, "invalid --listen '.5' (seconds, e.g. 10 or 0.5)"},
      {{"--fail-on=", "/dev/x", "1"}, "option '--fail-on' needs a text"},
      {{"-f", "cmds", "/dev/x", "1", "AT"}, "give the commands either on the command line or with -f, not both"},
      {{"--replay", "j", "/dev/x", "1"}, "--replay takes no DEVICE, BAUD, commands, -f, --journal or --watch"},
      {{"--reconnect", "0", "/dev/x", "1"}, "invalid --reconnect '0' (seconds, 1 to 86400)"},
  };
  for (const auto& c : cases) {
    Options o;
    std::string error;
    EXPECT_FALSE(Parse(c.args, &o, &error));
    EXPECT_EQ(error, c.message);
  }
}

TEST(LinewrightArguments, LineSettingsAndTheirBadValues) {
  struct Case {
    std::vector<const char*> options;
    LineSettings expected;
    const char* error;  // null: parsed
  } cases[] = {
      {{}, {}, nullptr},
      {{"--data-bits", "7", "--parity", "even", "--stop-bits=2"}, {7, Parity::kEven, 2}, nullptr},
      {{"--data-bits=5", "--parity=space", "--flow", "rtscts", "--dtr", "off"},
       {5, Parity::kSpace, 1, FlowControl::kRtsCts, false, true}, nullptr},
      {{"--parity", "mark", "--flow=xonxoff", "--rts=off", "--dtr=on"},
       {8, Parity::kMark, 1, FlowControl::kXonXoff, true, false}, nullptr},
      {{"--data-bits", "9"}, {}, "invalid --data-bits '9' (5, 6, 7 or 8)"},
      {{"--data-bits", "4"}, {}, "invalid --data-bits '4' (5, 6, 7 or 8)"},
      {{"--stop-bits", "1.5"}, {}, "invalid --stop-bits '1.5' (1 or 2)"},
      {{"--parity", "EVEN"}, {}, "invalid --parity 'EVEN' (none, even, odd, mark or space)"},
      {{"--flow", "hardware"}, {}, "invalid --flow 'hardware' (none, rtscts or xonxoff)"},
      {{"--dtr", "1"}, {}, "invalid --dtr '1' (on or off)"},
      {{"--rts="}, {}, "invalid --rts '' (on or off)"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> args = c.options;
    args.insert(args.end(), {"/dev/x", "9600"});
    Options o;
    std::string error;
    EXPECT_EQ(Parse(args, &o, &error), c.error == nullptr) << error;
    if (c.error) EXPECT_EQ(error, c.error);
    else EXPECT_EQ(o.line, c.expected) << DescribeLineSettings(c.expected);
  }
}

TEST(LinewrightOpen, AFailureSaysWhy) {
  Options o;
  std::string error;
  ASSERT_TRUE(Parse({"/dev/orvane-missing", "9600", "AT"}, &o, &error));
  std::ostringstream out, err;
  EXPECT_EQ(linewright::Run(o, -1, out, err, -1), kExitOpenFailed);
  EXPECT_EQ(err.str(), "linewright: cannot open /dev/orvane-missing: No such file or directory: "
                       "there is no device /dev/orvane-missing (is it plugged in?).\n");
}

// Lines arrive in pieces through a pipe; each piece is read, then every whole line taken.
TEST(LinewrightLineReader, TakesLinesAsTheyArriveAndRefusesOneTooLong) {
  struct Case {
    std::vector<std::string> pieces;
    const char* lines;  // every line taken, then how the input ended
  } cases[] = {
      {{"a\r\nb", "c\n", "\n", "last\r"}, "a|bc||last|end"},
      {{"12345678\r", "\n", "#x\n"}, "12345678|#x|end"},
      {{"ok\n1234", "56789\nz\n"}, "ok|too long: line 2"},
      {{"1234567", "89"}, "too long: line 1"},
      {{"123456789\r\n"}, "too long: line 1"},
  };
  for (const auto& c : cases) {
    int p[2];
    ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
    LineReader reader(p[0], 8);
    std::string taken;
    auto takeAll = [&] {
      std::string line;
      for (;;) {
        switch (reader.Take(&line)) {
          case LineReader::Status::kLine: taken += line + "|"; continue;
          case LineReader::Status::kEnd: taken += "end"; return;
          case LineReader::Status::kTooLong:
            taken += "too long: line " + std::to_string(reader.LineNumber());
            return;
          default: return;
        }
      }
    };
    for (const std::string& piece : c.pieces) {
      ASSERT_EQ(write(p[1], piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
      reader.Fill();
      takeAll();
    }
    close(p[1]);
    if (reader.Fill() == LineReader::Status::kEnd) takeAll();
    close(p[0]);
    EXPECT_EQ(taken, c.lines);
  }
}

// An endless command file without line ends is refused at its first line, before the
// device is opened, without holding more of it than a line.
TEST(LinewrightCommandFile, EndlessLineIsRefusedWithBoundedMemory) {
  Options o;
  o.commandFile = "/dev/zero";
  o.device = "/dev/orvane-missing";
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  std::ostringstream out, err;
  EXPECT_EQ(linewright::Run(o, -1, out, err, -1), kExitUsage);
  getrusage(RUSAGE_SELF, &after);
  EXPECT_EQ(err.str(), "linewright: line 1 of /dev/zero is longer than 1 MiB (1048576 bytes)\n");
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kB";
}

using testing::Process;

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
  EXPECT_EQ(RunLinewright({"-f", "/nonexistent/orvane-commands", device, "9600"}).code, kExitUsage);
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

// "2026-12-07T16:04:05.012+01:00"
bool IsIsoTime(const std::string& text) {
  const std::string shape = "dddd-dd-ddTdd:dd:dd.ddd+dd:dd";
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    const bool ok = shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(text[i])) != 0
                    : shape[i] == '+' ? text[i] == '+' || text[i] == '-'
                                      : text[i] == shape[i];
    if (!ok) return false;
  }
  return true;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "every line ends with a line feed";
  return lines;
}

TEST_F(LinewrightAgainstSimulator, CommandFileJsonAndListen) {
  testing::TempDir dir;
  const std::string file = dir.File("commands.at");
  std::ofstream(file) << "ATE0\r\n# a late result after the OK\n\n  \t\nAT+SIMLATE=300,RING";
  const Result r = RunLinewright({"--json", "--listen", "1.5", "--timeout", "100", "--suffix", "<0D>",
                                  "-f", file, device, "9600"});
  EXPECT_EQ(r.code, kExitOk);
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  struct Expected {
    const char* command;
    const char* reply;
  } exchanges[] = {{"ATE0<0D>", "ATE0<0D><0D><0A>OK<0D><0A>"},
                   {"AT+SIMLATE=300,RING<0D>", "<0D><0A>OK<0D><0A>"}};
  for (size_t i = 0; i < 2; ++i) {
    const auto object = testing::ParseFlatJson(lines[i]);
    ASSERT_TRUE(object.has_value()) << lines[i];
    EXPECT_EQ(object->size(), 8u) << lines[i];
    EXPECT_EQ(object->at("line"), i == 0 ? "1" : "5") << "the command's line in the file";
    EXPECT_EQ(object->at("command"), exchanges[i].command);
    EXPECT_EQ(object->at("reply"), exchanges[i].reply);
    EXPECT_EQ(object->at("end"), "token");
    EXPECT_TRUE(IsIsoTime(object->at("sent_at"))) << lines[i];
    EXPECT_NE(object->at("first_byte_ms"), "null");
    EXPECT_GE(std::stol(object->at("elapsed_ms")), std::stol(object->at("first_byte_ms")));
  }
  const auto late = testing::ParseFlatJson(lines[2]);
  ASSERT_TRUE(late.has_value()) << lines[2];
  EXPECT_EQ(late->size(), 3u);
  EXPECT_EQ(late->at("unsolicited"), "<0D><0A>RING<0D><0A>");
  EXPECT_EQ(late->at("notes"), "incoming call");
  EXPECT_TRUE(IsIsoTime(late->at("at"))) << lines[2];
}

// The simulator's stored messages in PDU mode and its error command, with their notes;
// a reply without notes has no "notes" member.
TEST_F(LinewrightAgainstSimulator, JsonCarriesTheNotes) {
  const Result r = RunLinewright({"--json", "--suffix", "<0D>", device, "9600", "ATE0", "AT+CMGF=0",
                                  "AT+CMGR=2", "AT+CMGR=4", "AT+SIMCME=10", "AT+CMGR=9"});
  EXPECT_EQ(r.code, kExitOk);
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 6u) << r.out;
  const char* sms = "SMSC +27381000015\nSMS from +27838890001\nsent 99/03/29 15:16:59 +02:00\n";
  const std::string expected[] = {
      "", "",
      sms + std::string("text (UCS2): \u041F\u0440\u0438\u0432\u0435\u0442 \U0001F600"),
      sms + std::string("part 2 of 2 (reference 42)\ntext (GSM 7-bit): part two."),
      "+CME ERROR 10: SIM not inserted", "+CMS ERROR 321: invalid memory index"};
  for (size_t i = 0; i < lines.size(); ++i) {
    const auto object = testing::ParseFlatJson(lines[i]);
    ASSERT_TRUE(object.has_value()) << lines[i];
    EXPECT_EQ(object->count("notes") ? object->at("notes") : "", expected[i]) << lines[i];
  }
}

TEST_F(LinewrightAgainstSimulator, FailOnStopsAfterTheFirstReplyHoldingTheText) {
  struct Case {
    std::vector<std::string> options;
    int code;
    size_t lines;
  } cases[] = {
      {{}, kExitOk, 3},
      {{"--fail-on", "<0D><0A>ERROR<0D><0A>"}, kExitFailOn, 2},
      {{"--fail-on", "NO CARRIER", "--fail-on=ERROR"}, kExitFailOn, 2},
      {{"--fail-on", "NO CARRIER"}, kExitOk, 3},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.options;
    for (const char* a : {"--suffix", "<0D>", "ATE0", "AT+NOPE", "AT"}) args.push_back(a);
    args.insert(args.end() - 3, {device, "9600"});
    const Result r = RunLinewright(args);
    EXPECT_EQ(r.code, c.code) << r.out;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), c.lines) << r.out;
    EXPECT_EQ(lines[1], "<0D><0A>ERROR<0D><0A>");
  }
}

// Commands from standard input: what the device says while linewright waits for the
// next one is printed as its own row with its time, and the next reply is its own.
TEST_F(LinewrightAgainstSimulator, UnsolicitedDataBetweenCommandsIsARowOfItsOwn) {
  Process p;
  ASSERT_TRUE(p.Start({LINEWRIGHT_TOOL, "--timestamps", "--timeout", "200", "--suffix", "<0D>",
                       device, "9600"}));
  p.Write("ATE0\nAT+SIMLATE=300,RING\n");
  const std::string expected[] = {" ATE0<0D><0D><0A>OK<0D><0A>", " <0D><0A>OK<0D><0A>",
                                  " unsolicited: <0D><0A>RING<0D><0A>", " <0D><0A>OK<0D><0A>"};
  for (size_t i = 0; i < 4; ++i) {
    if (i == 3) p.Write("AT\n");
    const std::string line = p.ReadLine();
    EXPECT_TRUE(IsIsoTime(line.substr(0, 29))) << line;
    EXPECT_EQ(line.substr(std::min<size_t>(29, line.size())), expected[i]);
  }
  p.CloseInput();
  EXPECT_EQ(p.ReadAll(), "");
  EXPECT_EQ(p.Wait(), kExitOk);
}

TEST_F(LinewrightAgainstSimulator, ListeningEndsWhenTheDeviceHangsUp) {
  const Result r = RunLinewright({"--listen", "60", "--timeout", "20", "--suffix", "<0D>", device,
                                  "9600", "AT+SIMHANGUP=500"});
  EXPECT_EQ(r.code, kExitHangup);
  EXPECT_EQ(r.out, "AT+SIMHANGUP=500<0D>\n");
}

// A journal of a run, in a file of the test's own.
std::string TestJournal(const char* name) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("linewright-" + std::to_string(getpid()) + "-" + name + ".journal")).string();
  std::filesystem::remove(path);
  return path;
}

TEST_F(LinewrightAgainstSimulator, ReplayOfTheJournalPrintsWhatTheLiveRunPrinted) {
  const std::string journal = TestJournal("replay");
  const Result live = RunLinewright({"--json", "--journal", journal, "--timeout", "150", "--suffix", "<0D>",
                                     "--listen", "0.6", device, "9600", "ATI", "AT+SIMBYTES=300",
                                     "AT+SIMLATE=100,RING"});
  ASSERT_EQ(live.code, kExitOk);
  ASSERT_NE(live.out.find("{\"unsolicited\":\"<0D><0A>RING<0D><0A>\""), std::string::npos) << live.out;
  const Result replay = RunLinewright({"--json", "--replay", journal});
  EXPECT_EQ(replay.code, kExitOk);
  EXPECT_EQ(replay.out, live.out);
  std::filesystem::remove(journal);
}

TEST_F(LinewrightAgainstSimulator, AKilledRunLeavesAJournalHoldingWhatItPrinted) {
  const std::string journal = TestJournal("killed");
  Process p;
  ASSERT_TRUE(p.Start({LINEWRIGHT_TOOL, "--journal", journal, "--suffix", "<0D>", "--max-bytes", "1000000000",
                       device, "9600", "AT+SIMSTREAM"}));
  std::string printed;
  char buffer[65536];
  pollfd ready{p.out, POLLIN, 0};
  while (printed.size() < 200000 && poll(&ready, 1, 20000) == 1) {
    const ssize_t n = read(p.out, buffer, sizeof buffer);
    if (n <= 0) break;
    printed.append(buffer, static_cast<size_t>(n));
  }
  kill(p.pid, SIGKILL);
  printed += p.ReadAll();
  EXPECT_EQ(p.Wait(), 128 + SIGKILL);
  ASSERT_GE(printed.size(), 200000u);
  std::vector<JournalRow> rows;
  std::string error;
  ASSERT_TRUE(ReadJournalRows(journal, &rows, &error)) << error;
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].row.end, ReplyEnd::kNone);  // cut short
  std::string kept;
  AppendBinaryTextUtf8(rows[0].row.reply.data(), rows[0].row.reply.size(), &kept);
  ASSERT_GE(kept.size(), printed.size());
  EXPECT_EQ(kept.substr(0, printed.size()), printed);
  std::filesystem::remove(journal);
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
  const std::u16string name(device.begin(), device.end());
  for (const PortListing& port : ListActivePorts(*hive, 100))
    if (port.deviceName == name) return port.displayName;
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
