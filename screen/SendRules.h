// The small rules of the main screen that need no widgets: the response list's
// preview text and the baud text.
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
