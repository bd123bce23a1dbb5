// Notes on a row of the session: short lines that say what a reply or a notice means
// (an error code named, a short message in PDU mode decoded, a network registration in
// words), shown beside the bytes and never instead of them. No Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Row.h"

namespace orvane::notes {

// Only this much of a reply is read for notes; the rest has none.
inline constexpr size_t kMaxAnnotatedBytes = 256 * 1024;
// At most this many notes for one row; the last then says that more were left out.
inline constexpr size_t kMaxNotes = 64;

// The notes on a reply (or unsolicited data, |kind| kUnsolicited) to |command| (the
// bytes as sent; empty for unsolicited data). UTF-8, one line each, none when nothing
// is known about the bytes. Never fails, whatever the bytes.
std::vector<std::string> ReplyNotes(std::string_view command, const uint8_t* reply,
                                    size_t length, RowKind kind);
// The same for a row of the store (its command as sent, its reply, its kind).
std::vector<std::string> ReplyNotes(const Row& row);

}  // namespace orvane::notes
