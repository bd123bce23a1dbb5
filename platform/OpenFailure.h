// Why a serial device could not be opened, told to a person: the system's reason plus
// what to do about it. A port refused for lack of permission names the device's group and
// how to join it; a port that is busy names the programs that hold it (found through
// /proc), since a desktop's modem manager often grabs a freshly plugged modem.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace orvane {

struct PortHolder {
  pid_t pid = 0;
  std::string program;  // the process's command name, as /proc/PID/comm has it
  // The device is a pseudo-terminal whose other end (its master) this process holds too:
  // it plays the device (a simulator) rather than reading the port beside its user.
  bool otherEnd = false;
};

// The processes (other than this one) with the character device at |devicePath| open, in
// the order of their pids. Processes this user may not look into are not listed.
std::vector<PortHolder> FindPortHolders(const std::string& devicePath,
                                        const std::string& procRoot = "/proc");

// One or two sentences for |error| (an errno value) from opening |deviceName| (a name the
// serial line accepts: "COMn:" or a path), e.g. "Permission denied: /dev/ttyUSB0 belongs to
// group 'dialout', which this user is not in. Join it with 'sudo usermod -aG dialout
// $USER', then log out and in again."
std::string ExplainOpenFailure(const std::string& deviceName, int error);

}  // namespace orvane
