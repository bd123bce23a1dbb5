#include "engine/Sequence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/BinaryTextCodec.h"

namespace orvane {
namespace {

// Each kind of line: the step it gives (the last one of the file), its fields in one
// line of text.
std::string Shape(const Step& s) {
  const char* kinds[] = {"send", "raw", "expect", "wait", "capture", "pause"};
  std::string out = std::string(kinds[static_cast<int>(s.kind)]) + " #" + std::to_string(s.number) + " line " +
                    std::to_string(s.line);
  if (!s.command.empty()) out += " cmd[" + Utf16ToUtf8(s.command) + "]";
  if (!s.prompt.empty()) out += " prompt[" + Utf16ToUtf8(s.prompt) + "]";
  if (!s.expect.text.empty()) out += (s.expect.regex ? " re[" : " text[") + Utf16ToUtf8(s.expect.text) + "]";
  if (!s.variable.empty()) out += " var " + s.variable;
  if (s.ms != 0) out += " ms " + std::to_string(s.ms);
  if (s.timeoutMs >= 0) out += " timeout " + std::to_string(s.timeoutMs);
  if (s.tries != 1) out += " tries " + std::to_string(s.tries) + "/" + std::to_string(s.retryPauseMs);
  return out;
}

TEST(SequenceParser, EachKindOfLine) {
  const struct {
    const char* file;
    size_t steps;
    const char* last;
  } cases[] = {
      {"AT", 1, "send #1 line 1 cmd[AT]"},
      {"# comment\n\n \t\n  ATI <0D>", 1, "send #1 line 4 cmd[  ATI <0D>]"},
      {"AT\r\n  # @not a step", 1, "send #1 line 1 cmd[AT]"},
      {"@send #23 ${not a name}", 1, "send #1 line 1 cmd[#23 ${not a name}]"},
      {"@raw Hello<1A>", 1, "raw #1 line 1 cmd[Hello<1A>]"},
      {"@prompt \"> \" AT+CMGS=\"+15550100\"", 1, "send #1 line 1 cmd[AT+CMGS=\"+15550100\"] prompt[> ]"},
      {"@prompt >> AT+CMGS=1", 1, "send #1 line 1 cmd[AT+CMGS=1] prompt[>>]"},
      {"AT\n@expect  OK ", 2, "expect #2 line 2 text[OK]"},
      {"AT\n@expect \" OK \"", 2, "expect #2 line 2 text[ OK ]"},
      {"AT\n@expect /\\+CREG: \\d,[15]/", 2, "expect #2 line 2 re[\\+CREG: \\d,[15]]"},
      {"@wait 30s +CMTI:", 1, "wait #1 line 1 text[+CMTI:] ms 30000"},
      {"@wait 0.5 /RING|RDY/", 1, "wait #1 line 1 re[RING|RDY] ms 500"},
      {"AT\n@capture idx /\"SM\",(\\d+)/\nAT+CMGR=${idx}", 3, "send #3 line 3 cmd[AT+CMGR=${idx}]"},
      {"AT\n@capture idx /(\\d+)/\n@expect /${idx}/", 3, "expect #3 line 3 re[${idx}]"},
      {"@pause 50ms", 1, "pause #1 line 1 ms 50"},
      {"@timeout 60\n# slow\nAT+COPS=?", 1, "send #1 line 3 cmd[AT+COPS=?] timeout 60000"},
      {"@retry 30 2s\n@timeout 0.1\n@raw AT<0D>", 1, "raw #1 line 3 cmd[AT<0D>] timeout 100 tries 30/2000"},
      {"@retry 3\n@wait 1 RDY", 1, "wait #1 line 2 text[RDY] ms 1000 tries 3/0"},
  };
  for (const auto& c : cases) {
    std::vector<Step> steps;
    SequenceError error;
    ASSERT_TRUE(ParseSequence(c.file, &steps, &error)) << c.file << ": line " << error.line << ": " << error.message;
    ASSERT_EQ(steps.size(), c.steps) << c.file;
    EXPECT_EQ(Shape(steps.back()), c.last) << c.file;
  }
}

TEST(SequenceParser, MistakesNameTheirLine) {
  const struct {
    const char* file;
    size_t line;
    const char* message;
  } cases[] = {
      {"AT\n@bogus x", 2, "unknown step '@bogus'"},
      {"@expect OK", 1, "nothing to look at yet"},
      {"AT\n@expect", 2, "@expect needs a TEXT or /REGEX/"},
      {"AT\n\n@expect /(/", 3, "bad regular expression /(/"},
      {"AT${x}", 1, "${x} is used before an @capture sets it"},
      {"AT\n@capture 9x /(a)/", 2, "@capture needs a NAME"},
      {"AT\n@capture x OK", 2, "@capture takes a /REGEX/"},
      {"@prompt \"> AT", 1, "closing '\"' is missing"},
      {"@prompt \"> \"", 1, "@prompt needs a TEXT and a COMMAND"},
      {"@wait soon RING", 1, "invalid duration 'soon'"},
      {"@wait 2", 1, "@wait needs a TEXT or /REGEX/"},
      {"@pause", 1, "@pause needs a DURATION"},
      {"@retry 1\nAT", 1, "@retry needs TRIES"},
      {"@retry 3\n\n@pause 1", 3, "@retry on line 1 is for a command"},
      {"@timeout 1\n@wait 1 RDY", 2, "@timeout on line 1 is for a command"},
      {"@timeout 1\n@timeout 2\nAT", 2, "@timeout given twice"},
      {"AT\n@retry 2", 2, "@retry has no step after it"},
      {"@raw", 1, "@raw needs what to send"},
  };
  for (const auto& c : cases) {
    std::vector<Step> steps;
    SequenceError error;
    EXPECT_FALSE(ParseSequence(c.file, &steps, &error)) << c.file;
    EXPECT_EQ(error.line, c.line) << c.file;
    EXPECT_NE(error.message.find(c.message), std::string::npos) << c.file << ": " << error.message;
  }
}

TEST(SequenceParser, Durations) {
  const struct {
    const char* text;
    bool ok;
    uint32_t ms;
  } cases[] = {{"2", true, 2000},     {"0.05", true, 50},  {"50ms", true, 50}, {"2s", true, 2000},
               {"1.25s", true, 1250}, {"86400", true, 86400000},           {"86401", false, 0},
               {"1.5ms", false, 0},   {"0.0001", false, 0}, {"", false, 0},   {"s", false, 0},
               {"-1", false, 0},      {"1m", false, 0}};
  for (const auto& c : cases) {
    uint32_t ms = 0;
    EXPECT_EQ(ParseDuration(c.text, &ms), c.ok) << c.text;
    if (c.ok) EXPECT_EQ(ms, c.ms) << c.text;
  }
}

}  // namespace
}  // namespace orvane
