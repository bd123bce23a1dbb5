// The small rules of the send flow and the main screen that need no widgets: the
// silence timeout of a profile, the response list's preview text and the baud text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane {

// Characters of a reply shown in the response list before "..".
constexpr size_t kPreviewLength = 20;

// A profile's timeout in seconds as milliseconds of silence: a negative timeout counts
// as 0, and one whose milliseconds exceed the 32-bit range is clamped to it.
uint32_t ProfileTimeoutMs(int32_t seconds);

// The first 20 characters of a reply's binary text followed by "..", whatever its length
// (the cut may fall inside an escape).
std::u16string ResponsePreview(std::u16string_view replyText);

// The baud text read as a decimal integer the way "%ld" reads it: blanks, an optional
// sign, digits. A text that does not start with a number gives 0; a number beyond the
// range is taken at the range's end and then as the unsigned 32-bit value, so the open
// is refused rather than made at some other rate.
uint32_t ParseBaudText(std::u16string_view text);

}  // namespace orvane
