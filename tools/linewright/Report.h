// What linewright prints: observers of its session that print each reply as it arrives
// and each row of unsolicited data, as plain binary text lines or as one JSON object per
// line (with the notes on each row), and look for the --fail-on texts in each reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/BinaryTextCodec.h"
#include "engine/Session.h"

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

// Whether a reply held any of the needles: the session's exchange rows searched as their
// bytes arrive.
class ReplySearch : public SessionObserver {
 public:
  explicit ReplySearch(std::vector<Bytes> needles) : search_(std::move(needles)) {}
  // The last reply (or the one still running) held a needle.
  bool Found() const { return search_.Found(); }

  void OnRowBegun(const Row& row) override;
  void OnRead(std::span<const uint8_t> bytes, int64_t atUs, RowKind kind) override;

 private:
  StreamSearch search_;
};

// Prints the session's rows: an exchange's reply bytes as they arrive, then its end; a
// row of unsolicited data once it has ended. Nothing is printed for an exchange whose
// command could not be written.
class Report : public SessionObserver {
 public:
  Report(std::ostream& out, bool json, bool timestamps);

  void OnRowBegun(const Row& row) override;
  void OnRead(std::span<const uint8_t> bytes, int64_t atUs, RowKind kind) override;
  void OnRowEnded(const Row& row) override;

  // A step of a sequence file begins: with --json the exchanges it sends carry its file
  // line and number.
  void SetStep(size_t line, size_t number) { stepLine_ = line, stepNumber_ = number; }
  // A step that expects something (|source| as written) ended: with --json a record says
  // whether its expectation held.
  void Checked(size_t line, size_t number, const std::string& source, bool held);

 private:
  void Head(const Row& exchange);
  void EndReply(const Row& exchange);
  void Unsolicited(const Row& row);
  void Write(const std::string& text);

  std::ostream& out_;
  bool json_;
  bool timestamps_;
  Row running_;  // the exchange in flight: its command and send time
  bool headDone_ = false;
  size_t stepLine_ = 0, stepNumber_ = 0;  // the step running; 0: none
  size_t rowLine_ = 0, rowStep_ = 0;      // the step of the exchange in flight
  std::string text_;
  std::string escaped_;
  Bytes noted_;  // the start of the reply in flight, for its notes (--json)
};

}  // namespace orvane::linewright
