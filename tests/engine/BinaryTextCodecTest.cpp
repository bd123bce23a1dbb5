#include "engine/BinaryTextCodec.h"

#include <gtest/gtest.h>

#include <random>

namespace orvane {
namespace {

Bytes B(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

TEST(BinaryTextCodec, EmptyInBothDirections) {
  EXPECT_TRUE(DecodeBinaryText(u"").empty());
  EXPECT_TRUE(EncodeBinaryText(nullptr, 0).empty());
}

TEST(BinaryTextCodec, EncodesEveryByteClassAsDocumented) {
  EXPECT_EQ(EncodeBinaryText(B({0x80})), u"<80>");
  EXPECT_EQ(EncodeBinaryText(B({0x9F})), u"<9F>");
  EXPECT_EQ(EncodeBinaryText(B({0x7F})), u"<7F>");
  EXPECT_EQ(EncodeBinaryText(B({0x00})), u"<00>");
  EXPECT_EQ(EncodeBinaryText(B({0x0D})), u"<0D>");
  EXPECT_EQ(EncodeBinaryText(B({0x09})), u"<09>");
  EXPECT_EQ(EncodeBinaryText(B({0xA0})), u"\u00A0");
  EXPECT_EQ(EncodeBinaryText(B({0xFF})), u"\u00FF");
  EXPECT_EQ(EncodeBinaryText(B({0xE9})), u"\u00E9");
  EXPECT_EQ(EncodeBinaryText(B({0x20})), u" ");
  EXPECT_EQ(EncodeBinaryText(B({0xAB})), u"\u00AB");
  EXPECT_EQ(EncodeBinaryText(B({0x8A})), u"<8A>");
  EXPECT_EQ(EncodeBinaryText(B({0x3C, 0x34, 0x31, 0x3E})), u"<<41>>");
  EXPECT_EQ(EncodeBinaryText(B({'\r', '\n', 'O', 'K', '\r', '\n'})), u"<0D><0A>OK<0D><0A>");
}

TEST(BinaryTextCodec, DecodesEscapesInEitherCase) {
  EXPECT_EQ(DecodeBinaryText(u"<0A>"), B({0x0A}));
  EXPECT_EQ(DecodeBinaryText(u"<0a>"), B({0x0A}));
  EXPECT_EQ(DecodeBinaryText(u"<fF><00>"), B({0xFF, 0x00}));
  EXPECT_EQ(DecodeBinaryText(u"<<41>>"), B({0x3C, 0x34, 0x31, 0x3E}));
}

TEST(BinaryTextCodec, TakesMalformedEscapesLiterally) {
  EXPECT_EQ(DecodeBinaryText(u"<"), B({'<'}));
  EXPECT_EQ(DecodeBinaryText(u">"), B({'>'}));
  EXPECT_EQ(DecodeBinaryText(u"a<b"), B({'a', '<', 'b'}));
  EXPECT_EQ(DecodeBinaryText(u"a>b"), B({'a', '>', 'b'}));
  EXPECT_EQ(DecodeBinaryText(u"x<0"), B({'x', '<', '0'}));
  EXPECT_EQ(DecodeBinaryText(u"x<0A"), B({'x', '<', '0', 'A'}));
  EXPECT_EQ(DecodeBinaryText(u"<G1>"), B({'<', 'G', '1', '>'}));
  EXPECT_EQ(DecodeBinaryText(u"<1G>"), B({'<', '1', 'G', '>'}));
  EXPECT_EQ(DecodeBinaryText(u"<123>"), B({'<', '1', '2', '3', '>'}));
  EXPECT_EQ(DecodeBinaryText(u">>>"), B({0x3E, 0x3E}));
  EXPECT_EQ(DecodeBinaryText(u"<<<"), B({0x3C, 0x3C}));
  // A doubled bracket wins over nothing, but an escape is tried first.
  EXPECT_EQ(DecodeBinaryText(u"<<0D>"), B({'<', '0', 'D', '>'}));
  EXPECT_EQ(DecodeBinaryText(u"<0D>>"), B({0x0D, '>'}));
}

TEST(BinaryTextCodec, HexHelpers) {
  for (int c = -128; c < 128; ++c) {
    const bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    EXPECT_EQ(IsHexDigit(static_cast<int8_t>(c)), digit) << c;
  }
  EXPECT_EQ(HexPairValue('0', 'A'), 0x0A);
  EXPECT_EQ(HexPairValue('a', 'b'), 0xAB);
  EXPECT_EQ(HexPairValue('F', '0'), 0xF0);
}

TEST(BinaryTextCodec, DeviceCodePageIsWindows1252) {
  // Same byte for Latin-1 outside the C1 block.
  EXPECT_EQ(DecodeBinaryText(u"\u00E9\u00A0\u00FF"), B({0xE9, 0xA0, 0xFF}));
  // The characters Windows-1252 puts at 0x80..0x9F.
  EXPECT_EQ(DecodeBinaryText(u"\u20AC\u201C\u201D\u2014\u0178"), B({0x80, 0x93, 0x94, 0x97, 0x9F}));
  // Its five undefined positions keep their own code points.
  EXPECT_EQ(DecodeBinaryText(u"\u0081\u008D\u008F\u0090\u009D"), B({0x81, 0x8D, 0x8F, 0x90, 0x9D}));
  // Anything else becomes '?', one byte per character (a surrogate pair is two).
  EXPECT_EQ(DecodeBinaryText(u"\u0080\u4E2D"), B({'?', '?'}));
  EXPECT_EQ(DecodeBinaryText(u"\U0001F600"), B({'?', '?'}));
  // The scan runs over the converted bytes, so a converted character can never
  // become part of an escape by accident.
  EXPECT_EQ(DecodeBinaryText(u"<\u4E2D0>"), B({'<', '?', '0', '>'}));

  int defined = 0;
  for (int b = 0; b < 256; ++b) {
    const char16_t c = DeviceByteToChar(static_cast<uint8_t>(b));
    uint8_t back = 0;
    ASSERT_TRUE(TryCharToDeviceByte(c, &back)) << b;
    EXPECT_EQ(back, b);
    if (b >= 0x80 && b <= 0x9F && c != b) ++defined;
  }
  EXPECT_EQ(defined, 27);
}

TEST(BinaryTextCodec, RoundTripsEverySingleByte) {
  for (int b = 0; b < 256; ++b) {
    const Bytes one = B({b});
    const std::u16string text = EncodeBinaryText(one);
    EXPECT_EQ(DecodeBinaryText(text), one) << b;
    for (char16_t c : text) {
      // The encoder only ever writes characters 0x20..0x7E and 0xA0..0xFF.
      EXPECT_TRUE((c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF)) << b;
    }
  }
}

TEST(BinaryTextCodec, RoundTripsRandomSequences) {
  std::mt19937 rng(20240601);
  // Bias towards the bytes that interact: brackets, hex digits, controls.
  const uint8_t tricky[] = {'<', '>', '0', '9', 'A', 'F', 'a', 'f', 0x00, 0x0D, 0x80, 0xFF};
  for (int round = 0; round < 3000; ++round) {
    Bytes bytes(rng() % 64);
    for (auto& b : bytes) {
      b = (rng() % 2) ? tricky[rng() % sizeof tricky] : static_cast<uint8_t>(rng());
    }
    ASSERT_EQ(DecodeBinaryText(EncodeBinaryText(bytes)), bytes) << "round " << round;
    std::string utf8 = "x";  // appended to, not replaced
    AppendBinaryTextUtf8(bytes.data(), bytes.size(), &utf8);
    ASSERT_EQ(utf8, "x" + Utf16ToUtf8(EncodeBinaryText(bytes))) << "round " << round;
  }
}

TEST(BinaryTextCodec, Utf8Conversions) {
  EXPECT_EQ(Utf8ToUtf16("AT\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"AT\u00E9\u20AC\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u"AT\u00E9\u20AC\U0001F600"), "AT\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("a\xE2\x82"), u"a\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD");        // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");    // encoded surrogate
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace orvane
