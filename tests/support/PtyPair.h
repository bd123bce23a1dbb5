// A pseudo-terminal for serial-line tests: the test plays the device on the master
// side, the line under test opens the slave path.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace orvane::testing {

class PtyPair {
 public:
  PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) return;
    path_ = name;
    // Keep one slave descriptor open so the master never sees a hang-up between
    // the line's opens; raw mode so nothing is echoed back to the master.
    keeper_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (keeper_ >= 0 && tcgetattr(keeper_, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(keeper_, TCSANOW, &t);
    }
  }
  ~PtyPair() { Unplug(); }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_ >= 0 && keeper_ >= 0 && !path_.empty(); }
  const std::string& path() const { return path_; }
  std::u16string path16() const { return std::u16string(path_.begin(), path_.end()); }
  int master() const { return master_; }
  // A descriptor of the line side, kept open by the pair: it polls and reads back the
  // terminal settings as the line's own descriptor would.
  int keeper() const { return keeper_; }

  // Which of the c_cflag |bits| this pty keeps when told them (each bit set, and CS5 for
  // CSIZE); its settings are left as they were. Newer Linux ptys hold CS8 and no parity
  // whatever they are told, so a test can read back only the bits kept.
  tcflag_t KeptCflag(tcflag_t bits) const {
    termios before{};
    if (tcgetattr(keeper_, &before) != 0) return 0;
    termios asked = before;
    asked.c_cflag = (asked.c_cflag & ~bits) | (bits & ~CSIZE) | (bits & CSIZE ? CS5 : 0);
    termios got{};
    tcflag_t kept = 0;
    if (tcsetattr(keeper_, TCSANOW, &asked) == 0 && tcgetattr(keeper_, &got) == 0) {
      kept = got.c_cflag & bits & ~CSIZE;
      if ((got.c_cflag & CSIZE) == CS5) kept |= bits & CSIZE;
    }
    tcsetattr(keeper_, TCSANOW, &before);
    return kept;
  }

  // Device side: send bytes to the line.
  void Send(const std::string& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }
  // Waits until the line side can read what was sent (pty data is passed on
  // asynchronously by the kernel).
  static bool WaitReadable(int fd, int ms = 5000) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) == 1;
  }
  // Device side: read whatever the line wrote, waiting up to |ms| for the first byte.
  std::string Receive(size_t atLeast, int ms = 5000) const {
    std::string out;
    while (out.size() < atLeast) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, ms) != 1) break;
      char buf[512];
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }
  // The device goes away altogether: both sides are closed.
  void Unplug() {
    if (keeper_ >= 0) close(keeper_);
    keeper_ = -1;
    CloseMaster();
  }

 private:
  int master_ = -1;
  int keeper_ = -1;
  std::string path_;
};

}  // namespace orvane::testing
