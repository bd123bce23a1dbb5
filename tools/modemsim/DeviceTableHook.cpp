#include "tools/modemsim/DeviceTableHook.h"

#include <unistd.h>

#include <cstdio>

#include "platform/DeviceTable.h"
#include "platform/Registry.h"

namespace orvane::modemsim {

// The simulator lists itself in the handheld hive's Drivers\Active while it runs. An entry
// left behind by a simulator that was killed outright is dropped by the next refresh of the
// table, since its process is gone.
void SimulatedDeviceAppeared(reg::Hive& hive, const std::string& devicePath) {
  if (!RegisterSimulatedDevice(hive, devicePath, ::getpid()))
    std::fprintf(stderr, "orvane-modemsim: could not list %s in the device table of %s\n", devicePath.c_str(),
                 reg::Hive::DefaultHandheldPath().c_str());
}

void SimulatedDeviceGone(reg::Hive& hive, const std::string& devicePath) {
  UnregisterSimulatedDevice(hive, devicePath);
}

}  // namespace orvane::modemsim
