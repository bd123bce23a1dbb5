// Unsolicited data: what a device says while no command is in flight ("RING", a
// "+CMTI: ..." notice, a boot banner, a result that comes after the "OK"). Bytes and a
// clock go in, finished rows come out; no I/O happens in the assembler itself.
//
// The rules: a row starts with the first byte that arrives while nothing is pending.
// It ends
//   - after a silence strictly longer than the silence timeout (the engine's default
//     reply timeout, kDefaultResponseTimeoutMs, unless the caller gives another),
//     counted from the row's last byte on the wrapping 32-bit millisecond tick;
//   - sooner when its last byte ends a line (a line feed): after a silence strictly
//     longer than kLineEndSilenceMs (or the silence timeout, when that is shorter). A
//     notice such as "\r\nRING\r\n" shows at once, and notices that repeat more often
//     than the timeout (a ring, a position every second) still make rows;
//   - when the caller flushes it: a command is about to be sent (nothing is glued to
//     the command's reply), or the line closes or hangs up;
//   - at the size limit; the bytes after it start the next row.
// A row keeps the wall-clock time of its first byte and the ms from there to its last
// byte and to its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/BinaryTextCodec.h"
#include "engine/Line.h"
#include "engine/ReplyAssembler.h"

namespace orvane {

// The silence after a line end that ends a row of unsolicited data.
inline constexpr uint32_t kLineEndSilenceMs = 200;

// How a row of unsolicited data ended: one of the ends a reply can have, kSilence (the
// line was silent for longer than the silence timeout), kCommand (a command was sent),
// kClosed (the line was closed), kHangup (the device went away or a read failed) or
// kLimit (the row reached the size limit).
using UnsolicitedEnd = ReplyEnd;
// "silence", "command", "closed", "hangup", "limit".
inline const char* UnsolicitedEndName(UnsolicitedEnd end) { return ReplyEndName(end); }

struct UnsolicitedRow {
  Bytes bytes;
  int64_t atMs = 0;        // wall clock of the first byte, ms since 1970
  uint32_t lastByteMs = 0; // ms from the first byte to the last
  uint32_t elapsedMs = 0;  // ms from the first byte to the row's end
  UnsolicitedEnd end = UnsolicitedEnd::kSilence;
};

class UnsolicitedAssembler {
 public:
  explicit UnsolicitedAssembler(uint32_t silenceMs = kDefaultResponseTimeoutMs,
                                size_t maxBytes = kDefaultMaxReplyBytes);

  // |length| bytes arrived at tick |now|, wall clock |wallMs| (ms since 1970).
  void Add(const uint8_t* bytes, size_t length, uint32_t now, int64_t wallMs);
  // Nothing was waiting at |now|: a long enough silence ends the pending row.
  void Idle(uint32_t now);
  // Ends the pending row now, if there is one, for the caller's reason.
  void Flush(UnsolicitedEnd why, uint32_t now);

  // True while a row has bytes and has not ended.
  bool Pending() const { return pending_; }
  size_t PendingLength() const { return row_.bytes.size(); }
  // Milliseconds from |now| until the silence would end the pending row (0 when that
  // time has come), -1 when nothing is pending: then nothing needs waking up.
  int MsUntilSilenceEnds(uint32_t now) const;

  // The finished rows, oldest first; they are handed out once.
  bool HasFinished() const { return !finished_.empty(); }
  std::vector<UnsolicitedRow> TakeFinished();

  uint32_t SilenceMs() const { return silenceMs_; }

 private:
  void Finish(UnsolicitedEnd why, uint32_t now);
  // The silence that ends the pending row: shorter once it ends a line.
  uint32_t RowSilenceMs() const;

  uint32_t silenceMs_;
  size_t maxBytes_;
  bool pending_ = false;
  uint32_t firstTick_ = 0;
  uint32_t lastTick_ = 0;
  UnsolicitedRow row_;
  std::vector<UnsolicitedRow> finished_;
};

// Reads what is waiting on |line| into |assembler| (in bulk, up to a slice of 256 KiB
// so a caller with other work gets its turn), then tells it the line is idle when it
// is. A failed read flushes the pending row as a hang-up. Returns 0, or the -errno of
// the failed read. |tick| and |wallMs| default to the steady tick and the wall clock.
long ReadUnsolicited(Line& line, UnsolicitedAssembler& assembler, uint32_t (*tick)() = nullptr,
                     int64_t (*wallMs)() = nullptr);

}  // namespace orvane
