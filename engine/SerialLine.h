// The one serial connection: open a device at a baud rate with fixed framing (8N1,
// DTR and RTS on, no flow control), write command bytes, and read a reply in chunks
// of at most 255 bytes until an end-of-response token arrives while the line is idle
// or the line stays silent for longer than the timeout.
//
// Reading polls the line and runs the installed message pump once per poll, so the
// program stays responsive; operations run from the pump may close, reopen or stop
// the line, and the read in progress then ends at its next poll.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/BinaryTextCodec.h"

namespace orvane {

constexpr int ChunkFull = 1;
constexpr int ChunkEnded = 0;

// Capacity of one read chunk; a chunk buffer has room for one more (the terminator).
constexpr int kChunkCapacity = 255;
// Silence timeout when no profile gives one.
constexpr uint32_t kDefaultResponseTimeoutMs = 3000;

class SerialLine {
 public:
  using Pump = std::function<void()>;
  using TickSource = std::function<uint32_t()>;
  // Waits up to |milliseconds| for input on |handle|; non-zero when the device is
  // gone (hung up, closed), which ends the chunk.
  using IdleWait = std::function<int(int handle, int milliseconds)>;

  SerialLine();
  // Releases a device still held, as the platform would when the program ends.
  ~SerialLine();
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  // Opens |deviceName| ("COMn:" or a device path) at |baud|. 0 on success, otherwise
  // the errno value of the failing step; a failed Open holds no device. A device
  // still held is released first.
  int Open(std::u16string_view deviceName, uint32_t baud);
  // True when the device was released; false when none was held.
  bool Close();
  bool IsOpen() const;

  // Writes the whole buffer in one block. 0 or an errno value (EBADF when closed).
  int Write(const uint8_t* bytes, size_t length);
  // Converts |text| to the device code page and writes it up to (not including) the
  // first zero byte.
  int WriteText(std::u16string_view text);

  // Reads one chunk into |buffer| (room for *count + 1 bytes; *count is the capacity
  // on entry, the bytes received on return; a zero byte follows the last one).
  // Returns ChunkFull when the capacity was reached, ChunkEnded when a token was seen
  // while the line was idle, the silence lasted longer than |timeoutMs|, the device
  // failed or went away, or a stop was requested. With no tokens (null or count <= 0)
  // the default tokens "\r\nOK\r\n" and "\r\nERROR\r\n" apply.
  int ReadChunk(uint8_t* buffer, int* count, uint32_t timeoutMs, const std::u16string* tokens,
                int tokenCount);
  // Reads chunks until one ends other than full, appending each as binary text to
  // |*output|. Returns 0.
  int ReadResponseText(uint32_t timeoutMs, const std::u16string* tokens, int tokenCount,
                       std::u16string* output);

  // Ends a read in progress at its next poll (a request made while no read runs is
  // dropped when the next read starts).
  void RequestStop();
  // True while ReadChunk or ReadResponseText runs on this line (nested or not).
  bool IsReading() const { return readDepth_ > 0; }

  // Runs the installed pump once, if any. The pump must not wait.
  static void PumpOneMessage();
  static void SetMessagePump(Pump pump);

  // Seams for tests: the millisecond tick and the wait between idle polls.
  void SetTickSource(TickSource tick);
  void SetIdleWait(IdleWait wait);
  // The wrapping 32-bit millisecond tick of the steady clock.
  static uint32_t SteadyTickMs();

 private:
  class ReadScope;
  bool TokenFound(const uint8_t* received, int count, const std::u16string* tokens,
                  int tokenCount) const;
  uint32_t Tick() const;
  void Release();

  int handle_;
  uint64_t generation_ = 0;  // changes whenever the held device changes
  int readDepth_ = 0;
  bool stopRequested_ = false;
  TickSource tick_;
  IdleWait idleWait_;
};

}  // namespace orvane
