#include "engine/Exchange.h"

#include <errno.h>
#include <poll.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <limits>

namespace orvane {

int64_t WallClockUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int64_t WallClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::u16string Framing::Frame(std::u16string_view command) const {
  std::u16string text;
  text.reserve(prefix.size() + command.size() + suffix.size());
  text += prefix;
  text += command;
  text += suffix;
  return text;
}

uint32_t TimeoutMsFromSeconds(int64_t seconds) {
  if (seconds <= 0) return 0;
  constexpr int64_t kMax = std::numeric_limits<uint32_t>::max();
  return seconds > kMax / 1000 ? static_cast<uint32_t>(kMax) : static_cast<uint32_t>(seconds * 1000);
}

uint32_t SteadyTickMs() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count());
}

Exchange::Exchange(Line& line, std::u16string_view command, const Framing& framing,
                   ExchangeOptions options)
    : line_(line),
      options_(std::move(options)),
      start_(Now()),
      writeBoundMs_(std::max(framing.timeoutMs, kMinWriteBoundMs)),
      assembler_(EndTokens::Decode(framing.tokens), framing.timeoutMs, options_.maxReplyBytes,
                 start_, options_.keepReply) {
  result_.sentText = framing.Frame(command);
  toSend_ = DecodeBinaryText(result_.sentText);
  result_.sentAtMs = WallClockMs();
}

uint32_t Exchange::Now() const { return options_.tick ? options_.tick() : SteadyTickMs(); }

Exchange::Wait Exchange::Advance() {
  switch (state_) {
    case State::kWriting: return AdvanceWrite(Now());
    case State::kReading: return AdvanceRead();
    case State::kDone: break;
  }
  return Wait::kNothing;
}

Exchange::Wait Exchange::AdvanceWrite(uint32_t now) {
  while (written_ < toSend_.size()) {
    const long n = line_.WriteSome(toSend_.data() + written_, toSend_.size() - written_);
    if (n > 0) {
      if (options_.onWritten) options_.onWritten(toSend_.data() + written_, static_cast<size_t>(n));
      written_ += static_cast<size_t>(n);
      continue;
    }
    if (n < 0) {
      result_.writeError = static_cast<int>(-n);
    } else if (static_cast<uint32_t>(now - start_) >= writeBoundMs_) {
      result_.writeError = ETIMEDOUT;
    } else {
      return Wait::kWritable;
    }
    Finish(now);
    return Wait::kNothing;
  }
  toSend_ = Bytes();
  state_ = State::kReading;
  // The silence is counted from the end of the write.
  assembler_.RestartSilence(now);
  return AdvanceRead();
}

Exchange::Wait Exchange::AdvanceRead() {
  if (readBuffer_.empty()) readBuffer_.resize(kReadBytes);
  uint8_t* buffer = readBuffer_.data();
  size_t taken = 0;
  for (;;) {
    const uint32_t now = Now();
    if (assembler_.Ended()) {
      Finish(now);
      return Wait::kNothing;
    }
    if (taken >= kInputSliceBytes) return Wait::kReadable;
    const long n = line_.ReadSome(buffer, std::min(readBuffer_.size(), assembler_.Room()));
    if (n > 0) {
      const size_t got = static_cast<size_t>(n);
      if (result_.firstByteMs < 0) result_.firstByteMs = static_cast<uint32_t>(now - start_);
      assembler_.Add(buffer, got, now);
      if (options_.onBytes) options_.onBytes(buffer, got);
      taken += got;
    } else if (n == 0) {
      assembler_.Idle(now);
      if (!assembler_.Ended()) return Wait::kReadable;
    } else {
      result_.readError = static_cast<int>(-n);
      assembler_.End(ReplyEnd::kHangup);
    }
  }
}

int Exchange::MsUntilDeadline() const {
  const uint32_t now = Now();
  uint32_t left = 0;
  switch (state_) {
    case State::kDone: return -1;
    case State::kWriting: {
      const uint32_t spent = now - start_;
      left = spent >= writeBoundMs_ ? 0 : writeBoundMs_ - spent;
      break;
    }
    case State::kReading: left = assembler_.MsUntilSilenceEnds(now); break;
  }
  return static_cast<int>(std::min<uint32_t>(left, std::numeric_limits<int>::max()));
}

void Exchange::Stop() {
  if (state_ == State::kDone) return;
  if (state_ == State::kWriting) result_.writeError = ECANCELED;
  assembler_.End(ReplyEnd::kStopped);
  Finish(Now());
}

void Exchange::Finish(uint32_t now) {
  state_ = State::kDone;
  result_.elapsedMs = now - start_;
  if (result_.writeError != 0) return;
  result_.end = assembler_.HowEnded();
  result_.replyLength = assembler_.Total();
  result_.reply = assembler_.TakeReply();
  if (!options_.keepReply) result_.reply.clear();
}

void RunToEnd(Exchange& exchange, const Line& line, int stopFd) {
  for (Exchange::Wait wait = exchange.Advance(); wait != Exchange::Wait::kNothing;
       wait = exchange.Advance()) {
    pollfd fds[2] = {{line.Descriptor(), static_cast<short>(wait == Exchange::Wait::kWritable ? POLLOUT : POLLIN), 0},
                     {stopFd, POLLIN, 0}};
    const int r = poll(fds, stopFd >= 0 ? 2 : 1, exchange.MsUntilDeadline());
    if (r > 0 && stopFd >= 0 && (fds[1].revents & POLLIN)) exchange.Stop();
  }
}

std::string FormatLocalTimeIso(int64_t msSinceEpoch) { return FormatLocalTimeIso(msSinceEpoch, 3); }

std::string FormatLocalTimeIso(int64_t sinceEpoch, int fractionDigits) {
  const int64_t perSecond = fractionDigits == 6 ? 1000000 : 1000;
  // Floor division: a time before 1970 still has its fraction in 0..perSecond-1.
  int64_t seconds = sinceEpoch / perSecond;
  int64_t fraction = sinceEpoch % perSecond;
  if (fraction < 0) {
    fraction += perSecond;
    --seconds;
  }
  const time_t t = static_cast<time_t>(seconds);
  tm local{};
  if (localtime_r(&t, &local) == nullptr) return "?";
  const long offset = local.tm_gmtoff / 60;
  const long offsetAbs = offset < 0 ? -offset : offset;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%0*d%c%02ld:%02ld",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, fractionDigits == 6 ? 6 : 3, static_cast<int>(fraction), offset < 0 ? '-' : '+',
                offsetAbs / 60, offsetAbs % 60);
  return text;
}

}  // namespace orvane
