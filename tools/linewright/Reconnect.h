// linewright --reconnect: after a hang-up, wait for the same device to come back and open
// it again. The wait follows plugging (platform/DeviceMonitor) and tries the device at
// every change; nothing is polled while nothing changes.
#pragma once

#include <cstdint>

namespace orvane {
class Session;
}

namespace orvane::linewright {

// Closes |session| and opens its device at its baud rate and line settings again (through Session::Open,
// so its observers hear the close and the open) as soon as it can be opened, waiting at
// most |seconds|. Returns 0 once open, ETIMEDOUT when it did not come back in time, or
// ECANCELED when input on |stopFd| (-1: none) ended the wait.
int Reopen(Session& session, uint32_t seconds, int stopFd);

}  // namespace orvane::linewright
