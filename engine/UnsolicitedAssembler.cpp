#include "engine/UnsolicitedAssembler.h"

#include <algorithm>
#include <limits>

#include "engine/Exchange.h"

namespace orvane {
namespace {

// One read between exchanges takes up to this much.
constexpr size_t kUnsolicitedReadBytes = size_t{16} << 10;

}  // namespace

UnsolicitedAssembler::UnsolicitedAssembler(uint32_t silenceMs, size_t maxBytes)
    : silenceMs_(silenceMs), maxBytes_(std::max<size_t>(maxBytes, 1)) {}

void UnsolicitedAssembler::Add(const uint8_t* bytes, size_t length, uint32_t now, int64_t wallMs) {
  while (length > 0) {
    if (!pending_) {
      pending_ = true;
      row_ = UnsolicitedRow();
      row_.atMs = wallMs;
      firstTick_ = now;
    }
    lastTick_ = now;
    const size_t n = std::min(length, maxBytes_ - row_.bytes.size());
    row_.bytes.insert(row_.bytes.end(), bytes, bytes + n);
    bytes += n;
    length -= n;
    if (row_.bytes.size() >= maxBytes_) Finish(UnsolicitedEnd::kLimit, now);
  }
}

void UnsolicitedAssembler::Idle(uint32_t now) {
  if (pending_ && static_cast<uint32_t>(now - lastTick_) > RowSilenceMs())
    Finish(UnsolicitedEnd::kSilence, now);
}

void UnsolicitedAssembler::Flush(UnsolicitedEnd why, uint32_t now) {
  if (pending_) Finish(why, now);
}

int UnsolicitedAssembler::MsUntilSilenceEnds(uint32_t now) const {
  if (!pending_) return -1;
  const uint64_t due = uint64_t{RowSilenceMs()} + 1;
  const uint32_t silent = now - lastTick_;
  if (silent >= due) return 0;
  return static_cast<int>(std::min<uint64_t>(due - silent, std::numeric_limits<int>::max()));
}

uint32_t UnsolicitedAssembler::RowSilenceMs() const {
  if (!row_.bytes.empty() && row_.bytes.back() == '\n') return std::min(silenceMs_, kLineEndSilenceMs);
  return silenceMs_;
}

std::vector<UnsolicitedRow> UnsolicitedAssembler::TakeFinished() {
  std::vector<UnsolicitedRow> rows;
  rows.swap(finished_);
  return rows;
}

void UnsolicitedAssembler::Finish(UnsolicitedEnd why, uint32_t now) {
  row_.lastByteMs = lastTick_ - firstTick_;
  row_.elapsedMs = now - firstTick_;
  row_.end = why;
  finished_.push_back(std::move(row_));
  row_ = UnsolicitedRow();
  pending_ = false;
}

long ReadUnsolicited(Line& line, UnsolicitedAssembler& assembler, uint32_t (*tick)(),
                     int64_t (*wallMs)()) {
  if (tick == nullptr) tick = SteadyTickMs;
  if (wallMs == nullptr) wallMs = WallClockMs;
  uint8_t buffer[kUnsolicitedReadBytes];
  size_t taken = 0;
  while (taken < kInputSliceBytes) {
    const long n = line.ReadSome(buffer, sizeof buffer);
    if (n > 0) {
      assembler.Add(buffer, static_cast<size_t>(n), tick(), wallMs());
      taken += static_cast<size_t>(n);
    } else if (n == 0) {
      assembler.Idle(tick());
      return 0;
    } else {
      assembler.Flush(UnsolicitedEnd::kHangup, tick());
      return n;
    }
  }
  return 0;
}

}  // namespace orvane
