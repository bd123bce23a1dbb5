// The modem simulator serving its pty on a thread of its own, for tests and benchmarks
// that talk to a Hayes-style modem in the same process. It is stopped (woken through a
// pipe) and joined at the end of the object. Links orvane_modemsim_core.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "tools/modemsim/ModemSim.h"

namespace orvane::testing {

class SimulatorThread {
 public:
  using End = modemsim::ModemSim::End;

  SimulatorThread() {
    ok_ = sim_.Start(&error_) && pipe2(wake_, O_CLOEXEC) == 0;
    if (ok_) runner_ = std::thread([this] { end_ = sim_.Run(-1, wake_[0]); });
  }
  ~SimulatorThread() {
    Stop();
    for (int fd : wake_)
      if (fd >= 0) close(fd);
  }
  SimulatorThread(const SimulatorThread&) = delete;
  SimulatorThread& operator=(const SimulatorThread&) = delete;

  // False (with the reason in error()) when no pty could be made.
  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  // The device path a line opens (/dev/pts/N).
  const std::string& path() const { return sim_.DevicePath(); }

  // Asks the simulator to stop and waits for it; how it ended (kStopped, or kHungUp when
  // a hang-up command ended it before).
  End Stop() {
    if (runner_.joinable()) {
      [[maybe_unused]] ssize_t n = write(wake_[1], "x", 1);
      runner_.join();
    }
    return end_;
  }
  // Waits for the simulator to end by itself (a hang-up command ends it).
  End Join() {
    if (runner_.joinable()) runner_.join();
    return end_;
  }

 private:
  modemsim::ModemSim sim_;
  std::string error_;
  int wake_[2] = {-1, -1};
  std::thread runner_;
  End end_ = End::kError;
  bool ok_ = false;
};

}  // namespace orvane::testing
