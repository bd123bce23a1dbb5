// Device open/close, escapes, non-blocking reads and writes. The termios2 code is in Termios2.cpp:
// <asm/termbits.h> cannot share a translation unit with <termios.h>.
#include "platform/SerialDevice.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace orvane::serial {
namespace {

bool IsOpenHandle(Handle handle) { return handle >= 0 && fcntl(handle, F_GETFD) != -1; }

}  // namespace

std::string DevicePathForName(std::string_view name) {
  // COMn: with n >= 1 and nothing else.
  if (name.size() >= 5 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
      (name[2] == 'M' || name[2] == 'm') && name.back() == ':') {
    const std::string_view digits = name.substr(3, name.size() - 4);
    unsigned long n = 0;
    bool ok = !digits.empty() && digits.size() <= 6;
    for (char c : digits) {
      if (c < '0' || c > '9') ok = false;
      n = n * 10 + static_cast<unsigned long>(c - '0');
    }
    if (ok && n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
  }
  return std::string(name);
}

Handle OpenDevice(const std::string& path, int* error) {
  int unused = 0;
  if (error == nullptr) error = &unused;
  // No O_CREAT: only what exists is opened.
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return kInvalidHandle;
  }
  // Not shared: an exclusive advisory lock keeps out other programs that lock (and a
  // second open in this one); TIOCEXCL keeps out those that don't (root excepted).
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *error = (errno == EWOULDBLOCK) ? EBUSY : errno;
    close(fd);
    return kInvalidHandle;
  }
  ioctl(fd, TIOCEXCL);  // fails on what is not a tty; the control block step reports that
  *error = 0;
  return fd;
}

int CloseDevice(Handle handle) {
  if (!IsOpenHandle(handle)) return EBADF;
  ioctl(handle, TIOCNXCL);
  // Linux releases the descriptor even when close() reports an error, so the
  // handle is gone either way; reporting failure would keep a dead number around.
  close(handle);
  return 0;
}

int Escape(Handle handle, uint32_t code) {
  if (!IsOpenHandle(handle)) return EBADF;
  int bits = 0;
  unsigned long request = 0;
  switch (code) {
    case kSetDtr: bits = TIOCM_DTR; request = TIOCMBIS; break;
    case kSetRts: bits = TIOCM_RTS; request = TIOCMBIS; break;
    case kClrDtr: bits = TIOCM_DTR; request = TIOCMBIC; break;
    case kClrRts: bits = TIOCM_RTS; request = TIOCMBIC; break;
    case kSetBreak: return ioctl(handle, TIOCSBRK) == 0 ? 0 : errno;
    case kClrBreak: return ioctl(handle, TIOCCBRK) == 0 ? 0 : errno;
    case kSetIr:
    case kClrIr: return 0;
    default: return EINVAL;
  }
  return ioctl(handle, request, &bits) == 0 ? 0 : errno;
}

long ReadSome(Handle handle, uint8_t* buffer, size_t room) {
  if (handle < 0) return -EBADF;
  for (;;) {
    const ssize_t n = read(handle, buffer, room);
    if (n > 0) return static_cast<long>(n);
    // With VMIN 1 an empty tty reads as EAGAIN; end of file is a hang-up.
    if (n == 0) return room == 0 ? 0 : -EIO;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -errno;
  }
}

long WriteSome(Handle handle, const uint8_t* data, size_t length) {
  if (handle < 0) return -EBADF;
  for (;;) {
    const ssize_t n = write(handle, data, length);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -errno;
  }
}

int DiscardInput(Handle handle) {
  if (!IsOpenHandle(handle)) return EBADF;
  return ioctl(handle, TCFLSH, 0 /* TCIFLUSH */) == 0 ? 0 : errno;
}

}  // namespace orvane::serial
