#include "screen/SendRules.h"

#include <algorithm>
#include <limits>
#include <string>
#include <string_view>

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

std::u16string RowPreview(const Row& row, size_t chars) {
  const size_t head = std::min(row.reply.size(), chars);
  std::u16string preview = EncodeBinaryText(row.reply.data(), head);
  if (preview.size() > chars) preview.resize(chars);
  if (!row.Unsolicited() && row.end == ReplyEnd::kLimit) preview.insert(0, u"[cut] ");
  return preview;
}

std::u16string DroppedPreview(size_t bytes) {
  const std::string text = "[dropped " + std::to_string(bytes) + " bytes]";
  return std::u16string(text.begin(), text.end());
}

RowMark MarkOf(const Row& row) {
  if (row.Unsolicited()) return RowMark::kUnsolicited;
  switch (row.end) {
    case ReplyEnd::kToken: {
      const std::string_view reply(reinterpret_cast<const char*>(row.reply.data()),
                                   row.reply.size());
      const size_t ok = reply.rfind("\r\nOK\r\n");
      // A plain ERROR, or a module's numbered one; the last of them counts.
      size_t error = std::string_view::npos;
      for (const std::string_view code : {"\r\nERROR\r\n", "\r\n+CME ERROR:", "\r\n+CMS ERROR:"})
        if (const size_t at = reply.rfind(code); at != std::string_view::npos && (error == std::string_view::npos || at > error))
          error = at;
      if (ok == std::string_view::npos && error == std::string_view::npos) return RowMark::kToken;
      if (ok == std::string_view::npos) return RowMark::kError;
      if (error == std::string_view::npos) return RowMark::kOk;
      return error > ok ? RowMark::kError : RowMark::kOk;
    }
    case ReplyEnd::kSilence: return RowMark::kSilence;
    case ReplyEnd::kLimit:
    case ReplyEnd::kStopped: return RowMark::kCut;
    case ReplyEnd::kHangup:
    case ReplyEnd::kClosed: return RowMark::kHangup;
    case ReplyEnd::kWriteFailed: return RowMark::kFailed;
    case ReplyEnd::kCommand:
    case ReplyEnd::kNone: break;
  }
  return RowMark::kNone;
}

const char* RowMarkName(RowMark mark) {
  switch (mark) {
    case RowMark::kOk: return "OK";
    case RowMark::kError: return "ERROR";
    case RowMark::kToken: return "token";
    case RowMark::kSilence: return "silence";
    case RowMark::kCut: return "cut";
    case RowMark::kHangup: return "hang-up";
    case RowMark::kUnsolicited: return "unsolicited";
    case RowMark::kFailed: return "failed";
    case RowMark::kNone: break;
  }
  return "";
}

namespace {

const char* EndWords(ReplyEnd end) {
  switch (end) {
    case ReplyEnd::kToken: return "ended by its token";
    case ReplyEnd::kSilence: return "ended by silence";
    case ReplyEnd::kHangup: return "ended by a hang-up";
    case ReplyEnd::kStopped: return "stopped";
    case ReplyEnd::kLimit: return "cut at the size limit";
    case ReplyEnd::kWriteFailed: return "not written";
    case ReplyEnd::kCommand: return "ended by the next command";
    case ReplyEnd::kClosed: return "ended as the line closed";
    case ReplyEnd::kNone: break;
  }
  return "ended";
}

}  // namespace

std::string TimingWords(const Row& row) {
  if (row.sentAtMs == 0) return {};
  std::string words;
  if (row.Unsolicited()) {
    words = "unsolicited, ";
  } else if (row.end == ReplyEnd::kWriteFailed) {
    return "the command could not be written";
  } else if (row.firstByteMs < 0) {
    words = "no reply, ";
  } else {
    words = "first byte after " + std::to_string(row.firstByteMs) + " ms, ";
  }
  return words + EndWords(row.end) + " after " + std::to_string(row.elapsedMs) + " ms";
}

std::u16string BinaryTextLines(const Bytes& bytes) {
  std::u16string text;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != 0x0A) continue;
    text += EncodeBinaryText(bytes.data() + start, i + 1 - start);
    text += u'\n';
    start = i + 1;
  }
  text += EncodeBinaryText(bytes.data() + start, bytes.size() - start);
  return text;
}

std::u16string ReplyAsText(const Bytes& bytes) {
  std::u16string text;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != 0x0A && bytes[i] != 0x0D) continue;
    text += EncodeBinaryText(bytes.data() + start, i - start);
    text += u'\n';
    if (bytes[i] == 0x0D && i + 1 < bytes.size() && bytes[i + 1] == 0x0A) ++i;  // CR LF: one end
    start = i + 1;
  }
  text += EncodeBinaryText(bytes.data() + start, bytes.size() - start);
  return text;
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
