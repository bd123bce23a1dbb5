// The serial connection to a local device: open it at a baud rate with its line settings
// (8N1, DTR and RTS on, no flow control unless told otherwise), then move bytes without
// waiting. Replies are
// read by an Exchange (engine/Exchange.h), which drives this line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/Line.h"
#include "engine/LineSettings.h"
#include "platform/SerialDevice.h"

namespace orvane {

class SerialLine : public Line {
 public:
  SerialLine();
  // Releases a device still held, as the platform would when the program ends.
  ~SerialLine() override;
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  // Opens |deviceName| ("COMn:" or a device path) at |baud| with |settings| (EINVAL
  // when they are not Valid()). 0 on success, otherwise the errno value of the failing
  // step; a failed Open holds no device. A device still held is released first. Input
  // the device received before is discarded. DTR and RTS are set as told where the
  // device has them (a pty has none; that is no failure).
  int Open(std::u16string_view deviceName, uint32_t baud, const LineSettings& settings = {});
  // Gives the port back the settings it had before Open and releases it. True when
  // the device was released; false when none was held.
  bool Close() override;
  bool IsOpen() const override;

  // Writes the whole buffer, waiting for room up to kMinWriteBoundMs (then ETIMEDOUT).
  // 0 or an errno value (EBADF when closed).
  int Write(const uint8_t* bytes, size_t length);

  // Holds the line in the break state for |ms| (1..kMaxBreakMs) and waits meanwhile.
  int SendBreak(uint32_t ms) override;

  int Descriptor() const override { return handle_; }
  long ReadSome(uint8_t* buffer, size_t room) override;
  long WriteSome(const uint8_t* data, size_t length) override;

 private:
  void Release();

  serial::Handle handle_;
  serial::PortSettings before_;  // the port's settings when Open found it
};

}  // namespace orvane
