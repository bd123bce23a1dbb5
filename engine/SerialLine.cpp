#include "engine/SerialLine.h"

#include <poll.h>

#include <cerrno>
#include <chrono>

#include "engine/BinaryTextCodec.h"
#include "engine/Exchange.h"

namespace orvane {

namespace {

// The flag word the line runs with: binary, DTR and RTS on (no handshake), sending on
// after an XOFF. Everything else of the documented bits goes off: parity check, CTS
// and DSR flow, DSR sensitivity, XON/XOFF either way, error character, null
// stripping, abort on error.
constexpr uint32_t kLineFlags = serial::kFlagBinary | serial::kDtrControlEnable |
                                serial::kFlagTxContinueOnXoff | serial::kRtsControlEnable;
// What Open keeps of the device's flag word: the bits beyond the documented flags, as
// the device had them (and the line's own bits, which it sets anyway).
constexpr uint32_t kKeptDeviceFlags = serial::kFlagReservedBits | kLineFlags;
static_assert(kLineFlags == 0x1091u && kKeptDeviceFlags == 0xFFFF9091u);

}  // namespace

SerialLine::SerialLine() : handle_(serial::kInvalidHandle) {}

SerialLine::~SerialLine() {
  if (handle_ != serial::kInvalidHandle) Release();
}

bool SerialLine::IsOpen() const { return handle_ != serial::kInvalidHandle; }

void SerialLine::Release() {
  serial::Escape(handle_, serial::kClrIr);
  serial::RestoreSettings(handle_, before_);
  serial::CloseDevice(handle_);
  handle_ = serial::kInvalidHandle;
}

int SerialLine::Open(std::u16string_view deviceName, uint32_t baud) {
  if (handle_ != serial::kInvalidHandle) Release();

  int error = 0;
  handle_ = serial::OpenDevice(serial::DevicePathForName(Utf16ToUtf8(deviceName)), &error);
  if (handle_ == serial::kInvalidHandle) return error != 0 ? error : EIO;

  error = serial::SaveSettings(handle_, &before_);
  serial::ControlBlock block;
  if (error == 0) error = serial::GetControlBlock(handle_, &block);
  if (error == 0) {
    block.baudRate = baud;
    block.flags = (block.flags & kKeptDeviceFlags) | kLineFlags;
    block.byteSize = 8;
    block.parity = 0;
    block.stopBits = 0;
    error = serial::SetControlBlock(handle_, block);
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
  // Whatever the device said before the line was opened is no reply to anything.
  serial::DiscardInput(handle_);
  return 0;
}

bool SerialLine::Close() {
  if (handle_ == serial::kInvalidHandle) return false;
  Release();
  return true;
}

int SerialLine::Write(const uint8_t* bytes, size_t length) {
  if (handle_ == serial::kInvalidHandle) return EBADF;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kMinWriteBoundMs);
  size_t done = 0;
  while (done < length) {
    const long n = WriteSome(bytes + done, length - done);
    if (n < 0) return static_cast<int>(-n);
    done += static_cast<size_t>(n);
    if (done == length) break;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return ETIMEDOUT;
    pollfd p{handle_, POLLOUT, 0};
    poll(&p, 1, static_cast<int>(left));
  }
  return 0;
}

long SerialLine::ReadSome(uint8_t* buffer, size_t room) {
  return serial::ReadSome(handle_, buffer, room);
}

long SerialLine::WriteSome(const uint8_t* data, size_t length) {
  return serial::WriteSome(handle_, data, length);
}

}  // namespace orvane
