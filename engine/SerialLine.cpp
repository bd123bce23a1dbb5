#include "engine/SerialLine.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/SerialDevice.h"

namespace orvane {
namespace {

SerialLine::Pump& InstalledPump() {
  static SerialLine::Pump pump;
  return pump;
}

constexpr uint8_t kDefaultOk[] = {'\r', '\n', 'O', 'K', '\r', '\n'};
constexpr uint8_t kDefaultError[] = {'\r', '\n', 'E', 'R', 'R', 'O', 'R', '\r', '\n'};

// True when |needle| occurs as a contiguous run in |hay|. An empty needle, or one
// holding a zero byte, never matches: the received bytes are searched only up to
// their first zero, so such a token has no sensible meaning.
bool Contains(const uint8_t* hay, size_t hayLength, const uint8_t* needle, size_t needleLength) {
  if (needleLength == 0 || needleLength > hayLength) return false;
  if (std::memchr(needle, 0, needleLength) != nullptr) return false;
  const size_t last = hayLength - needleLength;
  for (size_t i = 0; i <= last; ++i) {
    if (hay[i] == needle[0] && std::memcmp(hay + i, needle, needleLength) == 0) return true;
  }
  return false;
}

}  // namespace

// Tracks nesting (reads may run inside the pump of another read) and clears a stop
// request when the outermost read starts.
class SerialLine::ReadScope {
 public:
  explicit ReadScope(SerialLine& line) : line_(line) {
    if (line_.readDepth_++ == 0) line_.stopRequested_ = false;
  }
  ~ReadScope() {
    if (--line_.readDepth_ == 0) line_.stopRequested_ = false;
  }

 private:
  SerialLine& line_;
};

SerialLine::SerialLine() : handle_(serial::kInvalidHandle) {}

SerialLine::~SerialLine() {
  if (handle_ != serial::kInvalidHandle) Release();
}

uint32_t SerialLine::SteadyTickMs() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count());
}

void SerialLine::SetTickSource(TickSource tick) { tick_ = std::move(tick); }
void SerialLine::SetIdleWait(IdleWait wait) { idleWait_ = std::move(wait); }

uint32_t SerialLine::Tick() const { return tick_ ? tick_() : SteadyTickMs(); }

void SerialLine::PumpOneMessage() {
  // Copied so that a pump which installs another pump stays alive while it runs.
  Pump pump = InstalledPump();
  if (pump) pump();
}

void SerialLine::SetMessagePump(Pump pump) { InstalledPump() = std::move(pump); }

bool SerialLine::IsOpen() const { return handle_ != serial::kInvalidHandle; }

void SerialLine::RequestStop() {
  if (readDepth_ > 0) stopRequested_ = true;
}

void SerialLine::Release() {
  serial::Escape(handle_, serial::kClrIr);
  serial::CloseDevice(handle_);
  handle_ = serial::kInvalidHandle;
  ++generation_;
}

int SerialLine::Open(std::u16string_view deviceName, uint32_t baud) {
  if (handle_ != serial::kInvalidHandle) Release();
  ++generation_;

  int error = 0;
  handle_ = serial::OpenDevice(serial::DevicePathForName(Utf16ToUtf8(deviceName)), &error);
  if (handle_ == serial::kInvalidHandle) return error != 0 ? error : EIO;

  serial::ControlBlock block;
  error = serial::GetControlBlock(handle_, &block);
  if (error == 0) {
    block.baudRate = baud;
    block.flags = (block.flags & 0xFFFF9091u) | 0x1091u;
    block.byteSize = 8;
    block.parity = 0;
    block.stopBits = 0;
    error = serial::SetControlBlock(handle_, block);
  }
  if (error == 0) {
    serial::Timeouts timeouts;
    error = serial::GetTimeouts(handle_, &timeouts);
    if (error == 0) {
      timeouts.readInterval = serial::kMaxTimeout;
      timeouts.readTotalMultiplier = 0;
      timeouts.readTotalConstant = 0;
      timeouts.writeTotalMultiplier = 0;
      timeouts.writeTotalConstant = 0;
      error = serial::SetTimeouts(handle_, timeouts);
    }
  }
  if (error != 0) {
    serial::CloseDevice(handle_);
    handle_ = serial::kInvalidHandle;
    return error;
  }
  // DTR and RTS on; ptys refuse these, which is harmless. Infrared mode is a no-op.
  serial::Escape(handle_, serial::kSetDtr);
  serial::Escape(handle_, serial::kSetRts);
  serial::Escape(handle_, serial::kSetIr);
  return 0;
}

bool SerialLine::Close() {
  if (handle_ == serial::kInvalidHandle) return false;
  serial::Escape(handle_, serial::kClrIr);
  if (serial::CloseDevice(handle_) != 0) return false;
  handle_ = serial::kInvalidHandle;
  ++generation_;
  return true;
}

int SerialLine::Write(const uint8_t* bytes, size_t length) {
  if (handle_ == serial::kInvalidHandle) return EBADF;
  return serial::WriteBytes(handle_, bytes, length);
}

int SerialLine::WriteText(std::u16string_view text) {
  // Room for twice the characters plus two, as the code page conversion is given;
  // the device code page needs one byte per character.
  std::vector<uint8_t> converted(text.size() * 2 + 2, 0);
  for (size_t i = 0; i < text.size(); ++i) converted[i] = CharToDeviceByte(text[i]);
  const size_t length = strnlen(reinterpret_cast<const char*>(converted.data()), converted.size());
  return Write(converted.data(), length);
}

bool SerialLine::TokenFound(const uint8_t* received, int count, const std::u16string* tokens,
                            int tokenCount) const {
  const size_t searched = strnlen(reinterpret_cast<const char*>(received), static_cast<size_t>(count));
  if (tokens != nullptr && tokenCount >= 1) {
    for (int i = 0; i < tokenCount; ++i) {
      // Decoded afresh at every idle poll: the list is the caller's and may change.
      const Bytes token = DecodeBinaryText(tokens[i]);
      if (Contains(received, searched, token.data(), token.size())) return true;
    }
    return false;
  }
  return Contains(received, searched, kDefaultOk, sizeof kDefaultOk) ||
         Contains(received, searched, kDefaultError, sizeof kDefaultError);
}

int SerialLine::ReadChunk(uint8_t* buffer, int* count, uint32_t timeoutMs,
                          const std::u16string* tokens, int tokenCount) {
  ReadScope scope(*this);
  const int capacity = *count;
  int received = 0;
  buffer[0] = 0;
  if (capacity <= 0) {
    *count = 0;
    return ChunkEnded;
  }
  const uint64_t generation = generation_;
  uint32_t lastActivity = Tick();

  for (;;) {
    PumpOneMessage();
    // Something run from the pump closed or replaced the device, or asked to stop.
    if (stopRequested_ || generation != generation_) break;

    uint8_t byte = 0;
    bool got = false;
    if (serial::ReadByte(handle_, &byte, &got) != 0) break;  // a dead device ends the chunk

    if (got) {
      buffer[received] = byte;
      buffer[received + 1] = 0;
      ++received;
      lastActivity = Tick();
      if (received == capacity) {
        *count = received;
        return ChunkFull;
      }
      continue;
    }

    if (TokenFound(buffer, received, tokens, tokenCount)) break;
    if (static_cast<uint32_t>(Tick() - lastActivity) > timeoutMs) break;

    // Rather than polling again at once, wait up to 1 ms for the line; input wakes
    // the wait early, so the end of a reply is still seen within a millisecond.
    const int status =
        idleWait_ ? idleWait_(handle_, 1) : serial::WaitReadable(handle_, 1);
    if (status != 0) break;  // hung up or closed under us
  }
  *count = received;
  return ChunkEnded;
}

int SerialLine::ReadResponseText(uint32_t timeoutMs, const std::u16string* tokens, int tokenCount,
                                 std::u16string* output) {
  ReadScope scope(*this);
  int result = ChunkFull;
  while (result == ChunkFull) {
    PumpOneMessage();
    uint8_t chunk[kChunkCapacity + 1];
    int count = kChunkCapacity;
    result = ReadChunk(chunk, &count, timeoutMs, tokens, tokenCount);
    for (int i = 0; i < count; ++i) {
      PumpOneMessage();
      output->append(EncodeBinaryText(chunk + i, 1));
    }
    if (stopRequested_) break;
  }
  return 0;
}

}  // namespace orvane
