#include "entry/model/BinaryEditModel.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "engine/BinaryTextCodec.h"

namespace orvane {

namespace {
constexpr char16_t kBackspace = 8, kTab = 9, kLineFeed = 10, kReturn = 13, kEscape = 27;

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}
}  // namespace

BinaryEditModel::BinaryEditModel(int visibleRows, int bytesPerRow)
    : visibleRows_(std::max(0, visibleRows)), bytesPerRow_(std::max(1, bytesPerRow)) {
  ResetCaret();
}

int BinaryEditModel::ScrollMaxFor(int length, int visibleRows, int bytesPerRow) {
  const int rows = RowsFor(length, bytesPerRow);
  return rows >= visibleRows ? (rows - visibleRows) * kPage + 2 * kPage : 0;
}

void BinaryEditModel::SetData(const uint8_t* bytes, size_t length) {
  if (bytes && length) {
    try {
      buffer_.assign(bytes, bytes + length);
    } catch (const std::bad_alloc&) {
      buffer_.clear();  // no room for the copy: the control shows nothing
    }
  } else {
    buffer_.clear();
  }
  ResetCaret();
}

void BinaryEditModel::ResetCaret() {
  caretColumn_ = 0;
  caretRow_ = 0;
  lowDigitPending_ = 0;
  caretArea_ = Area::Hex;
  scrollMax_ = ScrollMaxFor(Length(), visibleRows_, bytesPerRow_);
  scrollPos_ = 0;
}

int BinaryEditModel::SetScrollBar(int position) {
  scrollMax_ = ScrollMaxFor(Length(), visibleRows_, bytesPerRow_);
  scrollPos_ = std::clamp(position, 0, PositionLimit(scrollMax_));
  return scrollPos_;
}

int BinaryEditModel::CaretX() const {
  if (caretArea_ == Area::Char) return CharLeft() + kCharWidth * caretColumn_;
  return kHexLeft + kHexCellWidth * caretColumn_ + kDigitWidth * lowDigitPending_;
}

bool BinaryEditModel::ShowsAsItself(uint8_t b) {
  return (b >= 0x20 && b <= 0x7E) || b >= 0xA0;
}

std::string BinaryEditModel::OffsetLabel(int offset) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(offset));
  return std::string(text, 4);
}

bool BinaryEditModel::Tap(int x, int y) {
  if (x < kHexLeft) {
    caretArea_ = Area::Hex;
    caretColumn_ = 0;
  } else if (x < kHexLeft + kHexCellWidth * bytesPerRow_) {
    caretArea_ = Area::Hex;
    caretColumn_ = (x - kHexLeft) / kHexCellWidth;
  } else if (x < CharLeft()) {
    caretArea_ = Area::Char;
    caretColumn_ = 0;
  } else if (x < RowWidthFor(bytesPerRow_)) {
    caretArea_ = Area::Char;
    caretColumn_ = (x - CharLeft()) / kCharWidth;
  } else {
    caretArea_ = Area::Char;
    caretColumn_ = bytesPerRow_ - 1;
  }
  // A tap in the partial row below the last whole row would put the caret on a byte
  // that is not drawn; it counts as a tap on the last whole row.
  caretRow_ = std::clamp(y / kRowHeight, 0, std::max(0, visibleRows_ - 1));
  if (CaretPosition() >= Length()) PutCaretOnEnd();
  lowDigitPending_ = 0;
  return true;
}

void BinaryEditModel::PutCaretOnEnd() {
  lowDigitPending_ = 0;  // there is no byte at the end to take a second digit
  const int endRow = Length() / bytesPerRow_;
  caretColumn_ = Length() % bytesPerRow_;
  caretRow_ = endRow - TopRow();
  // Only a control of a single row can have its end row out of view here; bring it in.
  if (visibleRows_ > 0 && (caretRow_ < 0 || caretRow_ >= visibleRows_)) {
    const int top = caretRow_ < 0 ? endRow : endRow - visibleRows_ + 1;
    SetScrollBar(top * kPage);
    caretRow_ = endRow - TopRow();
  }
}

void BinaryEditModel::Move(Key key) {
  const int top = TopRow();
  const int rows = RowsNeeded();
  const int last = visibleRows_ - 1;
  const int lastColumn = bytesPerRow_ - 1;
  switch (key) {
    case Key::Left:
      if (caretColumn_ > 0) {
        --caretColumn_;
      } else if (caretRow_ > 0) {
        --caretRow_;
        caretColumn_ = lastColumn;
      } else if (top > 0) {
        caretColumn_ = lastColumn;
        Scroll(ScrollRequest::LineUp);
      }
      break;
    case Key::Up:
      if (caretRow_ > 0) --caretRow_;
      else if (top > 0) Scroll(ScrollRequest::LineUp);
      break;
    case Key::Right:
      // At the end there is nothing to move onto. (Wrapping from the last column onto a row
      // after the data would otherwise be pulled back to the start of the last row.)
      if (CaretPosition() >= Length()) break;
      if (caretColumn_ < lastColumn) {
        ++caretColumn_;
      } else if (caretRow_ < last) {
        ++caretRow_;
        caretColumn_ = 0;
      } else if (rows >= top + visibleRows_) {
        caretColumn_ = 0;
        Scroll(ScrollRequest::LineDown);
      }
      break;
    case Key::Down:
      if (caretRow_ < last) ++caretRow_;
      else if (rows >= top + visibleRows_) Scroll(ScrollRequest::LineDown);
      break;
    case Key::Other:
      break;
  }
}

void BinaryEditModel::LimitCaretToData() {
  const int length = Length();
  const int rows = RowsNeeded();
  // The data row the caret stands on now, after any scroll the key made, so that a key
  // that scrolled is limited against the row it really reached.
  const int dataRow = TopRow() + caretRow_;
  if (dataRow == rows) {
    if (length % bytesPerRow_ == 0) caretColumn_ = 0;
    else --caretRow_;
  } else if (dataRow > rows) {
    --caretRow_;
  } else if (dataRow == rows - 1 && dataRow * bytesPerRow_ + caretColumn_ > length) {
    --caretColumn_;
  }
  if (CaretPosition() > length) PutCaretOnEnd();
  // A caret left above or below the view (possible only with a single visible row)
  // brings its row into view.
  if (visibleRows_ > 0 && (caretRow_ < 0 || caretRow_ >= visibleRows_)) {
    const int row = TopRow() + caretRow_;
    SetScrollBar((caretRow_ < 0 ? row : row - visibleRows_ + 1) * kPage);
    caretRow_ = row - TopRow();
  }
}

bool BinaryEditModel::KeyDown(Key key) {
  Move(key);
  if (key != Key::Other) lowDigitPending_ = 0;
  LimitCaretToData();
  return true;
}

bool BinaryEditModel::Insert(int at, uint8_t value) {
  if (at < 0 || at > Length()) return false;
  try {
    buffer_.insert(buffer_.begin() + at, value);
  } catch (const std::bad_alloc&) {
    return false;  // the buffer cannot grow: the bytes stay as they were
  }
  SetScrollBar(scrollPos_);  // the maximum for the new length
  return true;
}

void BinaryEditModel::TypeBackspace() {
  const int p = CaretPosition();
  if (p == 0) return;
  const int newLength = Length() - 1;
  const int newMax = ScrollMaxFor(newLength, visibleRows_, bytesPerRow_);
  if (newMax != scrollMax_) {
    const int rowsBefore = RowsNeeded();
    const int topBefore = TopRow();
    scrollMax_ = newMax;
    scrollPos_ = std::clamp(scrollPos_, 0, PositionLimit(scrollMax_));
    // The view moved up one row: keep the caret on the same byte.
    if (RowsFor(newLength, bytesPerRow_) < rowsBefore && TopRow() != topBefore) ++caretRow_;
  }
  buffer_.erase(buffer_.begin() + (p - 1));
  buffer_.shrink_to_fit();
  KeyDown(Key::Left);
}

bool BinaryEditModel::Char(char16_t c) {
  if (c == kTab || c == kLineFeed || c == kReturn || c == kEscape) return false;

  int digit = -1;
  uint8_t byte = 0;
  if (c != kBackspace) {
    if (caretArea_ == Area::Hex) {
      digit = HexValue(c);
      if (digit < 0) return true;  // not a digit: nothing changes
    } else if (!TryCharToDeviceByte(c, &byte)) {
      return false;  // no byte for it in the device's code page
    }
  }

  // A scroll may have left the caret's cell after the end: the typed character acts on
  // the data, so the caret is first put back onto it.
  if (CaretPosition() > Length()) PutCaretOnEnd();
  // A pending second digit needs a byte under the caret.
  if (lowDigitPending_ && CaretPosition() >= Length()) lowDigitPending_ = 0;

  const int p = CaretPosition();
  if (c == kBackspace) {
    TypeBackspace();
  } else if (caretArea_ == Area::Hex) {
    if (!lowDigitPending_) {
      if (Insert(p, static_cast<uint8_t>(digit * 16))) lowDigitPending_ = 1;
    } else {
      buffer_[p] = static_cast<uint8_t>(buffer_[p] | digit);
      lowDigitPending_ = 0;
      KeyDown(Key::Right);
    }
  } else {
    if (Insert(p, byte)) KeyDown(Key::Right);
  }
  return true;
}

bool BinaryEditModel::Scroll(ScrollRequest request, int trackPosition) {
  int position = scrollPos_;
  switch (request) {
    case ScrollRequest::LineUp: position -= kPage; break;
    case ScrollRequest::LineDown: position += kPage; break;
    case ScrollRequest::PageUp: position -= 4 * kPage; break;
    case ScrollRequest::PageDown: position += 4 * kPage; break;
    case ScrollRequest::ThumbTrack:
    case ScrollRequest::ThumbPosition: position = (trackPosition / kPage) * kPage; break;
    case ScrollRequest::Other: return false;
  }
  const int before = scrollPos_;
  return SetScrollBar(position) != before;
}

}  // namespace orvane
