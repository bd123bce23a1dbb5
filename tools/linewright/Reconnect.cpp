#include "tools/linewright/Reconnect.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>

#include "engine/Session.h"
#include "platform/DeviceMonitor.h"
#include "platform/SerialDevice.h"

namespace orvane::linewright {

int Reopen(Session& session, uint32_t seconds, int stopFd) {
  using Clock = std::chrono::steady_clock;
  const std::string device = session.Device();
  const uint32_t baud = session.Baud();
  const LineSettings settings = session.Settings();
  session.Close();
  // The device's own folder is watched too: a link there (by-id, or one of the user's own)
  // may come back without a node of /dev coming or going.
  DeviceMonitorOptions watch;
  const std::string path = serial::DevicePathForName(device);
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0) watch.folders.push_back(path.substr(0, slash));
  const std::unique_ptr<DeviceMonitor> monitor = DeviceMonitor::Open(watch);
  // Without a monitor, or for a name no folder stands for (a remote port), the device is
  // tried once a second.
  const bool tryBySecond = !monitor || device.find("://") != std::string::npos;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    const int error = session.Open(device, baud, stopFd, settings);
    if (error == 0 || error == ECANCELED) return error;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return ETIMEDOUT;
    int waitMs = static_cast<int>(std::min<long long>(left, 24LL * 3600 * 1000));
    if (tryBySecond) waitMs = std::min(waitMs, 1000);
    pollfd fds[2] = {{monitor ? monitor->Descriptor() : -1, POLLIN, 0}, {stopFd, POLLIN, 0}};
    if (::poll(fds, 2, waitMs) < 0 && errno != EINTR) return errno;
    if (fds[1].revents) return ECANCELED;
    if (monitor) monitor->TakeChanges();
  }
}

}  // namespace orvane::linewright
