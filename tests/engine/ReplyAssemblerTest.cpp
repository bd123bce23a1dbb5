#include "engine/ReplyAssembler.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace orvane {
namespace {

// Feeds |bytes| at |now| in one piece.
void Feed(ReplyAssembler& a, const std::string& bytes, uint32_t now) {
  a.Add(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), now);
}

ReplyAssembler Make(std::optional<std::vector<std::u16string>> tokens, uint32_t now = 1000,
                    size_t max = kDefaultMaxReplyBytes) {
  return ReplyAssembler(tokens ? EndTokens::Decode(*tokens) : EndTokens::Decode({}), 50,
                        max, now);
}

// Each reply arrives at once; the line then falls idle. Either a token ends it at that
// first idle moment, or only the silence does, 51 ms later and not at 50.
TEST(ReplyAssembler, TokensAreSoughtWithinTheChunkWhileIdle) {
  const std::string x249(249, 'x');
  struct Case {
    const char* what;
    std::optional<std::vector<std::u16string>> tokens;
    std::string reply;
    bool endsOnToken;
  } cases[] = {
      {"default OK", std::nullopt, "ATI\r\r\nOrvane\r\n\r\nOK\r\n", true},
      {"default ERROR", std::nullopt, "\r\nERROR\r\n", true},
      {"no token yet", std::nullopt, "\r\nOK\r", false},
      {"a list replaces the defaults", std::vector<std::u16string>{u"READY", u"<0D><0A>>> "},
       "\r\nOK\r\n", false},
      {"a prompt token with a doubled bracket", std::vector<std::u16string>{u"READY", u"<0D><0A>>> "},
       "\r\n> ", true},
      {"an empty list means the defaults", std::vector<std::u16string>{}, "\r\nOK\r\n", true},
      {"a zero byte hides what follows it", std::nullopt, std::string("DATA\0\r\nOK\r\n", 11), false},
      {"empty tokens and tokens with a zero never match", std::vector<std::u16string>{u"", u"OK<00>"},
       "OK", false},
      {"a token ending on the chunk's last byte is never seen", std::nullopt, x249 + "\r\nOK\r\n", false},
      {"a token split across two chunks is never seen", std::nullopt, x249 + "xxx\r\nOK\r\n", false},
      {"a token wholly in the second chunk is seen", std::nullopt, x249 + "xxxxxx\r\nOK\r\n", true},
  };
  for (const Case& c : cases) {
    ReplyAssembler a = Make(c.tokens);
    Feed(a, c.reply, 1000);
    a.Idle(1000);
    EXPECT_EQ(a.Ended(), c.endsOnToken) << c.what;
    if (!c.endsOnToken) {
      a.Idle(1050);
      EXPECT_FALSE(a.Ended()) << c.what << ": a silence of exactly the timeout";
      EXPECT_EQ(a.MsUntilSilenceEnds(1050), 1u) << c.what;
      a.Idle(1051);
      EXPECT_EQ(a.HowEnded(), ReplyEnd::kSilence) << c.what;
    } else {
      EXPECT_EQ(a.HowEnded(), ReplyEnd::kToken) << c.what;
    }
    EXPECT_EQ(std::string(a.Reply().begin(), a.Reply().end()), c.reply) << c.what;
  }
}

TEST(ReplyAssembler, ChunksHold255BytesHoweverTheBytesArrive) {
  ReplyAssembler whole = Make(std::nullopt);
  Feed(whole, std::string(600, 'A'), 1000);
  EXPECT_EQ(whole.ChunkLength(), 90u);  // 255 + 255 + 90
  ReplyAssembler pieces = Make(std::nullopt);
  for (size_t n : {1, 254, 1, 100, 244}) Feed(pieces, std::string(n, 'A'), 1000);
  EXPECT_EQ(pieces.ChunkLength(), 90u);
}

TEST(ReplyAssembler, TokensWaitForTheLineToFallIdle) {
  ReplyAssembler a = Make(std::nullopt);
  Feed(a, std::string(600, 'A'), 1000);
  // Bytes that keep coming are never ended by a token: only an idle moment looks.
  Feed(a, "\r\nOK\r\n", 1001);
  Feed(a, "more", 1002);
  EXPECT_FALSE(a.Ended());
  a.Idle(1002);
  EXPECT_EQ(a.HowEnded(), ReplyEnd::kToken);
  EXPECT_EQ(a.Reply().size(), 610u);
  EXPECT_EQ(a.Room(), 0u);
}

TEST(ReplyAssembler, SilenceRestartsWithEveryByteAcrossTheClocksWrap) {
  ReplyAssembler a = Make(std::nullopt, 0xFFFFFFF0u);
  a.Idle(0xFFFFFFF0u + 50);
  EXPECT_FALSE(a.Ended());
  Feed(a, "Z", 0xFFFFFFF0u + 50);
  a.Idle(0xFFFFFFF0u + 100);
  EXPECT_FALSE(a.Ended());
  EXPECT_EQ(a.MsUntilSilenceEnds(0xFFFFFFF0u + 60), 41u);
  a.Idle(0xFFFFFFF0u + 101);
  EXPECT_EQ(a.HowEnded(), ReplyEnd::kSilence);
}

TEST(ReplyAssembler, LimitHangUpAndStopEndTheReplyKeepingWhatArrived) {
  ReplyAssembler limited = Make(std::nullopt, 0, 300);
  Feed(limited, std::string(1000, 'B'), 0);
  EXPECT_EQ(limited.HowEnded(), ReplyEnd::kLimit);
  EXPECT_EQ(limited.Reply().size(), 300u);

  for (ReplyEnd why : {ReplyEnd::kHangup, ReplyEnd::kStopped}) {
    ReplyAssembler a = Make(std::nullopt);
    Feed(a, "part", 1000);
    a.End(why);
    a.End(ReplyEnd::kLimit);  // the first end stands
    EXPECT_EQ(a.HowEnded(), why);
    EXPECT_EQ(std::string(a.Reply().begin(), a.Reply().end()), "part");
  }

  // Keeping only the current chunk: the count goes on, memory does not grow.
  ReplyAssembler streaming(EndTokens::Decode({}), 50, 1000, 0, false);
  Feed(streaming, std::string(600, 'C'), 0);
  EXPECT_EQ(streaming.Total(), 600u);
  EXPECT_EQ(streaming.Reply().size(), 90u);
}

}  // namespace
}  // namespace orvane
