// The binary editor's rules without a window: typing, Backspace, taps, arrows, scroll
// range and position, and a long randomized run against a plain reference of the bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "entry/model/BinaryEditModel.h"

using orvane::BinaryEditModel;
using Key = BinaryEditModel::Key;
using Req = BinaryEditModel::ScrollRequest;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Seq(int n) {
  Bytes b(n);
  for (int i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i);
  return b;
}

void Type(BinaryEditModel& m, const std::u16string& text) {
  for (char16_t c : text) m.Char(c);
}

// Tap coordinates of a cell.
int HexX(int column) { return 40 + 20 * column + 3; }
int CharX(int column) { return 130 + 12 * column + 3; }
int RowY(int row) { return 16 * row + 5; }

}  // namespace

TEST(BinaryEditModel, EmptyControlStartsAtTheFirstHexCell) {
  BinaryEditModel m(8);
  EXPECT_EQ(m.Length(), 0);
  EXPECT_EQ(m.CaretRow(), 0);
  EXPECT_EQ(m.CaretColumn(), 0);
  EXPECT_EQ(m.CaretArea(), BinaryEditModel::Area::Hex);
  EXPECT_EQ(m.ScrollMax(), 0);
  EXPECT_EQ(m.CaretX(), 40);
  EXPECT_EQ(m.CaretY(), 0);
}

TEST(BinaryEditModel, HexDigitsBuildBytesDigitByDigit) {
  BinaryEditModel m(8);
  m.Char(u'4');
  EXPECT_EQ(m.Data(), Bytes{0x40});
  EXPECT_TRUE(m.LowDigitPending());
  EXPECT_EQ(m.CaretX(), 48);  // between the two digits
  m.Char(u'1');
  EXPECT_EQ(m.Data(), Bytes{0x41});
  EXPECT_FALSE(m.LowDigitPending());
  EXPECT_EQ(m.CaretColumn(), 1);
  EXPECT_EQ(m.CaretPosition(), 1);
  EXPECT_EQ(BinaryEditModel::DisplayChar(m.Data()[0]), u'A');

  BinaryEditModel lower(8);
  Type(lower, u"ab");
  EXPECT_EQ(lower.Data(), Bytes{0xAB});
  EXPECT_TRUE(lower.Char(u'g'));  // repaints, changes nothing
  EXPECT_EQ(lower.Data(), Bytes{0xAB});
  EXPECT_EQ(lower.CaretPosition(), 1);

  BinaryEditModel three(8);
  Type(three, u"123");
  EXPECT_EQ(three.Data(), (Bytes{0x12, 0x30}));
  EXPECT_TRUE(three.LowDigitPending());
  EXPECT_EQ(three.CaretPosition(), 1);
  EXPECT_EQ(three.CaretX(), 40 + 20 + 8);
}

TEST(BinaryEditModel, TypingInsertsBeforeTheCaretByte) {
  BinaryEditModel m(8);
  m.SetData(Bytes{0x41, 0x42, 0x43});
  m.Tap(HexX(1), RowY(0));
  Type(m, u"0D");
  EXPECT_EQ(m.Data(), (Bytes{0x41, 0x0D, 0x42, 0x43}));
  EXPECT_EQ(m.CaretPosition(), 2);  // on the byte that was under the caret
  m.Tap(CharX(3), RowY(0));
  EXPECT_EQ(m.CaretArea(), BinaryEditModel::Area::Char);
  m.Char(u' ');
  EXPECT_EQ(m.Data(), (Bytes{0x41, 0x0D, 0x42, 0x20, 0x43}));
  EXPECT_EQ(m.CaretPosition(), 4);
}

TEST(BinaryEditModel, CharacterAreaTakesDeviceBytesAndIgnoresControlKeys) {
  BinaryEditModel m(8);
  m.Tap(CharX(0), RowY(0));
  EXPECT_FALSE(m.Char(u'\r'));
  EXPECT_FALSE(m.Char(u'\n'));
  EXPECT_FALSE(m.Char(u'\t'));
  EXPECT_FALSE(m.Char(u'\x1b'));
  EXPECT_EQ(m.Length(), 0);
  m.Char(u' ');
  m.Char(u'\u20AC');  // euro sign: 0x80 in the device's code page
  m.Char(u'\u00E9');
  m.Char(u'\u4E00');  // no byte for it: ignored
  EXPECT_EQ(m.Data(), (Bytes{0x20, 0x80, 0xE9}));
  EXPECT_EQ(m.CaretPosition(), 3);
  // In the hex area the same keys do nothing either.
  m.Tap(HexX(0), RowY(0));
  EXPECT_FALSE(m.Char(u'\r'));
  EXPECT_EQ(m.Length(), 3);
}

TEST(BinaryEditModel, BackspaceRemovesTheByteBeforeTheCaret) {
  BinaryEditModel m(8);
  m.SetData(Bytes{0x11, 0x22});
  EXPECT_TRUE(m.Char(u'\b'));  // at position 0: nothing
  EXPECT_EQ(m.Length(), 2);
  m.Tap(HexX(3), RowY(3));  // end
  m.Char(u'4');
  EXPECT_EQ(m.Data(), (Bytes{0x11, 0x22, 0x40}));
  m.Char(u'\b');  // removes 0x22, not the half-typed byte
  EXPECT_EQ(m.Data(), (Bytes{0x11, 0x40}));
  EXPECT_FALSE(m.LowDigitPending());
  EXPECT_EQ(m.CaretPosition(), 1);
  m.Char(u'\b');
  m.Char(u'\b');
  EXPECT_EQ(m.Data(), Bytes{0x40});
  EXPECT_EQ(m.CaretPosition(), 0);
}

TEST(BinaryEditModel, BackspaceThatShrinksTheViewKeepsTheCaretOnItsByte) {
  BinaryEditModel m(8);
  m.SetData(Seq(33));  // 9 rows, maximum 48
  EXPECT_EQ(m.ScrollMax(), 48);
  m.Scroll(Req::PageDown);
  EXPECT_EQ(m.TopRow(), 2);
  m.Tap(HexX(3), RowY(7));  // empty row: caret to the end, data row 8 column 1
  EXPECT_EQ(m.CaretPosition(), 33);
  EXPECT_EQ(m.CaretRow(), 6);
  m.Char(u'\b');
  EXPECT_EQ(m.Length(), 32);
  EXPECT_EQ(m.ScrollMax(), 32);
  EXPECT_EQ(m.TopRow(), 1);
  EXPECT_EQ(m.CaretPosition(), 32);
  EXPECT_EQ(m.CaretRow(), 7);
  EXPECT_EQ(m.Data(), Seq(32));
}

TEST(BinaryEditModel, ScrollMaximumLetsTheEmptyEndRowComeIntoView) {
  BinaryEditModel m(8);
  m.SetData(Seq(28));
  EXPECT_EQ(m.ScrollMax(), 0);
  EXPECT_FALSE(m.Scroll(Req::LineDown));
  EXPECT_EQ(m.TopRow(), 0);

  m.SetData(Seq(32));
  EXPECT_EQ(m.ScrollMax(), 32);
  EXPECT_TRUE(m.Scroll(Req::LineDown));
  EXPECT_EQ(m.TopRow(), 1);
  m.Scroll(Req::LineDown);  // the bar clamps to 32 - 16 + 1
  EXPECT_EQ(m.ScrollPos(), 17);
  EXPECT_EQ(m.TopRow(), 1);

  m.SetData(Seq(33));
  EXPECT_EQ(m.ScrollMax(), 48);
  m.Scroll(Req::PageDown);
  EXPECT_EQ(m.ScrollPos(), 33);
  EXPECT_EQ(m.TopRow(), 2);
  m.Scroll(Req::ThumbTrack, 31);
  EXPECT_EQ(m.ScrollPos(), 16);
  EXPECT_FALSE(m.Scroll(Req::Other));
  m.Scroll(Req::PageUp);
  EXPECT_EQ(m.ScrollPos(), 0);
  // New data resets the view.
  m.Scroll(Req::LineDown);
  m.SetData(Seq(33));
  EXPECT_EQ(m.ScrollPos(), 0);
}

TEST(BinaryEditModel, TapsChooseAreaColumnAndStopAtTheEnd) {
  BinaryEditModel m(8);
  m.SetData(Seq(6));
  struct Case { int x, y; BinaryEditModel::Area area; int row, col; };
  const Case cases[] = {
      {5, RowY(0), BinaryEditModel::Area::Hex, 0, 0},
      {HexX(2), RowY(0), BinaryEditModel::Area::Hex, 0, 2},
      {119, RowY(0), BinaryEditModel::Area::Hex, 0, 3},
      {125, RowY(1), BinaryEditModel::Area::Char, 1, 0},
      {CharX(1), RowY(1), BinaryEditModel::Area::Char, 1, 1},
      {200, RowY(0), BinaryEditModel::Area::Char, 0, 3},
      {200, RowY(1), BinaryEditModel::Area::Char, 1, 2},   // right of the last byte
      {HexX(0), RowY(5), BinaryEditModel::Area::Hex, 1, 2}, // an empty row
  };
  for (const auto& c : cases) {
    m.Tap(c.x, c.y);
    EXPECT_EQ(m.CaretArea(), c.area) << c.x << "," << c.y;
    EXPECT_EQ(m.CaretRow(), c.row) << c.x << "," << c.y;
    EXPECT_EQ(m.CaretColumn(), c.col) << c.x << "," << c.y;
  }
  // With a length that is a multiple of four the end is column 0 of the next row.
  m.SetData(Seq(8));
  m.Tap(HexX(3), RowY(6));
  EXPECT_EQ(m.CaretRow(), 2);
  EXPECT_EQ(m.CaretColumn(), 0);
  // A tap in the partial row under the last whole row lands on the last whole row.
  m.SetData(Seq(64));
  m.Tap(HexX(1), 8 * 16 + 3);
  EXPECT_EQ(m.CaretRow(), 7);
  EXPECT_EQ(m.CaretPosition(), 29);
  // A tap clears a pending second digit.
  m.Char(u'7');
  EXPECT_TRUE(m.LowDigitPending());
  m.Tap(HexX(0), RowY(0));
  EXPECT_FALSE(m.LowDigitPending());
}

// A wide control's rows of sixteen: taps, arrows and the end follow the row's length.
TEST(BinaryEditModel, RowsOfSixteenPlaceTheCaretByTheirOwnLength) {
  BinaryEditModel m(4, 16);
  m.SetData(Seq(40));  // rows of 16, 16 and 8
  EXPECT_EQ(m.RowsNeeded(), 3);
  EXPECT_EQ(m.CharLeft(), 40 + 16 * 20 + 10);
  m.Tap(40 + 20 * 15 + 3, RowY(0));
  EXPECT_EQ(m.CaretArea(), BinaryEditModel::Area::Hex);
  EXPECT_EQ(m.CaretPosition(), 15);
  m.KeyDown(Key::Right);  // wraps after the sixteenth byte
  EXPECT_EQ(m.CaretRow(), 1);
  EXPECT_EQ(m.CaretPosition(), 16);
  m.KeyDown(Key::Left);
  EXPECT_EQ(m.CaretPosition(), 15);
  m.Tap(m.CharLeft() + 12 * 20, RowY(2));  // right of the last byte: the end
  EXPECT_EQ(m.CaretArea(), BinaryEditModel::Area::Char);
  EXPECT_EQ(m.CaretPosition(), 40);
  EXPECT_EQ(m.CaretColumn(), 8);
  m.Char(u'x');
  EXPECT_EQ(m.Length(), 41);
  EXPECT_EQ(m.Data().back(), 'x');
}

TEST(BinaryEditModel, ArrowKeysStopAtTheEdgesAndScrollAtTheViewBorders) {
  BinaryEditModel m(4);
  m.SetData(Seq(30));  // 8 rows, 4 visible, maximum 96
  EXPECT_FALSE(m.Scroll(Req::LineUp));
  m.KeyDown(Key::Left);
  m.KeyDown(Key::Up);
  EXPECT_EQ(m.CaretPosition(), 0);
  EXPECT_EQ(m.TopRow(), 0);
  m.KeyDown(Key::Right);
  m.KeyDown(Key::Right);
  m.KeyDown(Key::Right);
  m.KeyDown(Key::Right);  // wraps to the next row
  EXPECT_EQ(m.CaretRow(), 1);
  EXPECT_EQ(m.CaretColumn(), 0);
  m.KeyDown(Key::Left);  // and back
  EXPECT_EQ(m.CaretRow(), 0);
  EXPECT_EQ(m.CaretColumn(), 3);
  for (int i = 0; i < 3; ++i) m.KeyDown(Key::Down);
  EXPECT_EQ(m.CaretRow(), 3);
  m.KeyDown(Key::Down);  // bottom row: the view scrolls, the caret stays in its cell
  EXPECT_EQ(m.TopRow(), 1);
  EXPECT_EQ(m.CaretRow(), 3);
  EXPECT_EQ(m.CaretPosition(), 19);
  for (int i = 0; i < 10; ++i) m.KeyDown(Key::Down);
  EXPECT_EQ(m.CaretPosition(), 30);  // onto the end of the short last row
  m.KeyDown(Key::Right);
  m.KeyDown(Key::Down);
  EXPECT_EQ(m.CaretPosition(), 30);
  for (int i = 0; i < 20; ++i) m.KeyDown(Key::Up);
  EXPECT_EQ(m.TopRow(), 0);
  EXPECT_EQ(m.CaretRow(), 0);
  // Left at the top row of a scrolled view scrolls up to the previous row's last byte.
  m.Scroll(Req::LineDown);
  m.Tap(HexX(0), RowY(0));
  EXPECT_EQ(m.CaretPosition(), 4);
  m.KeyDown(Key::Left);
  EXPECT_EQ(m.TopRow(), 0);
  EXPECT_EQ(m.CaretPosition(), 3);
  // Right at the bottom-right cell scrolls down.
  m.Tap(HexX(3), RowY(3));
  m.KeyDown(Key::Right);
  EXPECT_EQ(m.TopRow(), 1);
  EXPECT_EQ(m.CaretPosition(), 16);
  // An arrow clears a pending digit; another key keeps it.
  m.Char(u'5');
  m.KeyDown(Key::Other);
  EXPECT_TRUE(m.LowDigitPending());
  m.KeyDown(Key::Right);
  EXPECT_FALSE(m.LowDigitPending());
}

TEST(BinaryEditModel, TypingAfterAScrollPastTheDataActsAtTheEnd) {
  BinaryEditModel m(8);
  m.SetData(Seq(32));
  m.Tap(CharX(3), RowY(7));  // byte 31
  m.Scroll(Req::LineDown);   // the cell now lies after the end
  EXPECT_GT(m.CaretPosition(), m.Length());
  m.Char(u'A');
  EXPECT_EQ(m.Length(), 33);
  EXPECT_EQ(m.Data()[32], 0x41);
  EXPECT_EQ(m.CaretPosition(), 33);

  // A half-typed byte scrolled away: the next digit starts a new byte at the end.
  BinaryEditModel h(8);
  h.SetData(Seq(31));
  h.Tap(HexX(3), RowY(7));  // end, data row 7 column 3
  h.Char(u'4');
  EXPECT_EQ(h.Length(), 32);
  h.Scroll(Req::LineDown);
  EXPECT_GE(h.CaretPosition(), h.Length());
  h.Char(u'1');
  EXPECT_EQ(h.Length(), 33);
  EXPECT_EQ(h.Data()[31], 0x40);
  EXPECT_EQ(h.Data()[32], 0x10);
  // Backspace there removes the last byte.
  h.Scroll(Req::LineDown);
  h.Char(u'\b');
  EXPECT_EQ(h.Length(), 32);
}

TEST(BinaryEditModel, CharacterColumnAndOffsetLabels) {
  for (uint8_t b : {0x09, 0x00, 0x7F, 0x85, 0x9F, 0x1F, 0x80})
    EXPECT_EQ(BinaryEditModel::DisplayChar(b), u'.') << int(b);
  EXPECT_EQ(BinaryEditModel::DisplayChar(0x3C), u'<');
  EXPECT_EQ(BinaryEditModel::DisplayChar(0x3E), u'>');
  EXPECT_EQ(BinaryEditModel::DisplayChar(0x20), u' ');
  EXPECT_EQ(BinaryEditModel::DisplayChar(0xE9), u'\u00E9');
  EXPECT_EQ(BinaryEditModel::DisplayChar(0xA0), u'\u00A0');
  EXPECT_EQ(BinaryEditModel::OffsetLabel(0), "0000");
  EXPECT_EQ(BinaryEditModel::OffsetLabel(4), "0004");
  EXPECT_EQ(BinaryEditModel::OffsetLabel(0xFFFC), "FFFC");
  EXPECT_EQ(BinaryEditModel::OffsetLabel(0x10000), "1000");
  EXPECT_EQ(BinaryEditModel::OffsetLabel(0x12344), "1234");
}

// Long random runs of taps, keys, characters and scroll requests. After every step the
// caret stays on the data and in view, the scroll bar holds a valid position, and the
// bytes equal those of a plain reference that applies each edit at the caret.
TEST(BinaryEditModel, RandomSequencesKeepCaretInRangeAndBytesLikeTheReference) {
  const std::u16string chars =
      u"0123456789abcdefABCDEFgz <>\b\b\b\t\r\n\x1b\u00E9\u20AC\u4E00\x01";
  for (unsigned seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int visible = 1 + static_cast<int>(seed % 9);
    BinaryEditModel m(visible);
    Bytes ref = Seq(pick(0, 40));
    m.SetData(ref);
    bool offData = false;  // a scroll may leave the caret's cell after the end
    for (int step = 0; step < 3000; ++step) {
      const int what = pick(0, 9);
      std::string trace = "seed " + std::to_string(seed) + " step " + std::to_string(step);
      if (what == 0) {
        m.Tap(pick(-5, 230), pick(-5, visible * 16 + 14));
        offData = false;
        trace += " tap";
      } else if (what <= 2) {
        const int before = m.CaretPosition();
        const bool inData = before <= m.Length();
        const auto key = static_cast<Key>(pick(0, 4));
        m.KeyDown(key);
        trace += " key " + std::to_string(static_cast<int>(key));
        if (inData) {
          if (key == Key::Left) {
            EXPECT_EQ(m.CaretPosition(), before > 0 ? before - 1 : 0) << trace;
          } else if (key == Key::Right) {
            EXPECT_EQ(m.CaretPosition(), std::min(before + 1, m.Length())) << trace;
          } else if (key == Key::Up && visible > 1) {
            EXPECT_EQ(m.CaretPosition(), before >= 4 ? before - 4 : before) << trace;
          } else if (key == Key::Down) {
            EXPECT_GE(m.CaretPosition(), before) << trace;
          }
        }
        offData = false;
      } else if (what <= 7) {
        const char16_t c = chars[pick(0, static_cast<int>(chars.size()) - 1)];
        trace += " char " + std::to_string(static_cast<int>(c));
        // Where the character acts: the caret, put back onto the data first.
        const int at = std::min(m.CaretPosition(), m.Length());
        const bool pending = m.LowDigitPending() && at < m.Length();
        const bool hex = m.CaretArea() == BinaryEditModel::Area::Hex;
        int digit = -1;
        if (c >= u'0' && c <= u'9') digit = c - u'0';
        else if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
        int expectAt = -2;  // -2: caret not checked
        if (c == u'\b') {
          if (at > 0) {
            ref.erase(ref.begin() + at - 1);
            expectAt = at - 1;
          }
        } else if (c == u'\t' || c == u'\r' || c == u'\n' || c == u'\x1b') {
          // ignored everywhere
        } else if (hex) {
          if (digit >= 0 && !pending) {
            ref.insert(ref.begin() + at, uint8_t(digit * 16));
            expectAt = at;
          } else if (digit >= 0) {
            ref[at] |= uint8_t(digit);
            expectAt = at + 1;
          }
        } else {
          if (c != u'\u4E00') {  // every other test character has a device byte
            ref.insert(ref.begin() + at, c == u'\u20AC' ? uint8_t(0x80) : uint8_t(c));
            expectAt = at + 1;
          }
        }
        m.Char(c);
        if (expectAt >= 0) {
          EXPECT_EQ(m.CaretPosition(), expectAt) << trace;
        }
        if (expectAt >= 0 || c == u'\b') offData = false;
      } else {
        const auto req = static_cast<Req>(pick(0, 6));
        m.Scroll(req, pick(-20, 200));
        offData = true;
        trace += " scroll";
      }
      ASSERT_EQ(m.Data(), ref) << trace;
      ASSERT_EQ(m.ScrollMax(), BinaryEditModel::ScrollMaxFor(m.Length(), visible)) << trace;
      ASSERT_GE(m.ScrollPos(), 0) << trace;
      ASSERT_LE(m.ScrollPos(), m.ScrollPosLimit()) << trace;
      ASSERT_GE(m.CaretColumn(), 0) << trace;
      ASSERT_LE(m.CaretColumn(), 3) << trace;
      ASSERT_GE(m.CaretRow(), 0) << trace;
      ASSERT_LT(m.CaretRow(), visible) << trace;
      ASSERT_GE(m.CaretPosition(), 0) << trace;
      // A scroll moves the view under the caret's cell, which may then lie after the
      // end until the next tap, key or acting character puts it back.
      if (!offData) {
        ASSERT_LE(m.CaretPosition(), m.Length()) << trace;
      }
      if (!offData && m.LowDigitPending()) {
        ASSERT_LT(m.CaretPosition(), m.Length()) << trace;  // a byte to take the digit
      }
    }
  }
}
