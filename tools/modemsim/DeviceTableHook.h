// Where the simulator meets the program's device table: called once its pty exists
// and once before it ends, so the simulated modem can be listed like a real port.
#pragma once

#include <string>

namespace orvane::modemsim {

void SimulatedDeviceAppeared(const std::string& devicePath);
void SimulatedDeviceGone(const std::string& devicePath);

}  // namespace orvane::modemsim
