#include "tools/modemsim/DeviceTableHook.h"

namespace orvane::modemsim {

// Nothing is listed yet.
void SimulatedDeviceAppeared(const std::string&) {}
void SimulatedDeviceGone(const std::string&) {}

}  // namespace orvane::modemsim
