// Serial device stand-in over POSIX ttys. The calls keep the shape of the handheld's
// serial API (open by name, control block, escape requests); transfers never wait. Every failure is reported as an errno value, 0 is success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvane::serial {

using Handle = int;  // a file descriptor
constexpr Handle kInvalidHandle = -1;

// The serial control block. |flags| holds the handheld's flag word bit for bit:
//   bit 0 binary, 1 parity check, 2 CTS output flow, 3 DSR output flow,
//   4-5 DTR control, 6 DSR sensitivity, 7 continue after XOFF, 8 XON/XOFF output,
//   9 XON/XOFF input, 10 error character, 11 null stripping, 12-13 RTS control
//   (2 = handshake), 14 abort on error.
struct ControlBlock {
  uint32_t baudRate = 0;
  uint32_t flags = 0;
  uint8_t byteSize = 8;  // 5..8
  uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t stopBits = 0;  // 0 one, 1 one and a half (taken as two), 2 two
};

constexpr uint32_t kFlagBinary = 0x0001;
constexpr uint32_t kFlagParity = 0x0002;
constexpr uint32_t kFlagOutxCtsFlow = 0x0004;
constexpr uint32_t kDtrControlEnable = 0x0010;  // DTR control 1: on
constexpr uint32_t kFlagTxContinueOnXoff = 0x0080;
constexpr uint32_t kFlagOutX = 0x0100;
constexpr uint32_t kFlagInX = 0x0200;
constexpr uint32_t kRtsControlMask = 0x3000;
constexpr uint32_t kRtsControlEnable = 0x1000;  // RTS control 1: on
constexpr uint32_t kRtsControlHandshake = 0x2000;
constexpr uint32_t kFlagReservedBits = 0xFFFF8000;  // bits 15-31: no flag of the API

// Escape request codes.
enum EscapeCode : uint32_t {
  kSetRts = 3,
  kClrRts = 4,
  kSetDtr = 5,
  kClrDtr = 6,
  kSetBreak = 8,  // the line held in the break state until kClrBreak
  kClrBreak = 9,
  kSetIr = 10,  // infrared mode: nothing to do on these ports
  kClrIr = 11,
};

// "COMn:" (n >= 1, any case) names /dev/ttyS<n-1>; every other name is a path used
// verbatim.
std::string DevicePathForName(std::string_view name);

// Opens an existing device for reading and writing, held exclusively (flock and
// TIOCEXCL). Returns the handle, or kInvalidHandle with the reason in *error (EBUSY
// when another program holds the port).
Handle OpenDevice(const std::string& path, int* error);
// Releases the handle. EBADF when it was not an open handle; otherwise the handle is
// released (the descriptor is gone even when the kernel reports a late I/O error).
int CloseDevice(Handle handle);

int GetControlBlock(Handle handle, ControlBlock* block);
// A baud rate of 0 is refused with EINVAL (the kernel would take it as hang-up).
int SetControlBlock(Handle handle, const ControlBlock& block);
int Escape(Handle handle, uint32_t code);

// Non-blocking transfers for event-driven callers. ReadSome returns the bytes read
// (1..room), 0 when nothing is waiting, or -errno; a device that hung up (unplugged,
// other side closed) gives -EIO. WriteSome returns the bytes written, 0 when the
// device takes nothing now, or -errno.
long ReadSome(Handle handle, uint8_t* buffer, size_t room);
long WriteSome(Handle handle, const uint8_t* data, size_t length);

// Drops input the device received but nobody has read yet.
int DiscardInput(Handle handle);

// The terminal settings of a port, kept opaque so callers need not include the
// kernel's termios2 header.
struct PortSettings {
  alignas(8) unsigned char raw[64] = {};
};
int SaveSettings(Handle handle, PortSettings* settings);
int RestoreSettings(Handle handle, const PortSettings& settings);

}  // namespace orvane::serial
