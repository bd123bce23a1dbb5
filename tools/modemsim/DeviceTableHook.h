// Where the simulator meets the program's device table: called once its pty exists
// and once before it ends, so the simulated modem can be listed like a real port.
#pragma once

#include <string>

namespace orvane::reg {
class Hive;
}

namespace orvane::modemsim {

// |hive| is the handheld program's hive, opened once by the simulator.
void SimulatedDeviceAppeared(reg::Hive& hive, const std::string& devicePath);
void SimulatedDeviceGone(reg::Hive& hive, const std::string& devicePath);

}  // namespace orvane::modemsim
