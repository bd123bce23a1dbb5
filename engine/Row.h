// One row of a session: an exchange (a command and its reply) or unsolicited data (what
// the device said while no command was in flight). The response list, the export, the
// viewer and the command-line printers all read rows of this one shape.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/BinaryTextCodec.h"
#include "engine/ReplyAssembler.h"

namespace orvane {

enum class RowKind : uint8_t { kExchange, kUnsolicited };

struct Row {
  RowKind kind = RowKind::kExchange;
  std::u16string typed;     // the command as typed (binary text); empty for unsolicited data
  std::u16string sent;      // the framed command as sent (binary text)
  Bytes reply;              // the reply's bytes (none when the session passes them on only)
  size_t replyLength = 0;   // bytes received, kept or not
  int64_t sentAtMs = 0;     // wall clock at the send (unsolicited: the first byte), ms since
                            // 1970; 0: not known
  int64_t firstByteMs = -1; // ms from the send to the first reply byte; -1: none
  uint32_t elapsedMs = 0;   // ms from the send (unsolicited: the first byte) to the end
  ReplyEnd end = ReplyEnd::kNone;  // kNone: not known (or still running)
  int error = 0;            // errno of the failed write (kWriteFailed) or read (kHangup)
  // Told again: the row ended before this session attached to the port service holding
  // the port, which kept it. It is shown like any other row; it is no news.
  bool replayed = false;

  bool Unsolicited() const { return kind == RowKind::kUnsolicited; }
};

}  // namespace orvane
