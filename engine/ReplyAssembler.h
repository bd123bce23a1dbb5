// Reply assembly: which bytes belong to a reply and when it has ended. Bytes and a
// millisecond clock go in, a verdict comes out; no I/O happens here.
//
// The rules: the reply is taken in chunks of 255 bytes. Only while the line is idle
// (nothing waiting to be read) are the tokens looked for, and only within the current
// chunk, up to its first zero byte; a token split across two chunks is never seen.
// Without tokens the defaults "\r\nOK\r\n" and "\r\nERROR\r\n" apply. A silence
// strictly longer than the timeout ends the reply; the silence restarts with every
// byte and every chunk, on a wrapping 32-bit clock. A reply that reaches the size
// limit ends there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/BinaryTextCodec.h"

namespace orvane {

// Capacity of one chunk.
constexpr size_t kChunkCapacity = 255;
// Silence timeout when no profile gives one.
constexpr uint32_t kDefaultResponseTimeoutMs = 3000;
// Largest reply kept unless the caller says otherwise.
constexpr size_t kDefaultMaxReplyBytes = size_t{16} << 20;

// How a reply ended.
enum class ReplyEnd : uint8_t {
  kNone,     // still running
  kToken,    // an end-of-response token arrived and the line fell idle
  kSilence,  // the line was silent for longer than the timeout
  kHangup,   // the device went away or a read failed
  kStopped,  // the user ended it
  kLimit,    // the size limit was reached
  kWriteFailed,  // the command could not be written (or not in time); nothing was read
  kCommand,  // unsolicited data only: a command was sent
  kClosed,   // unsolicited data only: the line was closed
};
// "token", "silence", "hangup", "stopped", "limit", "write failed", "command", "closed"
// ("" while running).
const char* ReplyEndName(ReplyEnd end);

// End-of-response tokens decoded to bytes once. An empty token, or one holding a zero
// byte, never matches: the chunk is searched only up to its first zero byte.
class EndTokens {
 public:
  // Binary texts; none (or an empty list) gives the default tokens.
  static EndTokens Decode(std::span<const std::u16string> tokens);
  // True when a token occurs in |bytes| before its first zero byte.
  bool FoundIn(const uint8_t* bytes, size_t length) const;

 private:
  std::vector<Bytes> tokens_;
};

class ReplyAssembler {
 public:
  // |keepWhole| false keeps only the chunk being filled (for callers that pass the
  // bytes on as they come): memory then stays small whatever the reply's size.
  ReplyAssembler(EndTokens tokens, uint32_t timeoutMs, size_t maxBytes, uint32_t now,
                 bool keepWhole = true);

  // How many more bytes the reply may take before the size limit; 0 once it has ended.
  size_t Room() const;
  // |length| bytes arrived at |now|, all at once or one by one: the same chunks result.
  // Bytes beyond Room() are not taken.
  void Add(const uint8_t* bytes, size_t length, uint32_t now);
  // Nothing was waiting at |now|: a token in the chunk or a long enough silence ends
  // the reply.
  void Idle(uint32_t now);
  // Counts the silence from |now| (the reply is awaited from then on).
  void RestartSilence(uint32_t now) { lastActivity_ = now; }
  // Ends the reply for a reason of the caller's (hang-up, stop); what arrived stays.
  void End(ReplyEnd why);

  bool Ended() const { return end_ != ReplyEnd::kNone; }
  ReplyEnd HowEnded() const { return end_; }
  // Milliseconds from |now| until the silence would end the reply (it needs one more
  // than the timeout), 0 when that time has come.
  uint32_t MsUntilSilenceEnds(uint32_t now) const;
  // The bytes of the chunk being filled.
  size_t ChunkLength() const { return kept_.size() - chunkStart_; }
  // Bytes received so far.
  size_t Total() const { return total_; }

  // The reply's bytes (only the current chunk's when the whole is not kept).
  const Bytes& Reply() const { return kept_; }
  Bytes TakeReply() { return std::move(kept_); }

 private:
  EndTokens tokens_;
  uint32_t timeoutMs_;
  size_t maxBytes_;
  uint32_t lastActivity_;
  bool keepWhole_;
  size_t chunkStart_ = 0;  // where the current chunk starts in kept_
  size_t total_ = 0;
  ReplyEnd end_ = ReplyEnd::kNone;
  Bytes kept_;
};

}  // namespace orvane
