// A byte line to a device: what an exchange drives. Each transport (a local tty, a
// network connection) implements it; transfers never wait, and the descriptor tells
// the caller's event loop when to try again.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane {

// The longest break a line sends; a usual one is kDefaultBreakMs.
inline constexpr uint32_t kMaxBreakMs = 2000;
inline constexpr uint32_t kDefaultBreakMs = 250;

class Line {
 public:
  virtual ~Line() = default;

  virtual bool IsOpen() const = 0;
  // Releases the device or connection; false when none was held.
  virtual bool Close() = 0;
  // The descriptor to wait on for input or room to write; -1 when closed.
  virtual int Descriptor() const = 0;
  // Bytes read (1..room), 0 when nothing is waiting, or -errno (-EIO: the device hung up).
  virtual long ReadSome(uint8_t* buffer, size_t room) = 0;
  // Bytes written, 0 when the device takes nothing now, or -errno.
  virtual long WriteSome(const uint8_t* data, size_t length) = 0;
  // Why the line stopped working, for a person, when the line knows more than the errno
  // its transfers return (a network peer that was dropped); empty otherwise.
  virtual std::string Failure() const { return {}; }
  // Sends a break: the line held in the break state for |ms| (1..kMaxBreakMs), waiting
  // meanwhile. 0, or an errno value: ENOTSUP where the transport has no break (raw TCP),
  // EINVAL for a duration out of range, EBADF when closed.
  virtual int SendBreak(uint32_t ms) {
    (void)ms;
    return IsOpen() ? ENOTSUP : EBADF;
  }
};

}  // namespace orvane
