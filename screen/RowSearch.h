// Finding text in the response list's rows, and choosing which rows the list shows.
// No Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/BinaryTextCodec.h"
#include "engine/Row.h"
#include "screen/SendRules.h"

namespace orvane {

// Short notes on a row (what its reply means), searched beside its bytes. UTF-8.
using RowNotes = std::function<std::vector<std::string>(const Row&)>;

// What is looked for: text in binary text notation, decoded to bytes once.
class RowNeedle {
 public:
  RowNeedle() = default;
  // Without |matchCase|, the letters A-Z and a-z match either case.
  RowNeedle(std::u16string_view binaryText, bool matchCase);

  bool Empty() const { return bytes_.empty(); }
  // True when |haystack| holds the needle.
  bool In(std::span<const uint8_t> haystack) const;
  // True when |row|'s command as sent, its reply bytes or one of |notes| holds the
  // needle. Notes are compared in the device's code page, as the needle's characters are.
  bool InRow(const Row& row, const std::vector<std::string>& notes) const;

 private:
  uint8_t Fold(uint8_t byte) const;

  Bytes bytes_;          // folded when the case does not matter
  bool matchCase_ = false;
  size_t skip_[256] = {};  // how far to move when the last byte compared is the index
};

// Which rows the list shows. With nothing set it shows every row.
struct RowFilter {
  bool hideUnsolicited = false;
  // Only exchanges whose reply ended in ERROR, in silence or was cut.
  bool onlyTroubled = false;

  bool Active() const { return hideUnsolicited || onlyTroubled; }
  // Whether a row marked |mark| is shown.
  bool Shows(RowMark mark) const;
};

}  // namespace orvane
