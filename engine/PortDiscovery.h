// The active communication devices, read from the driver table Drivers\Active of a
// hive. Pure lookup: no state between calls, nothing else opened.
#pragma once

#include <string>

namespace orvane {

namespace reg {
class Hive;
}

struct PortListing {
  std::u16string displayName;  // shown in the modem list
  std::u16string deviceName;   // the name the line is opened by, exactly as the table holds it
};

// Fills listings[0 ..] with at most |capacity| devices of |hive|'s table in the table's
// order and returns how many it filled. Never fails as a whole: every problem only lowers
// the count.
int ListActivePorts(reg::Hive& hive, PortListing* listings, int capacity);

}  // namespace orvane
