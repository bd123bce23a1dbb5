#include "screen/RowSearch.h"

#include <algorithm>

#include "platform/TextConvert.h"

namespace orvane {

RowNeedle::RowNeedle(std::u16string_view binaryText, bool matchCase)
    : bytes_(DecodeBinaryText(binaryText)), matchCase_(matchCase) {
  for (uint8_t& byte : bytes_) byte = Fold(byte);
  // Horspool's table: a byte not in the needle (but for its last place) moves it whole.
  const size_t m = bytes_.size();
  std::fill(std::begin(skip_), std::end(skip_), m);
  for (size_t i = 0; i + 1 < m; ++i) skip_[bytes_[i]] = m - 1 - i;
}

uint8_t RowNeedle::Fold(uint8_t byte) const {
  return !matchCase_ && byte >= 'A' && byte <= 'Z' ? static_cast<uint8_t>(byte + ('a' - 'A')) : byte;
}

bool RowNeedle::In(std::span<const uint8_t> haystack) const {
  const size_t m = bytes_.size();
  if (m == 0 || haystack.size() < m) return false;
  for (size_t at = 0; at + m <= haystack.size();) {
    size_t j = m - 1;
    while (Fold(haystack[at + j]) == bytes_[j]) {
      if (j == 0) return true;
      --j;
    }
    at += skip_[Fold(haystack[at + m - 1])];
  }
  return false;
}

bool RowNeedle::InRow(const Row& row, const std::vector<std::string>& notes) const {
  if (Empty()) return false;
  if (In(row.reply) || In(DecodeBinaryText(row.sent))) return true;
  for (const std::string& note : notes) {
    Bytes bytes;
    for (char16_t c : Utf8ToUtf16(note)) bytes.push_back(CharToDeviceByte(c));
    if (In(bytes)) return true;
  }
  return false;
}

bool RowFilter::Shows(RowMark mark) const {
  if (hideUnsolicited && mark == RowMark::kUnsolicited) return false;
  if (onlyTroubled) return mark == RowMark::kError || mark == RowMark::kSilence || mark == RowMark::kCut;
  return true;
}

}  // namespace orvane
