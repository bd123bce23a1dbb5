// Device open/close, escapes, reads and writes. The termios2 code is in Termios2.cpp:
// <asm/termbits.h> cannot share a translation unit with <termios.h>.
#include "platform/SerialDevice.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>

namespace orvane::serial {
namespace {

std::mutex& TimeoutsMutex() {
  static std::mutex m;
  return m;
}
std::map<Handle, Timeouts>& TimeoutsTable() {
  static std::map<Handle, Timeouts> table;
  return table;
}

bool IsOpenHandle(Handle handle) { return handle >= 0 && fcntl(handle, F_GETFD) != -1; }

Timeouts TimeoutsOf(Handle handle) {
  std::lock_guard<std::mutex> lock(TimeoutsMutex());
  auto it = TimeoutsTable().find(handle);
  return it == TimeoutsTable().end() ? Timeouts{} : it->second;
}

using Clock = std::chrono::steady_clock;

// Milliseconds left until |deadline| (0 when passed), capped for poll().
int MillisecondsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > 1000000 ? 1000000 : static_cast<int>(left);
}

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
  {
    std::lock_guard<std::mutex> lock(TimeoutsMutex());
    TimeoutsTable()[fd] = Timeouts{};
  }
  *error = 0;
  return fd;
}

int CloseDevice(Handle handle) {
  if (!IsOpenHandle(handle)) return EBADF;
  {
    std::lock_guard<std::mutex> lock(TimeoutsMutex());
    TimeoutsTable().erase(handle);
  }
  ioctl(handle, TIOCNXCL);
  // Linux releases the descriptor even when close() reports an error, so the
  // handle is gone either way; reporting failure would keep a dead number around.
  close(handle);
  return 0;
}

int GetTimeouts(Handle handle, Timeouts* timeouts) {
  if (!IsOpenHandle(handle)) return EBADF;
  *timeouts = TimeoutsOf(handle);
  return 0;
}

int SetTimeouts(Handle handle, const Timeouts& timeouts) {
  if (!IsOpenHandle(handle)) return EBADF;
  std::lock_guard<std::mutex> lock(TimeoutsMutex());
  TimeoutsTable()[handle] = timeouts;
  return 0;
}

int Escape(Handle handle, uint32_t code) {
  if (!IsOpenHandle(handle)) return EBADF;
  int bits = 0;
  unsigned long request = 0;
  switch (code) {
    case kSetDtr: bits = TIOCM_DTR; request = TIOCMBIS; break;
    case kClrDtr: bits = TIOCM_DTR; request = TIOCMBIC; break;
    case kSetRts: bits = TIOCM_RTS; request = TIOCMBIS; break;
    case kClrRts: bits = TIOCM_RTS; request = TIOCMBIC; break;
    case kSetBreak: return ioctl(handle, TIOCSBRK) == 0 ? 0 : errno;
    case kClrBreak: return ioctl(handle, TIOCCBRK) == 0 ? 0 : errno;
    case kSetXoff: return ioctl(handle, TCXONC, 0 /* TCOOFF */) == 0 ? 0 : errno;
    case kSetXon: return ioctl(handle, TCXONC, 1 /* TCOON */) == 0 ? 0 : errno;
    case kSetIr:
    case kClrIr: return 0;
    default: return EINVAL;
  }
  return ioctl(handle, request, &bits) == 0 ? 0 : errno;
}

int ReadByte(Handle handle, uint8_t* byte, bool* got) {
  *got = false;
  if (handle < 0) return EBADF;
  const Timeouts t = TimeoutsOf(handle);
  const bool immediate = t.readInterval == kMaxTimeout && t.readTotalMultiplier == 0 &&
                         t.readTotalConstant == 0;
  const bool bounded = t.readTotalMultiplier != 0 || t.readTotalConstant != 0;
  const auto deadline =
      Clock::now() + std::chrono::milliseconds(uint64_t{t.readTotalMultiplier} + t.readTotalConstant);
  for (;;) {
    const ssize_t n = read(handle, byte, 1);
    if (n == 1) {
      *got = true;
      return 0;
    }
    // In raw mode with VMIN = VTIME = 0 an empty tty reads as 0; a non-blocking one
    // as EAGAIN. Both mean "nothing waiting".
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return errno;
    if (immediate) return 0;
    const int wait = bounded ? MillisecondsLeft(deadline) : 1000;
    if (bounded && wait == 0) return 0;
    const int status = WaitReadable(handle, wait);
    if (status != 0) return status;
  }
}

int WaitReadable(Handle handle, int milliseconds) {
  if (handle < 0) return EBADF;
  pollfd p{handle, POLLIN, 0};
  const int r = poll(&p, 1, milliseconds < 0 ? 0 : milliseconds);
  if (r < 0) return errno == EINTR ? 0 : errno;
  if (r == 0) return 0;
  if (p.revents & POLLNVAL) return EBADF;
  if (p.revents & (POLLHUP | POLLERR)) {
    // A hung-up tty also polls readable and then reads as end of file; only bytes
    // really waiting are worth reading before the hang-up is reported.
    int waiting = 0;
    if (ioctl(handle, FIONREAD, &waiting) == 0 && waiting > 0) return 0;
    return EIO;
  }
  return 0;
}

int WriteBytes(Handle handle, const uint8_t* data, size_t length) {
  if (handle < 0) return EBADF;
  const Timeouts t = TimeoutsOf(handle);
  const bool bounded = t.writeTotalMultiplier != 0 || t.writeTotalConstant != 0;
  const auto deadline =
      Clock::now() + std::chrono::milliseconds(uint64_t{t.writeTotalMultiplier} * length +
                                               t.writeTotalConstant);
  size_t done = 0;
  while (done < length) {
    const ssize_t n = write(handle, data + done, length - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return errno;
    int wait = 1000;
    if (bounded) {
      wait = MillisecondsLeft(deadline);
      if (wait == 0) return ETIMEDOUT;
    }
    pollfd p{handle, POLLOUT, 0};
    const int r = poll(&p, 1, wait);
    if (r < 0 && errno != EINTR) return errno;
    if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLOUT)) {
      return (p.revents & POLLNVAL) ? EBADF : EIO;
    }
  }
  return 0;
}

}  // namespace orvane::serial
