#include "tools/linewright/Report.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <sstream>

#include "tests/tools/FlatJson.h"

namespace orvane::linewright {
namespace {

TEST(LinewrightReport, LocalTimeHasMillisecondsAndTheOffset) {
  const char* saved = getenv("TZ");
  const std::string restore = saved ? saved : "";
  struct Case {
    const char* tz;
    int64_t ms;
    const char* text;
  } cases[] = {
      {"XST-5:30", 0, "1970-01-01T05:30:00.000+05:30"},
      {"XST-5:30", -1, "1970-01-01T05:29:59.999+05:30"},
      {"YST3", 1700000000042, "2023-11-14T19:13:20.042-03:00"},
      {"UTC0", 1700000000999, "2023-11-14T22:13:20.999+00:00"},
  };
  for (const auto& c : cases) {
    setenv("TZ", c.tz, 1);
    tzset();
    EXPECT_EQ(FormatLocalTimeIso(c.ms), c.text) << c.tz;
  }
  if (saved) setenv("TZ", restore.c_str(), 1); else unsetenv("TZ");
  tzset();
}

// Whatever the bytes, the string is valid JSON and reads back as the text, with each
// byte that is not well-formed UTF-8 as U+FFFD.
TEST(LinewrightReport, JsonStringsAreValidForAnyBytes) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  std::string binaryText;
  AppendBinaryTextUtf8(reinterpret_cast<const uint8_t*>(all.data()), all.size(), &binaryText);
  const std::string r = "\xEF\xBF\xBD";  // U+FFFD
  struct Case {
    std::string in;
    std::string readBack;
  } cases[] = {
      {binaryText, binaryText},
      {"a\"b\\c/\n\x01\x7F", "a\"b\\c/\n\x01\x7F"},
      {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},
      // A stray byte, a cut sequence, a surrogate, one above U+10FFFF, a cut end.
      {"\xFF\xC3(\xED\xA0\x80\xF4\x90\x80\x80\xE2\x82", r + r + "(" + r + r + r + r + r + r + r + r + r},
  };
  for (const auto& c : cases) {
    std::string json = "{\"v\":\"";
    AppendJsonString(c.in, &json);
    json += "\"}";
    const auto parsed = testing::ParseFlatJson(json);
    ASSERT_TRUE(parsed.has_value()) << json;
    EXPECT_EQ(parsed->at("v"), c.readBack);
  }
}

TEST(LinewrightReport, StreamSearchFindsATextSplitAcrossPieces) {
  const Bytes error = {'\r', '\n', 'E', 'R', 'R', 'O', 'R', '\r', '\n'};
  struct Case {
    std::vector<std::string> pieces;
    bool found;
  } cases[] = {
      {{"\r\nERROR\r\n"}, true},
      {{"\r", "\nER", "", "ROR\r", "\n"}, true},
      {{"x\r\nERR", "OR\r\n"}, true},
      {{"\r\nERROR\r"}, false},
      {{"\r\nERR", "x", "OR\r\n"}, false},
      {{"\r\nOK\r\n", "CME ERROR"}, false},
  };
  StreamSearch search({Bytes{}, error, Bytes{'+', 'C', 'M', 'E'}});
  for (const auto& c : cases) {
    search.Reset();
    std::string all;
    for (const auto& p : c.pieces) {
      search.Feed(reinterpret_cast<const uint8_t*>(p.data()), p.size());
      all += p;
    }
    EXPECT_EQ(search.Found(), c.found) << all;
  }
  StreamSearch none({});
  none.Feed(error.data(), error.size());
  EXPECT_FALSE(none.Found());
}

}  // namespace
}  // namespace orvane::linewright
