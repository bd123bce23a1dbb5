// Sequence files: a conversation with a device written one step a line, read by
// linewright -f and by the window's Run Sequence.
//
// A plain line is a command, sent framed and its reply read, exactly as in a command
// file; blank lines and lines whose first character other than a blank is '#' are
// skipped. A line whose first such character is '@' is a step of another kind:
//
//   @send COMMAND             a command (one that starts with '@' or '#', say)
//   @raw BYTES                bytes sent as written, nothing put around them; reply read
//   @prompt TEXT COMMAND      COMMAND's reply ends as soon as TEXT arrives (and must)
//   @expect TEXT | /REGEX/    the last reply (or notice waited for) holds TEXT or a line
//                             matching REGEX
//   @wait DURATION TEXT | /REGEX/
//                             unsolicited data holding TEXT or a line matching REGEX
//                             arrives within DURATION
//   @capture NAME /REGEX/     the REGEX's first group (or its whole match) in the last
//                             reply or notice becomes ${NAME} in later steps
//   @pause DURATION           nothing is sent for DURATION
//   @timeout DURATION         the next command's reply ends after this silence
//   @retry TRIES [DURATION]   the next command, @raw, @prompt or @wait and the @expect
//                             and @capture lines right after it are tried up to TRIES
//                             times, DURATION apart, until they all hold
//
// Texts and commands are binary text (<0D>, <1A>); a TEXT with blanks at its ends is
// written in double quotes. DURATION is seconds ("2", "0.05") or "50ms" / "2s".
//
// The parser takes a line at a time and keeps only what the next lines need, so a file
// is run as it is read, however long it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

enum class StepKind : uint8_t { kSend, kRaw, kExpect, kWait, kCapture, kPause };

// What a reply or a notice must hold: a text (binary text) or a regular expression
// (ECMAScript, over the bytes, written in binary text) matched against each line.
struct Expectation {
  std::u16string text;
  bool regex = false;
};

struct Step {
  StepKind kind = StepKind::kSend;
  size_t line = 0;           // the file line, from 1
  size_t number = 0;         // the step's number, from 1
  std::string source;        // the line as written, blanks around it dropped (UTF-8)
  std::u16string command;    // kSend, kRaw: binary text, ${NAME} not yet replaced
  std::u16string prompt;     // kSend: the text that ends its reply; empty: none
  Expectation expect;        // kExpect, kWait, kCapture
  std::string variable;      // kCapture
  uint32_t ms = 0;           // kPause: its length; kWait: its time-out
  int64_t timeoutMs = -1;    // kSend, kRaw: the reply's silence time-out; -1: the framing's
  uint32_t tries = 1;        // kSend, kRaw, kWait: tries with the checks after it
  uint32_t retryPauseMs = 0; // between tries

  // A command, @raw, @prompt or @wait: what @expect and @capture look at afterwards.
  bool Produces() const { return kind == StepKind::kSend || kind == StepKind::kRaw || kind == StepKind::kWait; }
  // An @expect or @capture: belongs to the step before it when that one is retried.
  bool Checks() const { return kind == StepKind::kExpect || kind == StepKind::kCapture; }
};

struct SequenceError {
  size_t line = 0;
  std::string message;
};

class SequenceParser {
 public:
  enum class Result { kNone, kStep, kError };

  // Takes line |number| of the file (UTF-8, without its line end). kStep with |*step|
  // set when the line is a step; kNone for a blank line, a comment or a modifier that
  // waits for its step; kError with |*error|.
  Result Take(std::string_view text, size_t number, Step* step, SequenceError* error);
  // The file has ended: false with |*error| when a modifier is left without its step.
  bool End(SequenceError* error) const;
  // Steps taken so far.
  size_t Steps() const { return steps_; }

 private:
  Result Directive(std::string_view keyword, std::string_view rest, Step* step, std::string* error);
  bool Names(std::u16string_view text, std::string* error) const;

  size_t steps_ = 0;
  bool produced_ = false;  // a step that @expect can look at has been taken
  // A pending @timeout / @retry and its line.
  int64_t timeoutMs_ = -1;
  uint32_t tries_ = 1;
  uint32_t retryPauseMs_ = 0;
  size_t modifierLine_ = 0;
  std::set<std::string> captured_;
};

// Every step of |text| (a whole file). False with the first error.
bool ParseSequence(std::string_view text, std::vector<Step>* steps, SequenceError* error);

// An expectation's /REGEX/ (binary text) compiled; false with the reason in |error|.
bool CompilePattern(std::u16string_view pattern, std::regex* regex, std::string* error);

// Decimal digits only (at most 19 of them) as a number up to |max|.
bool ParseWholeNumber(std::string_view text, uint64_t max, uint64_t* value);

// "2", "0.05", "50ms", "2s" as milliseconds (at most a day). False when it is none.
bool ParseDuration(std::string_view text, uint32_t* ms);

// |text| with every ${NAME} replaced: |value|(NAME) gives what goes in.
template <typename Lookup>
std::u16string ReplaceNames(std::u16string_view text, const Lookup& value);

// Where ${NAME} starts at or after |from| in |text|: its start and length (npos when
// none), and NAME.
size_t FindName(std::u16string_view text, size_t from, size_t* length, std::string* name);

template <typename Lookup>
std::u16string ReplaceNames(std::u16string_view text, const Lookup& value) {
  std::u16string out;
  size_t at = 0;
  size_t length = 0;
  std::string name;
  for (size_t found; (found = FindName(text, at, &length, &name)) != std::u16string_view::npos;) {
    out.append(text.substr(at, found - at));
    out += value(name);
    at = found + length;
  }
  out.append(text.substr(at));
  return out;
}

}  // namespace orvane
