// What linewright prints: each reply as it arrives and each row of unsolicited data,
// as plain binary text lines or as one JSON object per line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "engine/BinaryTextCodec.h"
#include "engine/Exchange.h"
#include "engine/UnsolicitedAssembler.h"

namespace orvane::linewright {

// Appends |text| as the inside of a JSON string: '"' and '\' escaped, control characters
// as \u00XX, and each byte that is not part of well-formed UTF-8 as \ufffd, so any bytes
// give valid JSON.
void AppendJsonString(std::string_view text, std::string* out);

// Looks for any of |needles| in bytes that arrive piece by piece (a needle may span two
// pieces). An empty needle never matches.
class StreamSearch {
 public:
  explicit StreamSearch(std::vector<Bytes> needles);
  void Reset();
  void Feed(const uint8_t* bytes, size_t length);
  bool Found() const { return found_; }
  bool Active() const { return longest_ > 0; }

 private:
  std::vector<Bytes> needles_;
  size_t longest_ = 0;
  Bytes tail_;  // the last bytes seen, one fewer than the longest needle
  bool found_ = false;
};

class Report {
 public:
  Report(std::ostream& out, bool json, bool timestamps);

  // One exchange: its bytes as they arrive, then its end. Nothing is printed for an
  // exchange that is not ended (its command could not be written).
  void ReplyBytes(const ExchangeResult& running, const uint8_t* bytes, size_t length);
  void EndReply(const ExchangeResult& result);
  // A finished row of unsolicited data.
  void Unsolicited(const UnsolicitedRow& row);

 private:
  void Head(const ExchangeResult& running);
  void Write(const std::string& text);

  std::ostream& out_;
  bool json_;
  bool timestamps_;
  bool headDone_ = false;
  std::string text_;
  std::string escaped_;
};

}  // namespace orvane::linewright
