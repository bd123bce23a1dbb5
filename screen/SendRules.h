// The small rules of the main screen that need no widgets: the response list's
// preview text, how a row ended, the reply as lines of text, and the baud text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/Row.h"

namespace orvane {

// Characters of a reply shown in the response list before "..".
constexpr size_t kPreviewLength = 20;

// The first 20 characters of a reply's binary text followed by "..", whatever its length
// (the cut may fall inside an escape).
std::u16string ResponsePreview(std::u16string_view replyText);
// The response list's preview of |row|: its reply's preview, marked "[cut] " when an
// exchange's reply was cut at the size limit.
std::u16string RowPreview(const Row& row);
// The preview of a wider list: the first |chars| characters of the reply's binary text
// (marked "[cut] " as above), with no ".." after them; the list elides what does not fit.
std::u16string RowPreview(const Row& row, size_t chars);
// What the list shows instead of a reply whose bytes were dropped to bound the memory.
std::u16string DroppedPreview(size_t bytes);

// How a row ended, as the list marks it. An exchange ended by a token is kOk or kError
// by the default token its reply ends in ("<0D><0A>OK<0D><0A>", "<0D><0A>ERROR<0D><0A>";
// the later one counts when both occur), and kToken when it ended on another token.
enum class RowMark : uint8_t {
  kNone, kOk, kError, kToken, kSilence, kCut, kHangup, kUnsolicited, kFailed
};
RowMark MarkOf(const Row& row);
// A short word for |mark| ("OK", "ERROR", "token", "silence", "cut", "hang-up",
// "unsolicited", "failed"); empty for kNone.
const char* RowMarkName(RowMark mark);

// The timing of |row| in words: "first byte after 3 ms, ended by its token after 4 ms",
// "no reply, ended by silence after 3000 ms", "unsolicited, ended by the next command
// after 5 ms". Empty when the row's times are not known.
std::string TimingWords(const Row& row);

// |bytes| as binary text with a line break after each <0A> (the viewer's text view).
std::u16string BinaryTextLines(const Bytes& bytes);
// |bytes| as binary text whose line ends (CR LF, LF or a lone CR) are real line breaks
// ("\n") instead of escapes.
std::u16string ReplyAsText(const Bytes& bytes);

// True when |row| is an exchange whose command went out without a line end (no 0x0D or
// 0x0A among the bytes sent) and got nothing back but its echo (all of it, some or none)
// until the silence ended it: the device most likely still waits for the end of the
// command.
bool LacksLineEnd(const Row& row);

// The baud text read as a decimal integer the way "%ld" reads it: blanks, an optional
// sign, digits. A text that does not start with a number gives 0; a number beyond the
// range is taken at the range's end and then as the unsigned 32-bit value, so the open
// is refused rather than made at some other rate.
uint32_t ParseBaudText(std::u16string_view text);

}  // namespace orvane
