#include "screen/SendRules.h"

#include <algorithm>
#include <limits>

namespace orvane {

std::u16string ResponsePreview(std::u16string_view replyText) {
  std::u16string preview(replyText.substr(0, kPreviewLength));
  preview += u"..";
  return preview;
}

bool LacksLineEnd(const Row& row) {
  if (row.Unsolicited() || row.end != ReplyEnd::kSilence || row.replyLength != row.reply.size()) return false;
  const Bytes sent = DecodeBinaryText(row.sent);
  // A device that echoes gives back the command's bytes, or their start, and no more.
  const bool echoOnly = row.reply.size() <= sent.size() && std::equal(row.reply.begin(), row.reply.end(), sent.begin());
  return echoOnly && !sent.empty() &&
         std::none_of(sent.begin(), sent.end(), [](uint8_t b) { return b == 0x0D || b == 0x0A; });
}

std::u16string RowPreview(const Row& row) {
  // Every byte gives at least one character, so the preview needs no more bytes than it
  // has characters.
  const size_t head = std::min(row.reply.size(), kPreviewLength);
  std::u16string preview = ResponsePreview(EncodeBinaryText(row.reply.data(), head));
  if (!row.Unsolicited() && row.end == ReplyEnd::kLimit) preview.insert(0, u"[cut] ");
  return preview;
}

uint32_t ParseBaudText(std::u16string_view text) {
  size_t i = 0;
  auto isBlank = [](char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f';
  };
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  // A 64-bit long, as the conversion reads into: saturates at its range.
  constexpr uint64_t kLongMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  uint64_t magnitude = 0;
  bool any = false;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    any = true;
    const uint64_t digit = static_cast<uint64_t>(text[i] - u'0');
    if (magnitude > (kLongMax - digit) / 10) {
      magnitude = negative ? kLongMax + 1 : kLongMax;
    } else {
      magnitude = magnitude * 10 + digit;
    }
  }
  if (!any) return 0;
  const int64_t value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return static_cast<uint32_t>(value);
}

}  // namespace orvane
