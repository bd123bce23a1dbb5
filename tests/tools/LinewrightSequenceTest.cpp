// Sequence files run by linewright against the modem simulator.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/platform/TempHive.h"
#include "tests/support/SimulatorThread.h"
#include "tests/tools/FlatJson.h"
#include "tools/linewright/Linewright.h"

namespace orvane::linewright {
namespace {

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class SequenceAgainstSimulator : public ::testing::Test {
 protected:
  void SetUp() override { Fresh(); }
  // A simulator as it starts.
  void Fresh() {
    sim = std::make_unique<testing::SimulatorThread>();
    ASSERT_TRUE(sim->ok()) << sim->error();
  }

  struct Outcome {
    int code;
    std::string out, err;
  };
  // Runs linewright with |args| (DEVICE and BAUD stand for the simulator and 115200).
  Outcome Run(std::vector<std::string> args) {
    args.insert(args.begin(), "linewright");
    std::vector<const char*> argv;
    for (std::string& a : args) argv.push_back(a == "DEVICE" ? sim->path().c_str() : a == "BAUD" ? "115200" : a.c_str());
    Options options;
    std::string error;
    EXPECT_TRUE(ParseArguments(static_cast<int>(argv.size()), argv.data(), &options, &error)) << error;
    std::ostringstream out, err;
    const int code = linewright::Run(options, -1, out, err, -1);
    return {code, out.str(), err.str()};
  }
  Outcome RunFile(const std::string& text, std::vector<std::string> options = {}) {
    std::ofstream(dir.File("steps.seq")) << text;
    options.insert(options.end(), {"--suffix", "<0D>", "-f", dir.File("steps.seq"), "DEVICE", "BAUD"});
    return Run(options);
  }

  std::unique_ptr<testing::SimulatorThread> sim;
  testing::TempDir dir;
};

TEST_F(SequenceAgainstSimulator, StepsHoldOrFailWithTheirLine) {
  const struct {
    const char* name;
    const char* file;
    int code;
    const char* seen;  // in the output, |times| times
    size_t times;
    const char* err;   // the message, after "linewright: FILE:"
  } cases[] = {
      {"prompt, payload, ESC",
       "AT+CMGF=1\n@prompt \"> \" AT+CMGS=\"+15550199\"\n@raw Hi<1A>\n@expect /^\\+CMGS: \\d+$/\n"
       "@prompt \"> \" AT+CMGS=\"+1\"\n@raw <1B>\n@expect OK",
       kExitOk, "Hi<1A><0D><0A>+CMGS: 1<0D><0A><0D><0A>OK<0D><0A>\n", 1, ""},
      {"prompt missing", "ATE0\nAT+CMGF=0\n@prompt \"> \" AT+CMGS=\"+1\"", kExitExpectFailed, "ERROR", 1,
       "3: step 3 (@prompt \"> \" AT+CMGS=\"+1\") failed: expected the prompt \"> \"; got "
       "\"<0D><0A>ERROR<0D><0A>\"\n"},
      {"expectation fails", "ATE0\nATI\n# the revision is not on that line\n@expect /Simulator \\d/\nAT", kExitExpectFailed,
       "ATE0", 1,
       "4: step 3 (@expect /Simulator \\d/) failed: expected a line matching /Simulator \\d/; got "
       "\"<0D><0A>Orvane Modem Simulator<0D><0A><0D><0A>OK<0D><0A>\"\n"},
      {"capture into a command", "ATS7=42\nATS7?\n@capture v /^(\\d+)$/\nATS8=${v}\nATS8?\n@expect 042", kExitOk,
       "ATS8=042<0D>", 1, ""},
      {"wait, capture from it", "AT+SIMLATE=300,RING\n@wait 5s RING\n@capture r /(RI.G)/\n"
       "AT+SIMLATE=100,\"${r}2\"\n@wait 5 /^RING2$/\n@expect /^RING2$/", kExitOk,
       "unsolicited: <0D><0A>RING2<0D><0A>", 1, ""},
      {"wait times out", "AT\n@wait 0.2 RING", kExitExpectFailed, "AT<0D>", 1,
       "2: step 2 (@wait 0.2 RING) failed: expected unsolicited data holding \"RING\" within 200 ms; nothing came\n"},
      {"third try holds", "AT+SIMREG=2\n@retry 5 0.1\nAT+CREG?\n@expect /,[15]$/", kExitOk, "AT+CREG?<0D>", 3, ""},
      {"tries run out", "AT+SIMREG=5\n@retry 2 0\nAT+CREG?\n@expect /,[15]$/", kExitExpectFailed, "AT+CREG?<0D>", 2,
       "4: step 3 (@expect /,[15]$/) failed: expected a line matching /,[15]$/; got "
       "\"AT+CREG?<0D><0D><0A>+CREG: 0,2<0D><0A><0D><0A>OK<0D><0A>\"\n"},
      {"a step's time-out", "@timeout 0.1\nAT+SIMSILENT\n@expect OK", kExitExpectFailed, "AT+SIMSILENT<0D>\n", 1,
       "3: step 2 (@expect OK) failed: expected \"OK\"; got \"AT+SIMSILENT<0D>\"\n"},
      {"a mistake is found before anything is sent", "AT\n@expect OK\n@bogus", kExitUsage, "AT", 0,
       "3: unknown step '@bogus' (steps: @send @raw @prompt @expect @wait @capture @pause @timeout @retry; a "
       "command that starts with '@' is written <40>...)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    const Outcome r = RunFile(c.file);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_EQ(Count(r.out, c.seen), c.times) << r.out;
    EXPECT_EQ(r.err, *c.err ? "linewright: " + dir.File("steps.seq") + ":" + c.err : "");
  }
}

TEST_F(SequenceAgainstSimulator, JsonRecordsCarryLinesAndChecks) {
  const Outcome r = RunFile("ATE0\n@expect OK\n\n@pause 0\nATI\n@expect Simulator\n@expect ERROR", {"--json"});
  EXPECT_EQ(r.code, kExitExpectFailed);
  std::vector<std::map<std::string, std::string>> records;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    const auto record = testing::ParseFlatJson(line);
    ASSERT_TRUE(record.has_value()) << line;
    records.push_back(*record);
  }
  const struct {
    const char *line, *step, *check, *held;
  } expected[] = {{"1", "1", nullptr, nullptr},
                  {"2", "2", "@expect OK", "true"},
                  {"5", "4", nullptr, nullptr},
                  {"6", "5", "@expect Simulator", "true"},
                  {"7", "6", "@expect ERROR", "false"}};
  ASSERT_EQ(records.size(), std::size(expected)) << r.out;
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i]["line"], expected[i].line) << i;
    EXPECT_EQ(records[i]["step"], expected[i].step) << i;
    if (expected[i].check) {
      EXPECT_EQ(records[i]["check"], expected[i].check);
      EXPECT_EQ(records[i]["held"], expected[i].held);
    } else {
      EXPECT_EQ(records[i].count("reply"), 1u) << i;
    }
  }
}

// Each example runs as its first "# run:" line says, with echo on as a modem starts.
TEST_F(SequenceAgainstSimulator, Examples) {
  const char* source = std::getenv("ORVANE_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  const struct {
    const char* file;
    const char* before;  // a command that shapes the simulator first
    const char* seen;
    size_t times;
  } examples[] = {
      {"examples/sms-roundtrip.seq", "AT",
       "<0D><0A>+CMGR: \"REC UNREAD\",\"+15550100\",,\"26/12/08,02:00:00+00\"<0D><0A><0D><0A>Hello from "
       "linewright<0D><0A>",
       1},
      {"examples/wait-registered.seq", "AT+SIMREG=1", "AT+CREG?<0D>", 2},
  };
  for (const auto& e : examples) {
    SCOPED_TRACE(e.file);
    std::ifstream in(std::string(source) + "/" + e.file);
    std::string first;
    std::getline(in, first);
    ASSERT_EQ(first.rfind("# run: linewright ", 0), 0u) << first;
    std::vector<std::string> args;
    std::istringstream words(first.substr(18));
    for (std::string word; words >> word;) {
      if (word.size() >= 2 && word.front() == '\'' && word.back() == '\'') word = word.substr(1, word.size() - 2);
      if (word.rfind("examples/", 0) == 0) word = std::string(source) + "/" + word;
      args.push_back(word);
    }
    ASSERT_EQ(args.back(), "BAUD");
    EXPECT_EQ(Run({"--suffix", "<0D>", "DEVICE", "BAUD", e.before}).code, kExitOk);
    const Outcome r = Run(args);
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(Count(r.out, e.seen), e.times) << r.out;
  }
}

}  // namespace
}  // namespace orvane::linewright
