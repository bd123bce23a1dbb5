// The state and rules of the binary editor control, without any window: a byte buffer
// shown four bytes to a row (or more, for a wide control; fixed for its life) (offset,
// hex digits, characters), a caret that stands on a
// byte in the hex or the character area, typing that inserts bytes, Backspace, arrow
// keys and a vertical scroll position kept the way the platform's scroll bar keeps it.
// The widget (entry/BinaryCtrl.h) paints this state and forwards its events here.
// No Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

class BinaryEditModel {
 public:
  static constexpr int kBytesPerRow = 4;     // the handheld's row; wider rows are asked for
  static constexpr int kHexCellWidth = 20;  // pixels per byte in the hex area
  static constexpr int kRowHeight = 16;
  static constexpr int kDigitWidth = 8;     // first hex digit to second
  static constexpr int kPage = 16;          // scroll bar page
  static constexpr int kHexLeft = 40;
  static constexpr int kCharLeft = 130;     // of a row of four: the hex area, then 10 pixels
  static constexpr int kCharWidth = 12;
  static constexpr int kTextTop = 2;        // text baseline box offset within a row
  static constexpr int kOffsetLeft = 2;

  enum class Area { Hex = 0, Char = 1 };
  enum class Key { Left, Up, Right, Down, Other };
  enum class ScrollRequest { LineUp, LineDown, PageUp, PageDown, ThumbTrack, ThumbPosition, Other };

  // |visibleRows| is fixed for the control's life (its height / 16), and so is
  // |bytesPerRow| (at least 1).
  explicit BinaryEditModel(int visibleRows = 0, int bytesPerRow = kBytesPerRow);

  // Replaces the bytes with a copy and resets caret and view (visible rows stay).
  void SetData(const uint8_t* bytes, size_t length);
  void SetData(const std::vector<uint8_t>& bytes) { SetData(bytes.data(), bytes.size()); }

  const std::vector<uint8_t>& Data() const { return buffer_; }
  int Length() const { return static_cast<int>(buffer_.size()); }

  // Per-control state.
  int CaretColumn() const { return caretColumn_; }
  int CaretRow() const { return caretRow_; }
  bool LowDigitPending() const { return lowDigitPending_ != 0; }
  int VisibleRows() const { return visibleRows_; }
  int BytesPerRow() const { return bytesPerRow_; }
  // Left edge of the character area: after the hex area's cells and a gap of 10.
  int CharLeft() const { return CharLeftFor(bytesPerRow_); }
  static int CharLeftFor(int bytesPerRow) { return kHexLeft + kHexCellWidth * bytesPerRow + 10; }
  // Pixels a row of |bytesPerRow| needs, up to the end of its last character.
  static int RowWidthFor(int bytesPerRow) { return CharLeftFor(bytesPerRow) + kCharWidth * bytesPerRow; }
  Area CaretArea() const { return caretArea_; }

  // Scroll bar: range 0 .. ScrollMax(), page 16, position ScrollPos(). The bar is
  // shown only while ScrollMax() is not 0.
  int ScrollMax() const { return scrollMax_; }
  int ScrollPos() const { return scrollPos_; }
  // The highest position the bar accepts (it clamps to maximum - page + 1).
  int ScrollPosLimit() const { return PositionLimit(scrollMax_); }

  // Derived values.
  int RowsNeeded() const { return RowsFor(Length(), bytesPerRow_); }
  int TopRow() const { return scrollPos_ / kPage; }
  int CaretPosition() const { return (TopRow() + caretRow_) * bytesPerRow_ + caretColumn_; }
  static int RowsFor(int length, int bytesPerRow = kBytesPerRow) {
    return (length + bytesPerRow - 1) / bytesPerRow;
  }
  static int ScrollMaxFor(int length, int visibleRows, int bytesPerRow = kBytesPerRow);

  // Caret cell in client pixels (top-left of the 16-pixel bar).
  int CaretX() const;
  int CaretY() const { return caretRow_ * kRowHeight; }

  // Events. Each returns true when the control must be repainted.
  bool Tap(int x, int y);
  bool KeyDown(Key key);
  bool Char(char16_t c);
  bool Scroll(ScrollRequest request, int trackPosition = 0);

  // How byte |b| shows in the character column: itself, or '.' when not printable.
  static bool ShowsAsItself(uint8_t b);
  static char16_t DisplayChar(uint8_t b) { return ShowsAsItself(b) ? char16_t(b) : u'.'; }
  // The offset label of a row: "%04X" of the row's first byte index, of which the
  // first four characters are drawn (so 0x10000 shows "1000").
  static std::string OffsetLabel(int offset);

 private:
  int caretColumn_ = 0;
  int caretRow_ = 0;
  int lowDigitPending_ = 0;
  int visibleRows_ = 0;
  int bytesPerRow_ = kBytesPerRow;
  std::vector<uint8_t> buffer_;
  Area caretArea_ = Area::Hex;
  int scrollMax_ = 0;
  int scrollPos_ = 0;

  static int PositionLimit(int max) { return max - kPage + 1 > 0 ? max - kPage + 1 : 0; }
  // Sets the bar's range for the current length and the position (clamped as the bar
  // does); returns the position read back.
  int SetScrollBar(int position);
  void ResetCaret();
  void Move(Key key);
  void LimitCaretToData();
  void PutCaretOnEnd();
  bool Insert(int at, uint8_t value);
  void TypeBackspace();
};

}  // namespace orvane
