#include "engine/ReplyAssembler.h"

#include <algorithm>
#include <cstring>

namespace orvane {
namespace {

const Bytes kDefaultOk = {'\r', '\n', 'O', 'K', '\r', '\n'};
const Bytes kDefaultError = {'\r', '\n', 'E', 'R', 'R', 'O', 'R', '\r', '\n'};

bool Contains(const uint8_t* hay, size_t hayLength, const Bytes& needle) {
  if (needle.empty() || needle.size() > hayLength) return false;
  const uint8_t* end = hay + hayLength;
  return std::search(hay, end, needle.begin(), needle.end()) != end;
}

}  // namespace

const char* ReplyEndName(ReplyEnd end) {
  switch (end) {
    case ReplyEnd::kToken: return "token";
    case ReplyEnd::kSilence: return "silence";
    case ReplyEnd::kHangup: return "hangup";
    case ReplyEnd::kStopped: return "stopped";
    case ReplyEnd::kLimit: return "limit";
    case ReplyEnd::kWriteFailed: return "write failed";
    case ReplyEnd::kCommand: return "command";
    case ReplyEnd::kClosed: return "closed";
    case ReplyEnd::kNone: break;
  }
  return "";
}

EndTokens EndTokens::Decode(std::span<const std::u16string> tokens) {
  EndTokens result;
  if (tokens.empty()) {
    result.tokens_ = {kDefaultOk, kDefaultError};
    return result;
  }
  for (const std::u16string& text : tokens) {
    Bytes token = DecodeBinaryText(text);
    // Such a token can never be found before the chunk's first zero byte.
    if (token.empty() || std::memchr(token.data(), 0, token.size()) != nullptr) continue;
    result.tokens_.push_back(std::move(token));
  }
  return result;
}

bool EndTokens::FoundIn(const uint8_t* bytes, size_t length) const {
  const void* zero = length != 0 ? std::memchr(bytes, 0, length) : nullptr;
  const size_t searched = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - bytes) : length;
  for (const Bytes& token : tokens_)
    if (Contains(bytes, searched, token)) return true;
  return false;
}

ReplyAssembler::ReplyAssembler(EndTokens tokens, uint32_t timeoutMs, size_t maxBytes, uint32_t now,
                               bool keepWhole)
    : tokens_(std::move(tokens)),
      timeoutMs_(timeoutMs),
      maxBytes_(maxBytes),
      lastActivity_(now),
      keepWhole_(keepWhole) {
  if (maxBytes_ == 0) end_ = ReplyEnd::kLimit;
}

size_t ReplyAssembler::Room() const {
  if (Ended()) return 0;
  return maxBytes_ - total_;
}

void ReplyAssembler::Add(const uint8_t* bytes, size_t length, uint32_t now) {
  length = std::min(length, Room());
  if (length == 0) return;
  lastActivity_ = now;
  while (length > 0) {
    const size_t n = std::min(length, kChunkCapacity - ChunkLength());
    kept_.insert(kept_.end(), bytes, bytes + n);
    total_ += n;
    bytes += n;
    length -= n;
    // A full chunk gives way to a fresh, empty one.
    if (ChunkLength() == kChunkCapacity) {
      if (!keepWhole_) kept_.clear();
      chunkStart_ = kept_.size();
    }
  }
  if (total_ >= maxBytes_) end_ = ReplyEnd::kLimit;
}

void ReplyAssembler::Idle(uint32_t now) {
  if (Ended()) return;
  if (tokens_.FoundIn(kept_.data() + chunkStart_, ChunkLength())) {
    end_ = ReplyEnd::kToken;
  } else if (static_cast<uint32_t>(now - lastActivity_) > timeoutMs_) {
    end_ = ReplyEnd::kSilence;
  }
}

void ReplyAssembler::End(ReplyEnd why) {
  if (!Ended()) end_ = why;
}

uint32_t ReplyAssembler::MsUntilSilenceEnds(uint32_t now) const {
  const uint64_t due = uint64_t{timeoutMs_} + 1;
  const uint32_t silent = now - lastActivity_;
  return silent >= due ? 0 : static_cast<uint32_t>(due - silent);
}

}  // namespace orvane
