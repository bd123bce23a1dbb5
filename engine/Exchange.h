// One exchange with a device: frame a command, write it, read the reply to its end.
// The screen, linewright and every other tool go through here.
//
// Exchange is event-driven and never waits: Advance() does whatever the line allows
// right now and says what it waits for next; the caller waits in its own loop (Qt's,
// or poll() through RunToEnd) until the line is ready or the deadline has come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/BinaryTextCodec.h"
#include "engine/Line.h"
#include "engine/ReplyAssembler.h"

namespace orvane {

// How commands are framed and replies ended: the current profile's values, or the
// defaults (nothing around the command, 3000 ms, the default tokens).
struct Framing {
  std::u16string prefix;  // binary text
  std::u16string suffix;  // binary text
  uint32_t timeoutMs = kDefaultResponseTimeoutMs;
  std::vector<std::u16string> tokens;  // binary text; none: the default tokens

  // The framed command as binary text: prefix, command and suffix joined (an escape
  // may span the joins, since the joined text is decoded as one).
  std::u16string Frame(std::u16string_view command) const;
};

// A timeout in seconds as milliseconds of silence: a negative one counts as 0, and one
// beyond the 32-bit range of milliseconds is clamped to it.
uint32_t TimeoutMsFromSeconds(int64_t seconds);

// Input taken in one turn before a caller with other work gets its turn back, and the
// most one read takes.
inline constexpr size_t kInputSliceBytes = size_t{256} << 10;
inline constexpr size_t kReadBytes = size_t{64} << 10;

// A write that cannot finish within the reply timeout, and at least this long, fails.
constexpr uint32_t kMinWriteBoundMs = 5000;

struct ExchangeOptions {
  size_t maxReplyBytes = kDefaultMaxReplyBytes;
  // Reply bytes as they arrive (in order, each byte once).
  std::function<void(const uint8_t* bytes, size_t length)> onBytes;
  // The command's bytes as the line takes them (in order, each byte once).
  std::function<void(const uint8_t* bytes, size_t length)> onWritten;
  // False: the result keeps no reply bytes (they went to onBytes).
  bool keepReply = true;
  // The wrapping millisecond tick; the steady clock when not set.
  std::function<uint32_t()> tick;
};

struct ExchangeResult {
  std::u16string sentText;  // the framed command, binary text
  Bytes reply;              // the reply's bytes (unless not kept)
  size_t replyLength = 0;   // bytes received, kept or not
  ReplyEnd end = ReplyEnd::kNone;  // kNone when the command was not written
  int writeError = 0;       // errno when the command could not be written (nothing read)
  int readError = 0;        // errno of the failed read that ended the reply, if any
  int64_t sentAtMs = 0;     // wall clock at the start of the write, ms since 1970
  int64_t firstByteMs = -1; // ms from the write's start to the first reply byte; -1: none
  uint32_t elapsedMs = 0;   // ms from the write's start to the end
};

// The wrapping 32-bit millisecond tick of the steady clock.
uint32_t SteadyTickMs();
// The wall clock in ms since 1970.
int64_t WallClockMs();
// The wall clock in microseconds since 1970.
int64_t WallClockUs();
// |msSinceEpoch| as ISO 8601 local time with milliseconds and the zone's offset,
// "2026-12-07T15:03:36.123+01:00" ("?" when the time cannot be converted).
std::string FormatLocalTimeIso(int64_t msSinceEpoch);
// The same for a time in ms (|fractionDigits| 3) or in microseconds (6) since 1970, with
// as many digits of the second's fraction.
std::string FormatLocalTimeIso(int64_t sinceEpoch, int fractionDigits);

class Exchange {
 public:
  enum class Wait { kReadable, kWritable, kNothing };

  Exchange(Line& line, std::u16string_view command, const Framing& framing,
           ExchangeOptions options = {});
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;

  // Writes and reads what can be done now. Returns what to wait for before calling
  // again (kNothing once done). A long burst of input is taken in slices, so a caller
  // with other work gets its turn; the line then is still readable.
  Wait Advance();
  // Milliseconds until Advance() is due even without the line becoming ready (the
  // silence deadline or the write bound); -1 when done.
  int MsUntilDeadline() const;
  // Ends the exchange now, keeping what arrived (end kStopped; during the write, the
  // write fails with ECANCELED).
  void Stop();

  bool Done() const { return state_ == State::kDone; }
  const ExchangeResult& Result() const { return result_; }
  ExchangeResult TakeResult() { return std::move(result_); }

 private:
  enum class State { kWriting, kReading, kDone };
  uint32_t Now() const;
  Wait AdvanceWrite(uint32_t now);
  Wait AdvanceRead();
  void Finish(uint32_t now);

  Line& line_;
  ExchangeOptions options_;
  State state_ = State::kWriting;
  Bytes toSend_;
  size_t written_ = 0;
  Bytes readBuffer_;
  uint32_t start_;
  uint32_t writeBoundMs_;
  ReplyAssembler assembler_;
  ExchangeResult result_;
};

// Runs |exchange| to its end, waiting in poll() on |line| (and on |stopFd| when it is
// not -1: input there stops the exchange; the caller drains it).
void RunToEnd(Exchange& exchange, const Line& line, int stopFd = -1);

}  // namespace orvane
