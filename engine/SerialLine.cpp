#include "engine/SerialLine.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <thread>

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

// The control block's parity codes, by Parity.
constexpr uint8_t kParityCodes[] = {0 /* none */, 2 /* even */, 1 /* odd */, 3 /* mark */, 4 /* space */};

// The flag word for |settings|: the line's own with the flow control asked for.
uint32_t FlagsFor(const LineSettings& settings) {
  uint32_t flags = kLineFlags;
  if (settings.flow == FlowControl::kRtsCts)
    flags = (flags & ~serial::kRtsControlMask) | serial::kRtsControlHandshake | serial::kFlagOutxCtsFlow;
  if (settings.flow == FlowControl::kXonXoff) flags |= serial::kFlagOutX | serial::kFlagInX;
  return flags;
}

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

int SerialLine::Open(std::u16string_view deviceName, uint32_t baud, const LineSettings& settings) {
  if (handle_ != serial::kInvalidHandle) Release();
  if (!settings.Valid()) return EINVAL;

  int error = 0;
  handle_ = serial::OpenDevice(serial::DevicePathForName(Utf16ToUtf8(deviceName)), &error);
  if (handle_ == serial::kInvalidHandle) return error != 0 ? error : EIO;

  error = serial::SaveSettings(handle_, &before_);
  serial::ControlBlock block;
  if (error == 0) error = serial::GetControlBlock(handle_, &block);
  if (error == 0) {
    block.baudRate = baud;
    block.flags = (block.flags & kKeptDeviceFlags) | FlagsFor(settings);
    block.byteSize = settings.dataBits;
    block.parity = kParityCodes[static_cast<size_t>(settings.parity)];
    block.stopBits = settings.stopBits == 2 ? 2 : 0;
    error = serial::SetControlBlock(handle_, block);
  }
  if (error != 0) {
    serial::CloseDevice(handle_);
    handle_ = serial::kInvalidHandle;
    return error;
  }
  // DTR and RTS as told; ptys refuse these, which is harmless. With RTS/CTS the driver
  // works RTS. Infrared mode is a no-op.
  serial::Escape(handle_, settings.dtr ? serial::kSetDtr : serial::kClrDtr);
  if (settings.flow != FlowControl::kRtsCts) serial::Escape(handle_, settings.rts ? serial::kSetRts : serial::kClrRts);
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

int SerialLine::SendBreak(uint32_t ms) {
  if (handle_ == serial::kInvalidHandle) return EBADF;
  if (ms == 0 || ms > kMaxBreakMs) return EINVAL;
  if (const int error = serial::Escape(handle_, serial::kSetBreak); error != 0) return error;
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return serial::Escape(handle_, serial::kClrBreak);
}

long SerialLine::ReadSome(uint8_t* buffer, size_t room) {
  return serial::ReadSome(handle_, buffer, room);
}

long SerialLine::WriteSome(const uint8_t* data, size_t length) {
  return serial::WriteSome(handle_, data, length);
}

}  // namespace orvane
